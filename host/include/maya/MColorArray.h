// Stand-in host: MColorArray, an array of MColor.
#ifndef KHOST_MAYA_MColorArray_h
#define KHOST_MAYA_MColorArray_h

#include <maya/MTypes.h>
#include <maya/MStatus.h>
#include <maya/MColor.h>

class OPENMAYA_EXPORT MColorArray
{
public:
    MColorArray();
    MColorArray(const MColorArray& other);
    MColorArray(const MColor src[], unsigned int count);
    MColorArray(const float src[][4], unsigned int count);
    MColorArray(const double src[][4], unsigned int count);
    MColorArray(unsigned int initialSize, const MColor& initial = MColor::kOpaqueBlack);
    ~MColorArray();
    MColorArray& operator=(const MColorArray& other);
    const MColor& operator[](unsigned int index) const;
    MColor& operator[](unsigned int index);
    MStatus set(const MColor& element, unsigned int index);
    MStatus set(unsigned int index, float r, float g, float b, float a = 1);
    MStatus set(float element[4], unsigned int index);
    MStatus set(double element[4], unsigned int index);
    MStatus setLength(unsigned int length);
    unsigned int length() const;
    MStatus remove(unsigned int index);
    MStatus insert(const MColor& element, unsigned int index);
    MStatus append(const MColor& element);
    MStatus append(float r, float g, float b, float a = 1);
    MStatus copy(const MColorArray& source);
    MStatus clear();
    MStatus get(float dest[][4]) const;
    void setSizeIncrement(unsigned int newIncrement);
    unsigned int sizeIncrement() const;

    friend OPENMAYA_EXPORT std::ostream& operator<<(std::ostream& os, const MColorArray& array);

private:
    friend struct KHostAccess;
    MColor* fData;
    unsigned int fLength;
    unsigned int fCapacity;
    unsigned int fIncrement;
};

#endif
