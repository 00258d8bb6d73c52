// korvane info FILE [load options] [--json [--data]]
//
// Loads one cache file with LoadFromFile and describes the result: a short
// summary for people, or one JSON object for scripts. Exit status 0 when the
// load succeeded, 1 when it failed, 2 for a usage error.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>

#include "KorvaneJson.h"
#include "errors/ZNQError.h"
#include "formats/ZNQFormats.h"
#include "geometry/ZNQGeometry.h"

namespace {

const char* kInfoUsage = "usage: korvane info FILE [--normals] [--motions] [--colors] [--uvws] [--all] "
                         "[--groups NAMES] [--invert-groups] [--json [--data]]";

struct InfoArgs
{
    const char* path = nullptr;
    bool normals = false, motions = false, colors = false, uvws = false;
    const char* groups = nullptr;
    bool invertGroups = false;
    bool json = false, data = false;
};

int UsageError(const char* what, const char* arg)
{
    // One line: what went wrong, then how to call.
    std::fprintf(stderr, "korvane info: %s%s%s; %s\n", what, arg ? " " : "", arg ? arg : "", kInfoUsage);
    return 2;
}

// 0 parsed, 1 help shown, 2 usage error (reported).
int ParseArgs(int argc, char** argv, InfoArgs& a)
{
    for (int i = 1; i < argc; ++i)
    {
        const char* s = argv[i];
        if (!std::strcmp(s, "-h") || !std::strcmp(s, "--help"))
        {
            std::printf("%s\n", kInfoUsage);
            return 1;
        }
        if (!std::strcmp(s, "--normals"))
            a.normals = true;
        else if (!std::strcmp(s, "--motions"))
            a.motions = true;
        else if (!std::strcmp(s, "--colors"))
            a.colors = true;
        else if (!std::strcmp(s, "--uvws"))
            a.uvws = true;
        else if (!std::strcmp(s, "--all"))
            a.normals = a.motions = a.colors = a.uvws = true;
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

void PrintJson(const InfoArgs& a, ZNQGeometry& g, int32_t rc, double loadMs)
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

void PrintHuman(const InfoArgs& a, ZNQGeometry& g, double loadMs)
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
    std::printf("normals:   %s\n", g._nodeNrm ? "yes" : "no");
    std::printf("motions:   %s\n", g._vertMotion ? "yes" : "no");
    std::printf("colors:    %s\n", g._nodeCol ? "yes" : "no");
    std::printf("uvws:      %s\n", g._nodeUvw ? "yes" : "no");
    std::printf("memory:    %lld bytes peak\n", static_cast<long long>(g._memPeak));
    std::printf("load time: %.3f ms\n", loadMs);
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

    ZNQGeometry g;
    g.Init(0);
    const auto t0 = std::chrono::steady_clock::now();
    const int32_t rc = LoadFromFile(g, a.path, a.normals, a.motions, a.colors, a.uvws, nullptr, nullptr, nullptr,
                                    a.groups, a.invertGroups);
    const double loadMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();

    if (a.json)
        PrintJson(a, g, rc, loadMs);
    else if (rc)
    {
        char msg[kZNQErrorMessageMaxLen];
        std::fprintf(stderr, "%s\n", ZNQErrorMessage(rc, msg, true, nullptr));
    }
    else
        PrintHuman(a, g, loadMs);
    g.Clear();
    return rc ? 1 : 0;
}
