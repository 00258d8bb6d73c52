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
    MFloatArray(const float src[], unsigned int count);
    MFloatArray(const double src[], unsigned int count);
    MFloatArray(unsigned int initialSize, float initialValue = 0);
    ~MFloatArray();
    MFloatArray& operator=(const MFloatArray& other);
    float operator[](unsigned int index) const;
    float& operator[](unsigned int index);
    MStatus set(float element, unsigned int index);
    MStatus set(double element, unsigned int index);
    MStatus setLength(unsigned int length);
    unsigned int length() const;
    MStatus remove(unsigned int index);
    MStatus insert(float element, unsigned int index);
    MStatus append(float element);
    MStatus copy(const MFloatArray& source);
    MStatus clear();
    MStatus get(float array[]) const;
    void setSizeIncrement(unsigned int newIncrement);
    unsigned int sizeIncrement() const;

    friend OPENMAYA_EXPORT std::ostream& operator<<(std::ostream& os, const MFloatArray& array);

private:
    friend struct KHostAccess;
    float* fData;
    unsigned int fLength;
    unsigned int fCapacity;
    unsigned int fIncrement;
};

#endif
