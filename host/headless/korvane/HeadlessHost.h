// HeadlessHost: drives the stand-in host (the in-memory scene behind the
// <maya/...> headers of host/include) without a user interface.
//
// It lives in the same shared library as the stand-in OpenMaya classes, so a
// plug-in loaded through LoadPlugin and the code calling this API share one
// scene. The API never exposes Maya types: statuses are the plain numbers of
// MStatus::MStatusCode, names and values are std::string / numbers.
//
// Typical session (what `korvane eval` does):
//
//     khost::PluginLoadResult lr = khost::LoadPlugin("/path/libKorvane.so");
//     khost::CommandResult cr = khost::Execute("KorvaneCreate");
//     khost::SetAttr("KorvaneNode1", "m_flIdxValue", "3.25");
//     khost::EvalResult er = khost::Evaluate("KorvaneShape1", "inMesh");
//     // er.status: compute's MStatus code; er.mesh: what the host holds
//     std::vector<khost::Message> lines = khost::TakeMessages();
//
// Threads: the scene is one per process and not thread-safe; drive it from
// one thread (the plug-in's compute runs on the calling thread).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#if defined(_WIN32)
#  if defined(KORVANE_HOST_BUILD)
#    define KHOST_API __declspec(dllexport)
#  else
#    define KHOST_API __declspec(dllimport)
#  endif
#else
#  define KHOST_API __attribute__((visibility("default")))
#endif

namespace khost
{

// ---------------------------------------------------------------------------
// Status codes: the numbers of MStatus::MStatusCode.
enum StatusCode : int
{
    kSuccess = 0,
    kFailure = 1,
    kInsufficientMemory = 2,
    kInvalidParameter = 3,
    kLicenseFailure = 4,
    kUnknownParameter = 5,
    kNotImplemented = 6,
    kNotFound = 7,
    kEndOfFile = 8,
};

// "kSuccess", "kFailure", ... for the nine codes; "kUnknownStatus" otherwise.
KHOST_API const char* StatusName(int code);

// ---------------------------------------------------------------------------
// Plug-ins.

struct PluginLoadResult
{
    bool loaded = false;        // the library is open and initializePlugin ran
    int status = kFailure;      // what initializePlugin returned (kFailure when it did not run)
    std::string name;           // plug-in name: file name without directory and extension
    std::string apiVersion;     // text of the exported MApiVersion symbol ("" if absent)
    std::string error;          // why it was not loaded ("" when loaded)
};

// Opens the shared library at `path` (dlopen), checks for the exported
// entry points `initializePlugin(MObject)` / `uninitializePlugin(MObject)`
// (C++ linkage) and calls initializePlugin with the plug-in object, as the
// host application does. Registrations made by it are tagged with the
// plug-in. A failing status from initializePlugin leaves the plug-in loaded
// (loaded == true, status != kSuccess), as the host does; a library without
// the entry points, or one already loaded under the same name, is refused
// (loaded == false, error says why).
KHOST_API PluginLoadResult LoadPlugin(const std::string& path);

struct PluginUnloadResult
{
    bool unloaded = false;                     // the plug-in is gone and its library closed
    int status = kFailure;                     // what uninitializePlugin returned
    std::vector<std::string> leftoverNodeTypes; // node types it did not deregister (removed by the host)
    std::vector<std::string> leftoverCommands;  // commands it did not deregister (removed by the host)
    std::string error;
};

// Unloads a plug-in given by its name or by the path it was loaded from.
// Refused (unloaded == false) while nodes of its node types exist, unless
// `force` is true: those nodes are then deleted first. Calls
// uninitializePlugin; registrations that it leaves behind are removed and
// listed; then the library is closed.
KHOST_API PluginUnloadResult UnloadPlugin(const std::string& nameOrPath, bool force = false);

// Names of the loaded plug-ins, in load order.
KHOST_API std::vector<std::string> ListPlugins();

// ---------------------------------------------------------------------------
// Node types, commands, nodes.

struct NodeTypeInfo
{
    std::string name;       // "transform", "mesh", "Korvane", ...
    unsigned int typeId = 0; // MTypeId::id() for plug-in types, 0 for built-in ones
    std::string plugin;     // owning plug-in, "" for built-in types
};

// Built-in types first, then plug-in types in registration order.
KHOST_API std::vector<NodeTypeInfo> ListNodeTypes();

struct CommandInfo
{
    std::string name;
    std::string plugin;     // owning plug-in, "" for built-in commands
};

// Built-in commands first, then plug-in commands in registration order.
KHOST_API std::vector<CommandInfo> ListCommands();

struct NodeInfo
{
    std::string name;       // unique node name
    std::string type;       // node type name
    std::string parent;     // DAG parent ("" for none)
};

// All nodes in creation order (the default set "initialShadingGroup" first,
// then the scene's time node "time1").
KHOST_API std::vector<NodeInfo> ListNodes();

// True when a node of that name exists; `type` (optional) gets its type name.
KHOST_API bool NodeExists(const std::string& name, std::string* type = nullptr);

// Members of a set node (e.g. "initialShadingGroup"), in order of addition.
KHOST_API std::vector<std::string> SetMembers(const std::string& setName);

// The active selection, in order.
KHOST_API std::vector<std::string> Selection();

struct Connection
{
    std::string source;      // "node.attr" (long attribute name)
    std::string destination; // "node.attr"
};

// All connections, in the order they were made.
KHOST_API std::vector<Connection> ListConnections();

// Deletes every node (plug-in nodes are destroyed) and clears the selection;
// the default set "initialShadingGroup" and "time1" are recreated (the scene
// time stays). Registrations, loaded
// plug-ins and captured messages stay.
KHOST_API void NewScene();

// ---------------------------------------------------------------------------
// Commands.

struct CommandResult
{
    int status = kFailure;
    // The command's result as words: createNode gives the new node's name,
    // attributeQuery and currentTime -q a number as text. Empty when the
    // command has none (plug-in commands have none).
    std::vector<std::string> result;
    std::string error;           // parse or lookup error, also shown as an error message
};

// Runs one command line as MGlobal::executeCommand does: built-in commands
// createNode, sets, connectAttr, disconnectAttr, select, delete, setAttr,
// currentTime, expression, attributeQuery, and every registered plug-in
// command (its words, unquoted, become the MArgList). Several commands may be separated by ';' (the
// result is the last one's; the first failure stops). Words are separated by
// blanks; "double quoted" words may contain blanks and \" \\ \n \t escapes.
KHOST_API CommandResult Execute(const std::string& commandLine);

// ---------------------------------------------------------------------------
// Attributes.

enum class AttrKind : int
{
    kBool, kByte, kChar, kShort, kInt, kInt64, kFloat, kDouble, // numeric, one value
    kNumericOther,   // compound numeric (k2Float, k3Double, kAddr, ...)
    kEnum,           // MFnEnumAttribute, 16-bit value
    kString,         // MFnTypedAttribute, MFnData::kString
    kMesh,           // MFnTypedAttribute, MFnData::kMesh
    kTypedOther,     // any other typed data
};

// "bool", "byte", "char", "short", "int", "int64", "float", "double",
// "numeric", "enum", "string", "mesh", "typed".
KHOST_API const char* AttrKindName(AttrKind kind);

struct EnumField
{
    std::string label;
    int value = 0;
};

struct AttributeInfo
{
    std::string longName;
    std::string shortName;
    std::string niceName;        // set with setNiceNameOverride; "" when none was set
    AttrKind kind = AttrKind::kTypedOther;

    double defaultNumber = 0;    // numeric and enum kinds
    std::string defaultString;   // kString: the default text ("" when none)

    bool hasSoftMin = false, hasSoftMax = false;
    double softMin = 0, softMax = 0;

    bool writable = true, storable = true, keyable = false, array = false, usesArrayDataBuilder = false;

    std::vector<EnumField> fields;      // kEnum: fields in order of addition
    std::vector<std::string> affects;   // long names of the attributes this one affects
};

// Attributes of a node type, in the order they were added.
// False when there is no such type.
KHOST_API bool TypeAttributes(const std::string& typeName, std::vector<AttributeInfo>* out);

// One attribute of a node (long or short name). False when the node or the
// attribute does not exist.
KHOST_API bool GetAttributeInfo(const std::string& node, const std::string& attr, AttributeInfo* out);

// Sets an attribute from text, by the attribute's kind:
//   bool:  on/off, true/false, yes/no, 1/0 (case-insensitive)
//   integer kinds: a decimal integer in the kind's range
//   float/double: a decimal number (inf/nan accepted)
//   enum:  a field label (exact) or any integer -32768..32767 (a value
//          without a field is accepted, as the host does)
//   string: the text as given
// Then marks dirty what the attribute affects and everything downstream of
// those through connections. Fails (kInvalidParameter with `error`) for an
// unknown node/attribute, text that does not fit the kind, a mesh or other
// compound kind, a non-writable attribute, or a destination of a connection.
KHOST_API int SetAttr(const std::string& node, const std::string& attr, const std::string& value,
                      std::string* error = nullptr);

// Numeric and string twins of SetAttr, same rules (SetAttrNumber: numeric
// and enum kinds, truncated toward zero for integer kinds; SetAttrString:
// string kind only).
KHOST_API int SetAttrNumber(const std::string& node, const std::string& attr, double value,
                            std::string* error = nullptr);
KHOST_API int SetAttrString(const std::string& node, const std::string& attr, const std::string& value,
                            std::string* error = nullptr);

// Current stored value as text, without computing: numbers as for printf
// "%.9g" (bools "1"/"0", enums their number), strings as they are, meshes
// "<mesh V P>" or "<null>". False for an unknown node/attribute.
KHOST_API bool GetAttrText(const std::string& node, const std::string& attr, std::string* out);

// True when the plug holds a value that must be computed or pulled before
// use. Inputs without an incoming connection are never dirty.
KHOST_API bool IsDirty(const std::string& node, const std::string& attr);

// ---------------------------------------------------------------------------
// Evaluation and mesh data.

// One colour set of a mesh.
struct ColorSetSnapshot
{
    std::string name;
    bool current = false;           // the mesh's current colour set
    bool hasVertexColors = false;   // given with setVertexColors
    // 4 per vertex (r, g, b, a): the vertex's own colour (setVertexColors),
    // else the colour assigned to its first corner (setColors and
    // assignColors); -1 x 4 for a vertex with neither.
    std::vector<float> colors;
};

struct MeshSnapshot
{
    int numVertices = 0;
    int numPolygons = 0;
    std::vector<float> points;      // 3 per vertex (x, y, z; w dropped)
    std::vector<int> counts;        // corners per polygon
    std::vector<int> connects;      // vertex index per corner (polygon order)

    // Per-vertex normals given with setVertexNormals; 3 per vertex.
    // Vertices never given one hold (0, 0, 0) and normalSet 0.
    bool hasNormals = false;
    std::vector<float> normals;
    std::vector<unsigned char> normalSet;

    // Per-vertex colours of the current colour set (setVertexColors),
    // 4 per vertex (r, g, b, a); vertices never given one hold -1 x 4.
    bool hasColors = false;
    std::string colorSet;           // name of that set ("colorSet1")
    std::vector<float> colors;

    // Per face-vertex normals given with setFaceVertexNormals: 3 per entry
    // of connects (polygon order); corners never given one hold (0, 0, 0)
    // and faceVertexNormalSet 0.
    bool hasFaceVertexNormals = false;
    std::vector<float> faceVertexNormals;
    std::vector<unsigned char> faceVertexNormalSet;

    // Every colour set, in order of creation.
    std::vector<ColorSetSnapshot> colorSets;

    // The current UV set ("map1"): UV values and their per-polygon assignment.
    bool hasUVs = false;            // the set holds UVs or an assignment
    std::string uvSet;
    std::vector<float> u, v;
    std::vector<int> uvCounts;      // per polygon (0 = polygon without UVs)
    std::vector<int> uvIds;         // per corner of the polygons with UVs
};

struct EvalResult
{
    int status = kFailure;   // status of the compute that ran (kSuccess when nothing had to run)
                             // (kInvalidParameter for an unknown node or attribute)
    bool computed = false;   // a compute ran for this request
    bool hasMesh = false;    // the plug holds mesh data (a mesh may have 0 vertices)
    MeshSnapshot mesh;
    std::string error;       // unknown node/attribute, or the plug is not a mesh
};

// Asks for the value of node.attr as the host does when something needs it:
// a destination plug pulls its source through the connection; a dirty output
// is computed by the node's compute(plug, dataBlock) (for plug-in nodes)
// after pulling its dirty inputs. `status` is the MStatus of the compute of
// the node that owns the output (for a destination plug: of its source);
// kSuccess when nothing had to run. The output becomes clean when the node
// called setClean, otherwise it stays dirty (and is computed again on the
// next request). Mesh data, if any, is copied into `mesh`.
KHOST_API EvalResult Evaluate(const std::string& node, const std::string& attr);

// The same evaluation, with only the sizes of the mesh (mesh.numVertices,
// mesh.numPolygons) given back and no array copied: what a timing loop
// wants, where the copy would be the host's work, not the node's.
KHOST_API EvalResult EvaluateSizes(const std::string& node, const std::string& attr);

// ---------------------------------------------------------------------------
// Messages shown through MGlobal::displayInfo / displayError (and the
// host's own error lines).

enum class MessageKind : int { kInfo, kError };

struct Message
{
    MessageKind kind = MessageKind::kInfo;
    std::string text;        // the exact text shown, no prefix added
};

// Returns the captured lines in the order they were shown and clears them.
KHOST_API std::vector<Message> TakeMessages();

// When on, every line is also written as it is shown: info lines to stdout,
// error lines to stderr, the exact text plus '\n'. Off by default.
KHOST_API void SetEcho(bool on);

// ---------------------------------------------------------------------------
// Scene time.
//
// The scene has one current time, in frames (the stand-in knows one time
// unit), 1 at start. Its node time1 (type "time") holds it in outTime; a
// change marks outTime and everything it drives dirty. The command
// "currentTime T" sets it too, "currentTime -q" returns it, and
// "expression -s \"node.attr = frame;\"" makes an expression node that
// drives node.attr with it (the one expression form the stand-in runs).
// time1.outTime connected straight to a number passes frames on as they
// are (no unit conversion node is inserted).
KHOST_API void SetCurrentTime(double frame);
KHOST_API double CurrentTime();

// ---------------------------------------------------------------------------
// Host settings.

// The value MThreadUtils::getNumThreads returns; `n` < 1 restores the
// default (the hardware thread count, at least 1).
KHOST_API void SetNumThreads(int n);

// The scene's time unit (MTime::uiUnit) by its frame rate: 24 is film,
// 25 PAL, 30 NTSC, 60 NTSC fields and every other whole rate that MTime has a
// unit for. False (unit unchanged) for a rate without a unit. Default: 24.
KHOST_API bool SetFramesPerSecond(double fps);
// Frames per second of the scene's time unit.
KHOST_API double FramesPerSecond();

// ---------------------------------------------------------------------------
// Extension attributes, as a renderer's plug-in adds them to a built-in node
// type (every node of the type then has them, e.g. Arnold's
// aiMotionVectorSource on meshes). kind: AttrKind::kString or kEnum (with
// fields). Only while no node of the type exists (after NewScene); false for
// an unknown type, a taken name, another kind, or nodes of the type alive.
KHOST_API bool AddExtensionAttribute(const std::string& typeName, const std::string& longName, AttrKind kind,
                                     const std::vector<EnumField>& fields = {});
// Removes every extension attribute of the type (same conditions).
KHOST_API bool RemoveExtensionAttributes(const std::string& typeName);

} // namespace khost
