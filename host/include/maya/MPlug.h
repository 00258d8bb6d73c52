// Stand-in host: MPlug, a node attribute of one node.
#ifndef KHOST_MAYA_MPlug_h
#define KHOST_MAYA_MPlug_h

#include <maya/MTypes.h>
#include <maya/MObject.h>
#include <maya/MStatus.h>
#include <maya/MIntArray.h>
#include <maya/MDGContext.h>

class MString;
class MDataHandle;
class MDataBlock;
class MPlugArray;

class OPENMAYA_EXPORT MPlug
{
public:
    MPlug();
    MPlug(const MPlug& in);
    MPlug(const MObject& node, const MObject& attribute);
    virtual ~MPlug();
    MPlug& operator=(const MPlug& other);

    MObject attribute(MStatus* ReturnStatus = NULL) const;
    MObject node(MStatus* ReturnStatus = NULL) const;
    MString name(MStatus* ReturnStatus = NULL) const;
    MString partialName(bool includeNodeName = false, bool includeNonMandatoryIndices = false,
                        bool includeInstancedIndices = false, bool useAlias = false,
                        bool useFullAttributePath = false, bool useLongNames = false,
                        MStatus* ReturnStatus = NULL) const;
    bool isNull(MStatus* ReturnStatus = NULL) const;
    bool isArray(MStatus* ReturnStatus = NULL) const;
    bool isElement(MStatus* ReturnStatus = NULL) const;
    bool isConnected(MStatus* ReturnStatus = NULL) const;
    bool isKeyable(MStatus* ReturnStatus = NULL) const;
    unsigned int logicalIndex(MStatus* ReturnStatus = NULL) const;
    MPlug elementByLogicalIndex(unsigned int logicalIndex, MStatus* ReturnStatus = NULL) const;
    MPlug array(MStatus* ReturnStatus = NULL) const;
    bool connectedTo(MPlugArray& array, bool asDst, bool asSrc, MStatus* ReturnStatus = NULL) const;

    MStatus getValue(MObject& val, MDGContext& ctx = MDGContext::fsNormal) const;

    bool asBool(MDGContext& ctx = MDGContext::fsNormal, MStatus* ReturnStatus = NULL) const;
    char asChar(MDGContext& ctx = MDGContext::fsNormal, MStatus* ReturnStatus = NULL) const;
    short asShort(MDGContext& ctx = MDGContext::fsNormal, MStatus* ReturnStatus = NULL) const;
    int asInt(MDGContext& ctx = MDGContext::fsNormal, MStatus* ReturnStatus = NULL) const;
    MInt64 asInt64(MDGContext& ctx = MDGContext::fsNormal, MStatus* ReturnStatus = NULL) const;
    float asFloat(MDGContext& ctx = MDGContext::fsNormal, MStatus* ReturnStatus = NULL) const;
    double asDouble(MDGContext& ctx = MDGContext::fsNormal, MStatus* ReturnStatus = NULL) const;
    MString asString(MDGContext& ctx = MDGContext::fsNormal, MStatus* ReturnStatus = NULL) const;
    MObject asMObject(MDGContext& ctx = MDGContext::fsNormal, MStatus* ReturnStatus = NULL) const;

    MStatus setValue(bool value);
    MStatus setValue(char value);
    MStatus setValue(short value);
    MStatus setValue(int value);
    MStatus setValue(MInt64 value);
    MStatus setValue(float value);
    MStatus setValue(double value);
    MStatus setValue(const MString& value);
    MStatus setValue(const char* value);
    MStatus setValue(MObject& value);
    MStatus setBool(bool value);
    MStatus setChar(char value);
    MStatus setShort(short value);
    MStatus setInt(int value);
    MStatus setInt64(MInt64 value);
    MStatus setFloat(float value);
    MStatus setDouble(double value);
    MStatus setString(const MString& value);
    MStatus setMObject(const MObject& value);

    bool operator==(const MPlug& other) const;
    bool operator==(const MObject& other) const;
    bool operator!=(const MPlug& other) const;
    bool operator!=(const MObject& other) const;
    MPlug operator[](const MObject& attr) const;
    MPlug operator[](unsigned int logicalIndex) const;
    bool operator!() const;
    operator MObject() const;

private:
    friend struct KHostAccess;
    void* fNode;
    void* fAttr;
};

#endif
