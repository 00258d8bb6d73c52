// Stand-in host: MFn, the kinds of objects behind MObject handles.
// Only the kinds this host creates are listed; the numbers are the
// stand-in's own (use the names).
#ifndef KHOST_MAYA_MFn_h
#define KHOST_MAYA_MFn_h

class MFn
{
public:
    enum Type
    {
        kInvalid = 0,
        kBase,
        kNamedObject,
        kDependencyNode,
        kDagNode,
        kTransform,
        kMesh,
        kSet,
        kShadingEngine,
        kPluginDependNode,
        kAttribute,
        kNumericAttribute,
        kEnumAttribute,
        kTypedAttribute,
        kData,
        kNumericData,
        kStringData,
        kGeometryData,
        kMeshData,
        kPluginData,
        kPlugin,
        kTime,
        kExpression,
        kLast
    };
};

#endif
