// Stand-in host: MPxNode, the base of plug-in dependency nodes.
#ifndef KHOST_MAYA_MPxNode_h
#define KHOST_MAYA_MPxNode_h

#include <maya/MTypes.h>
#include <maya/MStatus.h>
#include <maya/MObject.h>
#include <maya/MPlug.h>
#include <maya/MDataBlock.h>
#include <maya/MDataHandle.h>
#include <maya/MString.h>
#include <maya/MTypeId.h>

class MPlugArray;

class OPENMAYA_EXPORT MPxNode
{
public:
    enum Type
    {
        kDependNode,
        kLocatorNode,
        kDeformerNode,
        kManipContainer,
        kSurfaceShape,
        kFieldNode,
        kEmitterNode,
        kSpringNode,
        kIkSolverNode,
        kHardwareShader,
        kHwShaderNode,
        kTransformNode,
        kObjectSet,
        kFluidEmitterNode,
        kImagePlaneNode,
        kParticleAttributeMapperNode,
        kCameraSetNode,
        kConstraintNode,
        kManipulatorNode,
        kMotionPathNode,
        kClientDeviceNode,
        kThreadedDeviceNode,
        kAssembly,
        kSkinCluster,
        kGeometryFilter,
        kBlendShape,
        kLast
    };

    enum SchedulingType
    {
        kParallel,
        kSerialize,
        kGloballySerialize,
        kUntrusted,
        kDefaultScheduling
    };

    MPxNode();
    virtual ~MPxNode();

    virtual void postConstructor();
    virtual MStatus compute(const MPlug& plug, MDataBlock& dataBlock);
    virtual bool getInternalValue(const MPlug& plug, MDataHandle& dataHandle);
    virtual bool setInternalValue(const MPlug& plug, const MDataHandle& dataHandle);
    virtual bool isPassiveOutput(const MPlug& plug) const;
    virtual MStatus setDependentsDirty(const MPlug& plug, MPlugArray& plugArray);
    virtual MStatus shouldSave(const MPlug& plug, bool& isSaving);
    virtual Type type() const;
    virtual MTypeId typeId() const;
    virtual MString typeName() const;
    virtual MString name() const;
    virtual MObject thisMObject() const;
    virtual SchedulingType schedulingType() const;

    static MStatus addAttribute(const MObject& attr);
    static MStatus inheritAttributesFrom(const MString& parentClassName);
    static MStatus attributeAffects(const MObject& whenChanges, const MObject& isAffected);

    static MObject message;
    static MObject isHistoricallyInteresting;
    static MObject caching;
    static MObject state;
    static MObject frozen;

private:
    friend struct KHostAccess;
    MPxNode(const MPxNode&);
    MPxNode& operator=(const MPxNode&);
    void* instance;
};

#endif
