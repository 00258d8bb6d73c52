// Stand-in host: MArgList, the argument words of a command.
#ifndef KHOST_MAYA_MArgList_h
#define KHOST_MAYA_MArgList_h

#include <maya/MTypes.h>
#include <maya/MStatus.h>
#include <maya/MString.h>

class MIntArray;
class MDoubleArray;
class MStringArray;
class MVector;
class MPoint;

class OPENMAYA_EXPORT MArgList
{
public:
    MArgList();
    MArgList(const MArgList& other);
    ~MArgList();
    MArgList& operator=(const MArgList& other);

    unsigned int length(MStatus* ReturnStatus = NULL) const;
    bool asBool(unsigned int index, MStatus* ReturnStatus = NULL) const;
    int asInt(unsigned int index, MStatus* ReturnStatus = NULL) const;
    double asDouble(unsigned int index, MStatus* ReturnStatus = NULL) const;
    MString asString(unsigned int index, MStatus* ReturnStatus = NULL) const;
    MVector asVector(unsigned int& index, unsigned int numElements = 3, MStatus* ReturnStatus = NULL) const;
    MPoint asPoint(unsigned int& index, unsigned int numElements = 3, MStatus* ReturnStatus = NULL) const;
    MIntArray asIntArray(unsigned int& index, MStatus* ReturnStatus = NULL) const;
    MDoubleArray asDoubleArray(unsigned int& index, MStatus* ReturnStatus = NULL) const;
    MStringArray asStringArray(unsigned int& index, MStatus* ReturnStatus = NULL) const;

    unsigned int flagIndex(const char* shortFlag, const char* longFlag = NULL) const;

    MArgList& addArg(bool arg);
    MArgList& addArg(int arg);
    MArgList& addArg(double arg);
    MArgList& addArg(const MString& arg);

    static const unsigned int kInvalidArgIndex;

private:
    friend struct KHostAccess;
    void* fArgs;
};

#endif
