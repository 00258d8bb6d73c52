// Plug-in entry points: registers the Korvane node type and the
// KorvaneCreate command on load, removes both on unload. The only unit that
// includes MFnPlugin.h, which also defines the exported MApiVersion text.
#include <cstdio>

#include <maya/MFnPlugin.h>
#include <maya/MGlobal.h>
#include <maya/MObject.h>
#include <maya/MPxNode.h>
#include <maya/MStatus.h>
#include <maya/MString.h>

#include "formats/ZNQPrefetch.h"
#include "plugin/KorvaneCreateCmd.h"
#include "plugin/KorvaneNode.h"

namespace {
const char kNodeName[] = "Korvane";
const char kCommandName[] = "KorvaneCreate";
const double kPluginVersion = 1.236;
} // namespace

PLUGIN_EXPORT MStatus initializePlugin(MObject obj)
{
    char version[32];
    std::snprintf(version, sizeof(version), "%g", kPluginVersion);

    MFnPlugin plugin(obj, "Quorbel", version, "Any");
    MGlobal::displayInfo(MString("[Quorbel] initializing plugin ") + "Korvane " + "v." + version +
                         "." + "");

    // A failed node registration is reported and the command still goes in.
    MStatus status = plugin.registerNode(kNodeName, Korvane::id, Korvane::creator,
                                         Korvane::initialize, MPxNode::kDependNode);
    if (status.error())
        status.perror("registerNode");

    status = plugin.registerCommand(kCommandName, KorvaneCreateCmd::creator);
    if (status.error())
        status.perror("registerCommand KorvaneCreate");
    return status;
}

PLUGIN_EXPORT MStatus uninitializePlugin(MObject obj)
{
    MFnPlugin plugin(obj, "Unknown", "Unknown", "Any");

    MStatus status = plugin.deregisterNode(Korvane::id);
    if (status.error())
        status.perror("deregisterNode");

    // The command goes too, so that a reload can register it again.
    const MStatus commandStatus = plugin.deregisterCommand(kCommandName);
    if (commandStatus.error())
        commandStatus.perror("deregisterCommand KorvaneCreate");

    // The background reader of the next frame (where the platform has one)
    // ends here, before the plug-in's code goes away.
    FilePrefetchStop();
    return status.error() ? status : commandStatus;
}
