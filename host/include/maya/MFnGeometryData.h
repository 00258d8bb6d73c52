// Stand-in host: MFnGeometryData, the function set of geometry data.
#ifndef KHOST_MAYA_MFnGeometryData_h
#define KHOST_MAYA_MFnGeometryData_h

#include <maya/MFnData.h>

class MObject;

class OPENMAYA_EXPORT MFnGeometryData : public MFnData
{
public:
    MFnGeometryData();
    MFnGeometryData(MObject& object, MStatus* ReturnStatus = NULL);
    MFnGeometryData(const MObject& object, MStatus* ReturnStatus = NULL);
    virtual ~MFnGeometryData();
    virtual MFn::Type type() const;

private:
    MFnGeometryData(const MFnGeometryData&);
    MFnGeometryData& operator=(const MFnGeometryData&);
    MFnGeometryData* operator&() const;
};

#endif
