// Stand-in host: MFnBase, the root of all function sets.
#ifndef KHOST_MAYA_MFnBase_h
#define KHOST_MAYA_MFnBase_h

#include <maya/MTypes.h>
#include <maya/MFn.h>
#include <maya/MStatus.h>

class MObject;

class OPENMAYA_EXPORT MFnBase
{
public:
    virtual ~MFnBase();
    virtual MFn::Type type() const;
    virtual MStatus setObject(MObject& object);
    virtual MStatus setObject(const MObject& object);

protected:
    MFnBase();

private:
    friend struct KHostAccess;
    MFnBase(const MFnBase&);
    MFnBase& operator=(const MFnBase&);
    MFnBase* operator&() const;
    void* f_ptr;
};

#endif
