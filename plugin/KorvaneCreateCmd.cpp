#include "plugin/KorvaneCreateCmd.h"

#include <maya/MGlobal.h>
#include <maya/MString.h>

#include <string>

#include "plugin/KorvaneFrames.h"

KorvaneCreateCmd::~KorvaneCreateCmd() = default;

void* KorvaneCreateCmd::creator()
{
    return new KorvaneCreateCmd();
}

namespace {

void ShowUsage()
{
    MGlobal::displayInfo("usage: KorvaneCreate [-h] [-v on|off] [-n baseName]");
    MGlobal::displayInfo("    -h     log help.");
    MGlobal::displayInfo("    -v     verbose.                          Default: off.");
    MGlobal::displayInfo("    -n     the base name for the nodes.      Default: \"Korvane\".");
    MGlobal::displayInfo("example: KorvaneCreate -v on -n myReaderMesh");
    MGlobal::displayInfo("    -f     any one frame file of a cache (-file): set up to play with the timeline.");
    MGlobal::displayInfo("example: KorvaneCreate -f \"C:/cache/Fluid.0001.bin\"");
}

// A text as one double-quoted word of a script command.
MString Quoted(const char* text)
{
    std::string out = "\"";
    for (const char* c = text; *c; ++c)
    {
        if (*c == '"' || *c == '\\')
            out += '\\';
        out += *c;
    }
    out += '"';
    return MString(out.c_str());
}

void ShowArgumentError(unsigned int index)
{
    MString line("[KorvaneCreate] failed to get argument ");
    line += index;
    line += "!";
    MGlobal::displayError(line);
}

// The base name goes into host command lines as it stands, so it must be a
// plain node name: letters, digits and '_', not beginning with a digit. A
// blank, ';' or quote would otherwise split the command or start another one.
bool IsNodeName(const MString& name)
{
    int n = 0;
    const char* s = name.asChar(n);
    if (!s || n <= 0 || (s[0] >= '0' && s[0] <= '9'))
        return false;
    for (int i = 0; i < n; ++i)
    {
        const char c = s[i];
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_'))
            return false;
    }
    return true;
}

// Flag and value pairs. An empty baseName after success means the help was
// shown and nothing is to be created.
MStatus ParseArguments(const MArgList& args, MString& baseName, bool& verbose, MString& file, bool& hasFile)
{
    baseName = "Korvane";
    verbose = false;
    hasFile = false;
    MStatus status;
    const unsigned int count = args.length(&status);
    if (status.error())
    {
        ShowArgumentError(0);
        return status;
    }
    for (unsigned int i = 0; i < count; i += 2)
    {
        const MString flag = args.asString(i, &status);
        if (status.error())
        {
            ShowArgumentError(i);
            return status;
        }
        MString value;
        if (i + 1 < count)
        {
            value = args.asString(i + 1, &status);
            if (status.error())
            {
                ShowArgumentError(i + 1);
                return status;
            }
        }

        if (flag == "-h" || flag == "-help" || flag == "--help")
        {
            baseName.clear();
            ShowUsage();
            return MStatus::kSuccess;
        }
        if (flag == "-v" && (value == "0" || value == "1" || value == "off" || value == "on"))
        {
            verbose = value == "1" || value == "on";
            continue;
        }
        if (flag == "-f" || flag == "-file")
        {
            if (i + 1 >= count || value.length() == 0)
            {
                MGlobal::displayError(MString("[KorvaneCreate] missing path after \"") + flag + "\".");
                return MStatus::kFailure;
            }
            file = value;
            hasFile = true;
            continue;
        }
        if (flag != "-n")
        {
            MGlobal::displayError(MString("[KorvaneCreate] syntax error: \"") + flag +
                                  "\" (unknown or missing argument?)");
            return MStatus::kFailure;
        }
        if (value.length() == 0 || value.asChar()[0] == '-')
        {
            MGlobal::displayError("[KorvaneCreate] missing name after \"-n\".");
            return MStatus::kFailure;
        }
        if (!IsNodeName(value))
        {
            MGlobal::displayError(MString("[KorvaneCreate] invalid name \"") + value +
                                  "\": use letters, digits and '_', not beginning with a digit.");
            return MStatus::kInvalidParameter;
        }
        baseName = value;
    }
    return MStatus::kSuccess;
}

// Runs one network command (display and undo off); on failure shows it.
MStatus Run(const MString& command, MString* result)
{
    const MStatus status = result ? MGlobal::executeCommand(command, *result, false, false)
                                  : MGlobal::executeCommand(command, false, false);
    if (status.error())
        MGlobal::displayError(MString("[KorvaneCreate] failed to execute \"") + command + "\".");
    return status;
}

// The velocities of a cache with motion vectors go to the colour set
// renderers read them from; where Arnold's mesh attributes exist (MtoA
// loaded), they are pointed at that set, in the node's unit.
MStatus SetUpMotionBlur(const MString& nodeName, const MString& shapeName)
{
    static const char kSet[] = "velocityPV";
    MStatus status = Run(MString("setAttr -type \"string\" ") + nodeName + ".m_msMotionColorSet " + kSet, nullptr);
    if (status.error())
        return status;
    int hasSource = 0, hasUnit = 0;
    if (MGlobal::executeCommand(MString("attributeQuery -node ") + shapeName + " -exists aiMotionVectorSource",
                                hasSource, false, false)
            .error() ||
        MGlobal::executeCommand(MString("attributeQuery -node ") + shapeName + " -exists aiMotionVectorUnit", hasUnit,
                                false, false)
            .error() ||
        !hasSource || !hasUnit)
        return MStatus::kSuccess; // no Arnold: nothing else changes
    // Arnold's units: 0 per frame, 1 per second, as the node's Motion Unit.
    status = Run(MString("setAttr -type \"string\" ") + shapeName + ".aiMotionVectorSource " + kSet, nullptr);
    if (!status.error())
        status = Run(MString("setAttr ") + shapeName + ".aiMotionVectorUnit 0", nullptr);
    if (status.error())
        return status;
    MGlobal::displayInfo(MString("[KorvaneCreate] Arnold motion blur: ") + shapeName +
                         " reads its velocities from the color set \"" + kSet + "\", per frame.");
    return MStatus::kSuccess;
}

} // namespace

MStatus KorvaneCreateCmd::doIt(const MArgList& args)
{
    MString baseName;
    bool verbose = false;
    MString file;
    bool hasFile = false;
    MStatus status = ParseArguments(args, baseName, verbose, file, hasFile);
    if (status.error())
        return status;
    if (baseName.length() == 0)
        return MStatus::kSuccess;

    // -f: everything about the cache is found out before anything is made.
    CacheFileFacts facts;
    if (hasFile)
    {
        char message[4096];
        if (!AnalyzeCacheFile(file.asChar(), facts, message, sizeof(message)))
        {
            MGlobal::displayError(message);
            return MStatus::kFailure;
        }
    }

    if (verbose)
        MGlobal::displayInfo(MString("[KorvaneCreate] base node name: ") + baseName);

    MString transformName = baseName + "1";
    MString shapeName = baseName + "Shape";
    MString nodeName = baseName + "Node";

    if (verbose)
        MGlobal::displayInfo("[KorvaneCreate] creating the main nodes.");

    MString result;
    status = Run(MString("createNode transform -n ") + transformName, &result);
    if (status.error())
        return status;
    transformName = result;

    // The suffix the host gave the transform ("1", or "2" when it had to
    // rename it) is what shape and node follow.
    const int baseLength = static_cast<int>(baseName.length());
    const int transformLength = static_cast<int>(transformName.length());
    MString suffix;
    if (transformLength > baseLength)
        suffix = transformName.substring(baseLength, transformLength - 1);
    shapeName += suffix;
    nodeName += suffix;

    status = Run(MString("createNode mesh -n ") + shapeName + " -p " + transformName, &result);
    if (status.error())
        return status;
    shapeName = result;

    status = Run(MString("sets -add initialShadingGroup ") + shapeName, nullptr);
    if (status.error())
        return status;

    status = Run(MString("createNode Korvane -n ") + nodeName, &result);
    if (status.error())
        return status;
    nodeName = result;

    status = Run(MString("connectAttr ") + nodeName + ".outMesh " + shapeName + ".inMesh", nullptr);
    if (status.error())
        return status;

    if (hasFile)
    {
        if (verbose)
        {
            MString line("[KorvaneCreate] cache: ");
            line += MString(facts.directory) + " " + facts.pattern + ", frames ";
            line += facts.first;
            line += " to ";
            line += facts.last;
            MGlobal::displayInfo(line + ".");
        }
        const MString plug = nodeName + ".";
        MString commands[11];
        commands[0] = MString("setAttr -type \"string\" ") + plug + "m_flPath " + Quoted(facts.directory);
        commands[1] = MString("setAttr -type \"string\" ") + plug + "m_flName " + Quoted(facts.pattern);
        commands[2] = MString("setAttr ") + plug + "m_flFormat ";
        commands[2] += static_cast<int>(facts.format);
        commands[3] = MString("setAttr ") + plug + "m_flLoadNormals " + (facts.normals ? "1" : "0");
        commands[4] = MString("setAttr ") + plug + "m_flLoadMotions " + (facts.motions ? "1" : "0");
        commands[5] = MString("setAttr ") + plug + "m_flLoadUVWs " + (facts.uvws ? "1" : "0");
        commands[6] = MString("setAttr ") + plug + "m_flLoadColors " + (facts.colors ? "1" : "0");
        commands[7] = MString("setAttr ") + plug + "m_flRangeStart ";
        commands[7] += facts.first;
        commands[8] = MString("setAttr ") + plug + "m_flRangeEnd ";
        commands[8] += facts.last;
        commands[9] = MString("setAttr ") + plug + "m_flRangeActive 1";
        // The scene time drives the index value through an expression, not
        // a connection from time1.outTime: such a connection gets a
        // timeToUnitConversion node whose factor is fixed to the time unit
        // of the moment it was made, so after a change of the scene's frame
        // rate the timeline's frame 30 would load some other file. "frame"
        // is always the current frame in the current unit.
        commands[10] = MString("expression -n ") + nodeName + "Time -s \"" + plug + "m_flIdxValue = frame;\"";
        for (const MString& command : commands)
        {
            status = Run(command, nullptr);
            if (status.error())
                return status;
        }
        if (facts.motions)
        {
            status = SetUpMotionBlur(nodeName, shapeName);
            if (status.error())
                return status;
        }
    }

    return MGlobal::executeCommand(MString("select ") + transformName, false, false);
}
