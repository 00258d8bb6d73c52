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

    MObject create(const MString& fullName, const MString& briefName, short defaultValue = 0,
                   MStatus* ReturnStatus = NULL);
    MStatus addField(const MString& fieldString, short index);
    MStatus setDefault(short index);
private:
    MFnEnumAttribute(const MFnEnumAttribute&);
    MFnEnumAttribute& operator=(const MFnEnumAttribute&);
    MFnEnumAttribute* operator&() const;
};

#endif
