// Stand-in host: MFnTypedAttribute, the function set of typed (data) attributes.
#ifndef KHOST_MAYA_MFnTypedAttribute_h
#define KHOST_MAYA_MFnTypedAttribute_h

#include <maya/MFnAttribute.h>
#include <maya/MFnData.h>
#include <maya/MObject.h>

class MString;
class MFnStringData;

class OPENMAYA_EXPORT MFnTypedAttribute : public MFnAttribute
{
public:
    MFnTypedAttribute();
    MFnTypedAttribute(MObject& object, MStatus* ReturnStatus = NULL);
    MFnTypedAttribute(const MObject& object, MStatus* ReturnStatus = NULL);
    virtual ~MFnTypedAttribute();
    virtual MFn::Type type() const;

    MObject create(const MString& fullName, const MString& briefName, MFnData::Type type,
                   MObject defaultData = MObject::kNullObj, MStatus* ReturnStatus = NULL);
private:
    MFnTypedAttribute(const MFnTypedAttribute&);
    MFnTypedAttribute& operator=(const MFnTypedAttribute&);
    MFnTypedAttribute* operator&() const;
};

#endif
