// Stand-in host: MIntArray, an array of int.
#ifndef KHOST_MAYA_MIntArray_h
#define KHOST_MAYA_MIntArray_h

#include <maya/MTypes.h>
#include <maya/MStatus.h>

class OPENMAYA_EXPORT MIntArray
{
public:
    MIntArray();
    MIntArray(const MIntArray& other);
    ~MIntArray();
    MIntArray& operator=(const MIntArray& other);
    int operator[](unsigned int index) const;
    int& operator[](unsigned int index);
    MStatus setLength(unsigned int length);
    unsigned int length() const;
    MStatus clear();

private:
    friend struct KHostAccess;
    int* fData;
    unsigned int fLength;
    unsigned int fCapacity;
    unsigned int fIncrement;
};

#endif
