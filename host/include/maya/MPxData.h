// Stand-in host: MPxData, the base of plug-in data types.
#ifndef KHOST_MAYA_MPxData_h
#define KHOST_MAYA_MPxData_h

#include <maya/MTypes.h>
#include <maya/MStatus.h>
#include <maya/MTypeId.h>
#include <maya/MString.h>

class MArgList;

class OPENMAYA_EXPORT MPxData
{
public:
    enum Type
    {
        kData,
        kGeometryData,
        kLast
    };

    MPxData();
    virtual ~MPxData();

    virtual MStatus readASCII(const MArgList& argList, unsigned int& endOfTheLastParsedElement);
    virtual MStatus readBinary(istream& in, unsigned int length);
    virtual MStatus writeASCII(ostream& out);
    virtual MStatus writeBinary(ostream& out);
    virtual void copy(const MPxData& src) = 0;
    virtual MTypeId typeId() const = 0;
    virtual MString name() const = 0;

private:
    [[maybe_unused]] void* instance;
};

#endif
