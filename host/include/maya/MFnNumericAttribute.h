// Stand-in host: MFnNumericAttribute, the function set of numeric attributes.
#ifndef KHOST_MAYA_MFnNumericAttribute_h
#define KHOST_MAYA_MFnNumericAttribute_h

#include <maya/MFnAttribute.h>
#include <maya/MFnNumericData.h>
#include <maya/MObject.h>

class MString;

class OPENMAYA_EXPORT MFnNumericAttribute : public MFnAttribute
{
public:
    MFnNumericAttribute();
    MFnNumericAttribute(MObject& object, MStatus* ReturnStatus = NULL);
    MFnNumericAttribute(const MObject& object, MStatus* ReturnStatus = NULL);
    virtual ~MFnNumericAttribute();
    virtual MFn::Type type() const;

    MObject create(const MString& fullName, const MString& briefName, MFnNumericData::Type unitType,
                   double defaultValue = 0, MStatus* ReturnStatus = NULL);
    MStatus setSoftMin(double min1);
    MStatus setSoftMax(double max1);
    MStatus setDefault(bool def1);
    MStatus setDefault(int def1);
    MStatus setDefault(float def1);
private:
    MFnNumericAttribute(const MFnNumericAttribute&);
    MFnNumericAttribute& operator=(const MFnNumericAttribute&);
    MFnNumericAttribute* operator&() const;
};

#endif
