// Stand-in host: MFnPlugin, the function set a plug-in registers its types and commands with.
#ifndef KHOST_MAYA_MFnPlugin_h
#define KHOST_MAYA_MFnPlugin_h

#include <maya/MFnBase.h>
#include <maya/MPxNode.h>
#include <maya/MApiVersion.h>
#include <maya/MString.h>
#include <maya/MTypeId.h>
#include <maya/MObject.h>

class OPENMAYA_EXPORT MFnPlugin : public MFnBase
{
public:
    MFnPlugin();
    MFnPlugin(MObject& object, const char* vendor = "Unknown", const char* version = "Unknown",
              const char* requiredApiVersion = "Any", MStatus* ReturnStatus = 0L);
    virtual ~MFnPlugin();
    virtual MFn::Type type() const;

    MStatus registerNode(const MString& typeName, const MTypeId& typeId, MCreatorFunction creatorFunction,
                         MInitializeFunction initFunction, MPxNode::Type type = MPxNode::kDependNode,
                         const MString* classification = NULL);
    MStatus deregisterNode(const MTypeId& typeId);
    MStatus registerCommand(const MString& commandName, MCreatorFunction creatorFunction,
                            MCreateSyntaxFunction createSyntaxFunction = NULL);
    MStatus deregisterCommand(const MString& commandName);

private:
    MFnPlugin(const MObject& object, const char* vendor = "Unknown", const char* version = "Unknown",
              const char* requiredApiVersion = "Any", MStatus* ReturnStatus = 0L);
    MFnPlugin(const MFnPlugin&);
    MFnPlugin& operator=(const MFnPlugin&);
    MFnPlugin* operator&() const;
};

#endif
