// korvane eval: runs the plug-in inside the headless host, as Maya would.
//
// Loads the plug-in, runs KorvaneCreate, sets attributes on the new Korvane
// node, then for each requested frame sets m_flIdxValue and asks the mesh
// shape for its inMesh, which pulls the node's outMesh through the
// connection. Prints what the plug-in shows, writes meshes (or pictures of
// them) on request, and shows a progress bar over a frame range when
// standard error is a terminal.
// Exit status: 0 success, 1 a load or evaluation failed, 2 usage error.
// Built only where the headless host is part of the build; elsewhere the
// program's default reports that eval is not available.
#if __has_include("korvane/HeadlessHost.h")

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

#include "KorvaneArgs.h"
#include "KorvaneJson.h"
#include "KorvaneProgress.h"
#include "EvalInputs.h"
#include "WriteObj.h"
#include "WritePly.h"
#include "errors/ZNQError.h"
#include "geometry/ZNQGeometry.h"
#include "korvane/HeadlessHost.h"

#if defined(KORVANE_HAVE_PREVIEW)
#include "KorvanePreview.h"
#endif

namespace {

const char kUsage[] =
    "usage: korvane eval [--plugin PATH] [--create-args \"...\"] [--set ATTR=VALUE]...\n"
    "                    [--frames A|A-B|A-B:STEP[,...]] [--time LIST] [--out PATTERN] [--json [--data]]\n"
    "                    [--fps N]\n";

const char kHelp[] =
    "                    [--size WxH] [--facets] [--show motion] [--quiet]\n"
    "\n"
    "Runs the plug-in in the headless host: KorvaneCreate, the --set attributes on the new node,\n"
    "then one evaluation per frame of --frames (or one with the node's Idx Value).\n"
    "  --frames LIST   set Idx Value to each value: A, A-B or A-B:STEP, or a comma list of them\n"
    "                  (2,4,5,7 or 1-3,10)\n"
    "  --time LIST     set the scene's current time to each value instead (same forms), for a\n"
    "                  node whose Idx Value follows the scene time (KorvaneCreate -f)\n"
    "  --out PATTERN   write each frame's output mesh; the first '#' run of PATTERN becomes the\n"
    "                  zero-padded frame. By extension: .obj, .ply, .json (as --json --data), or\n"
    "                  .png, a shaded picture (fixed three-quarter view, the mesh framed)\n"
    "  --size WxH      size of the .png pictures (default 800x600)\n"
    "  --facets        .png pictures give every polygon its own colour (shows the polygon layout)\n"
    "  --show motion   .png pictures colour each vertex by the length of its motion vector in the\n"
    "                  motion colour set (m_msMotionColorSet), with a legend of the range\n"
    "  --fps N         the scene's frame rate (default 24): what a Per Second motion unit uses\n"
    "  --quiet         no progress bar; it is drawn on standard error over a frame range only\n"
    "                  when standard error is a terminal\n";

// Frame lists longer than this are refused as a usage error (a typo such as
// 1-100000000 would otherwise run for hours).
constexpr int64_t kMaxFrames = 1000000;

struct Options
{
    bool help = false;
    std::string plugin;
    std::string createArgs;
    std::vector<std::pair<std::string, std::string>> sets;
    bool hasFrames = false;
    bool byTime = false; // the values are scene times (--time)
    std::vector<double> frames;
    std::string outPattern;
    bool json = false;
    bool data = false;
    bool quiet = false;
    bool facets = false;
    bool showMotion = false;
    double fps = 0.0; // 0: the host's default
    int pngWidth = 800, pngHeight = 600;
    std::string motionSet; // the node's m_msMotionColorSet, read after the --set values
};

int UsageError(const char* what, const char* arg)
{
    return ReportUsageError("eval", kUsage, what, arg);
}

// One finite number that spans the whole text [s, end) or stops at a
// character in `stops`. Returns the position after it, or null.
const char* ParseNumber(const char* s, const char* stops, double& value)
{
    errno = 0;
    char* end = nullptr;
    value = std::strtod(s, &end);
    if (end == s || errno == ERANGE || !std::isfinite(value))
        return nullptr;
    if (*end != '\0' && !std::strchr(stops, *end))
        return nullptr;
    return end;
}

// Frames: A, A-B or A-B:STEP; values may be fractional or negative. B below A
// counts down. The frames are A + i * STEP, so no rounding error builds up.
// Appends to frames; false when the form is wrong or the list would pass
// kMaxFrames.
bool ParseFrameRange(const char* text, std::vector<double>& frames)
{
    double a = 0.0, b = 0.0, step = 1.0;
    const char* p = ParseNumber(text, "-", a);
    if (!p)
        return false;
    b = a;
    if (*p == '-')
    {
        p = ParseNumber(p + 1, ":", b);
        if (!p)
            return false;
        if (*p == ':')
        {
            p = ParseNumber(p + 1, "", step);
            if (!p || !(step > 0.0))
                return false;
        }
    }
    const double span = std::fabs(b - a);
    // A small tolerance so that 0-1:0.1 ends at 1 despite 0.1 not being exact.
    const double count = std::floor(span / step + 1e-9) + 1.0;
    if (count + static_cast<double>(frames.size()) > static_cast<double>(kMaxFrames))
        return false;
    const double direction = b < a ? -1.0 : 1.0;
    for (int64_t i = 0; i < static_cast<int64_t>(count); ++i)
        frames.push_back(a + direction * step * static_cast<double>(i));
    return true;
}

// A comma list of ranges ("2,4,5,7", "1-3,10"), in the order given.
bool ParseFrames(const char* text, std::vector<double>& frames)
{
    frames.clear();
    std::string part;
    for (const char* p = text;; ++p)
    {
        if (*p == ',' || *p == '\0')
        {
            if (part.empty() || !ParseFrameRange(part.c_str(), frames))
                return false;
            part.clear();
            if (*p == '\0')
                return true;
        }
        else
            part += *p;
    }
}

bool EndsWith(const std::string& s, const char* suffix);

int ParseOptions(int argc, char** argv, Options& o)
{
    for (int i = 1; i < argc; ++i)
    {
        const std::string arg = argv[i];
        auto value = [&](const char*& out) -> bool {
            if (i + 1 >= argc)
                return false;
            out = argv[++i];
            return true;
        };
        const char* v = nullptr;
        if (arg == "-h" || arg == "--help")
            o.help = true; // printed once the plug-in has made its inputs

        else if (arg == "--json")
            o.json = true;
        else if (arg == "--data")
            o.data = true;
        else if (arg == "--quiet")
            o.quiet = true;
        else if (arg == "--facets")
            o.facets = true;
        else if (arg == "--plugin" || arg == "--create-args" || arg == "--set" || arg == "--frames" ||
                 arg == "--time" || arg == "--out" || arg == "--size" || arg == "--fps" || arg == "--show")
        {
            if (!value(v))
                return UsageError("missing value after", arg.c_str());
            if (arg == "--plugin")
                o.plugin = v;
            else if (arg == "--create-args")
                o.createArgs = v;
            else if (arg == "--out")
            {
                o.outPattern = v;
                if (!EndsWith(o.outPattern, ".obj") && !EndsWith(o.outPattern, ".ply") &&
                    !EndsWith(o.outPattern, ".json") && !EndsWith(o.outPattern, ".png"))
                    return UsageError("--out needs a .obj, .ply, .json or .png pattern, got", v);
#if !defined(KORVANE_HAVE_PREVIEW)
                if (EndsWith(o.outPattern, ".png"))
                    return UsageError("PNG output is not part of this build, got", v);
#endif
            }
            else if (arg == "--fps")
            {
                if (!ParseNumber(v, "", o.fps) || !(o.fps > 0.0))
                    return UsageError("bad frame rate", v);
            }
            else if (arg == "--show")
            {
                if (std::strcmp(v, "motion") != 0)
                    return UsageError("--show knows only 'motion', got", v);
                o.showMotion = true;
            }
            else if (arg == "--size")
            {
                if (!ParseSize(v, o.pngWidth, o.pngHeight))
                    return UsageError(PictureSizeError().c_str(), v);
            }
            else if (arg == "--frames" || arg == "--time")
            {
                if (o.hasFrames && o.byTime != (arg == "--time"))
                    return UsageError("--frames and --time exclude each other, got", arg.c_str());
                if (!ParseFrames(v, o.frames))
                    return UsageError(arg == "--time" ? "bad time list (A, A-B or A-B:STEP, comma-separated)"
                                                      : "bad frame list (A, A-B or A-B:STEP, comma-separated)",
                                      v);
                o.hasFrames = true;
                o.byTime = arg == "--time";
            }
            else
            {
                const char* eq = std::strchr(v, '=');
                if (!eq || eq == v)
                    return UsageError("--set needs ATTR=VALUE, got", v);
                o.sets.emplace_back(std::string(v, eq), std::string(eq + 1));
            }
        }
        else
            return UsageError("unknown option", arg.c_str());
    }
    if (o.data && !o.json)
        return UsageError("--data needs --json", nullptr);
    if (o.showMotion && !EndsWith(o.outPattern, ".png"))
        return UsageError("--show motion needs a .png --out pattern", nullptr);
    return -1; // go on
}

bool FileExists(const std::string& path)
{
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
    std::fclose(f);
    return true;
}

std::string ExecutableDir()
{
#if defined(_WIN32)
    char buf[4096];
    const DWORD n = GetModuleFileNameA(nullptr, buf, sizeof(buf));
    std::string path(buf, n < sizeof(buf) ? n : 0);
    const size_t slash = path.find_last_of("\\/");
#else
    char buf[4096];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof(buf) - 1);
    std::string path(buf, n > 0 ? static_cast<size_t>(n) : 0);
    const size_t slash = path.find_last_of('/');
#endif
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

// The plug-in built beside this program, else one found relative to it (the
// build tree's plugin/ or an installed module's plug-ins/).
std::string DefaultPluginPath()
{
#if defined(_WIN32)
    const char* file = "Korvane.mll";
#elif defined(__APPLE__)
    const char* file = "Korvane.bundle";
#else
    const char* file = "Korvane.so";
#endif
    const std::string dir = ExecutableDir();
    // An installed program uses the module installed with it
    // (<prefix>/bin/korvane beside <prefix>/plug-ins/), never a build tree's.
    const std::string installed = dir + "/../plug-ins/" + file;
    if (FileExists(installed))
        return installed;
#if defined(KORVANE_PLUGIN_BUILD_PATH)
    if (FileExists(KORVANE_PLUGIN_BUILD_PATH))
        return KORVANE_PLUGIN_BUILD_PATH;
#endif
    const std::string candidates[] = {dir + "/../plugin/" + file, dir + "/../plug-ins/" + file,
                                      dir + "/" + file};
    for (const std::string& c : candidates)
        if (FileExists(c))
            return c;
    return candidates[0];
}

// ---------------------------------------------------------------------------
// Output.

void JsonStrings(std::string& out, const std::vector<std::string>& lines)
{
    out += '[';
    for (size_t i = 0; i < lines.size(); ++i)
    {
        if (i)
            out += ',';
        korvane::JsonString(out, lines[i].c_str());
    }
    out += ']';
}

void JsonFloatList(std::string& out, const std::vector<float>& v, int width)
{
    if (v.empty())
    {
        out += "[]";
        return;
    }
    if (width == 1)
        korvane::JsonFloats(out, v.data(), static_cast<int>(v.size()));
    else
        korvane::JsonTuples(out, v.data(), static_cast<int64_t>(v.size() / width), width);
}

void JsonIntList(std::string& out, const std::vector<int>& v)
{
    out += '[';
    for (size_t i = 0; i < v.size(); ++i)
    {
        if (i)
            out += ',';
        out += std::to_string(v[i]);
    }
    out += ']';
}

int64_t NodeCount(const khost::MeshSnapshot& m)
{
    return static_cast<int64_t>(m.connects.size());
}

// The colour set of that name, or null.
const khost::ColorSetSnapshot* FindColorSet(const khost::MeshSnapshot& m, const std::string& name)
{
    if (name.empty())
        return nullptr;
    for (const khost::ColorSetSnapshot& c : m.colorSets)
        if (c.name == name)
            return &c;
    return nullptr;
}

// The mesh as the host holds it: the --data keys.
void JsonMeshData(std::string& out, const khost::MeshSnapshot& m)
{
    out += ",\"points\":";
    JsonFloatList(out, m.points, 3);
    out += ",\"counts\":";
    JsonIntList(out, m.counts);
    out += ",\"connects\":";
    JsonIntList(out, m.connects);
    out += ",\"normals\":";
    if (m.hasNormals)
        JsonFloatList(out, m.normals, 3);
    else
        out += "null";
    out += ",\"colors\":";
    if (m.hasColors)
        JsonFloatList(out, m.colors, 4);
    else
        out += "null";
    // Colour sets besides the one the vertex colours are in (the current one).
    bool anySet = false;
    for (const khost::ColorSetSnapshot& c : m.colorSets)
    {
        if (m.hasColors && c.current)
            continue;
        out += anySet ? "," : ",\"colorSets\":{";
        anySet = true;
        korvane::JsonString(out, c.name.c_str());
        out += ':';
        JsonFloatList(out, c.colors, 4);
    }
    out += anySet ? "}" : ",\"colorSets\":null";
    out += ",\"faceVertexNormals\":";
    if (m.hasFaceVertexNormals)
        JsonFloatList(out, m.faceVertexNormals, 3);
    else
        out += "null";
    out += ",\"uvs\":";
    if (m.hasUVs)
    {
        out += "{\"u\":";
        JsonFloatList(out, m.u, 1);
        out += ",\"v\":";
        JsonFloatList(out, m.v, 1);
        out += ",\"counts\":";
        JsonIntList(out, m.uvCounts);
        out += ",\"ids\":";
        JsonIntList(out, m.uvIds);
        out += '}';
    }
    else
        out += "null";
}

std::string FrameJson(double frame, int status, const std::vector<std::string>& infos,
                      const std::vector<std::string>& errors, const khost::MeshSnapshot& m,
                      bool withData)
{
    std::string out = "{\"frame\":";
    korvane::JsonFloat(out, static_cast<float>(frame));
    out += ",\"status\":";
    korvane::JsonString(out, khost::StatusName(status));
    out += ",\"infos\":";
    JsonStrings(out, infos);
    out += ",\"errors\":";
    JsonStrings(out, errors);
    out += ",\"numVertices\":" + std::to_string(m.numVertices);
    out += ",\"numPolygons\":" + std::to_string(m.numPolygons);
    out += ",\"numNodes\":" + std::to_string(NodeCount(m));
    if (withData)
        JsonMeshData(out, m);
    out += '}';
    return out;
}

// PATTERN with its first '#' run replaced by the frame, zero-padded to the
// run's length (the sign counts toward the width). A fractional frame keeps
// its fraction after the padded whole part: 3.25 and "####" give 0003.25.
std::string OutputPath(const std::string& pattern, double frame)
{
    const size_t run = pattern.find('#');
    if (run == std::string::npos)
        return pattern;
    size_t width = 0;
    while (run + width < pattern.size() && pattern[run + width] == '#')
        ++width;

    const bool negative = frame < 0.0;
    const double magnitude = std::fabs(frame);
    const double whole = std::floor(magnitude);
    std::string digits = std::to_string(static_cast<long long>(whole));
    const size_t used = digits.size() + (negative ? 1 : 0);
    if (used < width)
        digits.insert(0, width - used, '0');
    std::string number = (negative ? "-" : "") + digits;
    if (magnitude != whole)
    {
        char frac[32];
        std::snprintf(frac, sizeof(frac), "%.6g", magnitude - whole); // "0.25"
        number += std::strchr(frac, '.') ? std::strchr(frac, '.') : "";
    }
    return pattern.substr(0, run) + number + pattern.substr(run + width);
}

bool EndsWith(const std::string& s, const char* suffix)
{
    const size_t n = std::strlen(suffix);
    if (s.size() < n)
        return false;
    for (size_t i = 0; i < n; ++i)
    {
        char c = s[s.size() - n + i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != suffix[i])
            return false;
    }
    return true;
}

// The snapshot as a geometry for the writers of tools/writers: positions and
// polygons; the vertex normals and colours on every node of their vertex
// (the writers share per-vertex values again); the UVs per corner; the
// motion colour set's first three components as motion vectors. The
// geometry owns its arrays and frees them when it goes.
struct SnapshotGeometry
{
    ZNQGeometry g;
    SnapshotGeometry() { g.Init(); }
    ~SnapshotGeometry() { g.Clear(); }
    SnapshotGeometry(const SnapshotGeometry&) = delete;
    SnapshotGeometry& operator=(const SnapshotGeometry&) = delete;

    // False when the arrays disagree (corner counts against the corner list,
    // a count above 255) or memory is refused.
    bool Fill(const khost::MeshSnapshot& m, const khost::ColorSetSnapshot* motion)
    {
        const size_t nv = m.numVertices > 0 ? static_cast<size_t>(m.numVertices) : 0;
        const size_t nodes = m.connects.size();
        if (m.points.size() < 3 * nv || m.counts.size() > static_cast<size_t>(INT32_MAX) ||
            nodes > static_cast<size_t>(INT32_MAX))
            return false;
        size_t sum = 0;
        for (const int c : m.counts)
        {
            if (c < 0 || c > 255)
                return false;
            sum += static_cast<size_t>(c);
        }
        if (sum != nodes)
            return false;
        g._numVert = static_cast<int32_t>(nv);
        g._numPoly = static_cast<int32_t>(m.counts.size());
        g._vertPos = g._MemAllocArr<float3>(nv, false);
        g._polyNumVert = g._MemAllocArr<uint8_t>(m.counts.size(), false);
        g._polyVInd = g._MemAllocArr<int32_t>(nodes, false);
        if (!g._vertPos || !g._polyNumVert || !g._polyVInd)
            return false;
        for (size_t i = 0; i < nv; ++i)
            g._vertPos[i] = float3{m.points[3 * i], m.points[3 * i + 1], m.points[3 * i + 2]};
        for (size_t p = 0; p < m.counts.size(); ++p)
            g._polyNumVert[p] = static_cast<uint8_t>(m.counts[p]);
        for (size_t k = 0; k < nodes; ++k)
            g._polyVInd[k] = m.connects[k];
        // A vertex index outside the mesh reads nothing here; the writers
        // refuse such a mesh.
        auto vertexOf = [&](size_t k) { return static_cast<size_t>(static_cast<uint32_t>(m.connects[k])); };
        if (m.hasNormals && m.normals.size() >= 3 * nv && nodes > 0)
        {
            if (!(g._nodeNrm = g._MemAllocArr<float3>(nodes, false)))
                return false;
            for (size_t k = 0; k < nodes; ++k)
            {
                const size_t v = vertexOf(k);
                g._nodeNrm[k] = v < nv ? float3{m.normals[3 * v], m.normals[3 * v + 1], m.normals[3 * v + 2]}
                                       : float3{0.0f, 0.0f, 0.0f};
            }
        }
        if (m.hasColors && m.colors.size() >= 4 * nv && nodes > 0)
        {
            if (!(g._nodeCol = g._MemAllocArr<float4>(nodes, false)))
                return false;
            for (size_t k = 0; k < nodes; ++k)
            {
                const size_t v = vertexOf(k);
                g._nodeCol[k] = v < nv ? float4{m.colors[4 * v], m.colors[4 * v + 1], m.colors[4 * v + 2],
                                                m.colors[4 * v + 3]}
                                       : float4{0.0f, 0.0f, 0.0f, 0.0f};
            }
        }
        if (m.hasUVs && !m.u.empty() && m.uvCounts.size() == m.counts.size() && nodes > 0)
        {
            // Corners of a polygon without UVs (or with another count) get (0, 0).
            if (!(g._nodeUvw = g._MemAllocArr<float3>(nodes, true)))
                return false;
            size_t node = 0, uvNode = 0;
            for (size_t p = 0; p < m.counts.size(); ++p)
            {
                const int count = m.counts[p];
                if (m.uvCounts[p] == count)
                    for (int k = 0; k < count && uvNode + k < m.uvIds.size(); ++k)
                    {
                        const size_t id = static_cast<size_t>(static_cast<uint32_t>(m.uvIds[uvNode + k]));
                        if (id < m.u.size())
                            g._nodeUvw[node + k] = float3{m.u[id], id < m.v.size() ? m.v[id] : 0.0f, 0.0f};
                    }
                node += static_cast<size_t>(count);
                uvNode += static_cast<size_t>(m.uvCounts[p] > 0 ? m.uvCounts[p] : 0);
            }
        }
        if (motion && motion->colors.size() >= 4 * nv)
        {
            if (!(g._vertMotion = g._MemAllocArr<float3>(nv, false)))
                return false;
            for (size_t i = 0; i < nv; ++i)
                g._vertMotion[i] = float3{motion->colors[4 * i], motion->colors[4 * i + 1], motion->colors[4 * i + 2]};
        }
        return true;
    }
};

// The .obj or .ply bytes of the mesh through tools/writers: .obj with
// positions, per-corner UVs and vertex normals; binary .ply with vertex
// normals, RGBA colours as bytes and, with a motion colour set, the motion
// vectors. False when the mesh cannot be written.
bool MeshFileBytes(const khost::MeshSnapshot& m, bool ply, const std::string& motionSet, std::string& out)
{
    SnapshotGeometry sg;
    if (!sg.Fill(m, ply ? FindColorSet(m, motionSet) : nullptr))
        return false;
    if (ply)
    {
        PlyWriteOptions po;
        po.comment = "written by korvane eval";
        po.colorsAsBytes = true;
        po.writeUvws = false;
        po.allowEmpty = true;
        return WritePlyToString(sg.g, out, po) == ZNQ_OK;
    }
    ObjWriteOptions oo;
    oo.comment = "written by korvane eval";
    oo.uvwComponents = 2;
    oo.uvwsPerNode = true;
    return WriteObjToString(sg.g, oo, out) == ZNQ_OK;
}

#if defined(KORVANE_HAVE_PREVIEW)
static_assert(sizeof(int) == sizeof(int32_t), "host index arrays are handed to the renderer as int32");

// A soft colour per polygon, neighbours mostly different: a hash of the
// polygon number picks one of a few pastel tones.
void FacetColor(size_t polygon, float rgba[4])
{
    static const float kTones[8][3] = {{0.93f, 0.62f, 0.55f}, {0.60f, 0.80f, 0.93f}, {0.72f, 0.90f, 0.62f},
                                       {0.96f, 0.85f, 0.55f}, {0.80f, 0.68f, 0.93f}, {0.55f, 0.88f, 0.84f},
                                       {0.96f, 0.72f, 0.84f}, {0.85f, 0.85f, 0.80f}};
    uint32_t h = static_cast<uint32_t>(polygon);
    h ^= h >> 16;
    h *= 0x7feb352du;
    h ^= h >> 15;
    h *= 0x846ca68bu;
    h ^= h >> 16;
    const float* t = kTones[h >> 29];
    rgba[0] = t[0];
    rgba[1] = t[1];
    rgba[2] = t[2];
    rgba[3] = 1.0f;
}

// A shaded picture of the host's mesh. With facets, every corner gets its
// own point so that each polygon can carry its own colour (normals follow
// their vertices, so the shading stays the same).
bool WritePicture(const std::string& path, const khost::MeshSnapshot& m, const Options& o, std::string& error)
{
    const size_t nv = m.numVertices > 0 ? static_cast<size_t>(m.numVertices) : 0;
    if (m.points.size() < 3 * nv)
    {
        error = "the mesh's point array is short";
        return false;
    }
    const bool hasNormals = m.hasNormals && m.normals.size() >= 3 * nv;
    bool hasColors = m.hasColors && m.colors.size() >= 4 * nv;
    PreviewMesh pm;
    std::vector<float> points, normals, colors;
    std::vector<int32_t> indices;
    // Motion: the length of each vertex's vector on the ramp, from the
    // smallest to the largest length of the frame.
    std::vector<float> motionColors;
    float motionLo = 0.0f, motionHi = 0.0f;
    if (o.showMotion)
    {
        const khost::ColorSetSnapshot* motion = FindColorSet(m, o.motionSet);
        if (!motion || motion->colors.size() < 4 * nv)
        {
            error = "the output has no motion color set (set m_msMotionColorSet and load the motion vectors)";
            return false;
        }
        std::vector<float> length(nv);
        for (size_t i = 0; i < nv; ++i)
        {
            const float* c = &motion->colors[4 * i];
            length[i] = std::sqrt(c[0] * c[0] + c[1] * c[1] + c[2] * c[2]);
            if (!std::isfinite(length[i]))
                length[i] = 0.0f;
            motionLo = i == 0 ? length[i] : std::min(motionLo, length[i]);
            motionHi = i == 0 ? length[i] : std::max(motionHi, length[i]);
        }
        const float span = motionHi - motionLo;
        motionColors.resize(4 * nv);
        for (size_t i = 0; i < nv; ++i)
        {
            PreviewRamp(span > 0.0f ? (length[i] - motionLo) / span : 0.0f, &motionColors[4 * i]);
            motionColors[4 * i + 3] = 1.0f;
        }
        hasColors = false;
    }
    if (!o.facets || o.showMotion) // the motion colours are per vertex
    {
        pm.numPoints = static_cast<int64_t>(nv);
        pm.points = m.points.data();
        pm.numPolys = static_cast<int64_t>(m.counts.size());
        pm.polyCounts = m.counts.data();
        pm.numIndices = static_cast<int64_t>(m.connects.size());
        pm.polyIndices = m.connects.data();
        pm.normals = hasNormals ? m.normals.data() : nullptr;
        pm.colors = hasColors ? m.colors.data() : nullptr;
        if (o.showMotion)
            pm.colors = motionColors.data();
    }
    else
    {
        const size_t corners = m.connects.size();
        points.reserve(3 * corners);
        indices.reserve(corners);
        if (hasNormals)
            normals.reserve(3 * corners);
        colors.reserve(4 * corners);
        size_t node = 0;
        for (size_t p = 0; p < m.counts.size() && node < corners; ++p)
        {
            float rgba[4];
            FacetColor(p, rgba);
            const size_t count = m.counts[p] > 0 ? static_cast<size_t>(m.counts[p]) : 0;
            for (size_t k = 0; k < count && node < corners; ++k, ++node)
            {
                const int v = m.connects[node];
                const bool valid = v >= 0 && static_cast<size_t>(v) < nv;
                const size_t at = valid ? static_cast<size_t>(v) : 0;
                const float nan = std::numeric_limits<float>::quiet_NaN();
                for (int c = 0; c < 3; ++c)
                    points.push_back(valid ? m.points[3 * at + c] : nan); // NaN: the renderer skips it
                if (hasNormals)
                    for (int c = 0; c < 3; ++c)
                        normals.push_back(valid ? m.normals[3 * at + c] : 0.0f);
                colors.insert(colors.end(), rgba, rgba + 4);
                indices.push_back(static_cast<int32_t>(indices.size()));
            }
        }
        pm.numPoints = static_cast<int64_t>(indices.size());
        pm.points = points.data();
        pm.numPolys = static_cast<int64_t>(m.counts.size());
        pm.polyCounts = m.counts.data();
        pm.numIndices = static_cast<int64_t>(indices.size());
        pm.polyIndices = indices.data();
        pm.normals = hasNormals ? normals.data() : nullptr;
        pm.colors = colors.data();
    }
    PreviewView view;
    view.width = o.pngWidth;
    view.height = o.pngHeight;
    PreviewImage image;
    if (!RenderPreview(pm, view, &image, &error))
        return false;
    if (o.showMotion)
        DrawPreviewLegend(&image, motionLo, motionHi);
    return WritePreviewPng(image, path.c_str(), &error);
}
#endif

// Writes one frame's mesh; false (with a line on stderr) when the file
// cannot be written.
bool WriteMeshTo(const std::string& path, const std::string& shown, double frame, int status,
                 const std::vector<std::string>& infos, const std::vector<std::string>& errors,
                 const khost::MeshSnapshot& m, const Options& o, korvane::ProgressBar& bar);

// Writes one frame's mesh to a temporary name beside path and renames it into
// place, so that an interrupted run leaves no half file under path; false
// (with a line on stderr) when the file cannot be written.
bool WriteMesh(const std::string& path, double frame, int status, const std::vector<std::string>& infos,
               const std::vector<std::string>& errors, const khost::MeshSnapshot& m, const Options& o,
               korvane::ProgressBar& bar)
{
    std::filesystem::path target(path);
    std::filesystem::path temp = target;
    temp.replace_filename(target.stem().string() + ".korvane-part" + target.extension().string());
    const std::string tempPath = temp.string();
    std::error_code ec;
    if (!WriteMeshTo(tempPath, path, frame, status, infos, errors, m, o, bar))
    {
        std::filesystem::remove(temp, ec);
        return false;
    }
    std::filesystem::rename(temp, target, ec); // replaces an earlier output
    if (ec)
    {
        std::filesystem::remove(temp, ec);
        bar.Clear();
        std::fprintf(stderr, "korvane eval: cannot write '%s'\n", path.c_str());
        return false;
    }
    return true;
}

bool WriteMeshTo(const std::string& path, const std::string& shown, double frame, int status,
                 const std::vector<std::string>& infos, const std::vector<std::string>& errors,
                 const khost::MeshSnapshot& m, const Options& o, korvane::ProgressBar& bar)
{
    const bool isObj = EndsWith(path, ".obj");
    const bool isPly = EndsWith(path, ".ply");
    const bool isJson = EndsWith(path, ".json");
    const std::filesystem::path parent = std::filesystem::path(path).parent_path();
    if (!parent.empty())
    {
        std::error_code ignored; // a failure shows at the open below
        std::filesystem::create_directories(parent, ignored);
    }
#if defined(KORVANE_HAVE_PREVIEW)
    if (EndsWith(path, ".png"))
    {
        std::string error;
        if (!WritePicture(path, m, o, error))
        {
            bar.Clear();
            std::fprintf(stderr, "korvane eval: cannot write '%s': %s\n", shown.c_str(), error.c_str());
            return false;
        }
        return true;
    }
#else
    (void)o;
#endif
    FILE* f = std::fopen(path.c_str(), isPly ? "wb" : "w");
    if (!f)
    {
        const int openError = errno;
        bar.Clear();
        std::fprintf(stderr, "korvane eval: cannot write '%s': %s\n", shown.c_str(), std::strerror(openError));
        return false;
    }
    bool written = true;
    if (isObj || isPly)
    {
        std::string bytes;
        written = MeshFileBytes(m, isPly, o.motionSet, bytes) &&
                  std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    }
    else if (isJson)
    {
        const std::string json = FrameJson(frame, status, infos, errors, m, true);
        std::fprintf(f, "%s\n", json.c_str());
    }
    const bool ok = written && !std::ferror(f);
    if (std::fclose(f) != 0 || !ok)
    {
        bar.Clear();
        std::fprintf(stderr, "korvane eval: cannot write '%s'\n", shown.c_str());
        return false;
    }
    return true;
}

// Messages shown since the last call, split into info and error lines
// (warnings go with the errors: both belong on standard error).
void TakeLines(std::vector<std::string>& infos, std::vector<std::string>& errors)
{
    for (khost::Message& msg : khost::TakeMessages())
    {
        if (msg.kind == khost::MessageKind::kInfo)
            infos.push_back(std::move(msg.text));
        else
            errors.push_back(std::move(msg.text));
    }
}

// On when the host writes every line as it is shown (SetEcho): the lines
// then keep their order with the plug-in's own stderr lines and the summaries
// when stdout and stderr go to one file, and are not printed again here.
bool sEchoing = false;

void PrintLines(const std::vector<std::string>& infos, const std::vector<std::string>& errors)
{
    if (sEchoing)
        return;
    for (const std::string& s : infos)
        std::printf("%s\n", s.c_str());
    std::fflush(stdout);
    for (const std::string& s : errors)
        std::fprintf(stderr, "%s\n", s.c_str());
}

// The last node of type Korvane (the one the command made) and the mesh
// shape its outMesh drives.
bool FindNetwork(std::string& node, std::string& shape)
{
    node.clear();
    shape.clear();
    for (const khost::NodeInfo& n : khost::ListNodes())
        if (n.type == "Korvane")
            node = n.name;
    if (node.empty())
        return false;
    const std::string source = node + ".outMesh";
    for (const khost::Connection& c : khost::ListConnections())
        if (c.source == source)
        {
            const size_t dot = c.destination.find('.');
            shape = c.destination.substr(0, dot);
            break;
        }
    return !shape.empty();
}

} // namespace

int KorvaneEvalMain(int argc, char** argv)
{
    Options o;
    const int parsed = ParseOptions(argc, argv, o);
    if (parsed >= 0)
        return parsed;
    if (o.plugin.empty())
        o.plugin = DefaultPluginPath();

    // Lines are echoed as they are shown, except for --json (they go into the
    // objects), --help, and under the progress bar, which must be cleared
    // before a frame's lines.
    sEchoing = !o.json && !o.help && !(!o.quiet && korvane::StderrIsTerminal());
    khost::SetEcho(sEchoing);
    if (o.fps > 0.0 && !khost::SetFramesPerSecond(o.fps))
    {
        char text[64];
        std::snprintf(text, sizeof(text), "%g", o.fps);
        return UsageError("no scene time unit has the frame rate", text);
    }
    std::vector<std::string> infos, errors; // lines not yet reported

    // 1. The plug-in.
    const khost::PluginLoadResult load = khost::LoadPlugin(o.plugin);
    TakeLines(infos, errors);
    if (o.help)
    {
        std::fputs(kUsage, stdout);
        std::fputs(kHelp, stdout);
        if (load.loaded)
        {
            korvane::PrintInputs(stdout, "Korvane");
            khost::UnloadPlugin(load.name, true);
        }
        khost::TakeMessages();
        return 0;
    }
    if (!load.loaded)
    {
        PrintLines(infos, errors);
        std::fprintf(stderr, "korvane eval: cannot load the plug-in '%s': %s\n", o.plugin.c_str(),
                     load.error.c_str());
        return 1;
    }

    // 2. The node network.
    const std::string command = o.createArgs.empty() ? "KorvaneCreate" : "KorvaneCreate " + o.createArgs;
    const khost::CommandResult created = khost::Execute(command);
    TakeLines(infos, errors);
    std::string node, shape;
    if (created.status != khost::kSuccess || !FindNetwork(node, shape))
    {
        PrintLines(infos, errors);
        if (created.status != khost::kSuccess)
        {
            std::fprintf(stderr, "korvane eval: '%s' failed (%s)\n", command.c_str(),
                         khost::StatusName(created.status));
            return 1;
        }
        // -h and the like: the command ran and made nothing to evaluate.
        return 0;
    }

    // 3. Attributes.
    for (const auto& s : o.sets)
    {
        std::string attr = s.first, text = s.second;
        std::string error = korvane::ResolveSetting("Korvane", attr, text);
        if (!error.empty() || khost::SetAttr(node, attr, text, &error) != khost::kSuccess)
        {
            PrintLines(infos, errors);
            std::fprintf(stderr, "korvane eval: cannot set %s.%s to '%s': %s\n", node.c_str(),
                         s.first.c_str(), s.second.c_str(), error.c_str());
            std::fputs(kUsage, stderr);
            return 2;
        }
    }
    TakeLines(infos, errors);
    khost::GetAttrText(node, "m_msMotionColorSet", &o.motionSet);

    // 4. Frames: the listed ones, or once with the node's current index.
    std::vector<double> frames = o.frames;
    if (!o.hasFrames)
    {
        std::string text;
        double current = 0.0;
        if (khost::GetAttrText(node, "m_flIdxValue", &text))
            current = std::strtod(text.c_str(), nullptr);
        frames.push_back(current);
    }

    int exitCode = 0;
    std::vector<double> failedOut; // frames whose --out file was not written
    korvane::ProgressBar bar(!o.quiet && korvane::StderrIsTerminal(), static_cast<int64_t>(frames.size()));
#if defined(_WIN32)
    const bool stdoutIsTerminal = _isatty(_fileno(stdout)) != 0;
#else
    const bool stdoutIsTerminal = isatty(STDOUT_FILENO) != 0;
#endif
    for (size_t index = 0; index < frames.size(); ++index)
    {
        const double frame = frames[index];
        bar.Show(static_cast<int64_t>(index), frame);
        if (o.hasFrames && o.byTime)
            khost::SetCurrentTime(frame);
        else if (o.hasFrames)
        {
            std::string error;
            if (khost::SetAttrNumber(node, "m_flIdxValue", frame, &error) != khost::kSuccess)
            {
                bar.Clear();
                PrintLines(infos, errors);
                std::fprintf(stderr,
                             "korvane eval: cannot set %s.m_flIdxValue: %s (use --time when the scene time drives "
                             "it)\n",
                             node.c_str(), error.c_str());
                std::fputs(kUsage, stderr);
                khost::UnloadPlugin(load.name, true);
                return 2;
            }
        }
        const khost::EvalResult r = khost::Evaluate(shape, "inMesh");
        TakeLines(infos, errors);
        // The bar shares the terminal with what this frame prints.
        if (stdoutIsTerminal || (!o.json && (!errors.empty() || !r.error.empty())))
            bar.Clear();
        const int status = r.error.empty() ? r.status : khost::kFailure;
        if (status != khost::kSuccess)
            exitCode = 1;

        // A failed frame writes no file: an empty mesh on disk would pass for a
        // result. It is listed at the end.
        std::string written;
        if (!o.outPattern.empty())
        {
            written = OutputPath(o.outPattern, frame);
            if (status != khost::kSuccess)
            {
                failedOut.push_back(frame);
                written.clear();
            }
            else if (!WriteMesh(written, frame, status, infos, errors, r.mesh, o, bar))
            {
                exitCode = 1;
                failedOut.push_back(frame);
                written.clear();
            }
        }

        if (o.json)
        {
            const std::string line = FrameJson(frame, status, infos, errors, r.mesh, o.data);
            std::printf("%s\n", line.c_str());
        }
        else
        {
            PrintLines(infos, errors);
            if (!r.error.empty())
                std::fprintf(stderr, "korvane eval: %s\n", r.error.c_str());
            std::printf("frame %g: %s, %d vertices, %d polygons, %lld nodes%s%s\n", frame,
                        khost::StatusName(status), r.mesh.numVertices, r.mesh.numPolygons,
                        static_cast<long long>(NodeCount(r.mesh)), written.empty() ? "" : " -> ",
                        written.c_str());
        }
        std::fflush(stdout);
        infos.clear();
        errors.clear();
    }
    bar.Clear();
    if (!failedOut.empty())
    {
        std::string list;
        char buf[64];
        for (size_t i = 0; i < failedOut.size(); ++i)
        {
            std::snprintf(buf, sizeof buf, "%s%g", i ? ", " : "", failedOut[i]);
            list += buf;
        }
        std::fprintf(stderr, "korvane eval: %zu frame%s failed, no file written: %s\n", failedOut.size(),
                     failedOut.size() == 1 ? "" : "s", list.c_str());
    }

    khost::UnloadPlugin(load.name, true);
    khost::TakeMessages();
    return exitCode;
}

#endif // __has_include("korvane/HeadlessHost.h")
