// Stand-in host: MTypeId, the id of a node or data type.
#ifndef KHOST_MAYA_MTypeId_h
#define KHOST_MAYA_MTypeId_h

#include <maya/MTypes.h>
#include <maya/MStatus.h>

class OPENMAYA_EXPORT MTypeId
{
public:
    MTypeId();
    MTypeId(unsigned int id);
    MTypeId(const MTypeId& src);
    ~MTypeId();
    MTypeId& operator=(const MTypeId& rhs);
    unsigned int id(MStatus* ReturnStatus = NULL) const;

private:
    unsigned int fId;
};

#endif
