// Stand-in host: MFnDagNode, the function set of DAG nodes.
#ifndef KHOST_MAYA_MFnDagNode_h
#define KHOST_MAYA_MFnDagNode_h

#include <maya/MFnDependencyNode.h>
#include <maya/MObject.h>

class MDagPath;
class OPENMAYA_EXPORT MFnDagNode : public MFnDependencyNode
{
public:
    MFnDagNode();
    MFnDagNode(MObject& object, MStatus* ReturnStatus = NULL);
    MFnDagNode(const MObject& object, MStatus* ReturnStatus = NULL);
    virtual ~MFnDagNode();
    virtual MFn::Type type() const;
    static const char* className();

    MObject create(const MString& type, const MObject& parent = MObject::kNullObj,
                   MStatus* ReturnStatus = NULL);
    MObject create(const MString& type, const MString& name, const MObject& parent = MObject::kNullObj,
                   MStatus* ReturnStatus = NULL);
    unsigned int parentCount(MStatus* ReturnStatus = NULL) const;
    MObject parent(unsigned int i, MStatus* ReturnStatus = NULL) const;
    unsigned int childCount(MStatus* ReturnStatus = NULL) const;
    MObject child(unsigned int i, MStatus* ReturnStatus = NULL) const;
    MString fullPathName(MStatus* ReturnStatus = NULL) const;
    MString partialPathName(MStatus* ReturnStatus = NULL) const;

private:
    MFnDagNode(const MFnDagNode&);
    MFnDagNode& operator=(const MFnDagNode&);
    MFnDagNode* operator&() const;
};

#endif
