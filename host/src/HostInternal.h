// Internal model of the stand-in host: reference-counted host objects behind
// MObject handles, node types, nodes with one value slot per attribute, the
// scene (nodes, connections, selection), the plug-in and command registries
// and the message log. Private to the host library.
#pragma once

#include <maya/MColor.h>
#include <maya/MFloatPoint.h>
#include <maya/MFnData.h>
#include <maya/MFnNumericData.h>
#include <maya/MObject.h>
#include <maya/MPxNode.h>
#include <maya/MStatus.h>
#include <maya/MString.h>
#include <maya/MTypes.h>
#include <maya/MVector.h>

#include <korvane/HeadlessHost.h>

#include <atomic>
#include <cstddef>
#include <string>
#include <type_traits>
#include <vector>

class MPxCommand;
class MDataBlock;
class MDataHandle;
class MPlug;

namespace khost_impl
{

// ---------------------------------------------------------------------------
// Host objects. Every MObject, MPlug and function set holds a counted
// reference; the object is deleted with its last reference.
struct Obj
{
    explicit Obj(MFn::Type t) : fnType(t) {}
    virtual ~Obj() = default;
    Obj(const Obj&) = delete;
    Obj& operator=(const Obj&) = delete;

    std::atomic<int> refs{0};
    MFn::Type fnType;
};

void Retain(Obj* o);
// True when o (may be null) has the function set `want` (MObject::hasFn).
bool HasFn(const Obj* o, MFn::Type want);
void Release(Obj* o);

// Counted pointer for the host's own bookkeeping.
class Ref
{
public:
    Ref() = default;
    explicit Ref(Obj* o) : _p(o) { Retain(_p); }
    Ref(const Ref& r) : _p(r._p) { Retain(_p); }
    Ref& operator=(const Ref& r)
    {
        Obj* old = _p;
        _p = r._p;
        Retain(_p);
        Release(old);
        return *this;
    }
    ~Ref() { Release(_p); }
    Obj* get() const { return _p; }
    template <class T> T* as() const { return static_cast<T*>(_p); }
    explicit operator bool() const { return _p != nullptr; }

private:
    Obj* _p = nullptr;
};

// ---------------------------------------------------------------------------
// Attributes.
enum class AKind
{
    kNumeric,
    kEnum,
    kTyped,
};

struct NodeType;

struct AttrObj : Obj
{
    explicit AttrObj(MFn::Type t) : Obj(t) {}

    std::string longName, shortName, niceName;
    AKind kind = AKind::kNumeric;
    MFnNumericData::Type numType = MFnNumericData::kInvalid;
    MFnData::Type dataType = MFnData::kInvalid;

    double defaultNumber = 0.0;
    Ref defaultData;                  // typed: default data object (may be empty)

    bool hasSoftMin = false, hasSoftMax = false;
    double softMin = 0, softMax = 0;

    bool writable = true, storable = true, array = false, keyable = false, usesArrayDataBuilder = false;

    std::vector<std::pair<std::string, short>> fields;  // enum fields in order of addition

    NodeType* owner = nullptr;        // type it was added to
    int index = -1;                   // index in owner's attribute list
    bool extension = false;           // added to a built-in type by the headless API
};

// Kind as the headless API reports it.
khost::AttrKind KindOf(const AttrObj& a);
// True for kinds that hold one numeric value (numeric singles and enum).
bool IsSingleNumeric(const AttrObj& a);

// ---------------------------------------------------------------------------
// Data objects.
struct StringDataObj : Obj
{
    StringDataObj() : Obj(MFn::kStringData) {}
    MString value;
};

struct MeshGeom
{
    bool created = false;   // MFnMesh::create succeeded at least once
    int numVertices = 0;
    int numPolygons = 0;
    std::vector<float> points;             // 3 per vertex
    std::vector<int> counts, connects;

    bool hasNormals = false;
    std::vector<float> normals;            // 3 per vertex
    std::vector<unsigned char> normalSet;  // per vertex

    struct ColorSet
    {
        std::string name;
        std::vector<float> rgba;           // 4 per vertex, -1 when unset
        std::vector<float> pool;           // setColors
        std::vector<int> assigned;         // assignColors: pool index per face-vertex (-1 none)
        bool hasVertexColors = false;
    };
    std::vector<ColorSet> colorSets;
    int currentColorSet = -1;

    // Per face-vertex normals (setFaceVertexNormals), 3 per entry of
    // connects; fvNormalSet tells which were given.
    bool hasFaceVertexNormals = false;
    std::vector<float> fvNormals;
    std::vector<unsigned char> fvNormalSet;

    struct UVSet
    {
        std::string name;
        std::vector<float> u, v;
        std::vector<int> counts, ids;      // assignment, empty when none
    };
    std::vector<UVSet> uvSets;             // "map1" always first
    int currentUVSet = 0;

    MeshGeom() { uvSets.push_back(UVSet{"map1", {}, {}, {}, {}}); }
};

struct MeshDataObj : Obj
{
    MeshDataObj() : Obj(MFn::kMeshData) {}
    MeshGeom mesh;
};

// Copies a data object (strings and meshes; others are shared).
Ref CloneData(const Ref& data);

// ---------------------------------------------------------------------------
// Node types and nodes.
struct PluginObj;

enum class BuiltinKind
{
    kNone,       // plug-in type
    kTransform,
    kMesh,
    kShadingEngine,
    kTime,        // time1: outTime follows the scene's current time
    kExpression,  // expression node of the one form "plug = frame"
};

struct NodeType
{
    std::string name;
    unsigned int id = 0;
    BuiltinKind builtin = BuiltinKind::kNone;
    MPxNode::Type pxType = MPxNode::kDependNode;
    MCreatorFunction creator = nullptr;
    PluginObj* plugin = nullptr;
    std::vector<Ref> attrs;                   // AttrObj, in order of addition
    std::vector<std::vector<int>> affects;    // per attribute: indices it affects
    std::vector<unsigned char> isAffected;    // per attribute: something affects it
};

// One value of one attribute of one node.
union NumValue
{
    bool b;
    char c;
    unsigned char uc;
    short s;
    int i;
    MInt64 i64;
    float f;
    double d;
    void* addr;
};

struct Slot
{
    NumValue value;             // numeric and enum: the value in the attribute's own type
    NumValue scratch;           // read with another type: converted copy
    MString stringScratch;
    Ref data;                   // typed: the data object
    bool dirty = false;
    bool computing = false;
};

struct NodeObj : Obj
{
    explicit NodeObj(MFn::Type t) : Obj(t) {}
    ~NodeObj() override;

    std::string name;
    NodeType* type = nullptr;
    MPxNode* user = nullptr;    // plug-in node instance, owned
    std::vector<Slot> slots;    // one per type attribute
    NodeObj* parent = nullptr;  // DAG parent
    std::vector<NodeObj*> members;  // sets
    bool alive = true;
};

double SlotNumber(const AttrObj& a, const Slot& s);
void SlotSetNumber(const AttrObj& a, Slot& s, double v);

// ---------------------------------------------------------------------------
// Plug-ins and commands.
typedef MStatus (*EntryFunction)(MObject);

struct PluginObj : Obj
{
    PluginObj() : Obj(MFn::kPlugin) {}
    std::string name, path;
    void* handle = nullptr;
    EntryFunction init = nullptr;
    EntryFunction uninit = nullptr;
};

struct CommandEntry
{
    std::string name;
    PluginObj* plugin = nullptr;            // null: built-in
    MCreatorFunction creator = nullptr;      // plug-in command
};

struct Connection
{
    Ref srcNode;
    int srcAttr;
    Ref dstNode;
    int dstAttr;
};

// Result of a built-in command: its words (a new node's name, a number).
struct CommandResultData
{
    std::vector<std::string> words;
};

// ---------------------------------------------------------------------------
// The scene: one per process.
struct Scene
{
    std::vector<NodeType*> types;
    std::vector<CommandEntry> commands;
    std::vector<Ref> plugins;            // PluginObj, load order
    std::vector<Ref> nodes;              // NodeObj, creation order
    std::vector<Connection> connections;
    std::vector<Ref> selection;
    std::vector<khost::Message> messages;
    bool echo = false;
    int numThreads = 0;
    double currentTime = 1.0;            // scene time, in frames of the scene's (one) time unit
    int timeUnit = 6;                    // MTime::Unit of the scene (kFilm)
    NodeType* initializing = nullptr;    // type whose initialize runs
};

Scene& S();

NodeType* FindType(const std::string& name);
NodeType* FindTypeById(unsigned int id);
NodeObj* FindNode(const std::string& name);
std::string UniqueName(const std::string& requested);
int AttrIndex(const NodeType& t, const std::string& name);   // long or short, -1 if none

// Creates a node; parent may be null. Returns null with status set on failure.
NodeObj* CreateNode(NodeType* type, const std::string& name, NodeObj* parent, MStatus* st);
void DeleteNode(NodeObj* node);
MStatus Connect(NodeObj* src, int srcAttr, NodeObj* dst, int dstAttr, bool force, std::string* err);
MStatus Disconnect(NodeObj* src, int srcAttr, NodeObj* dst, int dstAttr);
const Connection* IncomingConnection(const NodeObj* node, int attr);

// Marks what a change of node.attr makes dirty (affected attributes and
// everything downstream through connections).
void DirtyFrom(NodeObj* node, int attr);
void MarkDirty(NodeObj* node, int attr);

// Brings node.attr up to date (pulls through connections, computes dirty
// outputs). Returns the status of the last compute that ran (kSuccess if
// none); *computed tells whether one ran.
MStatus Pull(NodeObj* node, int attr, bool* computed);

// Sets a value as setAttr does (refuses destinations of connections).
MStatus SetFromText(NodeObj* node, int attr, const std::string& text, std::string* err);
MStatus SetFromNumber(NodeObj* node, int attr, double v, std::string* err);
MStatus SetFromString(NodeObj* node, int attr, const std::string& text, std::string* err);

// Messages.
void Show(khost::MessageKind kind, const std::string& text);

// Commands.
MStatus RunCommandLine(const std::string& line, CommandResultData* result, std::string* err);

// Plug-in registration helpers used by MFnPlugin.
MStatus RegisterNodeType(PluginObj* plugin, const MString& name, unsigned int id, MCreatorFunction creator,
                         MInitializeFunction init, MPxNode::Type pxType);
MStatus DeregisterNodeType(PluginObj* plugin, unsigned int id);
MStatus RegisterCommand(PluginObj* plugin, const MString& name, MCreatorFunction creator);
MStatus DeregisterCommand(PluginObj* plugin, const MString& name);

std::string FormatNumber(double v);

// Copies a mesh into the headless snapshot.
void Snapshot(const MeshGeom& g, khost::MeshSnapshot* out);

// Sets the scene time: time1.outTime and what it drives become dirty.
void SetSceneTime(double frame);
// Creates time1 when the scene has none.
void EnsureTimeNode();

// Name of a new node when none is requested.
std::string DefaultNodeName(const NodeType& t);

} // namespace khost_impl

// Constructors and type of a function set.
#define KHOST_FNSET(X, FN)                                                                                \
    X::X() {}                                                                                             \
    X::X(MObject& o, MStatus* st)                                                                         \
    {                                                                                                     \
        MStatus s = setObject(o);                                                                         \
        if (st)                                                                                           \
            *st = s;                                                                                      \
    }                                                                                                     \
    X::X(const MObject& o, MStatus* st)                                                                   \
    {                                                                                                     \
        MStatus s = setObject(o);                                                                         \
        if (st)                                                                                           \
            *st = s;                                                                                      \
    }                                                                                                     \
    X::~X() {}                                                                                            \
    MFn::Type X::type() const { return FN; }

// Access to the private parts of the host classes.
struct KHostAccess
{
    static khost_impl::Obj* get(const MObject& o);
    static khost_impl::Obj* fnObj(const class MFnBase& f);
    static void fnAttach(class MFnBase& f, khost_impl::Obj* o);   // no type check
    static void set(MObject& o, khost_impl::Obj* p);   // retains p
    static MObject make(khost_impl::Obj* p);
    static std::string& str(MString& s);
    static const std::string& str(const MString& s);
    static MPlug makePlug(khost_impl::NodeObj* node, khost_impl::AttrObj* attr);
    static khost_impl::NodeObj* plugNode(const MPlug& p);
    static khost_impl::AttrObj* plugAttr(const MPlug& p);
    static MDataHandle makeHandle(khost_impl::NodeObj* node, int attr);
    static khost_impl::NodeObj*& pxInstance(MPxNode& n);
    static MStatus compute(khost_impl::NodeObj* node, int attr);
    static std::vector<std::string>& args(const class MArgList& a);
    // The elements of a host array as one read-only block (null when empty).
    template <class Array>
    static auto elements(const Array& a) -> const typename std::remove_pointer<decltype(a.fData)>::type*
    {
        return a.fData;
    }
};
