// MGlobal and MThreadUtils of the stand-in host.
#include "HostInternal.h"

#include <maya/MDoubleArray.h>
#include <maya/MGlobal.h>
#include <maya/MIntArray.h>
#include <maya/MStringArray.h>
#include <maya/MThreadUtils.h>

#include <cerrno>
#include <cstdlib>
#include <thread>

using namespace khost_impl;

MGlobal::MMayaState MGlobal::mayaState(MStatus* st)
{
    if (st)
        *st = MS::kSuccess;
    return kLibraryApp;
}
MString MGlobal::mayaVersion() { return MString("2016"); }
int MGlobal::apiVersion() { return MAYA_API_VERSION; }

void MGlobal::displayInfo(const MString& s) { Show(khost::MessageKind::kInfo, s.asChar()); }
void MGlobal::displayWarning(const MString& s) { Show(khost::MessageKind::kWarning, s.asChar()); }
void MGlobal::displayError(const MString& s) { Show(khost::MessageKind::kError, s.asChar()); }

namespace
{
MStatus Run(const MString& command, CommandResultData* r)
{
    return RunCommandLine(command.asChar(), r, nullptr);
}
bool ToDouble(const std::string& w, double* out)
{
    if (w.empty())
        return false;
    char* end = nullptr;
    double v = std::strtod(w.c_str(), &end);
    if (*end != 0)
        return false;
    *out = v;
    return true;
}
// An array result joined with blanks when text is asked for.
std::string Joined(const CommandResultData& r)
{
    std::string s;
    for (size_t i = 0; i < r.words.size(); ++i)
        s += (i ? " " : "") + r.words[i];
    return s;
}
} // namespace

MStatus MGlobal::executeCommand(const MString& command, bool, bool)
{
    CommandResultData r;
    return Run(command, &r);
}
MStatus MGlobal::executeCommand(const MString&, MCommandResult&, bool, bool)
{
    return MS::kNotImplemented;   // MCommandResult is not part of this host
}
MStatus MGlobal::executeCommand(const MString& command, int& result, bool, bool)
{
    CommandResultData r;
    MStatus st = Run(command, &r);
    if (!st)
        return st;
    double v = 0;
    if (r.words.size() != 1 || !ToDouble(r.words[0], &v))
        return MS::kFailure;
    result = (int)v;
    return st;
}
MStatus MGlobal::executeCommand(const MString& command, MIntArray& result, bool, bool)
{
    CommandResultData r;
    MStatus st = Run(command, &r);
    if (!st)
        return st;
    result.clear();
    for (const std::string& w : r.words)
    {
        double v = 0;
        if (!ToDouble(w, &v))
            return MS::kFailure;
        result.append((int)v);
    }
    return st;
}
MStatus MGlobal::executeCommand(const MString& command, double& result, bool, bool)
{
    CommandResultData r;
    MStatus st = Run(command, &r);
    if (!st)
        return st;
    if (r.words.size() != 1 || !ToDouble(r.words[0], &result))
        return MS::kFailure;
    return st;
}
MStatus MGlobal::executeCommand(const MString& command, MDoubleArray& result, bool, bool)
{
    CommandResultData r;
    MStatus st = Run(command, &r);
    if (!st)
        return st;
    result.clear();
    for (const std::string& w : r.words)
    {
        double v = 0;
        if (!ToDouble(w, &v))
            return MS::kFailure;
        result.append(v);
    }
    return st;
}
MStatus MGlobal::executeCommand(const MString& command, MString& result, bool, bool)
{
    CommandResultData r;
    MStatus st = Run(command, &r);
    if (st)
        result = Joined(r).c_str();
    return st;
}
MStatus MGlobal::executeCommand(const MString& command, MStringArray& result, bool, bool)
{
    CommandResultData r;
    MStatus st = Run(command, &r);
    if (!st)
        return st;
    result.clear();
    for (const std::string& w : r.words)
        result.append(MString(w.c_str(), (int)w.size()));
    return st;
}
MString MGlobal::executeCommandStringResult(const MString& command, bool, bool, MStatus* st)
{
    CommandResultData r;
    MStatus s = Run(command, &r);
    if (st)
        *st = s;
    return s ? MString(Joined(r).c_str()) : MString();
}

namespace
{
MStatus NoPython()
{
    Show(khost::MessageKind::kError, "Python is not available in this host.");
    return MS::kFailure;
}
} // namespace

MStatus MGlobal::executePythonCommand(const MString&, bool, bool) { return NoPython(); }
MStatus MGlobal::executePythonCommand(const MString&, int&, bool, bool) { return NoPython(); }
MStatus MGlobal::executePythonCommand(const MString&, MIntArray&, bool, bool) { return NoPython(); }
MStatus MGlobal::executePythonCommand(const MString&, double&, bool, bool) { return NoPython(); }
MStatus MGlobal::executePythonCommand(const MString&, MDoubleArray&, bool, bool) { return NoPython(); }
MStatus MGlobal::executePythonCommand(const MString&, MString&, bool, bool) { return NoPython(); }
MStatus MGlobal::executePythonCommand(const MString&, MStringArray&, bool, bool) { return NoPython(); }
MString MGlobal::executePythonCommandStringResult(const MString&, bool, bool, MStatus* st)
{
    MStatus s = NoPython();
    if (st)
        *st = s;
    return MString();
}

// ---------------------------------------------------------------------------
int MThreadUtils::getNumThreads()
{
    int n = S().numThreads;
    if (n >= 1)
        return n;
    unsigned int hw = std::thread::hardware_concurrency();
    return hw ? (int)hw : 1;
}
void MThreadUtils::syncNumOpenMPThreads() {}
int MThreadUtils::getCacheLineSize() { return 64; }
