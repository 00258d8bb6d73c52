// Stand-in host: MDGModifier, a queue of dependency graph changes (passed as NULL).
#ifndef KHOST_MAYA_MDGModifier_h
#define KHOST_MAYA_MDGModifier_h

#include <maya/MTypes.h>
#include <maya/MStatus.h>
#include <maya/MObject.h>

class OPENMAYA_EXPORT MDGModifier
{
public:
    MDGModifier();
    virtual ~MDGModifier();

private:
    MDGModifier(const MDGModifier&);
    MDGModifier& operator=(const MDGModifier&);
    void* data;
};

#endif
