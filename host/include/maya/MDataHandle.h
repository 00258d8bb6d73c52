// Stand-in host: MDataHandle, a handle to one value of a node's data block.
#ifndef KHOST_MAYA_MDataHandle_h
#define KHOST_MAYA_MDataHandle_h

#include <maya/MTypes.h>
#include <maya/MObject.h>
#include <maya/MTypeId.h>
#include <maya/MFnNumericData.h>
#include <maya/MFnData.h>

class MString;
class MVector;
class MMatrix;

class OPENMAYA_EXPORT MDataHandle
{
public:
    MDataHandle();
    MDataHandle(const MDataHandle& other);
    MDataHandle& operator=(const MDataHandle& other);

    bool& asBool() const;
    short& asShort() const;
    int& asInt() const;
    float& asFloat() const;
    MString& asString() const;

    void set(bool value);
    void set(char value);
    void set(short value);
    void set(int value);
    void set(MInt64 value);
    void set(float value);
    void set(double value);
    void set(const MString& value);
    MStatus set(const MObject& data);

private:
    friend struct KHostAccess;
    char f_data[32];
};

#endif
