// Stand-in host: MPxCommand, the base of plug-in commands.
#ifndef KHOST_MAYA_MPxCommand_h
#define KHOST_MAYA_MPxCommand_h

#include <maya/MTypes.h>
#include <maya/MStatus.h>
#include <maya/MString.h>

class MArgList;

class OPENMAYA_EXPORT MPxCommand
{
public:
    MPxCommand();
    virtual ~MPxCommand();
    virtual MStatus doIt(const MArgList& args);

private:
    MPxCommand(const MPxCommand&);
    MPxCommand& operator=(const MPxCommand&);
    void* data;
};

#endif
