// Stand-in host: MFloatPointArray, an array of MFloatPoint.
#ifndef KHOST_MAYA_MFloatPointArray_h
#define KHOST_MAYA_MFloatPointArray_h

#include <maya/MTypes.h>
#include <maya/MStatus.h>
#include <maya/MFloatPoint.h>

class OPENMAYA_EXPORT MFloatPointArray
{
public:
    MFloatPointArray();
    MFloatPointArray(const MFloatPointArray& other);
    ~MFloatPointArray();
    MFloatPointArray& operator=(const MFloatPointArray& other);
    const MFloatPoint& operator[](unsigned int index) const;
    MFloatPoint& operator[](unsigned int index);
    MStatus set(unsigned int index, float x, float y, float z = 0, float w = 1);
    MStatus setLength(unsigned int length);
    unsigned int length() const;
    MStatus clear();

private:
    friend struct KHostAccess;
    MFloatPoint* fData;
    unsigned int fLength;
    unsigned int fCapacity;
    unsigned int fIncrement;
};

#endif
