// Stand-in host: MArgList, the argument words of a command.
#ifndef KHOST_MAYA_MArgList_h
#define KHOST_MAYA_MArgList_h

#include <maya/MTypes.h>
#include <maya/MStatus.h>
#include <maya/MString.h>

class OPENMAYA_EXPORT MArgList
{
public:
    MArgList();
    MArgList(const MArgList& other);
    ~MArgList();
    MArgList& operator=(const MArgList& other);

    unsigned int length(MStatus* ReturnStatus = NULL) const;
    MString asString(unsigned int index, MStatus* ReturnStatus = NULL) const;

private:
    friend struct KHostAccess;
    void* fArgs;
};

#endif
