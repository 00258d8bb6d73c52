// Stand-in host: MPlug, a node attribute of one node.
#ifndef KHOST_MAYA_MPlug_h
#define KHOST_MAYA_MPlug_h

#include <maya/MTypes.h>
#include <maya/MObject.h>
#include <maya/MStatus.h>
#include <maya/MIntArray.h>

class MString;
class MDataHandle;
class MDataBlock;

class OPENMAYA_EXPORT MPlug
{
public:
    MPlug();
    MPlug(const MPlug& in);
    virtual ~MPlug();
    MPlug& operator=(const MPlug& other);

    bool operator==(const MObject& attribute) const;
    bool operator!=(const MObject& attribute) const;

private:
    friend struct KHostAccess;
    void* fNode;
    void* fAttr;
};

#endif
