// Stand-in host: MDataBlock, the data of one node during compute.
#ifndef KHOST_MAYA_MDataBlock_h
#define KHOST_MAYA_MDataBlock_h

#include <maya/MTypes.h>
#include <maya/MStatus.h>
#include <maya/MDataHandle.h>

class MPlug;
class MObject;

class OPENMAYA_EXPORT MDataBlock
{
public:
    virtual ~MDataBlock();

    MDataHandle inputValue(const MObject& attribute, MStatus* ReturnStatus = NULL);
    MDataHandle outputValue(const MObject& attribute, MStatus* ReturnStatus = NULL);
    MStatus setClean(const MPlug& plug);

private:
    friend struct KHostAccess;
    MDataBlock(void* node);
    MDataBlock(const MDataBlock&);
    MDataBlock& operator=(const MDataBlock&);
    void* fNode;
};

#endif
