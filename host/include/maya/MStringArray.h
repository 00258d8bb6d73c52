// Stand-in host: MStringArray, an array of MString.
#ifndef KHOST_MAYA_MStringArray_h
#define KHOST_MAYA_MStringArray_h

#include <maya/MTypes.h>
#include <maya/MStatus.h>
#include <maya/MString.h>

class OPENMAYA_EXPORT MStringArray
{
public:
    MStringArray();
    MStringArray(const MStringArray& other);
    MStringArray(const MString src[], unsigned int count);
    MStringArray(unsigned int initialSize, const MString& initialValue);
    ~MStringArray();
    MStringArray& operator=(const MStringArray& other);
    const MString& operator[](unsigned int index) const;
    MString& operator[](unsigned int index);
    MStatus set(const MString& element, unsigned int index);
    MStatus setLength(unsigned int length);
    unsigned int length() const;
    MStatus remove(unsigned int index);
    MStatus insert(const MString& element, unsigned int index);
    MStatus append(const MString& element);
    MStatus copy(const MStringArray& source);
    MStatus clear();
    MStatus get(MString array[]) const;
    void setSizeIncrement(unsigned int newIncrement);
    unsigned int sizeIncrement() const;

    friend OPENMAYA_EXPORT std::ostream& operator<<(std::ostream& os, const MStringArray& array);

private:
    friend struct KHostAccess;
    MString* fData;
    unsigned int fLength;
    unsigned int fCapacity;
    unsigned int fIncrement;
};

#endif
