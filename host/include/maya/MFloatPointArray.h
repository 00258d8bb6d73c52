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
    MFloatPointArray(const MFloatPoint src[], unsigned int count);
    MFloatPointArray(const float src[][4], unsigned int count);
    MFloatPointArray(const double src[][4], unsigned int count);
    MFloatPointArray(unsigned int initialSize, const MFloatPoint& initial = MFloatPoint::origin);
    ~MFloatPointArray();
    MFloatPointArray& operator=(const MFloatPointArray& other);
    const MFloatPoint& operator[](unsigned int index) const;
    MFloatPoint& operator[](unsigned int index);
    MStatus set(const MFloatPoint& element, unsigned int index);
    MStatus set(unsigned int index, float x, float y, float z = 0, float w = 1);
    MStatus set(float element[4], unsigned int index);
    MStatus set(double element[4], unsigned int index);
    MStatus setLength(unsigned int length);
    unsigned int length() const;
    MStatus remove(unsigned int index);
    MStatus insert(const MFloatPoint& element, unsigned int index);
    MStatus append(const MFloatPoint& element);
    MStatus append(float x, float y, float z = 0, float w = 1);
    MStatus copy(const MFloatPointArray& source);
    MStatus clear();
    MStatus get(float dest[][4]) const;
    void setSizeIncrement(unsigned int newIncrement);
    unsigned int sizeIncrement() const;

    friend OPENMAYA_EXPORT std::ostream& operator<<(std::ostream& os, const MFloatPointArray& array);

private:
    friend struct KHostAccess;
    MFloatPoint* fData;
    unsigned int fLength;
    unsigned int fCapacity;
    unsigned int fIncrement;
};

#endif
