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
class MPxData;

class OPENMAYA_EXPORT MDataHandle
{
public:
    MDataHandle();
    MDataHandle(const MDataHandle& other);
    MDataHandle& operator=(const MDataHandle& other);

    bool isNumeric() const;
    bool isGeneric(bool& isNumeric, bool& isNull) const;
    MFnNumericData::Type numericType() const;
    MFnData::Type type() const;
    MTypeId typeId() const;
    MObject data();
    MStatus copy(const MDataHandle& src);
    void setClean();

    bool& asBool() const;
    char& asChar() const;
    unsigned char& asUChar() const;
    short& asShort() const;
    int& asInt() const;
    int& asLong() const;
    MInt64& asInt64() const;
    void*& asAddr() const;
    float& asFloat() const;
    double& asDouble() const;
    MVector& asVector() const;
    MString& asString() const;
    MObject asMesh() const;
    MPxData* asPluginData() const;

    void set(bool value);
    void set(char value);
    void set(short value);
    void set(int value);
    void set(MInt64 value);
    void set(float value);
    void set(double value);
    void set(const MMatrix& value);
    void set(const MVector& value);
    void set(const MString& value);
    void set(short value1, short value2);
    void set(int value1, int value2);
    void set(float value1, float value2);
    void set(double value1, double value2);
    void set(short value1, short value2, short value3);
    void set(int value1, int value2, int value3);
    void set(float value1, float value2, float value3);
    void set(double value1, double value2, double value3);
    MStatus set(const MObject& data);
    MStatus set(MPxData* data);

    void setBool(bool value);
    void setChar(char value);
    void setShort(short value);
    void setInt(int value);
    void setInt64(MInt64 value);
    void setFloat(float value);
    void setDouble(double value);
    void setMVector(const MVector& value);
    void setString(const MString& value);
    MStatus setMObject(const MObject& data);
    MStatus setMPxData(MPxData* data);

private:
    friend struct KHostAccess;
    char f_data[32];
};

#endif
