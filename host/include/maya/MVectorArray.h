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
    ~MVectorArray();
    MVectorArray& operator=(const MVectorArray& other);
    const MVector& operator[](unsigned int index) const;
    MVector& operator[](unsigned int index);
    MStatus setLength(unsigned int length);
    unsigned int length() const;
    MStatus clear();

private:
    friend struct KHostAccess;
    MVector* fData;
    unsigned int fLength;
    unsigned int fCapacity;
    unsigned int fIncrement;
};

#endif
