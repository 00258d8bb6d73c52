// Stand-in host: MFloatArray, an array of float.
#ifndef KHOST_MAYA_MFloatArray_h
#define KHOST_MAYA_MFloatArray_h

#include <maya/MTypes.h>
#include <maya/MStatus.h>

class OPENMAYA_EXPORT MFloatArray
{
public:
    MFloatArray();
    MFloatArray(const MFloatArray& other);
    ~MFloatArray();
    MFloatArray& operator=(const MFloatArray& other);
    float operator[](unsigned int index) const;
    float& operator[](unsigned int index);
    MStatus setLength(unsigned int length);
    unsigned int length() const;
    MStatus clear();

private:
    friend struct KHostAccess;
    float* fData;
    unsigned int fLength;
    unsigned int fCapacity;
    unsigned int fIncrement;
};

#endif
