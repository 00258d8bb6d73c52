// Stand-in host: MFnEnumAttribute, the function set of enum attributes.
#ifndef KHOST_MAYA_MFnEnumAttribute_h
#define KHOST_MAYA_MFnEnumAttribute_h

#include <maya/MFnAttribute.h>

class MObject;
class MString;
class OPENMAYA_EXPORT MFnEnumAttribute : public MFnAttribute
{
public:
    MFnEnumAttribute();
    MFnEnumAttribute(MObject& object, MStatus* ReturnStatus = NULL);
    MFnEnumAttribute(const MObject& object, MStatus* ReturnStatus = NULL);
    virtual ~MFnEnumAttribute();
    virtual MFn::Type type() const;
    static const char* className();

    MObject create(const MString& fullName, const MString& briefName, short defaultValue = 0,
                   MStatus* ReturnStatus = NULL);
    MStatus addField(const MString& fieldString, short index);
    MString fieldName(short index, MStatus* ReturnStatus = NULL) const;
    short fieldIndex(const MString& fieldString, MStatus* ReturnStatus = NULL) const;
    MStatus getMin(short& minValue) const;
    MStatus getMax(short& maxValue) const;
    MStatus setDefault(short index);
    MStatus setDefault(const MString& fieldString);
    MStatus getDefault(short& index) const;

private:
    MFnEnumAttribute(const MFnEnumAttribute&);
    MFnEnumAttribute& operator=(const MFnEnumAttribute&);
    MFnEnumAttribute* operator&() const;
};

#endif
