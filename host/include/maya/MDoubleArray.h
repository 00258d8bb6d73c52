// Stand-in host: MDoubleArray, an array of double.
#ifndef KHOST_MAYA_MDoubleArray_h
#define KHOST_MAYA_MDoubleArray_h

#include <maya/MTypes.h>
#include <maya/MStatus.h>

class OPENMAYA_EXPORT MDoubleArray
{
public:
    MDoubleArray();
    MDoubleArray(const MDoubleArray& other);
    MDoubleArray(const double src[], unsigned int count);
    MDoubleArray(const float src[], unsigned int count);
    MDoubleArray(unsigned int initialSize, double initialValue = 0);
    ~MDoubleArray();
    MDoubleArray& operator=(const MDoubleArray& other);
    double operator[](unsigned int index) const;
    double& operator[](unsigned int index);
    MStatus set(double element, unsigned int index);
    MStatus set(float element, unsigned int index);
    MStatus setLength(unsigned int length);
    unsigned int length() const;
    MStatus remove(unsigned int index);
    MStatus insert(double element, unsigned int index);
    MStatus append(double element);
    MStatus copy(const MDoubleArray& source);
    MStatus clear();
    MStatus get(double array[]) const;
    void setSizeIncrement(unsigned int newIncrement);
    unsigned int sizeIncrement() const;

    friend OPENMAYA_EXPORT std::ostream& operator<<(std::ostream& os, const MDoubleArray& array);

private:
    friend struct KHostAccess;
    double* fData;
    unsigned int fLength;
    unsigned int fCapacity;
    unsigned int fIncrement;
};

#endif
