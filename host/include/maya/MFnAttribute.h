// Stand-in host: MFnAttribute, the function set of attributes.
#ifndef KHOST_MAYA_MFnAttribute_h
#define KHOST_MAYA_MFnAttribute_h

#include <maya/MFnBase.h>

class MObject;
class MString;

class OPENMAYA_EXPORT MFnAttribute : public MFnBase
{
public:
    MFnAttribute();
    MFnAttribute(MObject& object, MStatus* ReturnStatus = NULL);
    MFnAttribute(const MObject& object, MStatus* ReturnStatus = NULL);
    virtual ~MFnAttribute();
    virtual MFn::Type type() const;

    MStatus setWritable(bool state);
    MStatus setStorable(bool state);
    MStatus setArray(bool state);
    MStatus setKeyable(bool state);
    MStatus setUsesArrayDataBuilder(bool state);
    MStatus setNiceNameOverride(const MString& localizedName);
private:
    MFnAttribute(const MFnAttribute&);
    MFnAttribute& operator=(const MFnAttribute&);
    MFnAttribute* operator&() const;
};

#endif
