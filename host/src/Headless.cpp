// The headless host API: loads plug-ins as the host application does and
// drives the scene without a user interface.
#include "HostInternal.h"

#include <maya/MTime.h>

#include <korvane/HeadlessHost.h>

#if defined(_WIN32)
#if !defined(NOMINMAX)
#define NOMINMAX
#endif
#if !defined(WIN32_LEAN_AND_MEAN)
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <cstring>

using namespace khost_impl;

namespace khost
{

const char* StatusName(int code)
{
    static const char* const names[] = {"kSuccess", "kFailure", "kInsufficientMemory", "kInvalidParameter",
                                        "kLicenseFailure", "kUnknownParameter", "kNotImplemented", "kNotFound",
                                        "kEndOfFile"};
    return (code >= 0 && code <= 8) ? names[code] : "kUnknownStatus";
}

const char* AttrKindName(AttrKind kind)
{
    switch (kind)
    {
    case AttrKind::kBool: return "bool";
    case AttrKind::kByte: return "byte";
    case AttrKind::kChar: return "char";
    case AttrKind::kShort: return "short";
    case AttrKind::kInt: return "int";
    case AttrKind::kInt64: return "int64";
    case AttrKind::kFloat: return "float";
    case AttrKind::kDouble: return "double";
    case AttrKind::kNumericOther: return "numeric";
    case AttrKind::kEnum: return "enum";
    case AttrKind::kString: return "string";
    case AttrKind::kMesh: return "mesh";
    case AttrKind::kTypedOther: return "typed";
    }
    return "typed";
}

// ---------------------------------------------------------------------------
// Plug-ins.
namespace
{
// The system's loader: a DLL on Windows, a shared object elsewhere.
#if defined(_WIN32)
void* OpenLibrary(const std::string& path, std::string& error)
{
    HMODULE h = LoadLibraryA(path.c_str());
    if (!h)
        error = "Windows error " + std::to_string(GetLastError()) + " loading " + path;
    return reinterpret_cast<void*>(h);
}
void* LibrarySymbol(void* handle, const char* name)
{
    FARPROC f = GetProcAddress(static_cast<HMODULE>(handle), name);
    void* p = nullptr;
    static_assert(sizeof f == sizeof p, "function and data pointers differ in size");
    std::memcpy(&p, &f, sizeof p);
    return p;
}
void CloseLibrary(void* handle) { FreeLibrary(static_cast<HMODULE>(handle)); }
#else
void* OpenLibrary(const std::string& path, std::string& error)
{
    void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!h)
    {
        const char* e = dlerror();
        error = e ? e : path;
    }
    return h;
}
void* LibrarySymbol(void* handle, const char* name) { return dlsym(handle, name); }
void CloseLibrary(void* handle) { dlclose(handle); }
#endif

// The entry points have C++ linkage: initializePlugin(MObject) and
// uninitializePlugin(MObject). On Windows the host looks them up by their
// plain names, which a plug-in exports as the devkit's projects do
// (/export:initializePlugin /export:uninitializePlugin, or a .def file);
// elsewhere by the names the compiler mangles them to.
#if defined(_WIN32)
const char* const kInitSymbol = "initializePlugin";
const char* const kUninitSymbol = "uninitializePlugin";
#else
const char* const kInitSymbol = "_Z16initializePlugin7MObject";
const char* const kUninitSymbol = "_Z18uninitializePlugin7MObject";
#endif

std::string PluginNameOf(const std::string& path)
{
#if defined(_WIN32)
    size_t slash = path.find_last_of("/\\");
#else
    size_t slash = path.find_last_of('/');
#endif
    std::string file = slash == std::string::npos ? path : path.substr(slash + 1);
    size_t dot = file.find('.');
    return dot == std::string::npos || dot == 0 ? file : file.substr(0, dot);
}

PluginObj* FindPlugin(const std::string& nameOrPath)
{
    for (const Ref& r : S().plugins)
    {
        PluginObj* p = r.as<PluginObj>();
        if (p->name == nameOrPath || p->path == nameOrPath)
            return p;
    }
    return nullptr;
}
} // namespace

PluginLoadResult LoadPlugin(const std::string& path)
{
    PluginLoadResult res;
    res.name = PluginNameOf(path);
    if (FindPlugin(res.name))
    {
        res.error = "a plug-in named '" + res.name + "' is already loaded";
        return res;
    }
    std::string openError;
    void* handle = OpenLibrary(path, openError);
    if (!handle)
    {
        res.error = "cannot open the library: " + openError;
        return res;
    }
    // The two entry points, plus the C symbol MApiVersion.
    void* init = LibrarySymbol(handle, kInitSymbol);
    void* uninit = LibrarySymbol(handle, kUninitSymbol);
    if (!init || !uninit)
    {
        CloseLibrary(handle);
        res.error = "the library does not export initializePlugin(MObject) and uninitializePlugin(MObject)";
        return res;
    }
    if (const char* version = static_cast<const char*>(LibrarySymbol(handle, "MApiVersion")))
        res.apiVersion = std::string(version, strnlen(version, 32));

    PluginObj* p = new PluginObj;
    Ref keep(p);
    p->name = res.name;
    p->path = path;
    p->handle = handle;
    std::memcpy(&p->init, &init, sizeof init);
    std::memcpy(&p->uninit, &uninit, sizeof uninit);
    S().plugins.push_back(keep);

    MStatus st = p->init(KHostAccess::make(p));
    res.loaded = true;
    res.status = st.statusCode();
    return res;
}

PluginUnloadResult UnloadPlugin(const std::string& nameOrPath, bool force)
{
    PluginUnloadResult res;
    PluginObj* p = FindPlugin(nameOrPath);
    if (!p)
    {
        res.error = "no plug-in '" + nameOrPath + "' is loaded";
        return res;
    }
    Ref keep(p);
    Scene& s = S();

    // Nodes of its types keep it in use.
    std::vector<Ref> inUse;
    for (const Ref& r : s.nodes)
        if (r.as<NodeObj>()->type->plugin == p)
            inUse.push_back(r);
    if (!inUse.empty() && !force)
    {
        res.error = "the plug-in is in use: node '" + inUse[0].as<NodeObj>()->name + "' exists";
        return res;
    }
    for (const Ref& n : inUse)
        DeleteNode(n.as<NodeObj>());

    MStatus st = p->uninit(KHostAccess::make(p));
    res.status = st.statusCode();

    // What it left registered goes with it.
    for (size_t i = 0; i < s.types.size();)
    {
        NodeType* t = s.types[i];
        if (t->plugin == p)
        {
            res.leftoverNodeTypes.push_back(t->name);
            s.types.erase(s.types.begin() + (long)i);
            for (const Ref& r : t->attrs)
            {
                r.as<AttrObj>()->owner = nullptr;
                r.as<AttrObj>()->index = -1;
            }
            delete t;
        }
        else
            ++i;
    }
    for (size_t i = 0; i < s.commands.size();)
        if (s.commands[i].plugin == p)
        {
            res.leftoverCommands.push_back(s.commands[i].name);
            s.commands.erase(s.commands.begin() + (long)i);
        }
        else
            ++i;
    for (size_t i = 0; i < s.plugins.size(); ++i)
        if (s.plugins[i].get() == p)
        {
            s.plugins.erase(s.plugins.begin() + (long)i);
            break;
        }
    if (p->handle)
        CloseLibrary(p->handle);
    p->handle = nullptr;
    res.unloaded = true;
    return res;
}

std::vector<std::string> ListPlugins()
{
    std::vector<std::string> out;
    for (const Ref& r : S().plugins)
        out.push_back(r.as<PluginObj>()->name);
    return out;
}

// ---------------------------------------------------------------------------
// Types, commands, nodes.
std::vector<NodeTypeInfo> ListNodeTypes()
{
    std::vector<NodeTypeInfo> out;
    for (const NodeType* t : S().types)
        out.push_back(NodeTypeInfo{t->name, t->id, t->plugin ? t->plugin->name : std::string()});
    return out;
}

std::vector<CommandInfo> ListCommands()
{
    std::vector<CommandInfo> out;
    for (const CommandEntry& c : S().commands)
        out.push_back(CommandInfo{c.name, c.plugin ? c.plugin->name : std::string()});
    return out;
}

std::vector<NodeInfo> ListNodes()
{
    std::vector<NodeInfo> out;
    for (const Ref& r : S().nodes)
    {
        const NodeObj* n = r.as<NodeObj>();
        out.push_back(NodeInfo{n->name, n->type->name, n->parent ? n->parent->name : std::string()});
    }
    return out;
}

bool NodeExists(const std::string& name, std::string* type)
{
    NodeObj* n = FindNode(name);
    if (n && type)
        *type = n->type->name;
    return n != nullptr;
}

std::vector<std::string> SetMembers(const std::string& setName)
{
    std::vector<std::string> out;
    if (NodeObj* n = FindNode(setName))
        for (const NodeObj* m : n->members)
            out.push_back(m->name);
    return out;
}

std::vector<std::string> Selection()
{
    std::vector<std::string> out;
    for (const Ref& r : S().selection)
        out.push_back(r.as<NodeObj>()->name);
    return out;
}

std::vector<Connection> ListConnections()
{
    std::vector<Connection> out;
    for (const khost_impl::Connection& c : S().connections)
    {
        const NodeObj* a = c.srcNode.as<NodeObj>();
        const NodeObj* b = c.dstNode.as<NodeObj>();
        out.push_back(Connection{a->name + "." + a->type->attrs[(size_t)c.srcAttr].as<AttrObj>()->longName,
                                 b->name + "." + b->type->attrs[(size_t)c.dstAttr].as<AttrObj>()->longName});
    }
    return out;
}

void NewScene()
{
    Scene& s = S();
    while (!s.nodes.empty())
    {
        Ref last = s.nodes.back();
        DeleteNode(last.as<NodeObj>());
    }
    s.connections.clear();
    s.selection.clear();
    MStatus st;
    CreateNode(FindType("shadingEngine"), "initialShadingGroup", nullptr, &st);
    EnsureTimeNode();
}

void SetCurrentTime(double frame)
{
    SetSceneTime(frame);
}

double CurrentTime()
{
    return S().currentTime;
}

// ---------------------------------------------------------------------------
// Commands.
CommandResult Execute(const std::string& commandLine)
{
    CommandResult out;
    CommandResultData r;
    std::string err;
    MStatus st = RunCommandLine(commandLine, &r, &err);
    out.status = st.statusCode();
    out.result = r.words;
    out.error = st ? std::string() : err;
    return out;
}

// ---------------------------------------------------------------------------
// Attributes.
namespace
{
AttributeInfo InfoOf(const NodeType& t, const AttrObj& a)
{
    AttributeInfo i;
    i.longName = a.longName;
    i.shortName = a.shortName;
    i.niceName = a.niceName;
    i.kind = KindOf(a);
    i.defaultNumber = a.defaultNumber;
    if (a.defaultData && a.defaultData.get()->fnType == MFn::kStringData)
        i.defaultString = a.defaultData.as<StringDataObj>()->value.asChar();
    i.hasSoftMin = a.hasSoftMin, i.hasSoftMax = a.hasSoftMax, i.softMin = a.softMin, i.softMax = a.softMax;
    i.writable = a.writable, i.storable = a.storable, i.keyable = a.keyable, i.array = a.array;
    i.usesArrayDataBuilder = a.usesArrayDataBuilder;
    for (const auto& f : a.fields)
        i.fields.push_back(EnumField{f.first, f.second});
    if (a.owner == &t && a.index >= 0)
        for (int b : t.affects[(size_t)a.index])
            i.affects.push_back(t.attrs[(size_t)b].as<AttrObj>()->longName);
    return i;
}

bool Locate(const std::string& node, const std::string& attr, NodeObj** n, int* idx, std::string* err)
{
    *n = FindNode(node);
    if (!*n)
    {
        if (err)
            *err = "No object matches name: " + node;
        return false;
    }
    *idx = AttrIndex(*(*n)->type, attr);
    if (*idx < 0)
    {
        if (err)
            *err = "No attribute '" + attr + "' on node '" + node + "'";
        return false;
    }
    return true;
}
} // namespace

bool TypeAttributes(const std::string& typeName, std::vector<AttributeInfo>* out)
{
    NodeType* t = FindType(typeName);
    if (!t)
        return false;
    out->clear();
    for (const Ref& r : t->attrs)
        out->push_back(InfoOf(*t, *r.as<AttrObj>()));
    return true;
}

bool GetAttributeInfo(const std::string& node, const std::string& attr, AttributeInfo* out)
{
    NodeObj* n;
    int idx;
    if (!Locate(node, attr, &n, &idx, nullptr))
        return false;
    *out = InfoOf(*n->type, *n->type->attrs[(size_t)idx].as<AttrObj>());
    return true;
}

int SetAttr(const std::string& node, const std::string& attr, const std::string& value, std::string* error)
{
    NodeObj* n;
    int idx;
    if (!Locate(node, attr, &n, &idx, error))
        return kInvalidParameter;
    return SetFromText(n, idx, value, error).statusCode();
}

int SetAttrNumber(const std::string& node, const std::string& attr, double value, std::string* error)
{
    NodeObj* n;
    int idx;
    if (!Locate(node, attr, &n, &idx, error))
        return kInvalidParameter;
    return SetFromNumber(n, idx, value, error).statusCode();
}

int SetAttrString(const std::string& node, const std::string& attr, const std::string& value, std::string* error)
{
    NodeObj* n;
    int idx;
    if (!Locate(node, attr, &n, &idx, error))
        return kInvalidParameter;
    return SetFromString(n, idx, value, error).statusCode();
}

bool GetAttrText(const std::string& node, const std::string& attr, std::string* out)
{
    NodeObj* n;
    int idx;
    if (!Locate(node, attr, &n, &idx, nullptr))
        return false;
    const AttrObj& a = *n->type->attrs[(size_t)idx].as<AttrObj>();
    const Slot& s = n->slots[(size_t)idx];
    if (IsSingleNumeric(a))
        *out = FormatNumber(SlotNumber(a, s));
    else if (s.data && s.data.get()->fnType == MFn::kStringData)
        *out = s.data.as<StringDataObj>()->value.asChar();
    else if (s.data && s.data.get()->fnType == MFn::kMeshData)
    {
        const MeshGeom& g = s.data.as<MeshDataObj>()->mesh;
        *out = "<mesh " + std::to_string(g.numVertices) + " " + std::to_string(g.numPolygons) + ">";
    }
    else if (KindOf(a) == AttrKind::kString)
        out->clear();
    else
        *out = "<null>";
    return true;
}

bool IsDirty(const std::string& node, const std::string& attr)
{
    NodeObj* n;
    int idx;
    return Locate(node, attr, &n, &idx, nullptr) && n->slots[(size_t)idx].dirty;
}

// ---------------------------------------------------------------------------
// Evaluation.
namespace
{
EvalResult EvaluateWith(const std::string& node, const std::string& attr, bool copyMesh)
{
    EvalResult res;
    NodeObj* n;
    int idx;
    if (!Locate(node, attr, &n, &idx, &res.error))
    {
        res.status = kInvalidParameter;
        return res;
    }
    Ref keep(n);
    bool computed = false;
    MStatus st = Pull(n, idx, &computed);
    res.status = st.statusCode();
    res.computed = computed;
    if (!n->alive)
        return res;
    const Slot& s = n->slots[(size_t)idx];
    if (s.data && s.data.get()->fnType == MFn::kMeshData)
    {
        res.hasMesh = true;
        const MeshGeom& mesh = s.data.as<MeshDataObj>()->mesh;
        if (copyMesh)
            Snapshot(mesh, &res.mesh);
        else
        {
            res.mesh.numVertices = mesh.numVertices;
            res.mesh.numPolygons = mesh.numPolygons;
        }
    }
    else if (KindOf(*n->type->attrs[(size_t)idx].as<AttrObj>()) != AttrKind::kMesh)
        res.error = "the attribute does not hold mesh data";
    return res;
}
} // namespace

EvalResult Evaluate(const std::string& node, const std::string& attr)
{
    return EvaluateWith(node, attr, true);
}

EvalResult EvaluateSizes(const std::string& node, const std::string& attr)
{
    return EvaluateWith(node, attr, false);
}

// ---------------------------------------------------------------------------
// Messages and settings.
std::vector<Message> TakeMessages()
{
    std::vector<Message> out;
    out.swap(S().messages);
    return out;
}

void SetEcho(bool on) { S().echo = on; }

void SetNumThreads(int n) { S().numThreads = n < 1 ? 0 : n; }

bool SetFramesPerSecond(double fps)
{
    for (int u = MTime::kGames; u <= MTime::k6000FPS; ++u)
    {
        if (MTime(1.0, MTime::kSeconds).asUnits(static_cast<MTime::Unit>(u)) == fps)
        {
            S().timeUnit = u;
            return true;
        }
    }
    return false;
}

double FramesPerSecond() { return MTime(1.0, MTime::kSeconds).asUnits(MTime::uiUnit()); }

namespace
{
// A built-in type without living nodes, or null.
NodeType* QuietBuiltinType(const std::string& typeName)
{
    NodeType* t = FindType(typeName);
    if (!t || t->builtin == BuiltinKind::kNone)
        return nullptr;
    for (const Ref& r : S().nodes)
        if (r.as<NodeObj>()->alive && r.as<NodeObj>()->type == t)
            return nullptr;
    return t;
}
} // namespace

bool AddExtensionAttribute(const std::string& typeName, const std::string& longName, AttrKind kind,
                           const std::vector<EnumField>& fields)
{
    NodeType* t = QuietBuiltinType(typeName);
    if (!t || longName.empty() || AttrIndex(*t, longName) >= 0 ||
        (kind != AttrKind::kString && kind != AttrKind::kEnum))
        return false;
    AttrObj* a = new AttrObj(kind == AttrKind::kString ? MFn::kTypedAttribute : MFn::kEnumAttribute);
    a->longName = a->shortName = longName;
    a->extension = true;
    if (kind == AttrKind::kString)
    {
        a->kind = AKind::kTyped;
        a->dataType = MFnData::kString;
        a->defaultData = Ref(new StringDataObj);
    }
    else
    {
        a->kind = AKind::kEnum;
        a->numType = MFnNumericData::kShort;
        for (const EnumField& f : fields)
            a->fields.emplace_back(f.label, static_cast<short>(f.value));
    }
    a->owner = t;
    a->index = static_cast<int>(t->attrs.size());
    t->attrs.push_back(Ref(a));
    t->affects.emplace_back();
    t->isAffected.push_back(0);
    return true;
}

bool RemoveExtensionAttributes(const std::string& typeName)
{
    NodeType* t = QuietBuiltinType(typeName);
    if (!t)
        return false;
    // Extensions come after the type's own attributes.
    while (!t->attrs.empty() && t->attrs.back().as<AttrObj>()->extension)
    {
        t->attrs.pop_back();
        t->affects.pop_back();
        t->isAffected.pop_back();
    }
    return true;
}

} // namespace khost
