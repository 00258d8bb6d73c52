// Stand-in host: MFnDependencyNode, the function set of dependency nodes.
#ifndef KHOST_MAYA_MFnDependencyNode_h
#define KHOST_MAYA_MFnDependencyNode_h

#include <maya/MFnBase.h>
#include <maya/MObject.h>
#include <maya/MString.h>

class MTypeId;
class MPlug;
class MPxNode;
class OPENMAYA_EXPORT MFnDependencyNode : public MFnBase
{
public:
    MFnDependencyNode();
    MFnDependencyNode(MObject& object, MStatus* ReturnStatus = NULL);
    MFnDependencyNode(const MObject& object, MStatus* ReturnStatus = NULL);
    virtual ~MFnDependencyNode();
    virtual MFn::Type type() const;
    static const char* className();

    MObject create(const MString& type, MStatus* ReturnStatus = NULL);
    MObject create(const MString& type, const MString& name, MStatus* ReturnStatus = NULL);
    MTypeId typeId(MStatus* ReturnStatus = NULL) const;
    MString typeName(MStatus* ReturnStatus = NULL) const;
    MString name(MStatus* ReturnStatus = NULL) const;
    MString setName(const MString& name, bool createNamespace = false, MStatus* ReturnStatus = NULL);
    unsigned int attributeCount(MStatus* ReturnStatus = NULL) const;
    MObject attribute(unsigned int index, MStatus* ReturnStatus = NULL) const;
    MObject attribute(const MString& attrName, MStatus* ReturnStatus = NULL) const;
    bool hasAttribute(const MString& name, MStatus* ReturnStatus = NULL) const;
    MPlug findPlug(const MObject& attr, bool wantNetworkedPlug, MStatus* ReturnStatus = NULL) const;
    MPlug findPlug(const MString& attrName, bool wantNetworkedPlug, MStatus* ReturnStatus = NULL) const;
    MPlug findPlug(const MObject& attr, MStatus* ReturnStatus = NULL) const;
    MPlug findPlug(const MString& attrName, MStatus* ReturnStatus = NULL) const;
    MPxNode* userNode(MStatus* ReturnStatus = NULL) const;

private:
    MFnDependencyNode(const MFnDependencyNode&);
    MFnDependencyNode& operator=(const MFnDependencyNode&);
    MFnDependencyNode* operator&() const;
};

#endif
