// Stand-in host: MFnMeshData, the function set of mesh data.
#ifndef KHOST_MAYA_MFnMeshData_h
#define KHOST_MAYA_MFnMeshData_h

#include <maya/MFnGeometryData.h>

class MObject;
class MString;

class OPENMAYA_EXPORT MFnMeshData : public MFnGeometryData
{
public:
    MFnMeshData();
    MFnMeshData(MObject& object, MStatus* ReturnStatus = NULL);
    MFnMeshData(const MObject& object, MStatus* ReturnStatus = NULL);
    virtual ~MFnMeshData();
    virtual MFn::Type type() const;

    MObject create(MStatus* ReturnStatus = NULL);
private:
    MFnMeshData(const MFnMeshData&);
    MFnMeshData& operator=(const MFnMeshData&);
    MFnMeshData* operator&() const;
};

#endif
