// Stand-in host: MFnNumericData, the function set of numeric data.
#ifndef KHOST_MAYA_MFnNumericData_h
#define KHOST_MAYA_MFnNumericData_h

#include <maya/MFnData.h>

class MObject;

class OPENMAYA_EXPORT MFnNumericData : public MFnData
{
public:
    MFnNumericData();
    MFnNumericData(MObject& object, MStatus* ReturnStatus = NULL);
    MFnNumericData(const MObject& object, MStatus* ReturnStatus = NULL);
    virtual ~MFnNumericData();
    virtual MFn::Type type() const;

    enum Type
    {
        kInvalid,
        kBoolean,
        kByte,
        kChar,
        kShort,
        k2Short,
        k3Short,
        kLong,
        kInt = kLong,
        k2Long,
        k2Int = k2Long,
        k3Long,
        k3Int = k3Long,
        kInt64,
        kFloat,
        k2Float,
        k3Float,
        kDouble,
        k2Double,
        k3Double,
        k4Double,
        kAddr,
        kLast
    };
private:
    MFnNumericData(const MFnNumericData&);
    MFnNumericData& operator=(const MFnNumericData&);
    MFnNumericData* operator&() const;
};

#endif
