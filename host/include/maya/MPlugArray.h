// Stand-in host: MPlugArray, an array of plugs.
#ifndef KHOST_MAYA_MPlugArray_h
#define KHOST_MAYA_MPlugArray_h

#include <maya/MTypes.h>
#include <maya/MStatus.h>
#include <maya/MPlug.h>

class OPENMAYA_EXPORT MPlugArray
{
public:
    MPlugArray();
    MPlugArray(const MPlugArray& other);
    MPlugArray(unsigned int initialSize, const MPlug& initialValue);
    ~MPlugArray();
    MPlugArray& operator=(const MPlugArray& other);
    const MPlug& operator[](unsigned int index) const;
    MPlug& operator[](unsigned int index);
    MStatus set(const MPlug& element, unsigned int index);
    MStatus setLength(unsigned int length);
    unsigned int length() const;
    MStatus remove(unsigned int index);
    MStatus insert(const MPlug& element, unsigned int index);
    MStatus append(const MPlug& element);
    MStatus clear();
    void setSizeIncrement(unsigned int newIncrement);
    unsigned int sizeIncrement() const;

private:
    friend struct KHostAccess;
    void* fData;
};

#endif
