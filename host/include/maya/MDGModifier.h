// Stand-in host: MDGModifier, a queue of dependency graph changes.
#ifndef KHOST_MAYA_MDGModifier_h
#define KHOST_MAYA_MDGModifier_h

#include <maya/MTypes.h>
#include <maya/MStatus.h>
#include <maya/MObject.h>

class MString;
class MPlug;

class OPENMAYA_EXPORT MDGModifier
{
public:
    MDGModifier();
    virtual ~MDGModifier();
    MObject createNode(const MString& type, MStatus* ReturnStatus = NULL);
    MStatus connect(const MPlug& source, const MPlug& dest);
    MStatus disconnect(const MPlug& source, const MPlug& dest);
    MStatus commandToExecute(const MString& command);
    MStatus doIt();
    MStatus undoIt();

private:
    friend struct KHostAccess;
    MDGModifier(const MDGModifier&);
    MDGModifier& operator=(const MDGModifier&);
    void* data;
};

#endif
