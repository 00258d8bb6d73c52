// Stand-in host: MFnAttribute, the function set of node attributes.
#ifndef KHOST_MAYA_MFnAttribute_h
#define KHOST_MAYA_MFnAttribute_h

#include <maya/MFnBase.h>

class MObject;
class MString;
class OPENMAYA_EXPORT MFnAttribute : public MFnBase
{
public:
    MFnAttribute();
    MFnAttribute(MObject& object, MStatus* ReturnStatus = NULL);
    MFnAttribute(const MObject& object, MStatus* ReturnStatus = NULL);
    virtual ~MFnAttribute();
    virtual MFn::Type type() const;
    static const char* className();

    enum DisconnectBehavior
    {
        kDelete,
        kReset,
        kNothing
    };

    bool isReadable(MStatus* ReturnStatus = NULL) const;
    bool isWritable(MStatus* ReturnStatus = NULL) const;
    bool isConnectable(MStatus* ReturnStatus = NULL) const;
    bool isStorable(MStatus* ReturnStatus = NULL) const;
    bool isCached(MStatus* ReturnStatus = NULL) const;
    bool isArray(MStatus* ReturnStatus = NULL) const;
    bool indexMatters(MStatus* ReturnStatus = NULL) const;
    bool isKeyable(MStatus* ReturnStatus = NULL) const;
    bool isChannelBoxFlagSet(MStatus* ReturnStatus = NULL) const;
    bool isHidden(MStatus* ReturnStatus = NULL) const;
    bool isUsedAsColor(MStatus* ReturnStatus = NULL) const;
    bool isIndeterminant(MStatus* ReturnStatus = NULL) const;
    bool isRenderSource(MStatus* ReturnStatus = NULL) const;
    bool isWorldSpace(MStatus* ReturnStatus = NULL) const;
    bool isAffectsWorldSpace(MStatus* ReturnStatus = NULL) const;
    bool isUsedAsFilename(MStatus* ReturnStatus = NULL) const;
    bool affectsAppearance(MStatus* ReturnStatus = NULL) const;
    bool usesArrayDataBuilder(MStatus* ReturnStatus = NULL) const;
    bool internal(MStatus* ReturnStatus = NULL) const;

    MStatus setReadable(bool state);
    MStatus setWritable(bool state);
    MStatus setConnectable(bool state);
    MStatus setStorable(bool state);
    MStatus setCached(bool state);
    MStatus setArray(bool state);
    MStatus setIndexMatters(bool state);
    MStatus setKeyable(bool state);
    MStatus setChannelBox(bool state);
    MStatus setHidden(bool state);
    MStatus setUsedAsColor(bool state);
    MStatus setIndeterminant(bool state);
    MStatus setRenderSource(bool state);
    MStatus setWorldSpace(bool state);
    MStatus setAffectsWorldSpace(bool state);
    MStatus setUsedAsFilename(bool state);
    MStatus setAffectsAppearance(bool state);
    MStatus setUsesArrayDataBuilder(bool state);
    MStatus setInternal(bool state);

    MStatus setNiceNameOverride(const MString& localizedName);
    MStatus setDisconnectBehavior(DisconnectBehavior behavior);
    DisconnectBehavior disconnectBehavior(MStatus* ReturnStatus = NULL) const;
    MString name(MStatus* ReturnStatus = NULL) const;
    MString shortName(MStatus* ReturnStatus = NULL) const;
    MObject parent(MStatus* ReturnStatus = NULL) const;

private:
    MFnAttribute(const MFnAttribute&);
    MFnAttribute& operator=(const MFnAttribute&);
    MFnAttribute* operator&() const;
};

#endif
