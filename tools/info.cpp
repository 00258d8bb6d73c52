// korvane info FILE [load options] [--json [--data]] [--png PICTURE]
// korvane info PATTERN [load options] [--frames A-B] [--json] [--quiet]
//
// Loads one cache file with LoadFromFile and describes the result: a short
// summary for people, or one JSON object for scripts. Exit status 0 when the
// load succeeded, 1 when it failed, 2 for a usage error.
//
// Given a file name with a '#' run (and no file of that literal name), it
// checks the whole sequence instead: every file of the directory that the
// node would read for some frame, gaps, load failures, the range of vertex
// and polygon counts and which optional data every frame carries. Exit
// status 1 when a frame fails to load, frames are missing or no file
// matches. This is the check to run before a shot goes to the farm.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <string>
#include <system_error>
#include <vector>

#include "KorvaneArgs.h"
#include "KorvaneJson.h"
#include "KorvaneProgress.h"
#include "KorvaneSequence.h"
#include "errors/ZNQError.h"
#include "formats/ZNQFormats.h"
#include "geometry/ZNQGeometry.h"

#if defined(KORVANE_HAVE_PREVIEW)
#include "KorvanePreview.h"
#endif

namespace {

const char* kInfoUsage = "usage: korvane info FILE|PATTERN [--normals] [--motions] [--colors] [--uvws] [--all] "
                         "[--groups NAMES] [--invert-groups] [--json [--data]] [--png PICTURE [--size WxH]] "
                         "[--frames A-B] [--quiet]";

const char* kInfoHelp =
    "usage: korvane info FILE [load options] [--json [--data]] [--png PICTURE [--size WxH]]\n"
    "       korvane info PATTERN [load options] [--frames A-B] [--json] [--quiet]\n"
    "\n"
    "Loads FILE and describes it: counts, polygon classes, bounding box, optional data, memory, load time.\n"
    "\n"
    "Load options (a single FILE loads none of the optional data unless asked):\n"
    "  --normals --motions --colors --uvws   load that item      --all   all four\n"
    "  --groups NAMES    .obj group filter, e.g. \"grp1;grp2;\"      --invert-groups   invert it\n"
    "Output:\n"
    "  --json            one JSON object on standard output; --data adds the arrays\n"
    "  --png PICTURE     a shaded picture of the loaded mesh (--size WxH, default 800x600)\n"
    "\n"
    "Sequence check: a PATTERN is a file name whose first '#' run stands for the frame number,\n"
    "e.g. cache/File.####.znq. Every file of the directory that the node reads for some frame is\n"
    "loaded: the frame written with at least as many digits as the run has '#', zero-padded, the\n"
    "minus sign of a negative frame counting toward the width (File.0007, File.12345, File.-007;\n"
    "not File.007 or File.00012345). Names are compared exactly, case included.\n"
    "Without load options the sequence check loads all four optional data (as --all).\n"
    "  --frames A-B      the frames the shot needs: others are ignored, absent ones are missing\n"
    "  --quiet           no progress bar (it is drawn only when standard error is a terminal)\n"
    "It reports first and last frame, missing frames, frames that fail to load with their\n"
    "message, the smallest and largest vertex and polygon counts and which optional data are\n"
    "missing in which frames. With --json, one object with the keys: pattern, directory, first,\n"
    "last, numFiles, numLoaded, numMissing, missing ([[from,to],...]), numFailed, failed\n"
    "([{frame,path,error,message},...]), numVert and numPoly ({min,minFrame,max,maxFrame} or null),\n"
    "load ({normals,motions,colors,uvws}: asked for), has (same keys: present in every loaded\n"
    "frame), lacking (same keys: frames without it, null when not asked for), loadMs, ok.\n"
    "Exit status: 0 all frames load and none is missing; 1 a frame fails to load, frames are\n"
    "missing or no file matches (a frame lacking optional data is reported, not a failure);\n"
    "2 usage error.\n";

struct InfoArgs
{
    const char* path = nullptr;
    bool normals = false, motions = false, colors = false, uvws = false;
    const char* groups = nullptr;
    bool invertGroups = false;
    bool json = false, data = false;
    bool anyLoadOption = false; // one of --normals/--motions/--colors/--uvws/--all given
    const char* png = nullptr;
    int pngWidth = 800, pngHeight = 600;
    bool hasFrames = false;
    long long frameFrom = 0, frameTo = 0;
    bool quiet = false;
};

int UsageError(const char* what, const char* arg)
{
    // One line: what went wrong, then how to call.
    std::fprintf(stderr, "korvane info: %s%s%s; %s\n", what, arg ? " " : "", arg ? arg : "", kInfoUsage);
    return 2;
}

// One whole number of the 32-bit frame range from [s, end); null on failure,
// else the position after it.
const char* ParseFrameNumber(const char* s, long long& value)
{
    const char* p = s;
    if (*p == '-' || *p == '+')
        ++p;
    if (*p < '0' || *p > '9')
        return nullptr;
    errno = 0;
    char* end = nullptr;
    value = std::strtoll(s, &end, 10);
    if (errno == ERANGE || value < INT_MIN || value > INT_MAX)
        return nullptr;
    return end;
}

// "A" or "A-B" with A <= B; negative frames allowed ("-10--1").
bool ParseFrameRange(const char* text, long long& from, long long& to)
{
    const char* p = ParseFrameNumber(text, from);
    if (!p)
        return false;
    to = from;
    if (*p == '-')
        p = ParseFrameNumber(p + 1, to);
    return p && *p == '\0' && from <= to;
}

// 0 parsed, 1 help shown, 2 usage error (reported).
int ParseArgs(int argc, char** argv, InfoArgs& a)
{
    for (int i = 1; i < argc; ++i)
    {
        const char* s = argv[i];
        if (!std::strcmp(s, "-h") || !std::strcmp(s, "--help"))
        {
            std::fputs(kInfoHelp, stdout);
            return 1;
        }
        if (!std::strcmp(s, "--normals"))
            a.normals = a.anyLoadOption = true;
        else if (!std::strcmp(s, "--motions"))
            a.motions = a.anyLoadOption = true;
        else if (!std::strcmp(s, "--colors"))
            a.colors = a.anyLoadOption = true;
        else if (!std::strcmp(s, "--uvws"))
            a.uvws = a.anyLoadOption = true;
        else if (!std::strcmp(s, "--all"))
            a.normals = a.motions = a.colors = a.uvws = a.anyLoadOption = true;
        else if (!std::strcmp(s, "--quiet"))
            a.quiet = true;
        else if (!std::strcmp(s, "--png"))
        {
            if (i + 1 >= argc)
                return UsageError("missing argument of", s);
            a.png = argv[++i];
        }
        else if (!std::strcmp(s, "--size"))
        {
            if (i + 1 >= argc)
                return UsageError("missing argument of", s);
            if (!ParseSize(argv[++i], a.pngWidth, a.pngHeight))
                return UsageError((PictureSizeError() + ":").c_str(), argv[i]);
        }
        else if (!std::strcmp(s, "--frames"))
        {
            if (i + 1 >= argc)
                return UsageError("missing argument of", s);
            if (!ParseFrameRange(argv[++i], a.frameFrom, a.frameTo))
                return UsageError("bad frame range (whole frames A-B or A):", argv[i]);
            a.hasFrames = true;
        }
        else if (!std::strcmp(s, "--invert-groups"))
            a.invertGroups = true;
        else if (!std::strcmp(s, "--json"))
            a.json = true;
        else if (!std::strcmp(s, "--data"))
            a.data = true;
        else if (!std::strcmp(s, "--groups"))
        {
            if (i + 1 >= argc)
                return UsageError("missing argument of", s);
            a.groups = argv[++i];
        }
        else if (s[0] == '-' && s[1] != '\0')
            return UsageError("unknown option", s);
        else if (a.path)
            return UsageError("more than one file:", s);
        else
            a.path = s;
    }
    if (!a.path)
        return UsageError("missing FILE", nullptr);
    if (a.data && !a.json)
        return UsageError("--data needs --json", nullptr);
    return 0;
}

struct Summary
{
    int64_t numNodes = 0;
    int32_t tris = 0, quads = 0, fivePlus = 0, twoMinus = 0;
    bool hasBox = false;
    float lo[3], hi[3];
};

Summary Describe(ZNQGeometry& g)
{
    Summary s;
    s.numNodes = g.NumNodes();
    if (g._vertPos && g._numVert > 0)
    {
        s.tris = g._DynGetNumPolyTris();
        s.quads = g._DynGetNumPolyQuads();
        s.fivePlus = g._DynGetNumPolyFivePlus();
        s.twoMinus = g._DynGetNumPolyTwoMinus();
        // NaN never wins a comparison, so it stays out of the box.
        for (int c = 0; c < 3; ++c)
        {
            s.lo[c] = std::numeric_limits<float>::infinity();
            s.hi[c] = -std::numeric_limits<float>::infinity();
        }
        for (int32_t v = 0; v < g._numVert; ++v)
        {
            const float* p = &g._vertPos[v].x;
            for (int c = 0; c < 3; ++c)
            {
                if (p[c] < s.lo[c])
                    s.lo[c] = p[c];
                if (p[c] > s.hi[c])
                    s.hi[c] = p[c];
            }
        }
        s.hasBox = true;
    }
    return s;
}

void PrintJson(const InfoArgs& a, ZNQGeometry& g, int32_t rc, double loadMs, const ZNQLoadPlace& place)
{
    using namespace korvane;
    const Summary s = Describe(g);
    std::string out;
    char buf[64];
    out += "{\"path\":";
    JsonString(out, a.path);
    std::snprintf(buf, sizeof(buf), ",\"error\":%d,\"message\":", rc);
    out += buf;
    JsonString(out, ZNQErrorText(rc));
    if (rc && place.Known())
    {
        // Where and why the load failed, when the reader knows.
        char where[96];
        PlaceWhere(place, where, sizeof(where));
        if (where[0])
        {
            out += ",\"where\":";
            JsonString(out, where);
        }
        if (place.reason[0])
        {
            out += ",\"reason\":";
            JsonString(out, place.reason);
        }
    }
    std::snprintf(buf, sizeof(buf), ",\"numVert\":%d,\"numPoly\":%d,\"numNodes\":%lld", g._numVert, g._numPoly,
                  static_cast<long long>(s.numNodes));
    out += buf;
    std::snprintf(buf, sizeof(buf), ",\"tris\":%d,\"quads\":%d,\"fivePlus\":%d,\"twoMinus\":%d", s.tris, s.quads,
                  s.fivePlus, s.twoMinus);
    out += buf;
    out += ",\"has\":{\"normals\":";
    out += g._nodeNrm ? "true" : "false";
    out += ",\"motions\":";
    out += g._vertMotion ? "true" : "false";
    out += ",\"colors\":";
    out += g._nodeCol ? "true" : "false";
    out += ",\"uvws\":";
    out += g._nodeUvw ? "true" : "false";
    out += "},\"bbox\":";
    if (s.hasBox)
    {
        out += '[';
        JsonFloats(out, s.lo, 3);
        out += ',';
        JsonFloats(out, s.hi, 3);
        out += ']';
    }
    else
        out += "null";
    std::snprintf(buf, sizeof(buf), ",\"memPeak\":%lld,\"loadMs\":", static_cast<long long>(g._memPeak));
    out += buf;
    std::snprintf(buf, sizeof(buf), "%.3f", loadMs);
    out += buf;
    if (a.data)
    {
        const bool hasVerts = g._vertPos && g._numVert > 0;
        const bool hasPolys = g._polyNumVert && g._numPoly > 0;
        out += ",\"vertPos\":";
        if (hasVerts)
            JsonTuples(out, &g._vertPos[0].x, g._numVert, 3);
        else
            out += "[]";
        out += ",\"vertMotion\":";
        JsonTuples(out, g._vertMotion ? &g._vertMotion[0].x : nullptr, g._numVert, 3);
        out += ",\"polyNumVert\":";
        if (hasPolys)
            JsonBytesAsInts(out, g._polyNumVert, g._numPoly);
        else
            out += "[]";
        out += ",\"polyVInd\":";
        if (hasPolys && g._polyVInd)
            JsonInts(out, g._polyVInd, s.numNodes);
        else
            out += "[]";
        out += ",\"nodeNrm\":";
        JsonTuples(out, g._nodeNrm ? &g._nodeNrm[0].x : nullptr, s.numNodes, 3);
        out += ",\"nodeUvw\":";
        JsonTuples(out, g._nodeUvw ? &g._nodeUvw[0].x : nullptr, s.numNodes, 3);
        out += ",\"nodeCol\":";
        JsonTuples(out, g._nodeCol ? &g._nodeCol[0].x : nullptr, s.numNodes, 4);
    }
    out += "}\n";
    std::fwrite(out.data(), 1, out.size(), stdout);
}

void PrintFloat3(const char* label, const float* v)
{
    std::string t;
    korvane::JsonFloats(t, v, 3);
    std::printf("%s%s\n", label, t.c_str());
}

void PrintHuman(const InfoArgs& a, ZNQGeometry& g, double loadMs, const bool carried[4])
{
    const Summary s = Describe(g);
    std::printf("file:      %s\n", a.path);
    std::printf("vertices:  %d\n", g._numVert);
    std::printf("polygons:  %d (triangles %d, quads %d, 5+ corners %d, 2- corners %d)\n", g._numPoly, s.tris,
                s.quads, s.fivePlus, s.twoMinus);
    std::printf("nodes:     %lld\n", static_cast<long long>(s.numNodes));
    if (s.hasBox)
    {
        PrintFloat3("bbox min:  ", s.lo);
        PrintFloat3("bbox max:  ", s.hi);
    }
    else
        std::printf("bbox:      none\n");
    // An item not asked for that the file carries says so, with the option
    // that loads it.
    const bool has[4] = {g._nodeNrm != nullptr, g._vertMotion != nullptr, g._nodeCol != nullptr,
                         g._nodeUvw != nullptr};
    const bool asked[4] = {a.normals, a.motions, a.colors, a.uvws};
    for (int k = 0; k < 4; ++k)
    {
        const std::string label = std::string(korvane::kItemNames[k]) + ":";
        if (!has[k] && !asked[k] && carried[k])
            std::printf("%-10s in file, not loaded (--%s)\n", label.c_str(), korvane::kItemNames[k]);
        else
            std::printf("%-10s %s\n", label.c_str(), has[k] ? "yes" : "no");
    }
    std::printf("memory:    %lld bytes peak\n", static_cast<long long>(g._memPeak));
    std::printf("load time: %.3f ms\n", loadMs);
}


// ---------------------------------------------------------------------------
// Picture of a loaded geometry.

// 0 written, 1 failed (reported).
int WritePicture(const InfoArgs& a, ZNQGeometry& g)
{
#if defined(KORVANE_HAVE_PREVIEW)
    PreviewMesh m;
    if (g._vertPos && g._numVert > 0)
    {
        m.numPoints = g._numVert;
        m.points = &g._vertPos[0].x;
        if (g._polyNumVert && g._polyVInd)
        {
            m.numPolys = g._numPoly;
            m.polyCountsU8 = g._polyNumVert;
            m.numIndices = g.NumNodes();
            m.polyIndices = g._polyVInd;
        }
        // Smooth shading and colours from the per-vertex means, as the host
        // gets them; without them the picture is flat-shaded clay.
        const float3* n = g._nodeNrm ? g._DynGetVertNrm() : nullptr;
        const float4* c = g._nodeCol ? g._DynGetVertCol() : nullptr;
        m.normals = n ? &n[0].x : nullptr;
        m.colors = c ? &c[0].x : nullptr;
    }
    std::string error;
    if (!RenderPreviewPng(m, a.png, a.pngWidth, a.pngHeight, &error))
    {
        std::fprintf(stderr, "korvane info: cannot write the picture '%s': %s\n", a.png, error.c_str());
        return 1;
    }
    return 0;
#else
    (void)g;
    std::fprintf(stderr, "korvane info: cannot write the picture '%s': PNG output is not part of this build\n",
                 a.png);
    return 1;
#endif
}

// ---------------------------------------------------------------------------
// Sequence check (the check itself lives in KorvaneSequence.cpp).

using korvane::FramePattern;
using korvane::kItemNames;
using korvane::SeqReport;
using korvane::SplitPattern;


// "3, 5-9, 12" for at most `limit` entries, then "... (N more)".
template <typename Entries, typename Format>
std::string JoinLimited(const Entries& entries, size_t limit, Format format)
{
    std::string out;
    size_t shown = 0;
    for (const auto& e : entries)
    {
        if (shown == limit)
        {
            out += ", ... (" + std::to_string(entries.size() - limit) + " more)";
            break;
        }
        if (shown++)
            out += ", ";
        out += format(e);
    }
    return out;
}

std::string RangeText(const std::pair<int64_t, int64_t>& range)
{
    if (range.first == range.second)
        return std::to_string(range.first);
    return std::to_string(range.first) + "-" + std::to_string(range.second);
}

void PrintSequenceHuman(const InfoArgs& a, const SeqReport& r)
{
    std::printf("sequence:  %s\n", a.path);
    if (r.files.empty())
    {
        if (a.hasFrames)
            std::printf("frames:    no file matches in frames %lld-%lld\n", a.frameFrom, a.frameTo);
        else
            std::printf("frames:    no file matches\n");
        const std::string hint = korvane::PatternHint(r.pattern);
        if (!hint.empty())
            std::printf("hint:      %s\n", hint.c_str());
    }
    else
    {
        std::printf("frames:    %zu files, %d to %d\n", r.files.size(), r.files.front().frame,
                    r.files.back().frame);
        const std::string create = korvane::CreateLine(r);
        if (create.empty())
            std::printf("create:    no KorvaneCreate -f line fits (it reads the frame from the last digits of a name)\n");
        else
            std::printf("create:    %s\n", create.c_str());
    }
    if (a.hasFrames)
        std::printf("range:     %lld-%lld (%lld frames)\n", a.frameFrom, a.frameTo, a.frameTo - a.frameFrom + 1);
    if (r.numMissing)
        std::printf("missing:   %lld frame%s: %s\n", static_cast<long long>(r.numMissing),
                    r.numMissing == 1 ? "" : "s", JoinLimited(r.missing, 20, RangeText).c_str());
    else
        std::printf("missing:   none\n");
    if (r.failed.empty())
        std::printf("failed:    none\n");
    else
    {
        std::printf("failed:    %zu frame%s\n", r.failed.size(), r.failed.size() == 1 ? "" : "s");
        const size_t limit = 50;
        for (size_t i = 0; i < r.failed.size() && i < limit; ++i)
        {
            char msg[kZNQErrorMessageMaxLen];
            std::printf("  frame %d: %s (%s)\n", r.failed[i].frame,
                        ZNQErrorMessage(r.failed[i].error, msg, true, nullptr), r.failed[i].path.c_str());
        }
        if (r.failed.size() > limit)
            std::printf("  ... and %zu more\n", r.failed.size() - limit);
    }
    if (r.verts.any)
    {
        std::printf("vertices:  min %lld (frame %d), max %lld (frame %d)\n", static_cast<long long>(r.verts.min),
                    r.verts.minFrame, static_cast<long long>(r.verts.max), r.verts.maxFrame);
        std::printf("polygons:  min %lld (frame %d), max %lld (frame %d)\n", static_cast<long long>(r.polys.min),
                    r.polys.minFrame, static_cast<long long>(r.polys.max), r.polys.maxFrame);
    }
    for (int k = 0; k < 4; ++k)
    {
        const std::string label = std::string(kItemNames[k]) + ":";
        if (!r.asked[k])
            std::printf("%-10s not loaded\n", label.c_str());
        else if (r.numLoaded == 0)
            std::printf("%-10s no frame loaded\n", label.c_str());
        else if (r.lacking[k].empty())
            std::printf("%-10s in every frame\n", label.c_str());
        else if (static_cast<int64_t>(r.lacking[k].size()) == r.numLoaded)
            std::printf("%-10s in no frame\n", label.c_str());
        else
            std::printf("%-10s missing in %zu of %lld frames: %s\n", label.c_str(), r.lacking[k].size(),
                        static_cast<long long>(r.numLoaded),
                        JoinLimited(r.lacking[k], 20, [](int32_t f) { return std::to_string(f); }).c_str());
    }
    std::printf("load time: %.3f ms (%.3f ms per frame)\n", r.loadMs,
                r.files.empty() ? 0.0 : r.loadMs / static_cast<double>(r.files.size()));
    if (r.Ok())
        std::printf("result:    OK\n");
    else
    {
        std::string why;
        if (r.files.empty())
            why = "no file matches";
        if (r.numMissing)
            why += (why.empty() ? "" : ", ") + std::to_string(r.numMissing) + " missing frame" +
                   (r.numMissing == 1 ? "" : "s");
        if (!r.failed.empty())
            why += (why.empty() ? "" : ", ") + std::to_string(r.failed.size()) + " frame" +
                   (r.failed.size() == 1 ? "" : "s") + " failed to load";
        std::printf("result:    FAILED: %s\n", why.c_str());
    }
}

int CheckSequence(const InfoArgs& a, const FramePattern& pattern)
{
    korvane::SequenceOptions options;
    options.normals = a.normals;
    options.motions = a.motions;
    options.colors = a.colors;
    options.uvws = a.uvws;
    options.groups = a.groups;
    options.invertGroups = a.invertGroups;
    options.hasFrames = a.hasFrames;
    options.frameFrom = a.frameFrom;
    options.frameTo = a.frameTo;
    options.progress = !a.quiet && korvane::StderrIsTerminal();
    SeqReport r;
    std::string error;
    if (!korvane::CheckSequence(pattern, options, r, error))
    {
        std::fprintf(stderr, "korvane info: %s\n", error.c_str());
        return 1;
    }
    if (a.json)
    {
        const std::string out = korvane::SequenceJson(a.path, r);
        std::fwrite(out.data(), 1, out.size(), stdout);
    }
    else
        PrintSequenceHuman(a, r);
    std::fflush(stdout);
    return r.Ok() ? 0 : 1;
}

} // namespace

int KorvaneInfoMain(int argc, char** argv)
{
    InfoArgs a;
    const int parsed = ParseArgs(argc, argv, a);
    if (parsed == 1)
        return 0;
    if (parsed)
        return 2;

    // A '#' run in the file name makes a sequence check, unless a file of
    // that very name exists (then that file is what was meant).
    FramePattern pattern;
    if (SplitPattern(a.path, pattern) && !FileExists(a.path))
    {
        if (a.data)
            return UsageError("--data is not available for a sequence", nullptr);
        if (a.png)
            return UsageError("--png needs a single FILE, not a sequence", nullptr);
        return CheckSequence(a, pattern);
    }
    if (a.hasFrames)
        return UsageError("--frames needs a PATTERN with a '#' run, got", a.path);

    ZNQGeometry g;
    g.Init(0);
    const auto t0 = std::chrono::steady_clock::now();
    ZNQLoadPlace place;
    const int32_t rc = LoadFromFile(g, a.path, a.normals, a.motions, a.colors, a.uvws, nullptr, nullptr, nullptr,
                                    a.groups, a.invertGroups, &place);
    const double loadMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();

    if (a.json)
        PrintJson(a, g, rc, loadMs, place);
    else if (rc)
    {
        char msg[kZNQErrorMessageMaxLen];
        std::fprintf(stderr, "%s\n", ZNQErrorMessage(rc, msg, true, nullptr));
        char detail[320];
        if (PlaceFormat(place, detail, sizeof(detail)) > 0)
            std::fprintf(stderr, "%s\n", detail);
    }
    else
    {
        // What the file carries beyond what was asked: one more load with
        // every item on (not timed; a file that fails so says nothing).
        bool carried[4] = {false, false, false, false};
        if (!(a.normals && a.motions && a.colors && a.uvws))
        {
            ZNQGeometry all;
            all.Init(0);
            if (LoadFromFile(all, a.path, true, true, true, true, nullptr, nullptr, nullptr, a.groups,
                             a.invertGroups) == 0)
            {
                carried[0] = all._nodeNrm != nullptr;
                carried[1] = all._vertMotion != nullptr;
                carried[2] = all._nodeCol != nullptr;
                carried[3] = all._nodeUvw != nullptr;
            }
            all.Clear();
        }
        PrintHuman(a, g, loadMs, carried);
    }
    int status = rc ? 1 : 0;
    if (!rc && a.png)
    {
        std::fflush(stdout);
        status = WritePicture(a, g);
    }
    g.Clear();
    return status;
}
