// Stand-in host: MVectorArray, an array of MVector.
#ifndef KHOST_MAYA_MVectorArray_h
#define KHOST_MAYA_MVectorArray_h

#include <maya/MTypes.h>
#include <maya/MStatus.h>
#include <maya/MVector.h>

class OPENMAYA_EXPORT MVectorArray
{
public:
    MVectorArray();
    MVectorArray(const MVectorArray& other);
    MVectorArray(const MVector src[], unsigned int count);
    MVectorArray(const double src[][3], unsigned int count);
    MVectorArray(const float src[][3], unsigned int count);
    MVectorArray(unsigned int initialSize, const MVector& initial = MVector::zero);
    ~MVectorArray();
    MVectorArray& operator=(const MVectorArray& other);
    const MVector& operator[](unsigned int index) const;
    MVector& operator[](unsigned int index);
    MStatus set(const MVector& element, unsigned int index);
    MStatus set(double element[3], unsigned int index);
    MStatus set(float element[3], unsigned int index);
    MStatus setLength(unsigned int length);
    unsigned int length() const;
    MStatus remove(unsigned int index);
    MStatus insert(const MVector& element, unsigned int index);
    MStatus append(const MVector& element);
    MStatus copy(const MVectorArray& source);
    MStatus clear();
    MStatus get(double dest[][3]) const;
    void setSizeIncrement(unsigned int newIncrement);
    unsigned int sizeIncrement() const;

    friend OPENMAYA_EXPORT std::ostream& operator<<(std::ostream& os, const MVectorArray& array);

private:
    friend struct KHostAccess;
    MVector* fData;
    unsigned int fLength;
    unsigned int fCapacity;
    unsigned int fIncrement;
};

#endif
