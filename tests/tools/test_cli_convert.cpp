// korvane convert: reading the output back gives what reading the input
// gives, for every input format x every output format, except for what the
// output format cannot hold, which the outcome names; and the command line
// around it (patterns, failed frames, inputs never written, no half files).
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "CliRun.h"
#include "KorvaneConvert.h"
#include "WriteDrs2.h"
#include "WriteObj.h"
#include "WriteRealFlowBin.h"
#include "WriteZnq.h"
#include "formats/ZNQFormats.h"

using clitest::CliRun;
using clitest::Has;
using korvane::ConvertOutcome;

namespace {

// Two triangles sharing an edge, every item set, per-node values the same
// for all nodes of a vertex (so per-vertex formats can hold them).
void MakeMesh(ZNQGeometry& g)
{
    g.Clear();
    const float pos[4][3] = {{0.1f, 0.2f, 0.3f}, {1.7f, -0.25f, 3e-5f}, {-2.5f, 1.0f / 3.0f, 7.0f}, {4, 5, 6}};
    const int32_t vind[6] = {0, 1, 2, 2, 1, 3};
    g._numVert = 4;
    g._numPoly = 2;
    g._vertPos = g._MemAllocArr<float3>(4, false);
    g._vertMotion = g._MemAllocArr<float3>(4, false);
    g._polyNumVert = g._MemAllocArr<uint8_t>(2, false);
    g._polyVInd = g._MemAllocArr<int32_t>(6, false);
    g._nodeNrm = g._MemAllocArr<float3>(6, false);
    g._nodeUvw = g._MemAllocArr<float3>(6, false);
    g._nodeCol = g._MemAllocArr<float4>(6, false);
    for (int v = 0; v < 4; ++v)
    {
        g._vertPos[v] = float3{pos[v][0], pos[v][1], pos[v][2]};
        g._vertMotion[v] = float3{0.1f * v, -0.3f, 1.0f / (v + 3)};
    }
    g._polyNumVert[0] = g._polyNumVert[1] = 3;
    for (int k = 0; k < 6; ++k)
    {
        const int v = vind[k];
        g._polyVInd[k] = v;
        g._nodeNrm[k] = float3{0.6f, 0.0f, 0.8f + 0.01f * v};
        g._nodeUvw[k] = float3{0.25f * v, 1.0f / (v + 7), 0.0f};
        g._nodeCol[k] = float4{0.1f * v, 0.5f, 1.0f / 3.0f, 1.0f};
    }
}

std::string Dir()
{
    static const std::string d = clitest::ScratchDir("cli_convert");
    return d;
}

struct Format
{
    const char* name;
    const char* ext;
    bool ascii;
};
const Format kFormats[] = {
    {"znq", ".znq", false},  {"drs2 binary", ".drs2", false}, {"drs2 ascii", ".drs2", true},
    {"bin", ".bin", false},  {"obj", ".obj", false},
};

bool WriteInput(const ZNQGeometry& g, const Format& f, const std::string& path)
{
    const std::string ext = f.ext;
    if (ext == ".znq")
        return WriteZnq(g, path.c_str());
    if (ext == ".drs2")
    {
        Drs2WriteOptions o;
        o.binary = !f.ascii;
        return WriteDrs2(g, path.c_str(), o);
    }
    if (ext == ".bin")
        return WriteRealFlowBin(g, path.c_str(), RealFlowBinWriteOptions()) == 0;
    return WriteObj(g, path.c_str(), ObjWriteOptions()) == 0;
}

int32_t LoadAll(ZNQGeometry& g, const std::string& path)
{
    return LoadFromFile(g, path.c_str(), true, true, true, true, nullptr, nullptr, nullptr, nullptr, false);
}

template <typename T>
bool SameArray(const T* a, const T* b, int64_t n)
{
    if (!a || !b)
        return a == b;
    return n <= 0 || std::memcmp(a, b, static_cast<size_t>(n) * sizeof(T)) == 0;
}

} // namespace

TEST(ConvertCore, EveryInputToEveryOutputReadsBackTheSame)
{
    ZNQGeometry mesh;
    mesh.Init(0);
    MakeMesh(mesh);
    for (const Format& in : kFormats)
        for (const Format& out : kFormats)
        {
            const std::string tag = std::string(in.name) + " -> " + out.name;
            const std::string inPath = Dir() + "/in_" + std::to_string(&in - kFormats) + in.ext;
            const std::string outPath = Dir() + "/out_" + std::to_string(&in - kFormats) + "_" +
                                        std::to_string(&out - kFormats) + out.ext;
            ASSERT_TRUE(WriteInput(mesh, in, inPath)) << tag;
            ZNQGeometry a, b;
            a.Init(0);
            b.Init(0);
            ASSERT_EQ(LoadAll(a, inPath), 0) << tag;

            korvane::ConvertRequest r;
            r.input = inPath;
            r.output = outPath;
            r.normals = r.motions = r.colors = r.uvws = true;
            r.ascii = out.ascii;
            const ConvertOutcome o = korvane::ConvertFile(r);
            ASSERT_EQ(o.status, ConvertOutcome::kOk) << tag << ": " << o.message;
            ASSERT_EQ(LoadAll(b, outPath), 0) << tag;

            // Positions and polygons always survive bit-exactly.
            ASSERT_EQ(a._numVert, b._numVert) << tag;
            ASSERT_EQ(a._numPoly, b._numPoly) << tag;
            const int64_t nodes = a.NumNodes();
            EXPECT_TRUE(SameArray(a._vertPos, b._vertPos, a._numVert)) << tag;
            EXPECT_TRUE(SameArray(a._polyNumVert, b._polyNumVert, a._numPoly)) << tag;
            EXPECT_TRUE(SameArray(a._polyVInd, b._polyVInd, nodes)) << tag;
            // Every item the input gave is either back bit-exactly or named.
            struct Item
            {
                const char* name;
                bool inA, inB, same;
            };
            const Item items[] = {
                {"normals", a._nodeNrm != nullptr, b._nodeNrm != nullptr, SameArray(a._nodeNrm, b._nodeNrm, nodes)},
                {"motions", a._vertMotion != nullptr, b._vertMotion != nullptr,
                 SameArray(a._vertMotion, b._vertMotion, a._numVert)},
                {"colors", a._nodeCol != nullptr, b._nodeCol != nullptr, SameArray(a._nodeCol, b._nodeCol, nodes)},
                {"uvws", a._nodeUvw != nullptr, b._nodeUvw != nullptr, SameArray(a._nodeUvw, b._nodeUvw, nodes)},
            };
            for (const Item& it : items)
            {
                if (!it.inA)
                    continue;
                if (Has(o.dropped, it.name))
                {
                    EXPECT_FALSE(it.inB) << tag << ": " << it.name << " named as dropped";
                }
                else if (!Has(o.changed, it.name))
                {
                    EXPECT_TRUE(it.inB && it.same) << tag << ": " << it.name << " not named, not kept";
                }
            }
            a.Clear();
            b.Clear();
        }
    mesh.Clear();
}

TEST(ConvertCore, WhatEachTargetCannotHoldIsNamed)
{
    ZNQGeometry mesh;
    mesh.Init(0);
    MakeMesh(mesh);
    // Per-node values that differ around a vertex, and non-half values.
    mesh._nodeNrm[3] = float3{0.0f, 1.0f, 0.0f};
    const std::string in = Dir() + "/named.znq";
    ZnqWriteOptions zo; // halves: make the file's values halves, then compare
    ASSERT_TRUE(WriteZnq(mesh, in.c_str(), zo));
    auto convert = [&](const char* ext, bool ascii) {
        korvane::ConvertRequest r;
        r.input = in;
        r.output = Dir() + "/named_out" + std::string(ascii ? "_a" : "") + ext;
        r.normals = r.motions = r.colors = r.uvws = true;
        r.ascii = ascii;
        return korvane::ConvertFile(r);
    };
    ConvertOutcome o = convert(".obj", false);
    EXPECT_EQ(o.dropped, "motions, colors");
    EXPECT_EQ(o.changed, "");
    o = convert(".bin", false);
    EXPECT_EQ(o.dropped, "normals, colors");
    EXPECT_EQ(o.changed, "");
    o = convert(".drs2", false);
    EXPECT_EQ(o.dropped, "uvws");
    EXPECT_EQ(o.changed, "normals (one per vertex), colors (16-bit codes)");
    o = convert(".drs2", true);
    EXPECT_EQ(o.changed, "normals (one per vertex)");
    // Read from .znq, every value is a half already: .znq keeps them all.
    o = convert(".znq", false);
    EXPECT_EQ(o.dropped, "");
    EXPECT_EQ(o.changed, "");
    // From .obj (32-bit normals) to .znq, the normals become halves.
    const std::string obj = Dir() + "/named.obj";
    ASSERT_EQ(WriteObj(mesh, obj.c_str(), ObjWriteOptions()), 0);
    korvane::ConvertRequest r;
    r.input = obj;
    r.output = Dir() + "/named_from_obj.znq";
    r.normals = r.uvws = true;
    o = korvane::ConvertFile(r);
    EXPECT_EQ(o.status, ConvertOutcome::kOk);
    EXPECT_EQ(o.changed, "normals (half floats)");
    mesh.Clear();
}

TEST(ConvertCore, RefusalsAndFailuresLeaveNoFile)
{
    ZNQGeometry mesh;
    mesh.Init(0);
    MakeMesh(mesh);
    const std::string in = Dir() + "/ref.obj";
    ASSERT_EQ(WriteObj(mesh, in.c_str(), ObjWriteOptions()), 0);
    korvane::ConvertRequest r;
    r.input = in;
    // The input itself, also spelled differently.
    r.output = Dir() + "/./ref.obj";
    ConvertOutcome o = korvane::ConvertFile(r);
    EXPECT_EQ(o.status, ConvertOutcome::kRefused);
    EXPECT_TRUE(Has(o.message, "is an input")) << o.message;
    // Another input of the run, through the protected list.
    const std::string other = Dir() + "/other.obj";
    ASSERT_EQ(WriteObj(mesh, other.c_str(), ObjWriteOptions()), 0);
    const std::vector<std::string> inputs = korvane::ProtectedPaths({in, Dir() + "/../" +
                                                                     std::filesystem::path(Dir()).filename().string() +
                                                                     "/other.obj"});
    r.protectedPaths = &inputs;
    r.output = other;
    o = korvane::ConvertFile(r);
    EXPECT_EQ(o.status, ConvertOutcome::kRefused);
    r.output = Dir() + "/fine.znq";
    EXPECT_EQ(korvane::ConvertFile(r).status, ConvertOutcome::kOk);
    r.protectedPaths = nullptr;
    // Unknown extension.
    r.output = Dir() + "/ref.stl";
    EXPECT_EQ(korvane::ConvertFile(r).status, ConvertOutcome::kRefused);
    EXPECT_FALSE(std::filesystem::exists(r.output));
    // A quad cannot go to .bin: nothing is written, no temporary is left.
    const std::string quad = Dir() + "/quad.obj";
    FILE* f = std::fopen(quad.c_str(), "wb");
    ASSERT_TRUE(f);
    std::fputs("v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nf 1 2 3 4\n", f);
    std::fclose(f);
    r.input = quad;
    r.output = Dir() + "/quad.bin";
    o = korvane::ConvertFile(r);
    EXPECT_EQ(o.status, ConvertOutcome::kWriteFailed);
    EXPECT_TRUE(Has(o.message, "triangles only")) << o.message;
    EXPECT_FALSE(std::filesystem::exists(r.output));
    EXPECT_FALSE(std::filesystem::exists(Dir() + "/quad.korvane-part.bin"));
    // A load failure: the code and the place.
    const std::string bad = Dir() + "/bad.obj";
    f = std::fopen(bad.c_str(), "wb");
    ASSERT_TRUE(f);
    std::fputs("v 0 0 0\nv 1 0 0\nv 0 1 0\nf -3 -2 -1\n", f);
    std::fclose(f);
    r.input = bad;
    r.output = Dir() + "/bad.znq";
    o = korvane::ConvertFile(r);
    EXPECT_EQ(o.status, ConvertOutcome::kLoadFailed);
    EXPECT_EQ(o.loadError, 50);
    EXPECT_EQ(o.message, "error 50: unknown file format.");
    EXPECT_EQ(o.place.line, 4);
    EXPECT_FALSE(std::filesystem::exists(r.output));
    mesh.Clear();
}

TEST(ConvertCli, PatternFramesFailuresAndWarning)
{
    ZNQGeometry mesh;
    mesh.Init(0);
    MakeMesh(mesh);
    const std::string d = Dir() + "/seq";
    std::filesystem::create_directories(d);
    for (int f : {1, 2, 4})
        ASSERT_TRUE(WriteZnq(mesh, (d + "/Fluid.000" + std::to_string(f) + ".znq").c_str()));
    // Frame 3 is broken.
    FILE* bad = std::fopen((d + "/Fluid.0003.znq").c_str(), "wb");
    ASSERT_TRUE(bad);
    std::fputs("not a cache file, only some words of text", bad);
    std::fclose(bad);
    mesh.Clear();

    const std::string io = clitest::ScratchDir("cli_convert_io");
    CliRun r = clitest::Run(io, "convert '" + d + "/Fluid.####.znq' '" + d + "/out/F.####.obj'");
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_TRUE(Has(r.out, d + "/Fluid.0001.znq -> " + d + "/out/F.0001.obj\n")) << r.out;
    EXPECT_TRUE(Has(r.err, "Fluid.0003.znq: error 50: unknown file format.\n")) << r.err;
    EXPECT_TRUE(Has(r.err, "korvane convert: warning: .obj cannot hold motions, colors (not written)\n")) << r.err;
    EXPECT_TRUE(Has(r.err, "korvane convert: 1 frame failed, nothing written for it: 3\n")) << r.err;
    for (int f : {1, 2, 4})
        EXPECT_TRUE(std::filesystem::exists(d + "/out/F.000" + std::to_string(f) + ".obj")) << f;
    EXPECT_FALSE(std::filesystem::exists(d + "/out/F.0003.obj"));
    // One warning line for the whole run.
    EXPECT_EQ(r.err.find("warning"), r.err.rfind("warning")) << r.err;

    // --frames picks frames; all good: exit 0.
    r = clitest::Run(io, "convert '" + d + "/Fluid.####.znq' '" + d + "/b/F.##.drs2' --ascii --frames 1-2");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(std::filesystem::exists(d + "/b/F.01.drs2"));
    EXPECT_TRUE(std::filesystem::exists(d + "/b/F.02.drs2"));
    // The ascii variant was written.
    EXPECT_EQ(clitest::Slurp(d + "/b/F.01.drs2").compare(0, 24, "Drosil2-File-Format 2024"), 0);

    // A step: frames 1 and 4 only.
    r = clitest::Run(io, "convert '" + d + "/Fluid.####.znq' '" + d + "/s/F.####.znq' --frames 1-4:3");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(std::filesystem::exists(d + "/s/F.0001.znq"));
    EXPECT_FALSE(std::filesystem::exists(d + "/s/F.0002.znq"));
    EXPECT_TRUE(std::filesystem::exists(d + "/s/F.0004.znq"));

    // Usage errors: exit 2 with the usage line.
    for (const std::string& args : {std::string("convert"), std::string("convert a.znq"),
                                    std::string("convert a.znq b.stl"), std::string("convert a.#.znq b.znq"),
                                    std::string("convert a.znq b.znq --bogus"),
                                    std::string("convert a.#.znq b.#.znq --frames 3-1"),
                                    std::string("convert a.#.znq b.#.znq --frames 1-4:0")})
    {
        r = clitest::Run(io, args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_TRUE(Has(r.err, "usage: korvane convert")) << args << ": " << r.err;
    }
    // A pattern that matches nothing: exit 1.
    r = clitest::Run(io, "convert '" + d + "/None.####.znq' '" + d + "/n.####.obj'");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.err, "no file matches")) << r.err;
    // Another padding or extension would match: the message says which.
    r = clitest::Run(io, "convert '" + d + "/Fluid.##.znq' '" + d + "/n.####.obj'");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.err, "; found Fluid.0001.znq .. Fluid.0004.znq: use " + d + "/Fluid.####.znq\n")) << r.err;
    // Never over an input, even when OUTPUT names it.
    const std::string before = clitest::Slurp(d + "/Fluid.0001.znq");
    r = clitest::Run(io, "convert '" + d + "/Fluid.####.znq' '" + d + "/Fluid.####.znq' --frames 1");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.err, "is an input; it is never overwritten")) << r.err;
    EXPECT_EQ(clitest::Slurp(d + "/Fluid.0001.znq"), before);
}

namespace {

// A .ply file as korvane writes it: property names of the vertex element,
// the vertex floats, and the face lists.
struct Ply
{
    std::vector<std::string> props;
    std::vector<float> verts;
    std::vector<std::vector<int32_t>> faces;
};

bool ReadPly(const std::string& path, Ply& p)
{
    const std::string bytes = clitest::Slurp(path);
    const size_t end = bytes.find("end_header\n");
    if (bytes.compare(0, 36, "ply\nformat binary_little_endian 1.0\n") != 0 || end == std::string::npos)
        return false;
    long numVert = 0, numFace = 0;
    bool inVertex = false;
    size_t at = 0;
    while (at < end)
    {
        const size_t nl = bytes.find('\n', at);
        const std::string line = bytes.substr(at, nl - at);
        at = nl + 1;
        if (line.rfind("element vertex ", 0) == 0)
            numVert = std::atol(line.c_str() + 15), inVertex = true;
        else if (line.rfind("element face ", 0) == 0)
            numFace = std::atol(line.c_str() + 13), inVertex = false;
        else if (inVertex && line.rfind("property float ", 0) == 0)
            p.props.push_back(line.substr(15));
    }
    size_t pos = end + 11;
    const size_t floats = static_cast<size_t>(numVert) * p.props.size();
    if (bytes.size() < pos + 4 * floats)
        return false;
    p.verts.resize(floats);
    std::memcpy(p.verts.data(), bytes.data() + pos, 4 * floats);
    pos += 4 * floats;
    for (long f = 0; f < numFace; ++f)
    {
        if (pos >= bytes.size())
            return false;
        const uint8_t n = static_cast<uint8_t>(bytes[pos++]);
        std::vector<int32_t> face(n);
        if (bytes.size() < pos + 4u * n)
            return false;
        std::memcpy(face.data(), bytes.data() + pos, 4u * n);
        pos += 4u * n;
        p.faces.push_back(face);
    }
    return pos == bytes.size();
}

} // namespace

TEST(ConvertCore, PlyHoldsEveryItemPerVertex)
{
    ZNQGeometry mesh;
    mesh.Init(0);
    MakeMesh(mesh);
    for (const Format& in : kFormats)
    {
        const std::string inPath = Dir() + "/ply_in_" + std::to_string(&in - kFormats) + in.ext;
        ASSERT_TRUE(WriteInput(mesh, in, inPath)) << in.name;
        ZNQGeometry a;
        a.Init(0);
        ASSERT_EQ(LoadAll(a, inPath), 0) << in.name;
        korvane::ConvertRequest r;
        r.input = inPath;
        r.output = Dir() + "/ply_out_" + std::to_string(&in - kFormats) + ".PLY";
        r.normals = r.motions = r.colors = r.uvws = true;
        const ConvertOutcome o = korvane::ConvertFile(r);
        ASSERT_EQ(o.status, ConvertOutcome::kOk) << in.name << ": " << o.message;
        EXPECT_EQ(o.dropped, "") << in.name;
        EXPECT_EQ(o.changed, "") << in.name; // per-vertex values, w = 0
        Ply p;
        ASSERT_TRUE(ReadPly(r.output, p)) << in.name;
        std::vector<std::string> want = {"x", "y", "z"};
        if (a._nodeNrm)
            want.insert(want.end(), {"nx", "ny", "nz"});
        if (a._nodeCol)
            want.insert(want.end(), {"red", "green", "blue", "alpha"});
        if (a._nodeUvw)
            want.insert(want.end(), {"s", "t"});
        if (a._vertMotion)
            want.insert(want.end(), {"vx", "vy", "vz"});
        ASSERT_EQ(p.props, want) << in.name;
        const size_t w = want.size();
        ASSERT_EQ(p.verts.size(), w * static_cast<size_t>(a._numVert));
        ASSERT_EQ(p.faces.size(), static_cast<size_t>(a._numPoly));
        int64_t k = 0;
        for (int32_t f = 0; f < a._numPoly; ++f)
            for (uint8_t c = 0; c < a._polyNumVert[f]; ++c, ++k)
            {
                const int32_t v = a._polyVInd[k];
                ASSERT_EQ(p.faces[static_cast<size_t>(f)][c], v);
                const float* row = &p.verts[static_cast<size_t>(v) * w];
                size_t col = 0;
                auto same = [&](const float* src, int n) {
                    const bool ok = std::memcmp(row + col, src, 4 * static_cast<size_t>(n)) == 0;
                    col += static_cast<size_t>(n);
                    return ok;
                };
                EXPECT_TRUE(same(&a._vertPos[v].x, 3)) << in.name;
                if (a._nodeNrm)
                {
                    EXPECT_TRUE(same(&a._nodeNrm[k].x, 3)) << in.name;
                }
                if (a._nodeCol)
                {
                    EXPECT_TRUE(same(&a._nodeCol[k].x, 4)) << in.name;
                }
                if (a._nodeUvw)
                {
                    EXPECT_TRUE(same(&a._nodeUvw[k].x, 2)) << in.name;
                }
                if (a._vertMotion)
                {
                    EXPECT_TRUE(same(&a._vertMotion[v].x, 3)) << in.name;
                }
            }
        a.Clear();
    }
    mesh.Clear();
}

TEST(ConvertCli, ProgressOnlyOnATerminal)
{
#if defined(_WIN32)
    GTEST_SKIP() << "a POSIX pseudo-terminal (forkpty)";
#else
    const std::string d = Dir() + "/tty";
    std::filesystem::create_directories(d);
    for (int f = 1; f <= 3; ++f)
    {
        FILE* file = std::fopen((d + "/p." + std::to_string(f) + ".obj").c_str(), "wb");
        ASSERT_TRUE(file);
        std::fputs("v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n", file);
        std::fclose(file);
    }
    const std::string cmd = std::string("'") + KORVANE_EXE + "' convert '" + d + "/p.#.obj' '" + d + "/q.#.znq'";
    CliRun t = clitest::RunOnTerminal(cmd);
    EXPECT_EQ(t.status, 0);
    EXPECT_TRUE(Has(t.out, "\rframe 1 ")) << t.out;
    EXPECT_TRUE(Has(t.out, "1/3")) << t.out;
    EXPECT_FALSE(Has(t.out, "->")) << "the bar instead of a line per file: " << t.out;
    t = clitest::RunOnTerminal(cmd + " --quiet");
    EXPECT_EQ(t.status, 0);
    EXPECT_FALSE(Has(t.out, "\rframe")) << t.out;
    EXPECT_TRUE(Has(t.out, "p.3.obj -> " + d + "/q.3.znq")) << t.out;
    for (int f = 1; f <= 3; ++f)
        EXPECT_TRUE(std::filesystem::exists(d + "/q." + std::to_string(f) + ".znq")) << f;
#endif
}
