// Stand-in host: MFnStringData, the function set of string data.
#ifndef KHOST_MAYA_MFnStringData_h
#define KHOST_MAYA_MFnStringData_h

#include <maya/MFnData.h>

class MObject;
class MString;

class OPENMAYA_EXPORT MFnStringData : public MFnData
{
public:
    MFnStringData();
    MFnStringData(MObject& object, MStatus* ReturnStatus = NULL);
    MFnStringData(const MObject& object, MStatus* ReturnStatus = NULL);
    virtual ~MFnStringData();
    virtual MFn::Type type() const;

    MObject create(const MString& str, MStatus* ReturnStatus = NULL);
private:
    MFnStringData(const MFnStringData&);
    MFnStringData& operator=(const MFnStringData&);
    MFnStringData* operator&() const;
};

#endif
