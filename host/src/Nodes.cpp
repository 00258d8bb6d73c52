// Node-side classes of the stand-in host: MPxNode, MPxCommand, MPxData,
// MFnPlugin, MPlug, MPlugArray, MDataBlock, MDataHandle, MArrayDataHandle,
// MFnDependencyNode, MFnDagNode and MDGModifier.
// The host defines no MApiVersion of its own; plug-ins do.
#define MNoVersionString
#include "HostInternal.h"

#include <maya/MArrayDataHandle.h>
#include <maya/MDGContext.h>
#include <maya/MDGModifier.h>
#include <maya/MDataBlock.h>
#include <maya/MDataHandle.h>
#include <maya/MDoubleArray.h>
#include <maya/MFnDagNode.h>
#include <maya/MFnDependencyNode.h>
#include <maya/MFnPlugin.h>
#include <maya/MIntArray.h>
#include <maya/MPlug.h>
#include <maya/MPlugArray.h>
#include <maya/MPxCommand.h>
#include <maya/MPxData.h>
#include <maya/MPxNode.h>
#include <maya/MStringArray.h>

#include <cstring>
#include <functional>

using namespace khost_impl;

namespace
{
void Set(MStatus* st, MStatus::MStatusCode c)
{
    if (st)
        *st = c;
}

NodeObj* AsNode(Obj* o)
{
    return (o && KHostAccess::make(o).hasFn(MFn::kDependencyNode)) ? static_cast<NodeObj*>(o) : nullptr;
}
AttrObj* AsAttr(Obj* o)
{
    return (o && KHostAccess::make(o).hasFn(MFn::kAttribute)) ? static_cast<AttrObj*>(o) : nullptr;
}
// Index of attribute `a` on `n`, -1 when it is not one of the node's.
int IndexOn(const NodeObj* n, const AttrObj* a)
{
    return (n && a && n->alive && a->owner == n->type && a->index >= 0) ? a->index : -1;
}
} // namespace

// ---------------------------------------------------------------------------
// MPxNode
MObject MPxNode::message;
MObject MPxNode::isHistoricallyInteresting;
MObject MPxNode::caching;
MObject MPxNode::state;
MObject MPxNode::frozen;

NodeObj*& KHostAccess::pxInstance(MPxNode& n) { return reinterpret_cast<NodeObj*&>(n.instance); }

MPxNode::MPxNode() : instance(nullptr) {}
MPxNode::~MPxNode() {}
void MPxNode::postConstructor() {}
MStatus MPxNode::compute(const MPlug&, MDataBlock&) { return MS::kUnknownParameter; }
bool MPxNode::getInternalValue(const MPlug&, MDataHandle&) { return false; }
bool MPxNode::setInternalValue(const MPlug&, const MDataHandle&) { return false; }
bool MPxNode::isPassiveOutput(const MPlug&) const { return false; }
MStatus MPxNode::setDependentsDirty(const MPlug&, MPlugArray&) { return MS::kSuccess; }
MStatus MPxNode::shouldSave(const MPlug&, bool&) { return MS::kUnknownParameter; }
MPxNode::Type MPxNode::type() const { return kDependNode; }
MTypeId MPxNode::typeId() const
{
    NodeObj* n = static_cast<NodeObj*>(instance);
    return MTypeId(n && n->type ? n->type->id : 0u);
}
MString MPxNode::typeName() const
{
    NodeObj* n = static_cast<NodeObj*>(instance);
    return MString(n && n->type ? n->type->name.c_str() : "");
}
MString MPxNode::name() const
{
    NodeObj* n = static_cast<NodeObj*>(instance);
    return MString(n ? n->name.c_str() : "");
}
MObject MPxNode::thisMObject() const { return KHostAccess::make(static_cast<NodeObj*>(instance)); }
MPxNode::SchedulingType MPxNode::schedulingType() const { return kDefaultScheduling; }

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
MStatus MPxNode::inheritAttributesFrom(const MString&) { return MS::kNotImplemented; }
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
MStatus MPxCommand::undoIt() { return MS::kSuccess; }
MStatus MPxCommand::redoIt() { return MS::kSuccess; }
bool MPxCommand::isUndoable() const { return false; }
bool MPxCommand::hasSyntax() const { return true; }
void MPxCommand::displayInfo(const MString& s) { Show(khost::MessageKind::kInfo, s.asChar()); }
void MPxCommand::displayWarning(const MString& s, bool) { Show(khost::MessageKind::kWarning, s.asChar()); }
void MPxCommand::displayError(const MString& s, bool) { Show(khost::MessageKind::kError, s.asChar()); }

namespace
{
CommandResultData* Current()
{
    std::vector<CommandResultData>& st = S().resultStack;
    return st.empty() ? nullptr : &st.back();
}
void SetOne(const std::string& w, CommandResultData::Kind k)
{
    if (CommandResultData* r = Current())
    {
        r->words.assign(1, w);
        r->isArray = false;
        r->kind = k;
    }
}
void AppendOne(const std::string& w, CommandResultData::Kind k)
{
    if (CommandResultData* r = Current())
    {
        if (r->kind == CommandResultData::kNone)
            r->words.clear();
        else if (!r->isArray && r->words.empty())
            r->words.clear();
        r->words.push_back(w);
        r->isArray = true;
        r->kind = k;
    }
}
} // namespace

void MPxCommand::clearResult()
{
    if (CommandResultData* r = Current())
        *r = CommandResultData();
}
void MPxCommand::setResult(unsigned int v) { SetOne(std::to_string(v), CommandResultData::kInt); }
void MPxCommand::setResult(int v) { SetOne(std::to_string(v), CommandResultData::kInt); }
void MPxCommand::setResult(double v) { SetOne(FormatNumber(v), CommandResultData::kDouble); }
void MPxCommand::setResult(bool v) { SetOne(v ? "1" : "0", CommandResultData::kBool); }
void MPxCommand::setResult(const char* v) { SetOne(v ? v : "", CommandResultData::kString); }
void MPxCommand::setResult(const MString& v) { SetOne(v.asChar(), CommandResultData::kString); }
void MPxCommand::setResult(const MIntArray& v)
{
    clearResult();
    if (CommandResultData* r = Current())
    {
        r->isArray = true;
        r->kind = CommandResultData::kInt;
        for (unsigned int i = 0; i < v.length(); ++i)
            r->words.push_back(std::to_string(v[i]));
    }
}
void MPxCommand::setResult(const MDoubleArray& v)
{
    clearResult();
    if (CommandResultData* r = Current())
    {
        r->isArray = true;
        r->kind = CommandResultData::kDouble;
        for (unsigned int i = 0; i < v.length(); ++i)
            r->words.push_back(FormatNumber(v[i]));
    }
}
void MPxCommand::setResult(const MStringArray& v)
{
    clearResult();
    if (CommandResultData* r = Current())
    {
        r->isArray = true;
        r->kind = CommandResultData::kString;
        for (unsigned int i = 0; i < v.length(); ++i)
            r->words.push_back(v[i].asChar());
    }
}
void MPxCommand::appendToResult(unsigned int v) { AppendOne(std::to_string(v), CommandResultData::kInt); }
void MPxCommand::appendToResult(int v) { AppendOne(std::to_string(v), CommandResultData::kInt); }
void MPxCommand::appendToResult(double v) { AppendOne(FormatNumber(v), CommandResultData::kDouble); }
void MPxCommand::appendToResult(bool v) { AppendOne(v ? "1" : "0", CommandResultData::kBool); }
void MPxCommand::appendToResult(const char* v) { AppendOne(v ? v : "", CommandResultData::kString); }
void MPxCommand::appendToResult(const MString& v) { AppendOne(v.asChar(), CommandResultData::kString); }
void MPxCommand::appendToResult(const MStringArray& v)
{
    for (unsigned int i = 0; i < v.length(); ++i)
        AppendOne(v[i].asChar(), CommandResultData::kString);
}

// ---------------------------------------------------------------------------
// MPxData: plug-in data types are not modelled beyond the base class.
MPxData::MPxData() : instance(nullptr) {}
MPxData::~MPxData() {}
MStatus MPxData::readASCII(const MArgList&, unsigned int&) { return MS::kNotImplemented; }
MStatus MPxData::readBinary(istream&, unsigned int) { return MS::kNotImplemented; }
MStatus MPxData::writeASCII(ostream&) { return MS::kNotImplemented; }
MStatus MPxData::writeBinary(ostream&) { return MS::kNotImplemented; }

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
MFnPlugin::MFnPlugin(MObject& object, const char* vendor, const char* version, const char* requiredApiVersion,
                     MStatus* st)
{
    MStatus s = setObject(object);
    if (PluginObj* p = PluginOf(*this))
    {
        p->vendor = vendor ? vendor : "Unknown";
        p->version = version ? version : "Unknown";
        p->apiVersion = requiredApiVersion ? requiredApiVersion : "Any";
    }
    if (st)
        *st = s;
}
MFnPlugin::~MFnPlugin() {}
MFn::Type MFnPlugin::type() const { return MFn::kPlugin; }
const char* MFnPlugin::className() { return "MFnPlugin"; }
MString MFnPlugin::vendor(MStatus* st) const
{
    PluginObj* p = PluginOf(*this);
    Set(st, p ? MS::kSuccess : MS::kFailure);
    return MString(p ? p->vendor.c_str() : "");
}
MString MFnPlugin::version(MStatus* st) const
{
    PluginObj* p = PluginOf(*this);
    Set(st, p ? MS::kSuccess : MS::kFailure);
    return MString(p ? p->version.c_str() : "");
}
MString MFnPlugin::apiVersion(MStatus* st) const
{
    PluginObj* p = PluginOf(*this);
    Set(st, p ? MS::kSuccess : MS::kFailure);
    return MString(p ? p->apiVersion.c_str() : "");
}
MString MFnPlugin::name(MStatus* st) const
{
    PluginObj* p = PluginOf(*this);
    Set(st, p ? MS::kSuccess : MS::kFailure);
    return MString(p ? p->name.c_str() : "");
}
MString MFnPlugin::loadPath(MStatus* st) const
{
    PluginObj* p = PluginOf(*this);
    Set(st, p ? MS::kSuccess : MS::kFailure);
    if (!p)
        return MString();
    size_t slash = p->path.find_last_of('/');
    return MString(slash == std::string::npos ? "." : p->path.substr(0, slash).c_str());
}
MStatus MFnPlugin::setName(const MString& n, bool)
{
    PluginObj* p = PluginOf(*this);
    if (!p || n.length() == 0)
        return MS::kFailure;
    p->name = n.asChar();
    return MS::kSuccess;
}
MStatus MFnPlugin::setVersion(const MString& v)
{
    PluginObj* p = PluginOf(*this);
    if (!p)
        return MS::kFailure;
    p->version = v.asChar();
    return MS::kSuccess;
}
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
MPlug::MPlug(const MObject& node, const MObject& attribute) : fNode(nullptr), fAttr(nullptr)
{
    NodeObj* n = AsNode(KHostAccess::get(node));
    AttrObj* a = AsAttr(KHostAccess::get(attribute));
    if (IndexOn(n, a) >= 0)
    {
        Retain(n);
        Retain(a);
        fNode = n;
        fAttr = a;
    }
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

namespace
{
// The plug's node and attribute index, or null with *st set.
NodeObj* Resolve(const MPlug& p, int* idx, MStatus* st)
{
    NodeObj* n = KHostAccess::plugNode(p);
    *idx = IndexOn(n, KHostAccess::plugAttr(p));
    if (*idx < 0)
    {
        Set(st, MS::kInvalidParameter);
        return nullptr;
    }
    Set(st, MS::kSuccess);
    return n;
}
// Value of the plug after bringing it up to date.
const Slot* Value(const MPlug& p, MStatus* st, const AttrObj** attr)
{
    int idx;
    NodeObj* n = Resolve(p, &idx, st);
    if (!n)
        return nullptr;
    bool computed = false;
    Pull(n, idx, &computed);
    *attr = KHostAccess::plugAttr(p);
    return &n->slots[(size_t)idx];
}
double NumberOf(const MPlug& p, MStatus* st)
{
    const AttrObj* a = nullptr;
    const Slot* s = Value(p, st, &a);
    if (!s)
        return 0;
    if (!IsSingleNumeric(*a))
    {
        Set(st, MS::kInvalidParameter);
        return 0;
    }
    return SlotNumber(*a, *s);
}
MStatus SetNumber(const MPlug& p, double v)
{
    int idx;
    MStatus st;
    NodeObj* n = Resolve(p, &idx, &st);
    if (!n)
        return st;
    return SetFromNumber(n, idx, v, nullptr);
}
} // namespace

MObject MPlug::attribute(MStatus* st) const
{
    Set(st, fAttr ? MS::kSuccess : MS::kInvalidParameter);
    return KHostAccess::make(static_cast<Obj*>(fAttr));
}
MObject MPlug::node(MStatus* st) const
{
    Set(st, fNode ? MS::kSuccess : MS::kInvalidParameter);
    return KHostAccess::make(static_cast<Obj*>(fNode));
}
MString MPlug::name(MStatus* st) const
{
    int idx;
    NodeObj* n = Resolve(*this, &idx, st);
    if (!n)
        return MString();
    return MString((n->name + "." + KHostAccess::plugAttr(*this)->shortName).c_str());
}
MString MPlug::partialName(bool includeNodeName, bool, bool, bool, bool, bool useLongNames, MStatus* st) const
{
    int idx;
    NodeObj* n = Resolve(*this, &idx, st);
    if (!n)
        return MString();
    const AttrObj* a = KHostAccess::plugAttr(*this);
    std::string s = includeNodeName ? n->name + "." : std::string();
    s += useLongNames ? a->longName : a->shortName;
    return MString(s.c_str());
}
bool MPlug::isNull(MStatus* st) const
{
    Set(st, MS::kSuccess);
    return !fNode || !static_cast<NodeObj*>(fNode)->alive;
}
bool MPlug::isArray(MStatus* st) const
{
    Set(st, fAttr ? MS::kSuccess : MS::kInvalidParameter);
    return fAttr && static_cast<AttrObj*>(fAttr)->array;
}
bool MPlug::isElement(MStatus* st) const
{
    Set(st, fAttr ? MS::kSuccess : MS::kInvalidParameter);
    return false;
}
bool MPlug::isConnected(MStatus* st) const
{
    int idx;
    NodeObj* n = Resolve(*this, &idx, st);
    if (!n)
        return false;
    for (const Connection& c : S().connections)
        if ((c.srcNode.get() == n && c.srcAttr == idx) || (c.dstNode.get() == n && c.dstAttr == idx))
            return true;
    return false;
}
bool MPlug::isKeyable(MStatus* st) const
{
    Set(st, fAttr ? MS::kSuccess : MS::kInvalidParameter);
    return fAttr && static_cast<AttrObj*>(fAttr)->keyable;
}
unsigned int MPlug::logicalIndex(MStatus* st) const
{
    Set(st, MS::kFailure);   // array plugs are not modelled
    return 0;
}
MPlug MPlug::elementByLogicalIndex(unsigned int, MStatus* st) const
{
    Set(st, MS::kFailure);
    return MPlug();
}
MPlug MPlug::array(MStatus* st) const
{
    Set(st, MS::kFailure);
    return MPlug();
}
bool MPlug::connectedTo(MPlugArray& out, bool asDst, bool asSrc, MStatus* st) const
{
    out.clear();
    int idx;
    NodeObj* n = Resolve(*this, &idx, st);
    if (!n)
        return false;
    for (const Connection& c : S().connections)
    {
        if (asDst && c.dstNode.get() == n && c.dstAttr == idx)
            out.append(KHostAccess::makePlug(c.srcNode.as<NodeObj>(),
                                             c.srcNode.as<NodeObj>()->type->attrs[(size_t)c.srcAttr].as<AttrObj>()));
        if (asSrc && c.srcNode.get() == n && c.srcAttr == idx)
            out.append(KHostAccess::makePlug(c.dstNode.as<NodeObj>(),
                                             c.dstNode.as<NodeObj>()->type->attrs[(size_t)c.dstAttr].as<AttrObj>()));
    }
    return out.length() > 0;
}
MStatus MPlug::getValue(MObject& val, MDGContext&) const
{
    MStatus st;
    const AttrObj* a = nullptr;
    const Slot* s = Value(*this, &st, &a);
    if (!s)
        return st;
    KHostAccess::set(val, s->data.get());
    return MS::kSuccess;
}
bool MPlug::asBool(MDGContext&, MStatus* st) const { return NumberOf(*this, st) != 0; }
char MPlug::asChar(MDGContext&, MStatus* st) const { return (char)NumberOf(*this, st); }
short MPlug::asShort(MDGContext&, MStatus* st) const { return (short)NumberOf(*this, st); }
int MPlug::asInt(MDGContext&, MStatus* st) const { return (int)NumberOf(*this, st); }
MInt64 MPlug::asInt64(MDGContext&, MStatus* st) const { return (MInt64)NumberOf(*this, st); }
float MPlug::asFloat(MDGContext&, MStatus* st) const { return (float)NumberOf(*this, st); }
double MPlug::asDouble(MDGContext&, MStatus* st) const { return NumberOf(*this, st); }
MString MPlug::asString(MDGContext&, MStatus* st) const
{
    const AttrObj* a = nullptr;
    const Slot* s = Value(*this, st, &a);
    if (!s)
        return MString();
    if (s->data && s->data.get()->fnType == MFn::kStringData)
        return s->data.as<StringDataObj>()->value;
    if (a->kind == AKind::kTyped)
        return MString();
    Set(st, MS::kInvalidParameter);
    return MString();
}
MObject MPlug::asMObject(MDGContext&, MStatus* st) const
{
    const AttrObj* a = nullptr;
    const Slot* s = Value(*this, st, &a);
    return s ? KHostAccess::make(s->data.get()) : MObject();
}
MStatus MPlug::setValue(bool v) { return SetNumber(*this, v ? 1.0 : 0.0); }
MStatus MPlug::setValue(char v) { return SetNumber(*this, v); }
MStatus MPlug::setValue(short v) { return SetNumber(*this, v); }
MStatus MPlug::setValue(int v) { return SetNumber(*this, v); }
MStatus MPlug::setValue(MInt64 v) { return SetNumber(*this, (double)v); }
MStatus MPlug::setValue(float v) { return SetNumber(*this, v); }
MStatus MPlug::setValue(double v) { return SetNumber(*this, v); }
MStatus MPlug::setValue(const MString& v)
{
    int idx;
    MStatus st;
    NodeObj* n = Resolve(*this, &idx, &st);
    return n ? SetFromString(n, idx, v.asChar(), nullptr) : st;
}
MStatus MPlug::setValue(const char* v) { return setValue(MString(v)); }
MStatus MPlug::setValue(MObject& v) { return setMObject(v); }
MStatus MPlug::setBool(bool v) { return setValue(v); }
MStatus MPlug::setChar(char v) { return setValue(v); }
MStatus MPlug::setShort(short v) { return setValue(v); }
MStatus MPlug::setInt(int v) { return setValue(v); }
MStatus MPlug::setInt64(MInt64 v) { return setValue(v); }
MStatus MPlug::setFloat(float v) { return setValue(v); }
MStatus MPlug::setDouble(double v) { return setValue(v); }
MStatus MPlug::setString(const MString& v) { return setValue(v); }
MStatus MPlug::setMObject(const MObject& v)
{
    int idx;
    MStatus st;
    NodeObj* n = Resolve(*this, &idx, &st);
    if (!n)
        return st;
    if (IncomingConnection(n, idx))
        return MS::kFailure;
    MDataHandle h = KHostAccess::makeHandle(n, idx);
    st = h.set(v);
    if (st)
        DirtyFrom(n, idx);
    return st;
}
bool MPlug::operator==(const MPlug& o) const { return fNode == o.fNode && fAttr == o.fAttr; }
bool MPlug::operator==(const MObject& attr) const { return fAttr && fAttr == KHostAccess::get(attr); }
bool MPlug::operator!=(const MPlug& o) const { return !(*this == o); }
bool MPlug::operator!=(const MObject& attr) const { return !(*this == attr); }
MPlug MPlug::operator[](const MObject& attr) const
{
    return KHostAccess::makePlug(static_cast<NodeObj*>(fNode), AsAttr(KHostAccess::get(attr)));
}
MPlug MPlug::operator[](unsigned int i) const { return elementByLogicalIndex(i); }
bool MPlug::operator!() const { return isNull(); }
MPlug::operator MObject() const { return attribute(); }

// ---------------------------------------------------------------------------
// MPlugArray: a std::vector<MPlug> behind the pointer.
typedef std::vector<MPlug> PlugVec;
static PlugVec& PV(void* p) { return *static_cast<PlugVec*>(p); }
MPlugArray::MPlugArray() : fData(new PlugVec) {}
MPlugArray::MPlugArray(const MPlugArray& o) : fData(new PlugVec(PV(o.fData))) {}
MPlugArray::MPlugArray(unsigned int n, const MPlug& v) : fData(new PlugVec(n, v)) {}
MPlugArray::~MPlugArray() { delete static_cast<PlugVec*>(fData); }
MPlugArray& MPlugArray::operator=(const MPlugArray& o)
{
    PV(fData) = PV(o.fData);
    return *this;
}
const MPlug& MPlugArray::operator[](unsigned int i) const { return PV(fData)[i]; }
MPlug& MPlugArray::operator[](unsigned int i) { return PV(fData)[i]; }
MStatus MPlugArray::set(const MPlug& e, unsigned int i)
{
    if (i >= PV(fData).size())
        return MS::kInvalidParameter;
    PV(fData)[i] = e;
    return MS::kSuccess;
}
MStatus MPlugArray::setLength(unsigned int n)
{
    PV(fData).resize(n);
    return MS::kSuccess;
}
unsigned int MPlugArray::length() const { return (unsigned int)PV(fData).size(); }
MStatus MPlugArray::remove(unsigned int i)
{
    if (i >= PV(fData).size())
        return MS::kInvalidParameter;
    PV(fData).erase(PV(fData).begin() + i);
    return MS::kSuccess;
}
MStatus MPlugArray::insert(const MPlug& e, unsigned int i)
{
    if (i > PV(fData).size())
        return MS::kInvalidParameter;
    PV(fData).insert(PV(fData).begin() + i, e);
    return MS::kSuccess;
}
MStatus MPlugArray::append(const MPlug& e)
{
    PV(fData).push_back(e);
    return MS::kSuccess;
}
MStatus MPlugArray::clear()
{
    PV(fData).clear();
    return MS::kSuccess;
}
void MPlugArray::setSizeIncrement(unsigned int) {}
unsigned int MPlugArray::sizeIncrement() const { return 0; }

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
template <> void* Convert<void*>(double) { return nullptr; }

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
bool MDataHandle::isNumeric() const
{
    const AttrObj* a = nullptr;
    SlotOf(f_data, &a);
    return a && a->kind != AKind::kTyped;
}
bool MDataHandle::isGeneric(bool& isNum, bool& isNull) const
{
    isNum = false;
    isNull = false;
    return false;
}
MFnNumericData::Type MDataHandle::numericType() const
{
    const AttrObj* a = nullptr;
    SlotOf(f_data, &a);
    return (a && a->kind != AKind::kTyped) ? a->numType : MFnNumericData::kInvalid;
}
MFnData::Type MDataHandle::type() const
{
    const AttrObj* a = nullptr;
    SlotOf(f_data, &a);
    if (!a)
        return MFnData::kInvalid;
    return a->kind == AKind::kTyped ? a->dataType : MFnData::kNumeric;
}
MTypeId MDataHandle::typeId() const { return MTypeId(); }
MObject MDataHandle::data()
{
    const AttrObj* a = nullptr;
    Slot& s = SlotOf(f_data, &a);
    return a ? KHostAccess::make(s.data.get()) : MObject();
}
MStatus MDataHandle::copy(const MDataHandle& src)
{
    const AttrObj* a = nullptr;
    const AttrObj* b = nullptr;
    Slot& d = SlotOf(f_data, &a);
    Slot& s = SlotOf(src.f_data, &b);
    if (!a || !b)
        return MS::kInvalidParameter;
    if (IsSingleNumeric(*a) && IsSingleNumeric(*b))
        SlotSetNumber(*a, d, SlotNumber(*b, s));
    else if (a->kind == AKind::kTyped && b->kind == AKind::kTyped)
        d.data = s.data;
    else
        return MS::kInvalidParameter;
    return MS::kSuccess;
}
void MDataHandle::setClean()
{
    const AttrObj* a = nullptr;
    Slot& s = SlotOf(f_data, &a);
    if (a)
        s.dirty = false;
}
bool& MDataHandle::asBool() const { return NumRef(f_data, &NumValue::b, MFnNumericData::kBoolean); }
char& MDataHandle::asChar() const { return NumRef(f_data, &NumValue::c, MFnNumericData::kChar); }
unsigned char& MDataHandle::asUChar() const { return NumRef(f_data, &NumValue::uc, MFnNumericData::kByte); }
short& MDataHandle::asShort() const { return NumRef(f_data, &NumValue::s, MFnNumericData::kShort); }
int& MDataHandle::asInt() const { return NumRef(f_data, &NumValue::i, MFnNumericData::kInt); }
int& MDataHandle::asLong() const { return asInt(); }
MInt64& MDataHandle::asInt64() const { return NumRef(f_data, &NumValue::i64, MFnNumericData::kInt64); }
void*& MDataHandle::asAddr() const { return NumRef(f_data, &NumValue::addr, MFnNumericData::kAddr); }
float& MDataHandle::asFloat() const { return NumRef(f_data, &NumValue::f, MFnNumericData::kFloat); }
double& MDataHandle::asDouble() const { return NumRef(f_data, &NumValue::d, MFnNumericData::kDouble); }
MVector& MDataHandle::asVector() const
{
    const AttrObj* a = nullptr;
    Slot& s = SlotOf(f_data, &a);
    return s.vectorScratch;
}
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
MObject MDataHandle::asMesh() const
{
    const AttrObj* a = nullptr;
    Slot& s = SlotOf(f_data, &a);
    return (a && s.data && s.data.get()->fnType == MFn::kMeshData) ? KHostAccess::make(s.data.get()) : MObject();
}
MPxData* MDataHandle::asPluginData() const { return nullptr; }

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
void MDataHandle::set(const MMatrix&) {}
void MDataHandle::set(const MVector& v)
{
    const AttrObj* a = nullptr;
    SlotOf(f_data, &a).vectorScratch = v;
}
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
void MDataHandle::set(short, short) {}
void MDataHandle::set(int, int) {}
void MDataHandle::set(float, float) {}
void MDataHandle::set(double, double) {}
void MDataHandle::set(short, short, short) {}
void MDataHandle::set(int, int, int) {}
void MDataHandle::set(float, float, float) {}
void MDataHandle::set(double, double, double) {}
MStatus MDataHandle::set(const MObject& data)
{
    const AttrObj* a = nullptr;
    Slot& s = SlotOf(f_data, &a);
    if (!a)
        return MS::kInvalidParameter;
    Obj* d = KHostAccess::get(data);
    if (a->kind != AKind::kTyped)
    {
        if (d && d->fnType == MFn::kNumericData && IsSingleNumeric(*a))
        {
            SlotSetNumber(*a, s, static_cast<NumericDataObj*>(d)->values[0]);
            return MS::kSuccess;
        }
        return MS::kInvalidParameter;
    }
    if (d && !data.hasFn(MFn::kData))
        return MS::kInvalidParameter;
    if (d && ((a->dataType == MFnData::kMesh && d->fnType != MFn::kMeshData) ||
              (a->dataType == MFnData::kString && d->fnType != MFn::kStringData)))
        return MS::kInvalidParameter;
    s.data = Ref(d);
    return MS::kSuccess;
}
MStatus MDataHandle::set(MPxData*) { return MS::kNotImplemented; }
void MDataHandle::setBool(bool v) { set(v); }
void MDataHandle::setChar(char v) { set(v); }
void MDataHandle::setShort(short v) { set(v); }
void MDataHandle::setInt(int v) { set(v); }
void MDataHandle::setInt64(MInt64 v) { set(v); }
void MDataHandle::setFloat(float v) { set(v); }
void MDataHandle::setDouble(double v) { set(v); }
void MDataHandle::setMVector(const MVector& v) { set(v); }
void MDataHandle::setString(const MString& v) { set(v); }
MStatus MDataHandle::setMObject(const MObject& d) { return set(d); }
MStatus MDataHandle::setMPxData(MPxData* d) { return set(d); }

// ---------------------------------------------------------------------------
// MArrayDataHandle: array attributes are not modelled; every access fails.
MArrayDataHandle::MArrayDataHandle(const MDataHandle&, MStatus* st)
{
    std::memset(f_data, 0, sizeof f_data);
    Set(st, MS::kInvalidParameter);
}
MArrayDataHandle::MArrayDataHandle(const MArrayDataHandle& o) { std::memcpy(f_data, o.f_data, sizeof f_data); }
MArrayDataHandle& MArrayDataHandle::operator=(const MArrayDataHandle& o)
{
    std::memmove(f_data, o.f_data, sizeof f_data);
    return *this;
}
MArrayDataHandle::~MArrayDataHandle() {}
MDataHandle MArrayDataHandle::inputValue(MStatus* st)
{
    Set(st, MS::kInvalidParameter);
    return MDataHandle();
}
MDataHandle MArrayDataHandle::outputValue(MStatus* st)
{
    Set(st, MS::kInvalidParameter);
    return MDataHandle();
}
MStatus MArrayDataHandle::next() { return MS::kFailure; }
unsigned int MArrayDataHandle::elementCount(MStatus* st)
{
    Set(st, MS::kSuccess);
    return 0;
}
unsigned int MArrayDataHandle::elementIndex(MStatus* st)
{
    Set(st, MS::kFailure);
    return 0;
}
MStatus MArrayDataHandle::jumpToElement(unsigned int) { return MS::kInvalidParameter; }
MStatus MArrayDataHandle::jumpToArrayElement(unsigned int) { return MS::kInvalidParameter; }
MStatus MArrayDataHandle::setClean() { return MS::kSuccess; }
MStatus MArrayDataHandle::setAllClean() { return MS::kSuccess; }

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

MDataHandle MDataBlock::inputValue(const MPlug& plug, MStatus* st)
{
    if (KHostAccess::plugNode(plug) != fNode)
    {
        Set(st, MS::kInvalidParameter);
        return MDataHandle();
    }
    return inputValue(plug.attribute(), st);
}
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
MDataHandle MDataBlock::outputValue(const MPlug& plug, MStatus* st)
{
    if (KHostAccess::plugNode(plug) != fNode)
    {
        Set(st, MS::kInvalidParameter);
        return MDataHandle();
    }
    return outputValue(plug.attribute(), st);
}
MDataHandle MDataBlock::outputValue(const MObject& attribute, MStatus* st)
{
    int idx = BlockIndex(fNode, KHostAccess::get(attribute), st);
    if (idx < 0)
        return MDataHandle();
    return KHostAccess::makeHandle(static_cast<NodeObj*>(fNode), idx);
}
MArrayDataHandle MDataBlock::inputArrayValue(const MPlug& plug, MStatus* st) { return MArrayDataHandle(inputValue(plug, nullptr), st); }
MArrayDataHandle MDataBlock::inputArrayValue(const MObject& a, MStatus* st) { return MArrayDataHandle(inputValue(a, nullptr), st); }
MArrayDataHandle MDataBlock::outputArrayValue(const MPlug& plug, MStatus* st) { return MArrayDataHandle(outputValue(plug, nullptr), st); }
MArrayDataHandle MDataBlock::outputArrayValue(const MObject& a, MStatus* st) { return MArrayDataHandle(outputValue(a, nullptr), st); }
MStatus MDataBlock::setClean(const MPlug& plug)
{
    if (KHostAccess::plugNode(plug) != fNode)
        return MS::kInvalidParameter;
    return setClean(plug.attribute());
}
MStatus MDataBlock::setClean(const MObject& attribute)
{
    MStatus st;
    int idx = BlockIndex(fNode, KHostAccess::get(attribute), &st);
    if (idx >= 0)
        static_cast<NodeObj*>(fNode)->slots[(size_t)idx].dirty = false;
    return st;
}
bool MDataBlock::isClean(const MPlug& plug)
{
    return KHostAccess::plugNode(plug) == fNode && isClean(plug.attribute());
}
bool MDataBlock::isClean(const MObject& attribute, MStatus* st)
{
    int idx = BlockIndex(fNode, KHostAccess::get(attribute), st);
    return idx >= 0 && !static_cast<NodeObj*>(fNode)->slots[(size_t)idx].dirty;
}
MDGContext MDataBlock::context(MStatus* st)
{
    Set(st, MS::kSuccess);
    return MDGContext();
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

namespace
{
NodeObj* NodeOf(const MFnBase& fn, MStatus* st)
{
    NodeObj* n = AsNode(KHostAccess::fnObj(fn));
    if (!n || !n->alive)
    {
        Set(st, MS::kInvalidParameter);
        return nullptr;
    }
    Set(st, MS::kSuccess);
    return n;
}
MObject CreateWith(MFnBase& fn, const MString& type, const std::string& name, NodeObj* parent, MStatus* st)
{
    NodeType* t = FindType(type.asChar());
    if (!t)
    {
        Set(st, MS::kInvalidParameter);
        return MObject();
    }
    MStatus s;
    NodeObj* n = CreateNode(t, name, parent, &s);
    if (st)
        *st = s;
    if (!n)
        return MObject();
    KHostAccess::fnAttach(fn, n);
    return KHostAccess::make(n);
}
} // namespace

MObject MFnDependencyNode::create(const MString& type, MStatus* st) { return CreateWith(*this, type, "", nullptr, st); }
MObject MFnDependencyNode::create(const MString& type, const MString& name, MStatus* st)
{
    return CreateWith(*this, type, name.asChar(), nullptr, st);
}
MTypeId MFnDependencyNode::typeId(MStatus* st) const
{
    NodeObj* n = NodeOf(*this, st);
    return MTypeId(n ? n->type->id : 0u);
}
MString MFnDependencyNode::typeName(MStatus* st) const
{
    NodeObj* n = NodeOf(*this, st);
    return MString(n ? n->type->name.c_str() : "");
}
MString MFnDependencyNode::name(MStatus* st) const
{
    NodeObj* n = NodeOf(*this, st);
    return MString(n ? n->name.c_str() : "");
}
MString MFnDependencyNode::setName(const MString& name, bool, MStatus* st)
{
    NodeObj* n = NodeOf(*this, st);
    if (!n)
        return MString();
    if (name.length() == 0)
    {
        Set(st, MS::kInvalidParameter);
        return MString(n->name.c_str());
    }
    if (n->name != name.asChar())
        n->name = UniqueName(name.asChar());
    return MString(n->name.c_str());
}
unsigned int MFnDependencyNode::attributeCount(MStatus* st) const
{
    NodeObj* n = NodeOf(*this, st);
    return n ? (unsigned int)n->type->attrs.size() : 0u;
}
MObject MFnDependencyNode::attribute(unsigned int i, MStatus* st) const
{
    NodeObj* n = NodeOf(*this, st);
    if (!n || i >= n->type->attrs.size())
    {
        Set(st, MS::kInvalidParameter);
        return MObject();
    }
    return KHostAccess::make(n->type->attrs[i].get());
}
MObject MFnDependencyNode::attribute(const MString& attrName, MStatus* st) const
{
    NodeObj* n = NodeOf(*this, st);
    int idx = n ? AttrIndex(*n->type, attrName.asChar()) : -1;
    if (idx < 0)
    {
        Set(st, MS::kInvalidParameter);
        return MObject();
    }
    return KHostAccess::make(n->type->attrs[(size_t)idx].get());
}
bool MFnDependencyNode::hasAttribute(const MString& attrName, MStatus* st) const
{
    NodeObj* n = NodeOf(*this, st);
    return n && AttrIndex(*n->type, attrName.asChar()) >= 0;
}
MPlug MFnDependencyNode::findPlug(const MObject& attr, bool, MStatus* st) const
{
    NodeObj* n = NodeOf(*this, st);
    MPlug p = KHostAccess::makePlug(n, AsAttr(KHostAccess::get(attr)));
    if (p.isNull())
        Set(st, MS::kInvalidParameter);
    return p;
}
MPlug MFnDependencyNode::findPlug(const MString& attrName, bool wantNetworked, MStatus* st) const
{
    MStatus s;
    MObject a = attribute(attrName, &s);
    if (!s)
    {
        Set(st, s.statusCode());
        return MPlug();
    }
    return findPlug(a, wantNetworked, st);
}
MPlug MFnDependencyNode::findPlug(const MObject& attr, MStatus* st) const { return findPlug(attr, false, st); }
MPlug MFnDependencyNode::findPlug(const MString& attrName, MStatus* st) const { return findPlug(attrName, false, st); }
MPxNode* MFnDependencyNode::userNode(MStatus* st) const
{
    NodeObj* n = NodeOf(*this, st);
    return n ? n->user : nullptr;
}

MObject MFnDagNode::create(const MString& type, const MObject& parent, MStatus* st)
{
    return create(type, MString(), parent, st);
}
MObject MFnDagNode::create(const MString& type, const MString& name, const MObject& parent, MStatus* st)
{
    NodeObj* p = AsNode(KHostAccess::get(parent));
    if (!parent.isNull() && !p)
    {
        Set(st, MS::kInvalidParameter);
        return MObject();
    }
    return CreateWith(*this, type, name.asChar(), p, st);
}
unsigned int MFnDagNode::parentCount(MStatus* st) const
{
    NodeObj* n = NodeOf(*this, st);
    return (n && n->parent) ? 1u : 0u;
}
MObject MFnDagNode::parent(unsigned int i, MStatus* st) const
{
    NodeObj* n = NodeOf(*this, st);
    if (!n || i != 0 || !n->parent)
    {
        Set(st, MS::kInvalidParameter);
        return MObject();
    }
    return KHostAccess::make(n->parent);
}
unsigned int MFnDagNode::childCount(MStatus* st) const
{
    NodeObj* n = NodeOf(*this, st);
    unsigned int c = 0;
    if (n)
        for (const Ref& r : S().nodes)
            c += r.as<NodeObj>()->parent == n ? 1u : 0u;
    return c;
}
MObject MFnDagNode::child(unsigned int i, MStatus* st) const
{
    NodeObj* n = NodeOf(*this, st);
    if (n)
        for (const Ref& r : S().nodes)
            if (r.as<NodeObj>()->parent == n && i-- == 0)
                return KHostAccess::make(r.get());
    Set(st, MS::kInvalidParameter);
    return MObject();
}
MString MFnDagNode::fullPathName(MStatus* st) const
{
    NodeObj* n = NodeOf(*this, st);
    std::string path;
    for (NodeObj* p = n; p; p = p->parent)
        path = "|" + p->name + path;
    return MString(path.c_str());
}
MString MFnDagNode::partialPathName(MStatus* st) const { return name(st); }

// ---------------------------------------------------------------------------
// MDGModifier: nodes are created at once; connections and commands run in doIt.
typedef std::vector<std::function<MStatus()>> Ops;
MDGModifier::MDGModifier() : data(new Ops) {}
MDGModifier::~MDGModifier() { delete static_cast<Ops*>(data); }
MObject MDGModifier::createNode(const MString& type, MStatus* st)
{
    MFnDependencyNode fn;
    return fn.create(type, st);
}
MStatus MDGModifier::connect(const MPlug& source, const MPlug& dest)
{
    MPlug s = source, d = dest;
    if (s.isNull() || d.isNull())
        return MS::kInvalidParameter;
    static_cast<Ops*>(data)->push_back([s, d]() {
        return Connect(KHostAccess::plugNode(s), KHostAccess::plugAttr(s)->index, KHostAccess::plugNode(d),
                       KHostAccess::plugAttr(d)->index, false, nullptr);
    });
    return MS::kSuccess;
}
MStatus MDGModifier::disconnect(const MPlug& source, const MPlug& dest)
{
    MPlug s = source, d = dest;
    if (s.isNull() || d.isNull())
        return MS::kInvalidParameter;
    static_cast<Ops*>(data)->push_back([s, d]() {
        return Disconnect(KHostAccess::plugNode(s), KHostAccess::plugAttr(s)->index, KHostAccess::plugNode(d),
                          KHostAccess::plugAttr(d)->index);
    });
    return MS::kSuccess;
}
MStatus MDGModifier::commandToExecute(const MString& command)
{
    std::string line = command.asChar();
    static_cast<Ops*>(data)->push_back([line]() {
        CommandResultData r;
        return RunCommandLine(line, &r, nullptr);
    });
    return MS::kSuccess;
}
MStatus MDGModifier::doIt()
{
    Ops ops;
    ops.swap(*static_cast<Ops*>(data));
    for (auto& op : ops)
    {
        MStatus st = op();
        if (!st)
            return st;
    }
    return MS::kSuccess;
}
MStatus MDGModifier::undoIt() { return MS::kNotImplemented; }
