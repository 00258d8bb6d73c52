// Stand-in host: MFnDependencyNode, the function set of dependency nodes.
#ifndef KHOST_MAYA_MFnDependencyNode_h
#define KHOST_MAYA_MFnDependencyNode_h

#include <maya/MFnBase.h>
#include <maya/MObject.h>
#include <maya/MString.h>

class OPENMAYA_EXPORT MFnDependencyNode : public MFnBase
{
public:
    MFnDependencyNode();
    MFnDependencyNode(MObject& object, MStatus* ReturnStatus = NULL);
    MFnDependencyNode(const MObject& object, MStatus* ReturnStatus = NULL);
    virtual ~MFnDependencyNode();
    virtual MFn::Type type() const;

private:
    MFnDependencyNode(const MFnDependencyNode&);
    MFnDependencyNode& operator=(const MFnDependencyNode&);
    MFnDependencyNode* operator&() const;
};

#endif
