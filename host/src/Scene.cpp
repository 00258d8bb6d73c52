// The in-memory scene of the stand-in host: node types and nodes, value
// slots, connections and dirty propagation, evaluation on request, the
// registries and the script command interpreter.
#include "HostInternal.h"

#include <maya/MArgList.h>
#include <maya/MFnData.h>
#include <maya/MPxCommand.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

namespace khost_impl
{

namespace
{
void Set(MStatus* st, MStatus::MStatusCode c)
{
    if (st)
        *st = c;
}

// Built-in attribute of a built-in type: a mesh (typed) or a double (the
// stand-in's time attributes are doubles in frames).
void AddBuiltinAttr(NodeType* t, const char* longName, const char* shortName, bool mesh, bool writable,
                    bool storable)
{
    AttrObj* a = new AttrObj(mesh ? MFn::kTypedAttribute : MFn::kNumericAttribute);
    a->longName = longName;
    a->shortName = shortName;
    a->kind = mesh ? AKind::kTyped : AKind::kNumeric;
    if (mesh)
        a->dataType = MFnData::kMesh;
    else
        a->numType = MFnNumericData::kDouble;
    a->writable = writable;
    a->storable = storable;
    a->owner = t;
    a->index = (int)t->attrs.size();
    t->attrs.push_back(Ref(a));
    t->affects.emplace_back();
    t->isAffected.push_back(0);
}

NodeType* NewBuiltinType(const char* name, BuiltinKind kind)
{
    NodeType* t = new NodeType;
    t->name = name;
    t->builtin = kind;
    return t;
}

MFn::Type FnTypeOf(const NodeType& t)
{
    switch (t.builtin)
    {
    case BuiltinKind::kTransform: return MFn::kTransform;
    case BuiltinKind::kMesh: return MFn::kMesh;
    case BuiltinKind::kShadingEngine: return MFn::kShadingEngine;
    case BuiltinKind::kTime: return MFn::kTime;
    case BuiltinKind::kExpression: return MFn::kExpression;
    case BuiltinKind::kNone: break;
    }
    return MFn::kPluginDependNode;
}

bool IsDag(const NodeType& t) { return t.builtin == BuiltinKind::kTransform || t.builtin == BuiltinKind::kMesh; }
bool IsSet(const NodeType& t) { return t.builtin == BuiltinKind::kShadingEngine; }

void CreateDefaultNodes()
{
    MStatus st;
    CreateNode(FindType("shadingEngine"), "initialShadingGroup", nullptr, &st);
    EnsureTimeNode();
}

Scene* MakeScene()
{
    Scene* s = new Scene;
    s->types.push_back(NewBuiltinType("transform", BuiltinKind::kTransform));
    NodeType* mesh = NewBuiltinType("mesh", BuiltinKind::kMesh);
    AddBuiltinAttr(mesh, "inMesh", "i", true, true, true);
    AddBuiltinAttr(mesh, "outMesh", "o", true, true, false);
    mesh->affects[0].push_back(1);
    mesh->isAffected[1] = 1;
    s->types.push_back(mesh);
    s->types.push_back(NewBuiltinType("shadingEngine", BuiltinKind::kShadingEngine));
    NodeType* time = NewBuiltinType("time", BuiltinKind::kTime);
    AddBuiltinAttr(time, "outTime", "o", false, false, true);
    time->isAffected[0] = 1;   // follows the scene time
    s->types.push_back(time);
    NodeType* expression = NewBuiltinType("expression", BuiltinKind::kExpression);
    AddBuiltinAttr(expression, "time", "tim", false, true, true);
    AddBuiltinAttr(expression, "output", "out", false, false, false);
    expression->affects[0].push_back(1);
    expression->isAffected[1] = 1;
    s->types.push_back(expression);
    for (const char* c : {"createNode", "sets", "connectAttr", "disconnectAttr", "select", "delete", "setAttr",
                          "currentTime", "expression", "attributeQuery"})
        s->commands.push_back(CommandEntry{c, nullptr, nullptr});
    return s;
}
} // namespace

Scene& S()
{
    // Never destroyed: plug-in libraries may release their handles during
    // process exit, after this library's own static objects are gone.
    static Scene* scene = nullptr;
    if (!scene)
    {
        scene = MakeScene();
        CreateDefaultNodes();
    }
    return *scene;
}

NodeObj::~NodeObj() { delete user; }

void SetSceneTime(double frame)
{
    S().currentTime = frame;
    if (NodeObj* t = FindNode("time1"))
        if (t->type->builtin == BuiltinKind::kTime)
            MarkDirty(t, 0);
}

void EnsureTimeNode()
{
    for (const Ref& r : S().nodes)
        if (r.as<NodeObj>()->type->builtin == BuiltinKind::kTime)
            return;
    MStatus st;
    CreateNode(FindType("time"), "time1", nullptr, &st);
}

// ---------------------------------------------------------------------------
// Lookups and names.
NodeType* FindType(const std::string& name)
{
    for (NodeType* t : S().types)
        if (t->name == name)
            return t;
    return nullptr;
}
NodeType* FindTypeById(unsigned int id)
{
    for (NodeType* t : S().types)
        if (t->builtin == BuiltinKind::kNone && t->id == id)
            return t;
    return nullptr;
}
NodeObj* FindNode(const std::string& name)
{
    for (const Ref& r : S().nodes)
        if (r.as<NodeObj>()->name == name)
            return r.as<NodeObj>();
    return nullptr;
}
int AttrIndex(const NodeType& t, const std::string& name)
{
    for (size_t i = 0; i < t.attrs.size(); ++i)
        if (t.attrs[i].as<AttrObj>()->longName == name)
            return (int)i;
    for (size_t i = 0; i < t.attrs.size(); ++i)
        if (t.attrs[i].as<AttrObj>()->shortName == name)
            return (int)i;
    return -1;
}
std::string DefaultNodeName(const NodeType& t) { return t.name + "1"; }

// A taken name gets the next free number: its trailing number plus one
// ("Korvane1" -> "Korvane2"), or 1 when it has none ("pCube" -> "pCube1").
std::string UniqueName(const std::string& requested)
{
    if (!FindNode(requested))
        return requested;
    size_t end = requested.size();
    while (end > 0 && requested[end - 1] >= '0' && requested[end - 1] <= '9')
        --end;
    std::string base = requested.substr(0, end);
    unsigned long long n = 1;
    if (end < requested.size() && requested.size() - end < 19)
        n = std::strtoull(requested.c_str() + end, nullptr, 10) + 1;
    for (;; ++n)
    {
        std::string candidate = base + std::to_string(n);
        if (!FindNode(candidate))
            return candidate;
    }
}

namespace
{
// Node names hold letters, digits and '_' and do not begin with a digit.
std::string CleanName(const std::string& name)
{
    std::string out;
    for (char c : name)
    {
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
        out += ok ? c : '_';
    }
    if (!out.empty() && out[0] >= '0' && out[0] <= '9')
        out = "_" + out;
    return out;
}
} // namespace

// ---------------------------------------------------------------------------
// Values.
double SlotNumber(const AttrObj& a, const Slot& s)
{
    if (a.kind == AKind::kEnum)
        return s.value.s;
    if (a.kind != AKind::kNumeric)
        return 0;
    switch (a.numType)
    {
    case MFnNumericData::kBoolean: return s.value.b ? 1 : 0;
    case MFnNumericData::kByte: return s.value.uc;
    case MFnNumericData::kChar: return s.value.c;
    case MFnNumericData::kShort: return s.value.s;
    case MFnNumericData::kInt: return s.value.i;
    case MFnNumericData::kInt64: return (double)s.value.i64;
    case MFnNumericData::kFloat: return s.value.f;
    case MFnNumericData::kDouble: return s.value.d;
    default: return 0;
    }
}

namespace
{
template <class T> T ClampTo(double v, double lo, double hi)
{
    if (std::isnan(v))
        return T(0);
    if (v < lo)
        return (T)lo;
    if (v > hi)
        return (T)hi;
    return (T)v;
}
} // namespace

void SlotSetNumber(const AttrObj& a, Slot& s, double v)
{
    if (a.kind == AKind::kEnum)
    {
        s.value.s = ClampTo<short>(v, SHRT_MIN, SHRT_MAX);
        return;
    }
    if (a.kind != AKind::kNumeric)
        return;
    switch (a.numType)
    {
    case MFnNumericData::kBoolean: s.value.b = v != 0; break;
    case MFnNumericData::kByte: s.value.uc = ClampTo<unsigned char>(v, 0, UCHAR_MAX); break;
    case MFnNumericData::kChar: s.value.c = ClampTo<char>(v, CHAR_MIN, CHAR_MAX); break;
    case MFnNumericData::kShort: s.value.s = ClampTo<short>(v, SHRT_MIN, SHRT_MAX); break;
    case MFnNumericData::kInt: s.value.i = ClampTo<int>(v, INT_MIN, INT_MAX); break;
    case MFnNumericData::kInt64: s.value.i64 = ClampTo<MInt64>(v, -9.2233720368547748e18, 9.2233720368547748e18); break;
    case MFnNumericData::kFloat: s.value.f = (float)v; break;
    case MFnNumericData::kDouble: s.value.d = v; break;
    default: break;
    }
}

Ref CloneData(const Ref& data)
{
    Obj* o = data.get();
    if (!o)
        return Ref();
    if (o->fnType == MFn::kStringData)
    {
        StringDataObj* c = new StringDataObj;
        c->value = static_cast<StringDataObj*>(o)->value;
        return Ref(c);
    }
    if (o->fnType == MFn::kMeshData)
    {
        MeshDataObj* c = new (std::nothrow) MeshDataObj;
        if (!c)
            return Ref();
        c->mesh = static_cast<MeshDataObj*>(o)->mesh;
        return Ref(c);
    }
    return data;
}

// ---------------------------------------------------------------------------
// Nodes.
NodeObj* CreateNode(NodeType* type, const std::string& name, NodeObj* parent, MStatus* st)
{
    if (!type)
    {
        Set(st, MS::kInvalidParameter);
        return nullptr;
    }
    if (parent && (!parent->alive || parent->type->builtin != BuiltinKind::kTransform || !IsDag(*type)))
    {
        Set(st, MS::kInvalidParameter);
        return nullptr;
    }
    std::string clean = CleanName(name.empty() ? DefaultNodeName(*type) : name);
    if (clean.empty())
        clean = CleanName(DefaultNodeName(*type));

    Ref keep(new NodeObj(FnTypeOf(*type)));
    NodeObj* n = keep.as<NodeObj>();
    n->type = type;
    n->parent = parent;
    n->slots.resize(type->attrs.size());
    for (size_t i = 0; i < type->attrs.size(); ++i)
    {
        const AttrObj& a = *type->attrs[i].as<AttrObj>();
        Slot& s = n->slots[i];
        std::memset(&s.value, 0, sizeof s.value);
        std::memset(&s.scratch, 0, sizeof s.scratch);
        if (a.kind == AKind::kTyped)
            s.data = CloneData(a.defaultData);
        else if (a.kind == AKind::kNumeric && a.numType == MFnNumericData::kAddr)
            s.value.addr = nullptr;   // an address has no default here
        else
            SlotSetNumber(a, s, a.defaultNumber);
        s.dirty = type->isAffected[i] != 0;   // outputs are computed on first request
    }
    if (type->builtin == BuiltinKind::kNone)
    {
        void* made = type->creator ? type->creator() : nullptr;
        if (!made)
        {
            Set(st, MS::kFailure);
            return nullptr;
        }
        n->user = static_cast<MPxNode*>(made);
        KHostAccess::pxInstance(*n->user) = n;
    }
    n->name = UniqueName(clean);
    S().nodes.push_back(keep);
    if (n->user)
        n->user->postConstructor();
    Set(st, MS::kSuccess);
    return n;
}

void DeleteNode(NodeObj* node)
{
    if (!node || !node->alive)
        return;
    Scene& s = S();
    Ref keep(node);
    // Children first.
    for (size_t i = 0; i < s.nodes.size();)
    {
        NodeObj* c = s.nodes[i].as<NodeObj>();
        if (c->parent == node)
        {
            DeleteNode(c);
            i = 0;
        }
        else
            ++i;
    }
    // Connections: destinations fed by this node keep their last value.
    auto& cs = s.connections;
    cs.erase(std::remove_if(cs.begin(), cs.end(),
                            [node](const Connection& c) { return c.srcNode.get() == node || c.dstNode.get() == node; }),
             cs.end());
    auto isNode = [node](const Ref& r) { return r.get() == node; };
    s.selection.erase(std::remove_if(s.selection.begin(), s.selection.end(), isNode), s.selection.end());
    for (const Ref& r : s.nodes)
    {
        std::vector<NodeObj*>& m = r.as<NodeObj>()->members;
        m.erase(std::remove(m.begin(), m.end(), node), m.end());
    }
    const auto it = std::find_if(s.nodes.begin(), s.nodes.end(), isNode);
    if (it != s.nodes.end())
        s.nodes.erase(it);
    node->alive = false;
    node->members.clear();
    node->parent = nullptr;
    MPxNode* user = node->user;
    node->user = nullptr;
    delete user;
}

// ---------------------------------------------------------------------------
// Connections and dirty propagation.
const Connection* IncomingConnection(const NodeObj* node, int attr)
{
    for (const Connection& c : S().connections)
        if (c.dstNode.get() == node && c.dstAttr == attr)
            return &c;
    return nullptr;
}

namespace
{
typedef std::vector<std::pair<const NodeObj*, int>> Seen;
void MarkSeen(NodeObj* n, int i, Seen& seen);
void Propagate(NodeObj* n, int idx, Seen& seen)
{
    for (int b : n->type->affects[(size_t)idx])
        MarkSeen(n, b, seen);
    // Copy: marking never changes the connections, but stay safe.
    std::vector<std::pair<NodeObj*, int>> downstream;
    for (const Connection& c : S().connections)
        if (c.srcNode.get() == n && c.srcAttr == idx)
            downstream.emplace_back(c.dstNode.as<NodeObj>(), c.dstAttr);
    for (auto& d : downstream)
        MarkSeen(d.first, d.second, seen);
}
void MarkSeen(NodeObj* n, int i, Seen& seen)
{
    for (const auto& s : seen)
        if (s.first == n && s.second == i)
            return;
    seen.emplace_back(n, i);
    n->slots[(size_t)i].dirty = true;
    Propagate(n, i, seen);
}

bool TypesConnectable(const AttrObj& a, const AttrObj& b)
{
    if (IsSingleNumeric(a) && IsSingleNumeric(b))
        return true;
    if (a.kind == AKind::kTyped && b.kind == AKind::kTyped)
        return a.dataType == b.dataType || a.dataType == MFnData::kAny || b.dataType == MFnData::kAny ||
               a.dataType == MFnData::kPlugin || b.dataType == MFnData::kPlugin;
    return false;
}
std::string PlugText(const NodeObj* n, int i) { return n->name + "." + n->type->attrs[(size_t)i].as<AttrObj>()->longName; }
} // namespace

void DirtyFrom(NodeObj* node, int attr)
{
    Seen seen;
    seen.emplace_back(node, attr);
    Propagate(node, attr, seen);
}
void MarkDirty(NodeObj* node, int attr)
{
    Seen seen;
    MarkSeen(node, attr, seen);
}

MStatus Connect(NodeObj* src, int sa, NodeObj* dst, int da, bool force, std::string* err)
{
    if (!src || !dst || !src->alive || !dst->alive || sa < 0 || da < 0)
        return MS::kInvalidParameter;
    const AttrObj& a = *src->type->attrs[(size_t)sa].as<AttrObj>();
    const AttrObj& b = *dst->type->attrs[(size_t)da].as<AttrObj>();
    std::string what = PlugText(src, sa) + "' and '" + PlugText(dst, da);
    if (src == dst && sa == da)
    {
        if (err)
            *err = "The attribute '" + PlugText(src, sa) + "' cannot be connected to itself.";
        return MS::kFailure;
    }
    if (!b.writable || !TypesConnectable(a, b))
    {
        if (err)
            *err = "The attributes '" + what + "' cannot be connected.";
        return MS::kFailure;
    }
    for (size_t i = 0; i < S().connections.size(); ++i)
    {
        Connection& c = S().connections[i];
        if (c.dstNode.get() != dst || c.dstAttr != da)
            continue;
        if (c.srcNode.get() == src && c.srcAttr == sa)
        {
            if (err)
                *err = "'" + PlugText(src, sa) + "' is already connected to '" + PlugText(dst, da) + "'.";
            return MS::kFailure;
        }
        if (!force)
        {
            if (err)
                *err = "'" + PlugText(dst, da) + "' already has an incoming connection from '" +
                       PlugText(c.srcNode.as<NodeObj>(), c.srcAttr) + "'.";
            return MS::kFailure;
        }
        S().connections.erase(S().connections.begin() + (long)i);
        break;
    }
    S().connections.push_back(Connection{Ref(src), sa, Ref(dst), da});
    MarkDirty(dst, da);
    return MS::kSuccess;
}

MStatus Disconnect(NodeObj* src, int sa, NodeObj* dst, int da)
{
    std::vector<Connection>& cs = S().connections;
    for (size_t i = 0; i < cs.size(); ++i)
        if (cs[i].srcNode.get() == src && cs[i].srcAttr == sa && cs[i].dstNode.get() == dst && cs[i].dstAttr == da)
        {
            cs.erase(cs.begin() + (long)i);
            // The destination keeps its last value; what it affects is recomputed.
            dst->slots[(size_t)da].dirty = false;
            DirtyFrom(dst, da);
            return MS::kSuccess;
        }
    return MS::kFailure;
}

// ---------------------------------------------------------------------------
// Evaluation.
MStatus Pull(NodeObj* n, int idx, bool* computed)
{
    if (!n || !n->alive || idx < 0 || (size_t)idx >= n->slots.size())
        return MS::kInvalidParameter;
    Ref keep(n);
    if (!n->slots[(size_t)idx].dirty || n->slots[(size_t)idx].computing)
        return MS::kSuccess;

    if (const Connection* c = IncomingConnection(n, idx))
    {
        Ref srcKeep = c->srcNode;
        NodeObj* src = c->srcNode.as<NodeObj>();
        int sa = c->srcAttr;
        n->slots[(size_t)idx].computing = true;
        MStatus st = Pull(src, sa, computed);
        n->slots[(size_t)idx].computing = false;
        if (!n->alive || !src->alive)
            return st;
        const AttrObj& a = *src->type->attrs[(size_t)sa].as<AttrObj>();
        const AttrObj& b = *n->type->attrs[(size_t)idx].as<AttrObj>();
        Slot& from = src->slots[(size_t)sa];
        Slot& to = n->slots[(size_t)idx];
        if (IsSingleNumeric(a) && IsSingleNumeric(b))
            SlotSetNumber(b, to, SlotNumber(a, from));
        else if (from.data && from.data.get()->fnType == MFn::kStringData)
            to.data = CloneData(from.data);
        else
            to.data = from.data;   // mesh data is shared, not copied
        to.dirty = false;
        return st;
    }

    if (n->user)
    {
        n->slots[(size_t)idx].computing = true;
        MStatus st = KHostAccess::compute(n, idx);
        if (computed)
            *computed = true;
        if (n->alive)
            n->slots[(size_t)idx].computing = false;
        return st;   // clean only if the node called setClean
    }

    // time1.outTime is the scene time; an expression's output is its time
    // input (the one form it runs is "plug = frame").
    MStatus st = MS::kSuccess;
    if (n->type->builtin == BuiltinKind::kTime)
        SlotSetNumber(*n->type->attrs[(size_t)idx].as<AttrObj>(), n->slots[(size_t)idx], S().currentTime);
    if (n->type->builtin == BuiltinKind::kExpression && idx == 1)
    {
        st = Pull(n, 0, computed);
        SlotSetNumber(*n->type->attrs[1].as<AttrObj>(), n->slots[1],
                      SlotNumber(*n->type->attrs[0].as<AttrObj>(), n->slots[0]));
    }
    // Built-in mesh: outMesh passes inMesh on.
    if (n->type->builtin == BuiltinKind::kMesh && idx == AttrIndex(*n->type, "outMesh"))
    {
        int in = AttrIndex(*n->type, "inMesh");
        st = Pull(n, in, computed);
        n->slots[(size_t)idx].data = n->slots[(size_t)in].data;
    }
    n->slots[(size_t)idx].dirty = false;
    return st;
}

// ---------------------------------------------------------------------------
// Setting values.
namespace
{
// Common checks of a value change; the attribute or null with *err.
const AttrObj* Settable(NodeObj* n, int idx, std::string* err)
{
    if (!n || !n->alive || idx < 0 || (size_t)idx >= n->slots.size())
    {
        if (err)
            *err = "no such node or attribute";
        return nullptr;
    }
    const AttrObj* a = n->type->attrs[(size_t)idx].as<AttrObj>();
    if (!a->writable)
    {
        if (err)
            *err = "The attribute '" + PlugText(n, idx) + "' is not writable.";
        return nullptr;
    }
    if (const Connection* c = IncomingConnection(n, idx))
    {
        if (err)
            *err = "The attribute '" + PlugText(n, idx) + "' is locked or connected and cannot be modified (from '" +
                   PlugText(c->srcNode.as<NodeObj>(), c->srcAttr) + "').";
        return nullptr;
    }
    return a;
}

bool ParseBoolWord(const std::string& text, bool* out)
{
    std::string t;
    for (char c : text)
        t += (char)((c >= 'A' && c <= 'Z') ? c - 'A' + 'a' : c);
    if (t == "1" || t == "on" || t == "true" || t == "yes")
        return *out = true, true;
    if (t == "0" || t == "off" || t == "false" || t == "no")
        return *out = false, true;
    return false;
}
bool ParseInt(const std::string& text, long long* out)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    long long v = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || *end != 0)
        return false;
    *out = v;
    return true;
}
bool ParseReal(const std::string& text, double* out)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    double v = std::strtod(text.c_str(), &end);
    if (*end != 0 || end == text.c_str())
        return false;
    *out = v;
    return true;
}
} // namespace

MStatus SetFromNumber(NodeObj* n, int idx, double v, std::string* err)
{
    const AttrObj* a = Settable(n, idx, err);
    if (!a)
        return MS::kInvalidParameter;
    if (!IsSingleNumeric(*a))
    {
        if (err)
            *err = "The attribute '" + PlugText(n, idx) + "' does not hold a number.";
        return MS::kInvalidParameter;
    }
    SlotSetNumber(*a, n->slots[(size_t)idx], v);
    DirtyFrom(n, idx);
    return MS::kSuccess;
}

MStatus SetFromString(NodeObj* n, int idx, const std::string& text, std::string* err)
{
    const AttrObj* a = Settable(n, idx, err);
    if (!a)
        return MS::kInvalidParameter;
    if (KindOf(*a) != khost::AttrKind::kString)
    {
        if (err)
            *err = "The attribute '" + PlugText(n, idx) + "' does not hold a string.";
        return MS::kInvalidParameter;
    }
    StringDataObj* d = new StringDataObj;
    KHostAccess::str(d->value) = text;
    n->slots[(size_t)idx].data = Ref(d);
    DirtyFrom(n, idx);
    return MS::kSuccess;
}

MStatus SetFromText(NodeObj* n, int idx, const std::string& text, std::string* err)
{
    const AttrObj* a = Settable(n, idx, err);
    if (!a)
        return MS::kInvalidParameter;
    khost::AttrKind k = KindOf(*a);
    std::string bad = "Invalid value '" + text + "' for the " + std::string(khost::AttrKindName(k)) +
                      " attribute '" + PlugText(n, idx) + "'.";
    double v = 0;
    long long iv = 0;
    switch (k)
    {
    case khost::AttrKind::kString:
        return SetFromString(n, idx, text, err);
    case khost::AttrKind::kBool:
    {
        bool b = false;
        if (!ParseBoolWord(text, &b))
            break;
        return SetFromNumber(n, idx, b ? 1 : 0, err);
    }
    case khost::AttrKind::kByte:
    case khost::AttrKind::kChar:
    case khost::AttrKind::kShort:
    case khost::AttrKind::kInt:
    case khost::AttrKind::kInt64:
    {
        if (!ParseInt(text, &iv))
            break;
        long long lo = k == khost::AttrKind::kByte ? 0 : k == khost::AttrKind::kChar ? -128
                     : k == khost::AttrKind::kShort ? SHRT_MIN : k == khost::AttrKind::kInt ? INT_MIN : LLONG_MIN;
        long long hi = k == khost::AttrKind::kByte ? 255 : k == khost::AttrKind::kChar ? 127
                     : k == khost::AttrKind::kShort ? SHRT_MAX : k == khost::AttrKind::kInt ? INT_MAX : LLONG_MAX;
        if (iv < lo || iv > hi)
            break;
        if (k == khost::AttrKind::kInt64)
        {
            n->slots[(size_t)idx].value.i64 = (MInt64)iv;
            DirtyFrom(n, idx);
            return MS::kSuccess;
        }
        return SetFromNumber(n, idx, (double)iv, err);
    }
    case khost::AttrKind::kFloat:
    case khost::AttrKind::kDouble:
        if (!ParseReal(text, &v))
            break;
        return SetFromNumber(n, idx, v, err);
    case khost::AttrKind::kEnum:
        for (const auto& f : a->fields)
            if (f.first == text)
                return SetFromNumber(n, idx, f.second, err);
        if (!ParseInt(text, &iv) || iv < SHRT_MIN || iv > SHRT_MAX)
            break;
        return SetFromNumber(n, idx, (double)iv, err);
    default:
        bad = "The attribute '" + PlugText(n, idx) + "' cannot be set from text.";
        break;
    }
    if (err)
        *err = bad;
    return MS::kInvalidParameter;
}

// ---------------------------------------------------------------------------
// Messages.
void Show(khost::MessageKind kind, const std::string& text)
{
    Scene& s = S();
    s.messages.push_back(khost::Message{kind, text});
    if (s.echo)
    {
        std::FILE* f = kind == khost::MessageKind::kInfo ? stdout : stderr;
        std::fprintf(f, "%s\n", text.c_str());
        std::fflush(f);
    }
}

// ---------------------------------------------------------------------------
// Registration.
namespace
{
void DeleteType(NodeType* t)
{
    for (const Ref& r : t->attrs)
    {
        r.as<AttrObj>()->owner = nullptr;
        r.as<AttrObj>()->index = -1;
    }
    delete t;
}
} // namespace

MStatus RegisterNodeType(PluginObj* plugin, const MString& name, unsigned int id, MCreatorFunction creator,
                         MInitializeFunction init, MPxNode::Type pxType)
{
    Scene& s = S();
    if (name.length() == 0 || !creator || s.initializing)
        return MS::kInvalidParameter;
    if (FindType(name.asChar()) || FindTypeById(id))
        return MS::kFailure;
    NodeType* t = new NodeType;
    t->name = name.asChar();
    t->id = id;
    t->pxType = pxType;
    t->creator = creator;
    t->plugin = plugin;
    MStatus st = MS::kSuccess;
    if (init)
    {
        s.initializing = t;
        st = init();
        s.initializing = nullptr;
    }
    if (!st)
    {
        DeleteType(t);
        return MS::kFailure;
    }
    s.types.push_back(t);
    return MS::kSuccess;
}

MStatus DeregisterNodeType(PluginObj* plugin, unsigned int id)
{
    Scene& s = S();
    for (size_t i = 0; i < s.types.size(); ++i)
    {
        NodeType* t = s.types[i];
        if (t->builtin != BuiltinKind::kNone || t->id != id || t->plugin != plugin)
            continue;
        for (const Ref& r : s.nodes)
            if (r.as<NodeObj>()->type == t)
                return MS::kFailure;   // nodes of this type exist
        s.types.erase(s.types.begin() + (long)i);
        DeleteType(t);
        return MS::kSuccess;
    }
    return MS::kFailure;
}

MStatus RegisterCommand(PluginObj* plugin, const MString& name, MCreatorFunction creator)
{
    if (name.length() == 0 || !creator)
        return MS::kInvalidParameter;
    for (const CommandEntry& c : S().commands)
        if (c.name == name.asChar())
            return MS::kFailure;
    S().commands.push_back(CommandEntry{name.asChar(), plugin, creator});
    return MS::kSuccess;
}

MStatus DeregisterCommand(PluginObj* plugin, const MString& name)
{
    std::vector<CommandEntry>& cs = S().commands;
    for (size_t i = 0; i < cs.size(); ++i)
        if (cs[i].name == name.asChar() && cs[i].plugin == plugin && plugin)
        {
            cs.erase(cs.begin() + (long)i);
            return MS::kSuccess;
        }
    return MS::kFailure;
}

// ---------------------------------------------------------------------------
// The command interpreter.
namespace
{
typedef std::vector<std::string> Words;

// Splits a command line into statements of words. False on an unterminated
// quote.
bool Tokenize(const std::string& line, std::vector<Words>* out, std::string* err)
{
    out->clear();
    Words cur;
    std::string word;
    bool inWord = false;
    for (size_t i = 0; i < line.size(); ++i)
    {
        char c = line[i];
        if (c == '"')
        {
            inWord = true;
            bool closed = false;
            for (++i; i < line.size(); ++i)
            {
                char q = line[i];
                if (q == '"')
                {
                    closed = true;
                    break;
                }
                if (q == '\\' && i + 1 < line.size())
                {
                    char e = line[++i];
                    word += e == 'n' ? '\n' : e == 't' ? '\t' : e;
                }
                else
                    word += q;
            }
            if (!closed)
            {
                if (err)
                    *err = "Syntax error: unterminated string.";
                return false;
            }
        }
        else if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == ';')
        {
            if (inWord)
                cur.push_back(word);
            word.clear();
            inWord = false;
            if (c == ';' && !cur.empty())
            {
                out->push_back(cur);
                cur.clear();
            }
        }
        else
        {
            word += c;
            inWord = true;
        }
    }
    if (inWord)
        cur.push_back(word);
    if (!cur.empty())
        out->push_back(cur);
    return true;
}

struct PlugRef
{
    NodeObj* node = nullptr;
    int attr = -1;
};

bool ParsePlug(const std::string& text, PlugRef* p, std::string* err, const char* cmd)
{
    size_t dot = text.rfind('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 == text.size())
    {
        *err = std::string(cmd) + ": '" + text + "' is not a plug (node.attribute).";
        return false;
    }
    p->node = FindNode(text.substr(0, dot));
    if (!p->node)
    {
        *err = std::string(cmd) + ": No object matches name: " + text;
        return false;
    }
    p->attr = AttrIndex(*p->node->type, text.substr(dot + 1));
    if (p->attr < 0)
    {
        *err = std::string(cmd) + ": No object matches name: " + text;
        return false;
    }
    return true;
}

bool IsFlag(const std::string& w, const char* s, const char* l)
{
    return w.size() > 1 && w[0] == '-' && (w.substr(1) == s || (l && w.substr(1) == l));
}

void ResultString(CommandResultData* r, const std::string& s)
{
    r->words.assign(1, s);
}

MStatus CmdCreateNode(const Words& w, CommandResultData* r, std::string* err)
{
    std::string type, name, parentName;
    for (size_t i = 1; i < w.size(); ++i)
    {
        if (IsFlag(w[i], "n", "name") || IsFlag(w[i], "p", "parent"))
        {
            if (i + 1 >= w.size())
            {
                *err = "createNode: Flag '" + w[i] + "' must be passed a value.";
                return MS::kInvalidParameter;
            }
            (IsFlag(w[i], "n", "name") ? name : parentName) = w[i + 1];
            ++i;
        }
        else if (w[i].size() > 1 && w[i][0] == '-')
        {
            *err = "createNode: Invalid flag '" + w[i] + "'";
            return MS::kInvalidParameter;
        }
        else if (type.empty())
            type = w[i];
        else
        {
            *err = "createNode: Too many arguments.";
            return MS::kInvalidParameter;
        }
    }
    if (type.empty())
    {
        *err = "createNode: A node type is needed.";
        return MS::kInvalidParameter;
    }
    NodeType* t = FindType(type);
    if (!t)
    {
        *err = "createNode: Unknown object type: " + type;
        return MS::kInvalidParameter;
    }
    NodeObj* parent = nullptr;
    if (!parentName.empty())
    {
        parent = FindNode(parentName);
        if (!parent)
        {
            *err = "createNode: No object matches name: " + parentName;
            return MS::kInvalidParameter;
        }
        if (!IsDag(*t) || parent->type->builtin != BuiltinKind::kTransform)
        {
            *err = "createNode: '" + parentName + "' cannot be the parent of a " + type + " node.";
            return MS::kInvalidParameter;
        }
    }
    MStatus st;
    if (t->builtin == BuiltinKind::kMesh && !parent)
    {
        // A shape needs a transform above it.
        parent = CreateNode(FindType("transform"), "transform1", nullptr, &st);
        if (!parent)
        {
            *err = "createNode: the transform of the shape could not be created.";
            return st;
        }
    }
    NodeObj* n = CreateNode(t, name, parent, &st);
    if (!n)
    {
        *err = "createNode: the node could not be created.";
        return st;
    }
    S().selection.assign(1, Ref(n));
    ResultString(r, n->name);
    return MS::kSuccess;
}

// sets -add SET OBJECT... and sets -e -fe SET OBJECT...: adds the objects to a
// shading group; -fe first takes them out of every other one (an object
// belongs to one shading group at a time).
MStatus CmdSets(const Words& w, CommandResultData*, std::string* err)
{
    size_t i = 1;
    if (i < w.size() && IsFlag(w[i], "e", "edit"))
        ++i;
    const bool force = i < w.size() && IsFlag(w[i], "fe", "forceElement");
    if (i + 1 >= w.size() || !(force || IsFlag(w[i], "add", "addElement")))
    {
        *err = "sets: only -add SET and -e -fe SET are known here.";
        return MS::kInvalidParameter;
    }
    NodeObj* set = FindNode(w[i + 1]);
    if (!set || !IsSet(*set->type))
    {
        *err = "sets: No set matches name: " + w[i + 1];
        return MS::kInvalidParameter;
    }
    std::vector<NodeObj*> nodes;
    for (i += 2; i < w.size(); ++i)
    {
        NodeObj* n = FindNode(w[i]);
        if (!n)
        {
            *err = "sets: No object matches name: " + w[i];
            return MS::kInvalidParameter;
        }
        nodes.push_back(n);
    }
    for (NodeObj* n : nodes)
    {
        if (force)
            for (const Ref& other : S().nodes)
            {
                std::vector<NodeObj*>& m = other.as<NodeObj>()->members;
                if (other.get() != set && IsSet(*other.as<NodeObj>()->type))
                    m.erase(std::remove(m.begin(), m.end(), n), m.end());
            }
        std::vector<NodeObj*>& m = set->members;
        if (std::find(m.begin(), m.end(), n) == m.end())
            m.push_back(n);
    }
    return MS::kSuccess;
}

MStatus CmdConnect(const Words& w, CommandResultData*, std::string* err, bool connect)
{
    const char* cmd = connect ? "connectAttr" : "disconnectAttr";
    bool force = false;
    Words plugs;
    for (size_t i = 1; i < w.size(); ++i)
    {
        if (connect && IsFlag(w[i], "f", "force"))
            force = true;
        else if (w[i].size() > 1 && w[i][0] == '-')
        {
            *err = std::string(cmd) + ": Invalid flag '" + w[i] + "'";
            return MS::kInvalidParameter;
        }
        else
            plugs.push_back(w[i]);
    }
    if (plugs.size() != 2)
    {
        *err = std::string(cmd) + ": Two plugs are needed (source and destination).";
        return MS::kInvalidParameter;
    }
    PlugRef a, b;
    if (!ParsePlug(plugs[0], &a, err, cmd) || !ParsePlug(plugs[1], &b, err, cmd))
        return MS::kInvalidParameter;
    if (!connect)
    {
        MStatus st = Disconnect(a.node, a.attr, b.node, b.attr);
        if (!st)
            *err = "disconnectAttr: '" + plugs[0] + "' is not connected to '" + plugs[1] + "'.";
        return st;
    }
    std::string why;
    MStatus st = Connect(a.node, a.attr, b.node, b.attr, force, &why);
    if (!st)
        *err = "connectAttr: " + why;
    return st;
}

// select OBJECT...: the objects become the selection.
MStatus CmdSelect(const Words& w, CommandResultData*, std::string* err)
{
    std::vector<Ref> nodes;
    for (size_t i = 1; i < w.size(); ++i)
    {
        NodeObj* n = FindNode(w[i]);
        if (!n)
        {
            *err = "select: No object matches name: " + w[i];
            return MS::kInvalidParameter;
        }
        if (std::find_if(nodes.begin(), nodes.end(), [n](const Ref& r) { return r.get() == n; }) == nodes.end())
            nodes.push_back(Ref(n));
    }
    S().selection = nodes;
    return MS::kSuccess;
}

MStatus CmdDelete(const Words& w, CommandResultData*, std::string* err)
{
    // Counted: a name given twice, or a child listed after its parent, is
    // already gone when its turn comes (DeleteNode skips dead nodes).
    std::vector<Ref> nodes;
    for (size_t i = 1; i < w.size(); ++i)
    {
        NodeObj* n = FindNode(w[i]);
        if (!n)
        {
            *err = "delete: No object matches name: " + w[i];
            return MS::kInvalidParameter;
        }
        nodes.push_back(Ref(n));
    }
    if (nodes.empty())
    {
        *err = "delete: Not enough objects or values.";
        return MS::kInvalidParameter;
    }
    for (const Ref& n : nodes)
        DeleteNode(n.as<NodeObj>());
    return MS::kSuccess;
}

MStatus CmdSetAttr(const Words& w, CommandResultData*, std::string* err)
{
    std::string plugText, value, type;
    bool haveValue = false;
    for (size_t i = 1; i < w.size(); ++i)
    {
        if (IsFlag(w[i], "type", nullptr) && i + 1 < w.size())
            type = w[++i];
        else if (plugText.empty())
            plugText = w[i];
        else if (!haveValue)
            value = w[i], haveValue = true;
        else
        {
            *err = "setAttr: Too many values.";
            return MS::kInvalidParameter;
        }
    }
    PlugRef p;
    if (plugText.empty() || !ParsePlug(plugText, &p, err, "setAttr"))
    {
        if (err->empty())
            *err = "setAttr: A plug is needed.";
        return MS::kInvalidParameter;
    }
    if (!haveValue)
    {
        *err = "setAttr: No value given for '" + plugText + "'.";
        return MS::kInvalidParameter;
    }
    std::string why;
    MStatus st = SetFromText(p.node, p.attr, value, &why);
    if (!st)
        *err = "setAttr: " + why;
    return st;
}

// attributeQuery -node NODE -exists ATTR: 1 when the node has the attribute
// (long or short name), else 0. Other queries are not modelled.
MStatus CmdAttributeQuery(const Words& w, CommandResultData* r, std::string* err)
{
    std::string node, attr;
    bool exists = false;
    for (size_t i = 1; i < w.size(); ++i)
    {
        if (IsFlag(w[i], "n", "node") && i + 1 < w.size())
            node = w[++i];
        else if (IsFlag(w[i], "ex", "exists"))
            exists = true;
        else if (w[i].size() > 1 && w[i][0] == '-')
        {
            *err = "attributeQuery: Invalid flag '" + w[i] + "'";
            return MS::kInvalidParameter;
        }
        else if (attr.empty())
            attr = w[i];
        else
        {
            *err = "attributeQuery: one attribute is needed.";
            return MS::kInvalidParameter;
        }
    }
    if (!exists || attr.empty() || node.empty())
    {
        *err = "attributeQuery: -node NODE -exists ATTR is what is understood.";
        return MS::kInvalidParameter;
    }
    NodeObj* n = FindNode(node);
    if (!n)
    {
        *err = "attributeQuery: No object matches name: " + node;
        return MS::kInvalidParameter;
    }
    r->words.assign(1, AttrIndex(*n->type, attr) >= 0 ? "1" : "0");
    return MS::kSuccess;
}

// currentTime TIME | currentTime -q: sets or returns the scene time (frames).
MStatus CmdCurrentTime(const Words& w, CommandResultData* r, std::string* err)
{
    bool query = false;
    std::string value;
    for (size_t i = 1; i < w.size(); ++i)
    {
        if (IsFlag(w[i], "q", "query"))
            query = true;
        else if (value.empty())
            value = w[i];
        else
        {
            *err = "currentTime: Too many arguments.";
            return MS::kInvalidParameter;
        }
    }
    if (query)
    {
        r->words.assign(1, FormatNumber(S().currentTime));
        return MS::kSuccess;
    }
    char* end = nullptr;
    const double t = value.empty() ? 0.0 : std::strtod(value.c_str(), &end);
    if (value.empty() || !end || *end != '\0' || !std::isfinite(t))
    {
        *err = "currentTime: A time value is needed, got '" + value + "'.";
        return MS::kInvalidParameter;
    }
    SetSceneTime(t);
    r->words.assign(1, FormatNumber(t));
    return MS::kSuccess;
}

std::string Trim(const std::string& t)
{
    size_t a = 0, b = t.size();
    while (a < b && (t[a] == ' ' || t[a] == '\t' || t[a] == '\n' || t[a] == '\r'))
        ++a;
    while (b > a && (t[b - 1] == ' ' || t[b - 1] == '\t' || t[b - 1] == '\n' || t[b - 1] == '\r' || t[b - 1] == ';'))
        --b;
    return t.substr(a, b - a);
}

// expression -s "node.attr = frame;" [-n name]: the one form of expression
// the stand-in runs. It makes an expression
// node fed by time1.outTime whose output drives the plug.
MStatus CmdExpression(const Words& w, CommandResultData* r, std::string* err)
{
    std::string text, name;
    bool haveText = false;
    for (size_t i = 1; i < w.size(); i += 2) // flag and value
    {
        if (!IsFlag(w[i], "s", "string") && !IsFlag(w[i], "n", "name"))
        {
            *err = "expression: Invalid flag '" + w[i] + "'";
            return MS::kInvalidParameter;
        }
        if (i + 1 >= w.size())
        {
            *err = "expression: Flag '" + w[i] + "' must be passed a value.";
            return MS::kInvalidParameter;
        }
        if (IsFlag(w[i], "s", "string"))
            text = w[i + 1], haveText = true;
        else
            name = w[i + 1];
    }
    const std::string body = Trim(text);
    const size_t eq = body.find('=');
    if (!haveText || eq == std::string::npos || Trim(body.substr(eq + 1)) != "frame" ||
        body.find('=', eq + 1) != std::string::npos)
    {
        *err = "expression: the headless host runs only expressions of the form \"node.attr = frame;\", got \"" +
               text + "\".";
        return MS::kInvalidParameter;
    }
    PlugRef p;
    if (!ParsePlug(Trim(body.substr(0, eq)), &p, err, "expression"))
        return MS::kInvalidParameter;
    const AttrObj& target = *p.node->type->attrs[(size_t)p.attr].as<AttrObj>();
    if (!IsSingleNumeric(target) || !target.writable)
    {
        *err = "expression: '" + Trim(body.substr(0, eq)) + "' cannot be set by an expression.";
        return MS::kInvalidParameter;
    }
    if (IncomingConnection(p.node, p.attr))
    {
        *err = "expression: '" + Trim(body.substr(0, eq)) + "' already has an incoming connection.";
        return MS::kFailure;
    }
    EnsureTimeNode();
    MStatus st;
    NodeObj* e = CreateNode(FindType("expression"), name.empty() ? "expression1" : name, nullptr, &st);
    if (!e)
    {
        *err = "expression: the expression node could not be created.";
        return st;
    }
    std::string why;
    st = Connect(FindNode("time1"), 0, e, 0, false, &why);
    if (st)
        st = Connect(e, 1, p.node, p.attr, false, &why);
    if (!st)
    {
        DeleteNode(e);
        *err = "expression: " + why;
        return st;
    }
    ResultString(r, e->name);
    return MS::kSuccess;
}

MStatus RunPluginCommand(const CommandEntry& c, const Words& w, CommandResultData* r, std::string* err)
{
    void* made = c.creator();
    if (!made)
    {
        *err = "The command '" + c.name + "' could not be created.";
        return MS::kFailure;
    }
    MPxCommand* cmd = static_cast<MPxCommand*>(made);
    MArgList args;
    std::vector<std::string>& words = KHostAccess::args(args);
    words.assign(w.begin() + 1, w.end());
    MStatus st = cmd->doIt(args);
    *r = CommandResultData();   // plug-in commands give no result here
    delete cmd;                 // commands are not kept for undo
    return st;
}

MStatus RunWords(const Words& w, CommandResultData* r, std::string* err)
{
    *r = CommandResultData();
    const std::string& name = w[0];
    CommandEntry entry;
    bool found = false;
    for (const CommandEntry& c : S().commands)
        if (c.name == name)
        {
            entry = c;
            found = true;
            break;
        }
    if (!found)
    {
        *err = "Cannot find procedure \"" + name + "\".";
        Show(khost::MessageKind::kError, *err);
        return MS::kFailure;
    }
    if (entry.plugin)
        return RunPluginCommand(entry, w, r, err);

    MStatus st;
    if (name == "createNode")
        st = CmdCreateNode(w, r, err);
    else if (name == "sets")
        st = CmdSets(w, r, err);
    else if (name == "connectAttr")
        st = CmdConnect(w, r, err, true);
    else if (name == "disconnectAttr")
        st = CmdConnect(w, r, err, false);
    else if (name == "select")
        st = CmdSelect(w, r, err);
    else if (name == "delete")
        st = CmdDelete(w, r, err);
    else if (name == "setAttr")
        st = CmdSetAttr(w, r, err);
    else if (name == "currentTime")
        st = CmdCurrentTime(w, r, err);
    else if (name == "expression")
        st = CmdExpression(w, r, err);
    else
        st = CmdAttributeQuery(w, r, err);
    if (!st && !err->empty())
        Show(khost::MessageKind::kError, *err);
    return st;
}
} // namespace

MStatus RunCommandLine(const std::string& line, CommandResultData* result, std::string* err)
{
    std::string localErr;
    std::string& e = err ? *err : localErr;
    e.clear();
    *result = CommandResultData();
    std::vector<Words> statements;
    if (!Tokenize(line, &statements, &e))
    {
        Show(khost::MessageKind::kError, e);
        return MS::kInvalidParameter;
    }
    for (const Words& w : statements)
    {
        MStatus st = RunWords(w, result, &e);
        if (!st)
            return st;
    }
    return MS::kSuccess;
}

} // namespace khost_impl
