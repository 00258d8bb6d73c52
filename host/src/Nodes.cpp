// Node-side classes of the stand-in host: MPxNode, MPxCommand, MFnPlugin,
// MPlug, MDataBlock, MDataHandle, MFnDependencyNode, MFnDagNode and
// MDGModifier.
// The host defines no MApiVersion of its own; plug-ins do.
#define MNoVersionString
#include "HostInternal.h"

#include <maya/MDGModifier.h>
#include <maya/MDataBlock.h>
#include <maya/MDataHandle.h>
#include <maya/MFnDagNode.h>
#include <maya/MFnDependencyNode.h>
#include <maya/MFnPlugin.h>
#include <maya/MIntArray.h>
#include <maya/MPlug.h>
#include <maya/MPxCommand.h>
#include <maya/MPxNode.h>

#include <cstring>

using namespace khost_impl;

namespace
{
void Set(MStatus* st, MStatus::MStatusCode c)
{
    if (st)
        *st = c;
}

AttrObj* AsAttr(Obj* o)
{
    return HasFn(o, MFn::kAttribute) ? static_cast<AttrObj*>(o) : nullptr;
}
// Index of attribute `a` on `n`, -1 when it is not one of the node's.
int IndexOn(const NodeObj* n, const AttrObj* a)
{
    return (n && a && n->alive && a->owner == n->type && a->index >= 0) ? a->index : -1;
}
} // namespace

// ---------------------------------------------------------------------------
// MPxNode

NodeObj*& KHostAccess::pxInstance(MPxNode& n) { return reinterpret_cast<NodeObj*&>(n.instance); }

MPxNode::MPxNode() : instance(nullptr) {}
MPxNode::~MPxNode() {}
void MPxNode::postConstructor() {}
MStatus MPxNode::compute(const MPlug&, MDataBlock&) { return MS::kUnknownParameter; }

MStatus MPxNode::addAttribute(const MObject& attr)
{
    NodeType* t = S().initializing;
    AttrObj* a = AsAttr(KHostAccess::get(attr));
    if (!t || !a)
        return MS::kInvalidParameter;
    if (a->owner)
        return MS::kFailure;   // already added to a node type
    for (const Ref& r : t->attrs)
    {
        const AttrObj* o = r.as<AttrObj>();
        if (o->longName == a->longName || o->shortName == a->shortName || o->longName == a->shortName ||
            o->shortName == a->longName)
            return MS::kFailure;
    }
    a->owner = t;
    a->index = (int)t->attrs.size();
    t->attrs.push_back(Ref(a));
    t->affects.emplace_back();
    t->isAffected.push_back(0);
    return MS::kSuccess;
}
MStatus MPxNode::attributeAffects(const MObject& whenChanges, const MObject& isAffected)
{
    NodeType* t = S().initializing;
    AttrObj* a = AsAttr(KHostAccess::get(whenChanges));
    AttrObj* b = AsAttr(KHostAccess::get(isAffected));
    if (!t || !a || !b || a->owner != t || b->owner != t)
        return MS::kInvalidParameter;
    std::vector<int>& list = t->affects[(size_t)a->index];
    for (int i : list)
        if (i == b->index)
            return MS::kSuccess;
    list.push_back(b->index);
    t->isAffected[(size_t)b->index] = 1;
    return MS::kSuccess;
}

// ---------------------------------------------------------------------------
// MPxCommand
MPxCommand::MPxCommand() : data(nullptr) {}
MPxCommand::~MPxCommand() {}
MStatus MPxCommand::doIt(const MArgList&) { return MS::kFailure; }

// ---------------------------------------------------------------------------
// MFnPlugin
namespace
{
PluginObj* PluginOf(const MFnBase& fn)
{
    Obj* o = KHostAccess::fnObj(fn);
    return (o && o->fnType == MFn::kPlugin) ? static_cast<PluginObj*>(o) : nullptr;
}
} // namespace

MFnPlugin::MFnPlugin() {}
// The vendor, version and required API version are not kept.
MFnPlugin::MFnPlugin(MObject& object, const char*, const char*, const char*, MStatus* st)
{
    MStatus s = setObject(object);
    if (st)
        *st = s;
}
MFnPlugin::~MFnPlugin() {}
MFn::Type MFnPlugin::type() const { return MFn::kPlugin; }
MStatus MFnPlugin::registerNode(const MString& typeName, const MTypeId& typeId, MCreatorFunction creator,
                                MInitializeFunction init, MPxNode::Type type, const MString*)
{
    PluginObj* p = PluginOf(*this);
    if (!p)
        return MS::kFailure;
    return RegisterNodeType(p, typeName, typeId.id(), creator, init, type);
}
MStatus MFnPlugin::deregisterNode(const MTypeId& typeId)
{
    PluginObj* p = PluginOf(*this);
    if (!p)
        return MS::kFailure;
    return DeregisterNodeType(p, typeId.id());
}
MStatus MFnPlugin::registerCommand(const MString& name, MCreatorFunction creator, MCreateSyntaxFunction)
{
    PluginObj* p = PluginOf(*this);
    if (!p)
        return MS::kFailure;
    return RegisterCommand(p, name, creator);
}
MStatus MFnPlugin::deregisterCommand(const MString& name)
{
    PluginObj* p = PluginOf(*this);
    if (!p)
        return MS::kFailure;
    return DeregisterCommand(p, name);
}

// ---------------------------------------------------------------------------
// MPlug: a counted reference to a node and one of its attributes.
MPlug KHostAccess::makePlug(NodeObj* node, AttrObj* attr)
{
    MPlug p;
    if (IndexOn(node, attr) < 0)
        return p;
    Retain(node);
    Retain(attr);
    p.fNode = node;
    p.fAttr = attr;
    return p;
}
NodeObj* KHostAccess::plugNode(const MPlug& p) { return static_cast<NodeObj*>(p.fNode); }
AttrObj* KHostAccess::plugAttr(const MPlug& p) { return static_cast<AttrObj*>(p.fAttr); }

MPlug::MPlug() : fNode(nullptr), fAttr(nullptr) {}
MPlug::MPlug(const MPlug& o) : fNode(o.fNode), fAttr(o.fAttr)
{
    Retain(static_cast<Obj*>(fNode));
    Retain(static_cast<Obj*>(fAttr));
}
MPlug::~MPlug()
{
    Release(static_cast<Obj*>(fNode));
    Release(static_cast<Obj*>(fAttr));
}
MPlug& MPlug::operator=(const MPlug& o)
{
    Retain(static_cast<Obj*>(o.fNode));
    Retain(static_cast<Obj*>(o.fAttr));
    Release(static_cast<Obj*>(fNode));
    Release(static_cast<Obj*>(fAttr));
    fNode = o.fNode;
    fAttr = o.fAttr;
    return *this;
}

bool MPlug::operator==(const MObject& attr) const { return fAttr && fAttr == KHostAccess::get(attr); }
bool MPlug::operator!=(const MObject& attr) const { return !(*this == attr); }

// ---------------------------------------------------------------------------
// MDataHandle: node, attribute index and a validity flag in f_data.
namespace
{
struct HandleData
{
    NodeObj* node;
    int attr;
};
static_assert(sizeof(HandleData) <= 32, "handle data");

HandleData HD(const char* f)
{
    HandleData d;
    std::memcpy(&d, f, sizeof d);
    return d;
}

// Slot and attribute of a handle; a handle without a value uses a scratch slot.
Slot& SlotOf(const char* f, const AttrObj** attr)
{
    static Slot dummy;
    HandleData d = HD(f);
    if (!d.node || !d.node->alive || d.attr < 0 || (size_t)d.attr >= d.node->slots.size())
    {
        *attr = nullptr;
        dummy.value.d = 0;
        return dummy;
    }
    *attr = d.node->type->attrs[(size_t)d.attr].as<AttrObj>();
    return d.node->slots[(size_t)d.attr];
}

template <class T> T Convert(double v) { return (T)v; }

// Reference to the value as type T: the slot's own storage when the attribute
// holds that type, else a converted copy in the slot's scratch.
template <class T> T& NumRef(const char* f, T NumValue::*member, MFnNumericData::Type native)
{
    const AttrObj* a = nullptr;
    Slot& s = SlotOf(f, &a);
    if (!a)
        return s.scratch.*member = T(), s.scratch.*member;
    bool same = a->kind == AKind::kEnum ? native == MFnNumericData::kShort
                                        : (a->kind == AKind::kNumeric && a->numType == native);
    if (same)
        return s.value.*member;
    double v = IsSingleNumeric(*a) ? SlotNumber(*a, s) : 0.0;
    s.scratch.*member = Convert<T>(v);
    return s.scratch.*member;
}
} // namespace

MDataHandle KHostAccess::makeHandle(NodeObj* node, int attr)
{
    MDataHandle h;
    HandleData d{node, attr};
    std::memcpy(h.f_data, &d, sizeof d);
    return h;
}

MDataHandle::MDataHandle() { std::memset(f_data, 0, sizeof f_data); }
MDataHandle::MDataHandle(const MDataHandle& o) { std::memcpy(f_data, o.f_data, sizeof f_data); }
MDataHandle& MDataHandle::operator=(const MDataHandle& o)
{
    std::memmove(f_data, o.f_data, sizeof f_data);
    return *this;
}
bool& MDataHandle::asBool() const { return NumRef(f_data, &NumValue::b, MFnNumericData::kBoolean); }
short& MDataHandle::asShort() const { return NumRef(f_data, &NumValue::s, MFnNumericData::kShort); }
int& MDataHandle::asInt() const { return NumRef(f_data, &NumValue::i, MFnNumericData::kInt); }
float& MDataHandle::asFloat() const { return NumRef(f_data, &NumValue::f, MFnNumericData::kFloat); }
MString& MDataHandle::asString() const
{
    const AttrObj* a = nullptr;
    Slot& s = SlotOf(f_data, &a);
    if (a && a->kind == AKind::kTyped && (a->dataType == MFnData::kString || a->dataType == MFnData::kPlugin))
    {
        if (!s.data || s.data.get()->fnType != MFn::kStringData)
        {
            if (s.data)   // other data: no text
            {
                s.stringScratch.clear();
                return s.stringScratch;
            }
            s.data = Ref(new StringDataObj);
        }
        return s.data.as<StringDataObj>()->value;
    }
    s.stringScratch.clear();
    if (a && IsSingleNumeric(*a))
        s.stringScratch = FormatNumber(SlotNumber(*a, s)).c_str();
    return s.stringScratch;
}
namespace
{
void SetNum(const char* f, double v)
{
    const AttrObj* a = nullptr;
    Slot& s = SlotOf(f, &a);
    if (a && IsSingleNumeric(*a))
        SlotSetNumber(*a, s, v);
}
} // namespace

void MDataHandle::set(bool v) { SetNum(f_data, v ? 1.0 : 0.0); }
void MDataHandle::set(char v) { SetNum(f_data, v); }
void MDataHandle::set(short v) { SetNum(f_data, v); }
void MDataHandle::set(int v) { SetNum(f_data, v); }
void MDataHandle::set(MInt64 v) { SetNum(f_data, (double)v); }
void MDataHandle::set(float v) { SetNum(f_data, v); }
void MDataHandle::set(double v) { SetNum(f_data, v); }
void MDataHandle::set(const MString& v)
{
    const AttrObj* a = nullptr;
    Slot& s = SlotOf(f_data, &a);
    if (a && a->kind == AKind::kTyped && a->dataType == MFnData::kString)
    {
        StringDataObj* d = new StringDataObj;
        d->value = v;
        s.data = Ref(d);
    }
}
// Compound numeric values are not modelled.
MStatus MDataHandle::set(const MObject& data)
{
    const AttrObj* a = nullptr;
    Slot& s = SlotOf(f_data, &a);
    if (!a)
        return MS::kInvalidParameter;
    Obj* d = KHostAccess::get(data);
    if (a->kind != AKind::kTyped || (d && !HasFn(d, MFn::kData)))
        return MS::kInvalidParameter;
    if (d && ((a->dataType == MFnData::kMesh && d->fnType != MFn::kMeshData) ||
              (a->dataType == MFnData::kString && d->fnType != MFn::kStringData)))
        return MS::kInvalidParameter;
    s.data = Ref(d);
    return MS::kSuccess;
}

// ---------------------------------------------------------------------------
// MDataBlock: the node whose compute runs.
MDataBlock::MDataBlock(void* node) : fNode(node) {}
MDataBlock::~MDataBlock() {}

namespace
{
int BlockIndex(void* node, Obj* attr, MStatus* st)
{
    int idx = IndexOn(static_cast<NodeObj*>(node), AsAttr(attr));
    Set(st, idx < 0 ? MS::kInvalidParameter : MS::kSuccess);
    return idx;
}
} // namespace

MDataHandle MDataBlock::inputValue(const MObject& attribute, MStatus* st)
{
    int idx = BlockIndex(fNode, KHostAccess::get(attribute), st);
    if (idx < 0)
        return MDataHandle();
    NodeObj* n = static_cast<NodeObj*>(fNode);
    Slot& s = n->slots[(size_t)idx];
    if (s.dirty && !s.computing)
    {
        bool computed = false;
        Pull(n, idx, &computed);
    }
    return KHostAccess::makeHandle(n, idx);
}
MDataHandle MDataBlock::outputValue(const MObject& attribute, MStatus* st)
{
    int idx = BlockIndex(fNode, KHostAccess::get(attribute), st);
    if (idx < 0)
        return MDataHandle();
    return KHostAccess::makeHandle(static_cast<NodeObj*>(fNode), idx);
}
MStatus MDataBlock::setClean(const MPlug& plug)
{
    MStatus st;
    int idx = KHostAccess::plugNode(plug) == fNode ? BlockIndex(fNode, KHostAccess::plugAttr(plug), &st) : -1;
    if (idx < 0)
        return MS::kInvalidParameter;
    static_cast<NodeObj*>(fNode)->slots[(size_t)idx].dirty = false;
    return st;
}

// Runs the node's compute for one attribute.
MStatus KHostAccess::compute(NodeObj* node, int attr)
{
    MDataBlock block(node);
    MPlug plug = makePlug(node, node->type->attrs[(size_t)attr].as<AttrObj>());
    return node->user->compute(plug, block);
}

// ---------------------------------------------------------------------------
// MFnDependencyNode, MFnDagNode
KHOST_FNSET(MFnDependencyNode, MFn::kDependencyNode)
KHOST_FNSET(MFnDagNode, MFn::kDagNode)

// ---------------------------------------------------------------------------
// MDGModifier: declared for the signatures that take one; nothing queues.
MDGModifier::MDGModifier() : data(nullptr) {}
MDGModifier::~MDGModifier() {}
