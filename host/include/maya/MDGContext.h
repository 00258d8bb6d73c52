// Stand-in host: MDGContext, the context of a dependency graph evaluation.
#ifndef KHOST_MAYA_MDGContext_h
#define KHOST_MAYA_MDGContext_h

#include <maya/MTypes.h>
#include <maya/MStatus.h>

class OPENMAYA_EXPORT MDGContext
{
public:
    MDGContext();
    MDGContext(const MDGContext& in);
    virtual ~MDGContext();
    MDGContext& operator=(const MDGContext& other);
    bool isNormal(MStatus* ReturnStatus = NULL) const;

    static MDGContext fsNormal;

private:
    bool fNormal;
};

#endif
