// Stand-in host: MFnDagNode, the function set of DAG nodes.
#ifndef KHOST_MAYA_MFnDagNode_h
#define KHOST_MAYA_MFnDagNode_h

#include <maya/MFnDependencyNode.h>
#include <maya/MObject.h>

class OPENMAYA_EXPORT MFnDagNode : public MFnDependencyNode
{
public:
    MFnDagNode();
    MFnDagNode(MObject& object, MStatus* ReturnStatus = NULL);
    MFnDagNode(const MObject& object, MStatus* ReturnStatus = NULL);
    virtual ~MFnDagNode();
    virtual MFn::Type type() const;

private:
    MFnDagNode(const MFnDagNode&);
    MFnDagNode& operator=(const MFnDagNode&);
    MFnDagNode* operator&() const;
};

#endif
