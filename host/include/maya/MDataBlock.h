// Stand-in host: MDataBlock, the data of one node during compute.
#ifndef KHOST_MAYA_MDataBlock_h
#define KHOST_MAYA_MDataBlock_h

#include <maya/MTypes.h>
#include <maya/MStatus.h>
#include <maya/MDataHandle.h>
#include <maya/MArrayDataHandle.h>

class MPlug;
class MObject;
class MDGContext;

class OPENMAYA_EXPORT MDataBlock
{
public:
    virtual ~MDataBlock();

    MDataHandle inputValue(const MPlug& plug, MStatus* ReturnStatus = NULL);
    MDataHandle inputValue(const MObject& attribute, MStatus* ReturnStatus = NULL);
    MDataHandle outputValue(const MPlug& plug, MStatus* ReturnStatus = NULL);
    MDataHandle outputValue(const MObject& attribute, MStatus* ReturnStatus = NULL);
    MArrayDataHandle inputArrayValue(const MPlug& plug, MStatus* ReturnStatus = NULL);
    MArrayDataHandle inputArrayValue(const MObject& attribute, MStatus* ReturnStatus = NULL);
    MArrayDataHandle outputArrayValue(const MPlug& plug, MStatus* ReturnStatus = NULL);
    MArrayDataHandle outputArrayValue(const MObject& attribute, MStatus* ReturnStatus = NULL);
    MStatus setClean(const MPlug& plug);
    MStatus setClean(const MObject& attribute);
    bool isClean(const MPlug& plug);
    bool isClean(const MObject& attribute, MStatus* ReturnStatus = NULL);
    MDGContext context(MStatus* ReturnStatus = NULL);

private:
    friend struct KHostAccess;
    MDataBlock(void* node);
    MDataBlock(const MDataBlock&);
    MDataBlock& operator=(const MDataBlock&);
    void* fNode;
};

#endif
