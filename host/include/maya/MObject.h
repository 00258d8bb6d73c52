// Stand-in host: MObject, a handle to a host object (node, attribute, data).
#ifndef KHOST_MAYA_MObject_h
#define KHOST_MAYA_MObject_h

#include <maya/MFn.h>
#include <maya/MTypes.h>

class MStatus;

class FND_EXPORT MObject
{
public:
    MObject();
    MObject(const MObject& other);
    ~MObject();
    MObject& operator=(const MObject& other);

    bool isNull() const;

    static MObject kNullObj;

private:
    friend struct KHostAccess;
    void* ptr;
};

#endif
