// Stand-in host: MArrayDataHandle, a handle to the elements of an array attribute.
#ifndef KHOST_MAYA_MArrayDataHandle_h
#define KHOST_MAYA_MArrayDataHandle_h

#include <maya/MTypes.h>
#include <maya/MStatus.h>
#include <maya/MDataHandle.h>

class MArrayDataBuilder;

class OPENMAYA_EXPORT MArrayDataHandle
{
public:
    MArrayDataHandle(const MDataHandle& in, MStatus* ReturnStatus = NULL);
    MArrayDataHandle(const MArrayDataHandle& other);
    MArrayDataHandle& operator=(const MArrayDataHandle& other);
    ~MArrayDataHandle();

    MDataHandle inputValue(MStatus* ReturnStatus = NULL);
    MDataHandle outputValue(MStatus* ReturnStatus = NULL);
    MStatus next();
    unsigned int elementCount(MStatus* ReturnStatus = NULL);
    unsigned int elementIndex(MStatus* ReturnStatus = NULL);
    MStatus jumpToElement(unsigned int index);
    MStatus jumpToArrayElement(unsigned int position);
    MStatus setClean();
    MStatus setAllClean();

private:
    friend struct KHostAccess;
    char f_data[32];
};

#endif
