// Stand-in host: MGlobal, messages and commands of the host application.
#ifndef KHOST_MAYA_MGlobal_h
#define KHOST_MAYA_MGlobal_h

#include <maya/MTypes.h>
#include <maya/MStatus.h>
#include <maya/MString.h>
#include <maya/MIntArray.h>
#include <maya/MObject.h>

class OPENMAYA_EXPORT MGlobal
{
public:
    static void displayInfo(const MString& theMessage);
    static void displayError(const MString& theError);

    static MStatus executeCommand(const MString& command, bool displayEnabled = false, bool undoEnabled = false);
    static MStatus executeCommand(const MString& command, int& result, bool displayEnabled = false,
                                  bool undoEnabled = false);
    // Kept though nothing calls it: without it a double result would convert
    // to the displayEnabled flag and compile with another meaning.
    static MStatus executeCommand(const MString& command, double& result, bool displayEnabled = false,
                                  bool undoEnabled = false);
    static MStatus executeCommand(const MString& command, MString& result, bool displayEnabled = false,
                                  bool undoEnabled = false);
};

#endif
