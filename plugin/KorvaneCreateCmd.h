// KorvaneCreate [-h] [-v on|off] [-n baseName] [-f PATH]
//
// Builds the node network that shows a cache: a transform B1, a mesh shape
// BShape1 under it in the default shading group, and a Korvane node BNode1
// whose outMesh drives the shape's inMesh; then selects the transform. When
// the host renames the transform (B2 because B1 exists), shape and node take
// the same suffix. Not undoable.
//
// -f PATH (-file): PATH is any one frame file of a cache. The node then gets
// the file's folder, its name with the last digit run as a '#' run, the
// format of its extension (.drs2 ascii or binary from its header), the
// frame range of the files in that folder (switched on), the load flags of
// what the file carries, and an expression that sets its Idx Value to the
// current frame. A file that does not exist or whose name has no frame
// number is refused before anything is created.
#pragma once

#include <maya/MArgList.h>
#include <maya/MPxCommand.h>
#include <maya/MStatus.h>

class KorvaneCreateCmd : public MPxCommand
{
public:
    KorvaneCreateCmd() = default;
    ~KorvaneCreateCmd() override;

    // Parses the flags and runs createNode, sets, connectAttr and select.
    // Returns kFailure on a syntax error, kInvalidParameter for a base name
    // that is not a plain node name, the host's status when an argument
    // cannot be read or a network command fails, success after the help text.
    MStatus doIt(const MArgList& args) override;

    // Command creator for registration: a new command, owned by the host.
    static void* creator();
};
