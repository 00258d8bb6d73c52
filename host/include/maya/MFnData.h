// Stand-in host: MFnData, the function set of data objects.
#ifndef KHOST_MAYA_MFnData_h
#define KHOST_MAYA_MFnData_h

#include <maya/MFnBase.h>

class OPENMAYA_EXPORT MFnData : public MFnBase
{
public:
    MFnData();
    MFnData(MObject& object, MStatus* ReturnStatus = NULL);
    MFnData(const MObject& object, MStatus* ReturnStatus = NULL);
    virtual ~MFnData();
    virtual MFn::Type type() const;

    enum Type
    {
        kInvalid,
        kNumeric,
        kPlugin,
        kPluginGeometry,
        kString,
        kMatrix,
        kStringArray,
        kDoubleArray,
        kFloatArray,
        kIntArray,
        kPointArray,
        kVectorArray,
        kMatrixArray,
        kComponentList,
        kMesh,
        kLattice,
        kNurbsCurve,
        kNurbsSurface,
        kSphere,
        kDynArrayAttrs,
        kDynSweptGeometry,
        kSubdSurface,
        kNObject,
        kNId,
        kAny,
        kLast
    };
private:
    MFnData(const MFnData&);
    MFnData& operator=(const MFnData&);
    MFnData* operator&() const;
};

#endif
