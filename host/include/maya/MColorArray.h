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
    ~MColorArray();
    MColorArray& operator=(const MColorArray& other);
    const MColor& operator[](unsigned int index) const;
    MColor& operator[](unsigned int index);
    MStatus setLength(unsigned int length);
    unsigned int length() const;
    MStatus clear();

private:
    friend struct KHostAccess;
    MColor* fData;
    unsigned int fLength;
    unsigned int fCapacity;
    unsigned int fIncrement;
};

#endif
