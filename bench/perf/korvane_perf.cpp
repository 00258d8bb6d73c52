// korvane_perf: one table of Korvane's speed next to its peers and next to
// the machine's limits, all measured in the same run.
//
// The program writes its own data into a scratch folder (the deterministic
// sample blob of about 1,000,000 triangles in every cache format, .obj files
// with and without vt/vn, a closed torus grid for the topology rows), then
// measures each row: a warm-up round, then several rounds in which Korvane and
// every peer or limit of the row run one after the other (A, B, C, A, B, C,
// ...), and prints the median of each with its ratio to Korvane.
//
//   korvane_perf [--dir DIR] [--runs N] [--tris N] [--clock wall|cpu]
//                [--only WORD[,WORD...]] [--plugin PATH] [--keep]
//
// Timing: the steady clock by default; --clock cpu takes the calling thread's
// CPU time (user + system, so page faults still count), which is steadier on
// a busy machine. Every timed step runs on one thread, except in the rows of
// --only threads and cold, which set the thread count themselves (run them
// with the default wall clock: the CPU clock sees only the calling thread).
#include <fcntl.h>
#include <omp.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "SampleMesh.h"
#include "WriteDrs2.h"
#include "WriteObj.h"
#include "WriteRealFlowBin.h"
#include "WriteZnq.h"
#include "formats/ZNQFormats.h"
#include "geometry/ZNQGeometry.h"

#ifdef KORVANE_PERF_TINYOBJ
#include <tiny_obj_loader.h>
#endif
#ifdef KORVANE_PERF_ASSIMP
#include <assimp/Importer.hpp>
#include <assimp/scene.h>
#endif
#ifdef KORVANE_PERF_OPENMESH
#include <OpenMesh/Core/IO/MeshIO.hh>
#include <OpenMesh/Core/Mesh/TriMesh_ArrayKernelT.hh>
#include <OpenMesh/Tools/Smoother/JacobiLaplaceSmootherT.hh>
#endif
#ifdef KORVANE_PERF_CGAL
#include <CGAL/Exact_predicates_inexact_constructions_kernel.h>
#include <CGAL/Polygon_mesh_processing/triangulate_faces.h>
#include <CGAL/Surface_mesh.h>
#endif
#ifdef KORVANE_PERF_HOST
#include "korvane/HeadlessHost.h"
#endif

namespace
{

// ---------------------------------------------------------------------------
// Options and clocks

struct Options
{
    std::string dir;
    int runs = 7;
    int32_t tris = 1000000;
    bool cpuClock = false;
    std::vector<std::string> only;
    std::string plugin;
    bool keep = false;
    bool korvaneOnly = false; // skip peers and limits (for profiling)
    bool reuse = false;       // keep data files already in --dir
    bool peakChild = false;   // internal: print the peak memory of one evaluation
};
Options g_opt;

double Now()
{
    if (g_opt.cpuClock)
    {
        timespec ts{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
        return double(ts.tv_sec) + 1e-9 * double(ts.tv_nsec);
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

[[noreturn]] void Fail(const char* what)
{
    std::fprintf(stderr, "korvane_perf: %s\n", what);
    std::exit(1);
}

int64_t FileBytes(const std::string& path)
{
    std::error_code ec;
    const auto n = std::filesystem::file_size(path, ec);
    return ec ? 0 : static_cast<int64_t>(n);
}

// ---------------------------------------------------------------------------
// A row: Korvane's contender (A) and its peers / limits (B, C, ...). A setup
// step before each timed call is not timed.

struct Contender
{
    std::string name;
    std::function<void()> setup; // may be empty
    std::function<bool()> run;   // timed; false: failed
    std::vector<double> ms;
    bool failed = false;
};

struct Row
{
    std::string group; // word for --only
    std::string operation;
    std::string input;
    double bytes = 0;  // input bytes for MB/s (0: none)
    double items = 0;  // triangles for tris/s (0: none)
    std::vector<Contender> c; // c[0] is Korvane
    std::string target;       // e.g. "<= 0.25x tinyobjloader"
    int targetPeer = -1;      // index into c of the peer of the target
    double targetRatio = 0;   // Korvane / peer must be <= this
    int targetPeer2 = -1;
    double targetRatio2 = 0;
};

double Median(std::vector<double> v)
{
    if (v.empty())
        return 0.0;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

void Measure(Row& row)
{
    std::fprintf(stderr, "  %s (%s) ...", row.operation.c_str(), row.input.c_str());
    for (int r = -1; r < g_opt.runs; ++r) // r == -1: warm-up, not kept
        for (Contender& k : row.c)
        {
            if (k.failed || (g_opt.korvaneOnly && &k != &row.c[0]))
                continue;
            if (k.setup)
                k.setup();
            const double t0 = Now();
            const bool ok = k.run();
            const double t1 = Now();
            if (!ok)
            {
                std::fprintf(stderr, " [%s failed]", k.name.c_str());
                k.failed = true;
                continue;
            }
            if (r >= 0)
                k.ms.push_back(1e3 * (t1 - t0));
        }
    std::fprintf(stderr, " done\n");
}

bool Wanted(const std::string& group)
{
    if (g_opt.only.empty())
        return true;
    for (const std::string& w : g_opt.only)
        if (group == w)
            return true;
    return false;
}

// ---------------------------------------------------------------------------
// Data

struct Data
{
    std::string objFull, objPlain, znq, drs2Bin, drs2Ascii, bin, evalDir;
    int32_t numPoly = 0, numVert = 0;
    int64_t numNodes = 0;
};

// The sample blob; node UVWs made per vertex (the first node's value), so the
// .obj carries one v, vt and vn per vertex like a typical exported cache.
void MakeSample(ZNQGeometry& g)
{
    if (!MakeSampleMesh(g, g_opt.tris, 0.0f))
        Fail("the sample mesh could not be made");
    std::vector<int64_t> first(static_cast<size_t>(g._numVert), -1);
    const int64_t nodes = g.NumNodes();
    for (int64_t k = 0; k < nodes; ++k)
    {
        int64_t& f = first[static_cast<size_t>(g._polyVInd[k])];
        if (f < 0)
            f = k;
        g._nodeUvw[k] = g._nodeUvw[f];
    }
}

Data WriteData()
{
    Data d;
    std::filesystem::create_directories(g_opt.dir);
    const std::string& dir = g_opt.dir;
    d.objFull = dir + "/blob_vtvn.obj";
    d.objPlain = dir + "/blob_v.obj";
    d.znq = dir + "/blob.znq";
    d.drs2Bin = dir + "/blob_binary.drs2";
    d.drs2Ascii = dir + "/blob_ascii.drs2";
    d.bin = dir + "/blob.bin";
    d.evalDir = dir + "/cache";
    std::filesystem::create_directories(d.evalDir);

    ZNQGeometry g;
    g.Init(0);
    MakeSample(g);
    d.numPoly = g._numPoly;
    d.numVert = g._numVert;
    d.numNodes = g.NumNodes();

    const bool present = FileBytes(d.objFull) > 0 && FileBytes(d.objPlain) > 0 && FileBytes(d.znq) > 0 &&
                         FileBytes(d.drs2Bin) > 0 && FileBytes(d.drs2Ascii) > 0 && FileBytes(d.bin) > 0 &&
                         FileBytes(d.evalDir + "/blob.1.bin") > 0;
    if (g_opt.reuse && present)
    {
        g.Clear();
        return d;
    }
    std::fprintf(stderr, "writing %d triangles, %d vertices into %s\n", d.numPoly, d.numVert, dir.c_str());
    ObjWriteOptions full;
    ObjWriteOptions plain;
    plain.uvwComponents = 0;
    plain.writeNormals = false;
    Drs2WriteOptions binOpt;
    binOpt.binary = true;
    Drs2WriteOptions ascOpt;
    RealFlowBinWriteOptions rfOpt;
    if (WriteObj(g, d.objFull.c_str(), full) != 0 || WriteObj(g, d.objPlain.c_str(), plain) != 0 ||
        !WriteZnq(g, d.znq.c_str()) || !WriteDrs2(g, d.drs2Bin.c_str(), binOpt) ||
        !WriteDrs2(g, d.drs2Ascii.c_str(), ascOpt) || WriteRealFlowBin(g, d.bin.c_str(), rfOpt) != 0)
        Fail("writing the data failed");
    // The node's cache: frame 1 of "blob.#" as .bin.
    std::filesystem::copy_file(d.bin, d.evalDir + "/blob.1.bin",
                               std::filesystem::copy_options::overwrite_existing);
    g.Clear();
    return d;
}

// A closed torus of w x h vertices, 2wh triangles, valence 6 everywhere: the
// input of the topology and smoothing rows (the sample blob's welded poles
// exceed the one-byte neighbour counts of the derived data).
void MakeTorus(ZNQGeometry& g, int32_t w, int32_t h)
{
    g.Clear();
    const size_t nv = size_t(w) * size_t(h), nt = 2 * nv;
    g._vertPos = g._MemAllocArr<float3>(nv, false);
    g._polyNumVert = g._MemAllocArr<uint8_t>(nt, false);
    g._polyVInd = g._MemAllocArr<int32_t>(3 * nt, false);
    if (!g._vertPos || !g._polyNumVert || !g._polyVInd)
        Fail("torus allocation");
    g._numVert = int32_t(nv);
    g._numPoly = int32_t(nt);
    const float kPi = 3.14159265f;
    for (int32_t j = 0; j < h; ++j)
        for (int32_t i = 0; i < w; ++i)
        {
            const float a = 2.0f * kPi * float(i) / float(w), b = 2.0f * kPi * float(j) / float(h);
            const float r = 0.35f + 0.02f * std::sin(7.0f * a) * std::cos(5.0f * b);
            g._vertPos[size_t(j) * size_t(w) + size_t(i)] =
                float3{(1.0f + r * std::cos(b)) * std::cos(a), (1.0f + r * std::cos(b)) * std::sin(a), r * std::sin(b)};
        }
    int32_t* t = g._polyVInd;
    for (int32_t j = 0; j < h; ++j)
        for (int32_t i = 0; i < w; ++i)
        {
            const int32_t i1 = (i + 1) % w, j1 = (j + 1) % h;
            const int32_t a = j * w + i, b = j * w + i1, c = j1 * w + i1, e = j1 * w + i;
            *t++ = a, *t++ = b, *t++ = c;
            *t++ = a, *t++ = c, *t++ = e;
        }
    std::memset(g._polyNumVert, 3, nt);
    g._DynRelease(kDynAll);
}

// A wavy grid of w x h quads.
void MakeQuads(ZNQGeometry& g, int32_t w, int32_t h)
{
    g.Clear();
    const size_t nv = size_t(w + 1) * size_t(h + 1), np = size_t(w) * size_t(h);
    g._vertPos = g._MemAllocArr<float3>(nv, false);
    g._polyNumVert = g._MemAllocArr<uint8_t>(np, false);
    g._polyVInd = g._MemAllocArr<int32_t>(4 * np, false);
    if (!g._vertPos || !g._polyNumVert || !g._polyVInd)
        Fail("quad grid allocation");
    g._numVert = int32_t(nv);
    g._numPoly = int32_t(np);
    for (int32_t y = 0; y <= h; ++y)
        for (int32_t x = 0; x <= w; ++x)
        {
            const float fx = float(x) / float(w), fy = float(y) / float(h);
            g._vertPos[size_t(y) * size_t(w + 1) + size_t(x)] =
                float3{fx, fy, 0.02f * std::sin(40.0f * fx) * std::cos(37.0f * fy)};
        }
    int32_t* v = g._polyVInd;
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x)
        {
            const int32_t a = y * (w + 1) + x;
            *v++ = a, *v++ = a + 1, *v++ = a + w + 2, *v++ = a + w + 1;
        }
    std::memset(g._polyNumVert, 4, np);
    g._DynRelease(kDynAll);
}

// Deep copy of positions and polygons (what the topology rows need).
void CopyMesh(const ZNQGeometry& src, ZNQGeometry& dst)
{
    dst.Clear();
    const size_t nv = size_t(src._numVert), np = size_t(src._numPoly), nn = size_t(src.NumNodes());
    dst._vertPos = dst._MemAllocArr<float3>(nv, false);
    dst._polyNumVert = dst._MemAllocArr<uint8_t>(np, false);
    dst._polyVInd = dst._MemAllocArr<int32_t>(nn, false);
    if (!dst._vertPos || !dst._polyNumVert || !dst._polyVInd)
        Fail("copy allocation");
    std::memcpy(dst._vertPos, src._vertPos, nv * sizeof(float3));
    std::memcpy(dst._polyNumVert, src._polyNumVert, np);
    std::memcpy(dst._polyVInd, src._polyVInd, nn * sizeof(int32_t));
    dst._numVert = src._numVert;
    dst._numPoly = src._numPoly;
    dst._DynRelease(kDynAll);
}

// ---------------------------------------------------------------------------
// Limits

// The passes of the four derived items without their checks: the node counts,
// the prefix-sum layouts and the fills into buffers that stay allocated
// between runs, but each node appends only its next node's vertex and never
// tests for a repeat, and an edge met from its higher end is not searched for.
// On a closed manifold the lists come out as long as the real ones (each
// neighbour is the next vertex of exactly one node), so this is what the
// layout of these items costs before any of the work that makes it right.
// False for a vertex of more than 127 nodes (the one-byte counts saturate).
bool DerivedPassesOnly(const ZNQGeometry& g)
{
    struct Buffers
    {
        std::vector<uint8_t> num, slot, edgeNum;
        std::vector<int32_t*> adjArr, edgeArr, polyArr;
        std::vector<int32_t> adjBlock, edges, edgeBlock, nodeEdge, polyBlock;
    };
    static Buffers b;
    const size_t numVert = size_t(g._numVert), nodes = size_t(g.NumNodes());
    const int32_t numPoly = g._numPoly;
    if (b.num.size() != numVert || b.slot.size() != nodes)
    {
        b.num.assign(numVert, 0);
        b.slot.assign(nodes, 0);
        b.edgeNum.assign(nodes, 0);
        b.adjArr.assign(numVert, nullptr);
        b.edgeArr.assign(numVert, nullptr);
        b.polyArr.assign(nodes, nullptr);
        b.adjBlock.assign(2 * nodes, 0);
        b.edges.assign(2 * nodes, 0);
        b.edgeBlock.assign(nodes, 0);
        b.nodeEdge.assign(nodes, 0);
        b.polyBlock.assign(nodes, 0);
    }
    auto inRange = [](int32_t i, size_t n) { return i >= 0 && size_t(i) < n; };
    uint8_t* num = b.num.data();
    const int32_t* vind = g._polyVInd;

    // Vertex adjacency: count, lay out twice the count, append.
    std::memset(num, 0, numVert);
    for (size_t i = 0; i < nodes; ++i)
        if (inRange(vind[i], numVert))
            num[vind[i]] = uint8_t(num[vind[i]] + (num[vind[i]] < 128));
    int32_t* block = b.adjBlock.data();
    for (size_t v = 0; v < numVert; ++v)
    {
        if (num[v] == 128)
            return false;
        b.adjArr[v] = block;
        block += 2 * num[v];
    }
    std::memset(num, 0, numVert);
    const int32_t* ind = vind;
    uint8_t* slot = b.slot.data();
    for (int32_t p = 0; p < numPoly; ++p)
    {
        const int32_t n = g._polyNumVert[p];
        for (int32_t k = 0; k < n; ++k)
        {
            const int32_t v = ind[k];
            if (!inRange(v, numVert))
            {
                slot[k] = 255;
                continue;
            }
            const uint8_t c = num[v];
            b.adjArr[size_t(v)][c] = ind[k + 1 < n ? k + 1 : 0];
            num[v] = uint8_t(c + 1);
            slot[k] = c;
        }
        ind += n;
        slot += n;
    }

    // Edges: numbered from the lower end, the higher end not searched.
    int32_t* edgeBlock = b.edgeBlock.data();
    for (size_t v = 0; v < numVert; ++v)
    {
        b.edgeArr[v] = edgeBlock;
        edgeBlock += num[v];
    }
    int32_t numEdges = 0;
    for (size_t v = 0; v < numVert; ++v)
    {
        const int32_t* nb = b.adjArr[v];
        int32_t* el = b.edgeArr[v];
        for (int32_t k = 0; k < num[v]; ++k)
        {
            if (size_t(nb[k]) > v)
            {
                b.edges[2 * size_t(numEdges)] = int32_t(v);
                b.edges[2 * size_t(numEdges) + 1] = nb[k];
                el[k] = numEdges++;
            }
            else
                el[k] = k;
        }
    }

    // Node edges through the kept places.
    for (size_t i = 0; i < nodes; ++i)
        b.nodeEdge[i] = b.slot[i] != 255 ? b.edgeArr[size_t(vind[i])][b.slot[i]] : -1;

    // Edge polygons: count, lay out, fill.
    uint8_t* edgeNum = b.edgeNum.data();
    const size_t edgeCount = size_t(numEdges);
    std::memset(edgeNum, 0, edgeCount);
    for (size_t i = 0; i < nodes; ++i)
        if (inRange(b.nodeEdge[i], edgeCount))
            ++edgeNum[b.nodeEdge[i]];
    int32_t* polyBlock = b.polyBlock.data();
    for (size_t e = 0; e < edgeCount; ++e)
    {
        b.polyArr[e] = polyBlock;
        polyBlock += edgeNum[e];
    }
    std::memset(edgeNum, 0, edgeCount);
    const int32_t* eind = b.nodeEdge.data();
    for (int32_t p = 0; p < numPoly; ++p)
    {
        const int32_t n = g._polyNumVert[p];
        for (int32_t k = 0; k < n; ++k)
            if (inRange(eind[k], edgeCount))
                b.polyArr[size_t(eind[k])][edgeNum[eind[k]]++] = p;
        eind += n;
    }
    return numEdges > 0;
}

// Reads the file in 1 MiB chunks and counts its lines.
bool ChunkedNewlineScan(const std::string& path)
{
    static std::vector<char> block(size_t(1) << 20);
    FILE* fp = std::fopen(path.c_str(), "rb");
    if (!fp)
        return false;
    int64_t lines = 0;
    size_t n;
    while ((n = std::fread(block.data(), 1, block.size(), fp)) > 0)
    {
        const char* p = block.data();
        const char* end = p + n;
        while ((p = static_cast<const char*>(std::memchr(p, '\n', size_t(end - p)))) != nullptr)
            ++lines, ++p;
    }
    std::fclose(fp);
    return lines > 0;
}

// One fread of the whole file into a buffer that stays allocated (and so
// mapped) between runs: the cost of the bytes alone.
bool FreadWhole(const std::string& path)
{
    static std::vector<char> buffer;
    const int64_t bytes = FileBytes(path);
    if (buffer.size() < size_t(bytes))
        buffer.resize(size_t(bytes));
    FILE* fp = std::fopen(path.c_str(), "rb");
    if (!fp)
        return false;
    const size_t got = std::fread(buffer.data(), 1, size_t(bytes), fp);
    std::fclose(fp);
    return got == size_t(bytes);
}

// ---------------------------------------------------------------------------
// Peers

#ifdef KORVANE_PERF_TINYOBJ
bool TinyObjLoad(const std::string& path, size_t wantVerts)
{
    tinyobj::attrib_t attrib;
    std::vector<tinyobj::shape_t> shapes;
    std::vector<tinyobj::material_t> materials;
    std::string warn, err;
    const bool ok = tinyobj::LoadObj(&attrib, &shapes, &materials, &warn, &err, path.c_str(), nullptr, false);
    return ok && attrib.vertices.size() == 3 * wantVerts;
}
#endif

#ifdef KORVANE_PERF_ASSIMP
bool AssimpLoad(const std::string& path, unsigned int wantFaces)
{
    Assimp::Importer importer;
    const aiScene* scene = importer.ReadFile(path, 0);
    if (!scene)
        return false;
    unsigned int faces = 0;
    for (unsigned int m = 0; m < scene->mNumMeshes; ++m)
        faces += scene->mMeshes[m]->mNumFaces;
    return faces == wantFaces;
}
#endif

#ifdef KORVANE_PERF_OPENMESH
using OMMesh = OpenMesh::TriMesh_ArrayKernelT<>;

bool OpenMeshLoad(const std::string& path, bool attributes, size_t wantFaces)
{
    OMMesh mesh;
    OpenMesh::IO::Options opt;
    if (attributes)
    {
        mesh.request_vertex_normals();
        mesh.request_vertex_texcoords2D();
        opt += OpenMesh::IO::Options::VertexNormal;
        opt += OpenMesh::IO::Options::VertexTexCoord;
    }
    return OpenMesh::IO::read_mesh(mesh, path, opt) && mesh.n_faces() == wantFaces;
}

// The TriMesh of a triangle geometry, built with reserve.
void BuildOpenMesh(const ZNQGeometry& g, OMMesh& mesh)
{
    mesh.clear();
    mesh.reserve(size_t(g._numVert), 3 * size_t(g._numPoly), size_t(g._numPoly));
    for (int32_t v = 0; v < g._numVert; ++v)
    {
        const float3& p = g._vertPos[v];
        mesh.add_vertex(OMMesh::Point(p.x, p.y, p.z));
    }
    for (int32_t f = 0; f < g._numPoly; ++f)
    {
        const int32_t* t = g._polyVInd + 3 * size_t(f);
        mesh.add_face(OMMesh::VertexHandle(t[0]), OMMesh::VertexHandle(t[1]), OMMesh::VertexHandle(t[2]));
    }
}
#endif

// ---------------------------------------------------------------------------
// Rows

void Ratio(char* out, size_t size, const Contender& korvane, const Contender& peer)
{
    if (korvane.failed || peer.failed || peer.ms.empty())
    {
        std::snprintf(out, size, "%s failed", peer.name.c_str());
        return;
    }
    const double a = Median(korvane.ms), b = Median(peer.ms);
    std::snprintf(out, size, "%s %.1f ms (%.2fx)", peer.name.c_str(), b, b > 0 ? a / b : 0.0);
}

void PrintTable(const std::vector<Row>& rows, const char* title)
{
    std::printf("\n%s (medians of %d alternating runs after a warm-up; %s clock)\n\n", title, g_opt.runs,
                g_opt.cpuClock ? "thread CPU" : "steady");
    std::printf("| operation | input | Korvane ms | throughput | peers and limits: median ms (Korvane / it) | target | met |\n");
    std::printf("|---|---|---:|---:|---|---|---|\n");
    for (const Row& row : rows)
    {
        const Contender& k = row.c[0];
        const double ms = Median(k.ms);
        char thr[64] = "";
        if (!k.failed && ms > 0 && row.bytes > 0)
            std::snprintf(thr, sizeof(thr), "%.0f MB/s", row.bytes / 1e6 / (ms / 1e3));
        else if (!k.failed && ms > 0 && row.items > 0)
            std::snprintf(thr, sizeof(thr), "%.1f M tris/s", row.items / 1e6 / (ms / 1e3));
        std::string peers;
        for (size_t i = 1; i < row.c.size(); ++i)
        {
            char buf[160];
            Ratio(buf, sizeof(buf), k, row.c[i]);
            if (!peers.empty())
                peers += "; ";
            peers += buf;
        }
        std::string met = "";
        if (row.targetPeer > 0)
        {
            auto ok = [&](int peer, double limit) {
                const Contender& p = row.c[size_t(peer)];
                return !k.failed && !p.failed && !p.ms.empty() && ms <= limit * Median(p.ms);
            };
            bool all = ok(row.targetPeer, row.targetRatio);
            if (row.targetPeer2 > 0)
                all = all && ok(row.targetPeer2, row.targetRatio2);
            met = all ? "yes" : "NO";
        }
        char kms[32];
        if (k.failed)
            std::snprintf(kms, sizeof(kms), "failed");
        else
            std::snprintf(kms, sizeof(kms), "%.1f", ms);
        std::printf("| %s | %s | %s | %s | %s | %s | %s |\n", row.operation.c_str(), row.input.c_str(), kms, thr,
                    peers.c_str(), row.target.c_str(), met.c_str());
    }
    std::fflush(stdout);
}

std::string MB(int64_t bytes)
{
    char buf[32];
    std::snprintf(buf, sizeof(buf), "%.0f MB", double(bytes) / 1e6);
    return buf;
}

std::string Tris(double n)
{
    char buf[32];
    if (n >= 1e6)
        std::snprintf(buf, sizeof(buf), "%.2fM tris", n / 1e6);
    else
        std::snprintf(buf, sizeof(buf), "%.0fk tris", n / 1e3);
    return buf;
}

// A row of one operation at 2 threads (Korvane's contender) against 1
// thread; the thread count is set in the untimed setup.
Row ThreadsRow(const std::string& op, const std::string& input, double items, double target,
               const std::function<void()>& setup, const std::function<bool()>& run)
{
    Row row;
    row.group = "threads";
    row.operation = op;
    row.input = input;
    row.items = items;
    row.c.push_back({"Korvane, 2 threads", [setup] { omp_set_num_threads(2); if (setup) setup(); }, run, {}, false});
    row.c.push_back({"1 thread", [setup] { omp_set_num_threads(1); if (setup) setup(); }, run, {}, false});
    char t[64];
    std::snprintf(t, sizeof(t), "<= %.2fx 1 thread", target);
    row.target = t;
    row.targetPeer = 1;
    row.targetRatio = target;
    return row;
}

// The topology items of the topology row (vertex adjacency, edges, node
// edges, edge polygons) at 2 threads against 1, on the same torus.
Row TopologyThreadsRow(ZNQGeometry& g, const ZNQGeometry& torus, const std::string& input)
{
    return ThreadsRow("derived data: vertex adjacency, edges, node edges, edge polygons", input, torus._numPoly,
                      0.7, [&g, &torus] { CopyMesh(torus, g); },
                      [&g] {
                          return g._DynGetVertAdjVertArr() && g._DynGetEdges() && g._DynGetPolyEInd() &&
                                 g._DynGetEdgeAdjPolyArr();
                      });
}

// The .obj load at 2 threads against 1: LoadFromFile of the v/vt/vn file
// with normals and UVWs, and of the v-only file.
void ObjThreadsRows(const Data& d, ZNQGeometry& g, std::vector<Row>& rows)
{
    const struct
    {
        const std::string* path;
        const char* op;
        bool attributes;
    } files[] = {{&d.objFull, ".obj v/vt/vn load, normals+UVWs", true}, {&d.objPlain, ".obj v load", false}};
    for (const auto& f : files)
    {
        const std::string path = *f.path;
        const bool attributes = f.attributes;
        const int32_t wantPoly = d.numPoly;
        Row row = ThreadsRow(f.op, Tris(d.numPoly) + ", " + MB(FileBytes(path)), d.numPoly, 0.6, [&g] { g.Clear(); },
                             [&g, path, attributes, wantPoly] {
                                 return LoadFromFile(g, path.c_str(), attributes, false, false, attributes, nullptr,
                                                     nullptr, nullptr, nullptr, false) == 0 &&
                                        g._numPoly == wantPoly;
                             });
        row.bytes = double(FileBytes(path));
        Measure(row);
        rows.push_back(std::move(row));
    }
    g.Clear();
    omp_set_num_threads(1);
}

// Drops a file's pages from the page cache (it must be written back).
bool Evict(const std::string& path)
{
    const int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0)
        return false;
    fdatasync(fd);
    const bool ok = posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED) == 0;
    close(fd);
    return ok;
}

// Reader rows: LoadFromFile with everything the format carries.
Row ReaderRow(const std::string& group, const std::string& op, const std::string& path, bool normals, bool motions,
              bool colors, bool uvws, int32_t wantPoly, ZNQGeometry& g)
{
    Row row;
    row.group = group;
    row.operation = op;
    row.bytes = double(FileBytes(path));
    row.items = wantPoly;
    row.input = Tris(wantPoly) + ", " + MB(FileBytes(path));
    row.c.push_back({"Korvane", [&g] { g.Clear(); },
                     [&g, path, normals, motions, colors, uvws, wantPoly] {
                         const int32_t rc = LoadFromFile(g, path.c_str(), normals, motions, colors, uvws, nullptr,
                                                         nullptr, nullptr, nullptr, false);
                         return rc == 0 && g._numPoly == wantPoly;
                     },
                     {},
                     false});
    return row;
}

// A reader's LoadFromFile (everything the format carries) at 2 threads
// against 1.
Row ReaderThreadsRow(const std::string& op, const std::string& path, int32_t wantPoly, double target, ZNQGeometry& g)
{
    Row row = ThreadsRow(op, Tris(wantPoly) + ", " + MB(FileBytes(path)), wantPoly, target, [&g] { g.Clear(); },
                         [&g, path, wantPoly] {
                             const int32_t rc = LoadFromFile(g, path.c_str(), true, true, true, true, nullptr,
                                                             nullptr, nullptr, nullptr, false);
                             return rc == 0 && g._numPoly == wantPoly;
                         });
    row.bytes = double(FileBytes(path));
    return row;
}

// Threads rows of the .drs2 ascii reader: chunked parse at 2 threads.
void AddDrs2AsciiThreadsRow(const Data& d, ZNQGeometry& g, std::vector<Row>& rows)
{
    Row row = ReaderThreadsRow(".drs2 ascii, LoadFromFile all data", d.drs2Ascii, d.numPoly, 0.6, g);
    Measure(row);
    rows.push_back(std::move(row));
}

// Threads rows of the binary readers: expansions and gathers at 2 threads.
void AddBinaryThreadsRows(const Data& d, ZNQGeometry& g, std::vector<Row>& rows)
{
    const std::pair<const char*, const std::string*> list[] = {{".znq, LoadFromFile all data", &d.znq},
                                                               {".drs2 binary, LoadFromFile all data", &d.drs2Bin},
                                                               {"RealFlow .bin, LoadFromFile all data", &d.bin}};
    for (const auto& b : list)
    {
        Row row = ReaderThreadsRow(b.first, *b.second, d.numPoly, 0.75, g);
        Measure(row);
        rows.push_back(std::move(row));
    }
}

#ifdef KORVANE_PERF_HOST
// The node network of the headless host, with the cache of frame 1.
struct NodeNet
{
    std::string node, shape;
    bool ready = false;
};

bool SetUpNode(NodeNet& net, const Data& d)
{
    static bool loaded = false;
    if (!loaded)
    {
        khost::SetEcho(false);
        const khost::PluginLoadResult lr = khost::LoadPlugin(g_opt.plugin);
        if (!lr.loaded)
        {
            std::fprintf(stderr, "cannot load the plug-in %s: %s\n", g_opt.plugin.c_str(), lr.error.c_str());
            return false;
        }
        loaded = true;
    }
    if (khost::Execute("KorvaneCreate").status != khost::kSuccess)
        return false;
    for (const khost::Connection& c : khost::ListConnections())
        if (c.source.find(".outMesh") != std::string::npos)
        {
            net.node = c.source.substr(0, c.source.find('.'));
            net.shape = c.destination.substr(0, c.destination.find('.'));
        }
    if (net.node.empty())
        return false;
    // Default settings but the cache: frame 1 of <dir>/cache/blob.#.bin.
    if (khost::SetAttrString(net.node, "m_flPath", d.evalDir + "/") != khost::kSuccess ||
        khost::SetAttrString(net.node, "m_flName", "blob.#") != khost::kSuccess ||
        khost::SetAttrNumber(net.node, "m_flFormat", 3) != khost::kSuccess ||
        khost::SetAttrNumber(net.node, "m_flIdxValue", 1.0) != khost::kSuccess)
        return false;
    khost::TakeMessages();
    net.ready = true;
    return true;
}

// One evaluation: the index value alternates between 1.0 and 1.2 (both frame
// 1 with the default rounding and no fraction strength), which dirties the
// output so that the node computes again.
bool EvaluateNode(NodeNet& net, int32_t wantPoly)
{
    static bool flip = false;
    flip = !flip;
    khost::SetAttrNumber(net.node, "m_flIdxValue", flip ? 1.2 : 1.0);
    const khost::EvalResult r = khost::EvaluateSizes(net.shape, "inMesh");
    const std::vector<khost::Message> lines = khost::TakeMessages();
    if (r.status != khost::kSuccess || !r.computed || r.mesh.numPolygons != wantPoly)
    {
        for (const khost::Message& m : lines)
            std::fprintf(stderr, "  %s\n", m.text.c_str());
        return false;
    }
    return true;
}

int64_t StatusKb(const char* key)
{
    FILE* f = std::fopen("/proc/self/status", "r");
    if (!f)
        return -1;
    char line[256];
    int64_t kb = -1;
    const size_t n = std::strlen(key);
    while (std::fgets(line, sizeof(line), f))
        if (std::strncmp(line, key, n) == 0)
            kb = std::strtoll(line + n, nullptr, 10);
    std::fclose(f);
    return kb;
}

// Peak memory of one evaluation, measured in a fresh process (this program
// run again with --peak-child, so that no heap left over from the other rows
// can hide an allocation): the peak resident size is reset (clear_refs 5),
// the evaluation runs, and the rise of the peak over the resident size before
// it is the answer. Returns bytes, or -1.
int64_t PeakChild(const Data& d)
{
    NodeNet net;
    if (!SetUpNode(net, d))
        return -1;
    FILE* cr = std::fopen("/proc/self/clear_refs", "w");
    if (!cr)
        return -1;
    std::fputs("5", cr);
    std::fclose(cr);
    const int64_t before = StatusKb("VmRSS:");
    const bool ok = EvaluateNode(net, d.numPoly);
    const int64_t peak = StatusKb("VmHWM:");
    return ok && before >= 0 && peak >= 0 ? (peak - before) * 1024 : -1;
}

int64_t EvaluationPeakBytes()
{
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof(self) - 1);
    if (n <= 0)
        return -1;
    self[n] = '\0';
    std::string cmd = std::string("'") + self + "' --peak-child --reuse --dir '" + g_opt.dir + "' --tris " +
                      std::to_string(g_opt.tris) + " --plugin '" + g_opt.plugin + "'";
    FILE* p = popen(cmd.c_str(), "r");
    if (!p)
        return -1;
    long long bytes = -1;
    if (std::fscanf(p, "%lld", &bytes) != 1)
        bytes = -1;
    pclose(p);
    return bytes;
}
#endif

int Main()
{
    const Data d = WriteData();
#ifdef KORVANE_PERF_HOST
    if (g_opt.peakChild)
    {
        std::printf("%lld\n", static_cast<long long>(PeakChild(d)));
        return 0;
    }
#endif
#ifdef KORVANE_PERF_OPENMESH
    OMMesh om; // before the rows: the smoother of a row refers to it
#endif
    std::vector<Row> rows;
    ZNQGeometry g;
    g.Init(0);
    // Every row but those of the thread counts runs on one thread.
    omp_set_num_threads(1);

    // ---- .obj readers ----
    if (Wanted("obj"))
    {
        const size_t nv = size_t(d.numVert);
        Row full = ReaderRow("obj", ".obj v/vt/vn, LoadFromFile normals+UVWs", d.objFull, true, false, false, true,
                             d.numPoly, g);
#ifdef KORVANE_PERF_TINYOBJ
        full.c.push_back({"tinyobjloader", {}, [&d, nv] { return TinyObjLoad(d.objFull, nv); }, {}, false});
        full.targetPeer = int(full.c.size()) - 1;
        full.targetRatio = 0.18;
#endif
#ifdef KORVANE_PERF_ASSIMP
        full.c.push_back({"assimp", {}, [&d] { return AssimpLoad(d.objFull, unsigned(d.numPoly)); }, {}, false});
        full.targetPeer2 = int(full.c.size()) - 1;
        full.targetRatio2 = 0.3;
#endif
#ifdef KORVANE_PERF_OPENMESH
        full.c.push_back({"OpenMesh", {}, [&d] { return OpenMeshLoad(d.objFull, true, size_t(d.numPoly)); }, {}, false});
#endif
        full.c.push_back({"chunked read+newline scan", {}, [&d] { return ChunkedNewlineScan(d.objFull); }, {}, false});
        // fast_obj (about 0.19x tinyobjloader on this machine) and rapidobj
        // have no Debian package, so they are not rows here.
        full.target = "<= 0.18x tinyobjloader, <= 0.3x assimp";
        Measure(full);
        rows.push_back(std::move(full));

        Row plain = ReaderRow("obj", ".obj v only, LoadFromFile", d.objPlain, false, false, false, false, d.numPoly, g);
#ifdef KORVANE_PERF_TINYOBJ
        plain.c.push_back({"tinyobjloader", {}, [&d, nv] { return TinyObjLoad(d.objPlain, nv); }, {}, false});
#endif
#ifdef KORVANE_PERF_ASSIMP
        plain.c.push_back({"assimp", {}, [&d] { return AssimpLoad(d.objPlain, unsigned(d.numPoly)); }, {}, false});
#endif
#ifdef KORVANE_PERF_OPENMESH
        plain.c.push_back({"OpenMesh", {}, [&d] { return OpenMeshLoad(d.objPlain, false, size_t(d.numPoly)); }, {}, false});
#endif
        plain.c.push_back({"chunked read+newline scan", {}, [&d] { return ChunkedNewlineScan(d.objPlain); }, {}, false});
        Measure(plain);
        rows.push_back(std::move(plain));
    }
    if (Wanted("threads"))
        ObjThreadsRows(d, g, rows);

    // ---- binary readers, everything on ----
    if (Wanted("binary"))
    {
        struct B
        {
            const char* op;
            const std::string* path;
        } list[] = {{".znq, LoadFromFile all data", &d.znq},
                    {".drs2 binary, LoadFromFile all data", &d.drs2Bin},
                    {"RealFlow .bin, LoadFromFile all data", &d.bin}};
        for (const B& b : list)
        {
            Row row = ReaderRow("binary", b.op, *b.path, true, true, true, true, d.numPoly, g);
            const std::string path = *b.path;
            row.c.push_back({"fread of the file", {}, [path] { return FreadWhole(path); }, {}, false});
            row.target = "<= 4x fread";
            row.targetPeer = 1;
            row.targetRatio = 4.0;
            Measure(row);
            rows.push_back(std::move(row));
        }
    }
    if (Wanted("ascii"))
    {
        Row row = ReaderRow("ascii", ".drs2 ascii, LoadFromFile all data", d.drs2Ascii, true, true, true, true,
                            d.numPoly, g);
        row.c.push_back({"chunked read+newline scan", {}, [&d] { return ChunkedNewlineScan(d.drs2Ascii); }, {}, false});
        Measure(row);
        rows.push_back(std::move(row));
    }
    if (Wanted("threads"))
    {
        AddDrs2AsciiThreadsRow(d, g, rows);
        AddBinaryThreadsRows(d, g, rows);
        omp_set_num_threads(1);
    }
    g.Clear();

    // ---- topology and smoothing on a closed 1M-triangle torus ----
    ZNQGeometry torus;
    torus.Init(0);
    const int32_t tw = std::max<int32_t>(8, int32_t(std::lround(std::sqrt(double(g_opt.tris)))));
    const int32_t th = std::max<int32_t>(4, g_opt.tris / (2 * tw));
    MakeTorus(torus, tw, th);
    if (Wanted("topology"))
    {
        Row row;
        row.group = "topology";
        row.operation = "derived data: vertex adjacency, edges, node edges, edge polygons";
        row.items = torus._numPoly;
        row.input = Tris(torus._numPoly) + " (closed torus)";
        row.c.push_back({"Korvane", [&g, &torus] { CopyMesh(torus, g); },
                         [&g] {
                             return g._DynGetVertAdjVertArr() && g._DynGetEdges() && g._DynGetPolyEInd() &&
                                    g._DynGetEdgeAdjPolyArr();
                         },
                         {},
                         false});
#ifdef KORVANE_PERF_OPENMESH
        row.c.push_back({"OpenMesh TriMesh build (reserve)", {},
                         [&om, &torus] {
                             OMMesh fresh;
                             BuildOpenMesh(torus, fresh);
                             return fresh.n_faces() == size_t(torus._numPoly);
                         },
                         {},
                         false});
        row.target = "<= 0.15x OpenMesh build";
        row.targetPeer = 1;
        row.targetRatio = 0.15;
#endif
        row.c.push_back({"count/layout/fill passes alone (no repeat test, no edge search)", {},
                         [&torus] { return DerivedPassesOnly(torus); }, {}, false});
        Measure(row);
        rows.push_back(std::move(row));
    }
    if (Wanted("smooth"))
    {
        Row row;
        row.group = "smooth";
        row.operation = "SimpleSmooth, 1 iteration, adjacency built";
        row.items = torus._numPoly;
        row.input = Tris(torus._numPoly) + " (closed torus)";
        row.c.push_back({"Korvane",
                         [&g, &torus] {
                             CopyMesh(torus, g);
                             if (!g._DynGetVertAdjVertArr())
                                 Fail("adjacency");
                         },
                         [&g] { return g.SimpleSmooth(1.0f, 1) == 0; },
                         {},
                         false});
#ifdef KORVANE_PERF_OPENMESH
        BuildOpenMesh(torus, om);
        om.request_vertex_normals();
        om.request_face_normals();
        om.update_normals();
        auto smoother = std::make_shared<OpenMesh::Smoother::JacobiLaplaceSmootherT<OMMesh>>(om);
        smoother->initialize(OpenMesh::Smoother::SmootherT<OMMesh>::Tangential_and_Normal,
                             OpenMesh::Smoother::SmootherT<OMMesh>::C0);
        row.c.push_back({"OpenMesh JacobiLaplaceSmoother smooth(1)", {},
                         [smoother] {
                             smoother->smooth(1);
                             return true;
                         },
                         {},
                         false});
        row.target = "<= 0.5x OpenMesh";
        row.targetPeer = 1;
        row.targetRatio = 0.5;
#endif
        Measure(row);
        rows.push_back(std::move(row));
    }
    if (Wanted("threads"))
    {
        const std::string in = Tris(torus._numPoly) + " (closed torus)";
        Row derived = ThreadsRow(
            "derived data of an evaluation: vertex polygons, node records, polygon and vertex normals", in,
            torus._numPoly, 0.7, [&g, &torus] { CopyMesh(torus, g); }, [&g] { return g._DynGetVertNrm() != nullptr; });
        Measure(derived);
        rows.push_back(std::move(derived));

        Row topology = TopologyThreadsRow(g, torus, in);
        Measure(topology);
        rows.push_back(std::move(topology));

        // Node normals on: the vertex normals are their per-vertex means.
        ZNQGeometry withNormals;
        withNormals.Init(0);
        CopyMesh(torus, withNormals);
        const size_t nn = size_t(withNormals.NumNodes());
        withNormals._nodeNrm = withNormals._MemAllocArr<float3>(nn, false);
        if (!withNormals._nodeNrm)
            Fail("node normals");
        for (size_t k = 0; k < nn; ++k)
            withNormals._nodeNrm[k] = float3{0.0f, float(k % 7) * 0.1f, 1.0f};
        Row means = ThreadsRow("derived data: vertex polygons, vertex normals from node normals", in,
                               torus._numPoly, 0.7,
                               [&g, &withNormals, nn] {
                                   CopyMesh(withNormals, g); // positions and polygons
                                   g._nodeNrm = g._MemAllocArr<float3>(nn, false);
                                   if (!g._nodeNrm)
                                       Fail("node normals");
                                   std::memcpy(g._nodeNrm, withNormals._nodeNrm, nn * sizeof(float3));
                               },
                               [&g] { return g._DynGetVertNrm() != nullptr; });
        Measure(means);
        rows.push_back(std::move(means));
        withNormals.Clear();

        Row clean = ThreadsRow("CleanUp of a mesh with nothing to clean", in, torus._numPoly, 0.7,
                               [&g, &torus] { CopyMesh(torus, g); }, [&g] { return CleanUp(g) == 0; });
        Measure(clean);
        rows.push_back(std::move(clean));
    }
    torus.Clear();
    omp_set_num_threads(1);

    if (Wanted("triangulate"))
    {
        ZNQGeometry quads;
        quads.Init(0);
        const int32_t qw = 1000, qh = std::max<int32_t>(1, g_opt.tris / 2 / qw);
        MakeQuads(quads, qw, qh);
        Row row;
        row.group = "triangulate";
        row.operation = "Triangulate all quads";
        row.items = 2.0 * quads._numPoly;
        char in[64];
        std::snprintf(in, sizeof(in), "%.0fk quads", quads._numPoly / 1e3);
        row.input = in;
        row.c.push_back({"Korvane", [&g, &quads] { CopyMesh(quads, g); },
                         [&g, &quads] {
                             return g.Triangulate(nullptr, 0, false) == 0 && g._numPoly == 2 * quads._numPoly;
                         },
                         {},
                         false});
#ifdef KORVANE_PERF_CGAL
        using Kernel = CGAL::Exact_predicates_inexact_constructions_kernel;
        using CMesh = CGAL::Surface_mesh<Kernel::Point_3>;
        CMesh source;
        {
            std::vector<CMesh::Vertex_index> vi;
            vi.reserve(size_t(quads._numVert));
            for (int32_t v = 0; v < quads._numVert; ++v)
            {
                const float3& p = quads._vertPos[v];
                vi.push_back(source.add_vertex(Kernel::Point_3(p.x, p.y, p.z)));
            }
            for (int32_t p = 0; p < quads._numPoly; ++p)
            {
                const int32_t* q = quads._polyVInd + 4 * size_t(p);
                source.add_face(vi[size_t(q[0])], vi[size_t(q[1])], vi[size_t(q[2])], vi[size_t(q[3])]);
            }
        }
        // A fresh copy every round, as Korvane's Triangulate writes into
        // fresh arrays: assigning into the previous round's mesh would keep
        // the capacity its arrays grew to, and the timed part would never
        // allocate.
        auto work = std::make_shared<CMesh>();
        row.c.push_back({"CGAL triangulate_faces", [work, &source] { *work = CMesh(source); },
                         [work, &quads] {
                             return CGAL::Polygon_mesh_processing::triangulate_faces(*work) &&
                                    work->number_of_faces() == 2 * size_t(quads._numPoly);
                         },
                         {},
                         false});
        row.target = "<= 0.3x CGAL";
        row.targetPeer = 1;
        row.targetRatio = 0.3;
#endif
        Measure(row);
        rows.push_back(std::move(row));
        quads.Clear();
    }
    g.Clear();

#ifdef KORVANE_PERF_HOST
    int64_t peak = -1;
    if (Wanted("eval"))
    {
        // The peak first, in a child that has evaluated nothing yet.
        peak = EvaluationPeakBytes();
        NodeNet net;
        if (!SetUpNode(net, d))
            Fail("the node network could not be set up");
        Row row;
        row.group = "eval";
        row.operation = "node evaluation, default settings, headless host";
        row.bytes = double(FileBytes(d.bin));
        row.items = d.numPoly;
        row.input = Tris(d.numPoly) + " .bin, " + MB(FileBytes(d.bin));
        // One thread, as every row outside --only threads: the node passes
        // the host's thread count on to the OpenMP run time.
        row.c.push_back({"Korvane", [] { khost::SetNumThreads(1); },
                         [&net, &d] { return EvaluateNode(net, d.numPoly); }, {}, false});
        const std::string bin = d.evalDir + "/blob.1.bin";
        row.c.push_back({"fread of the file", {}, [bin] { return FreadWhole(bin); }, {}, false});
        row.target = "<= 12x fread";
        row.targetPeer = 1;
        row.targetRatio = 12.0;
        Measure(row);
        rows.push_back(std::move(row));
    }
#endif

#ifdef KORVANE_PERF_HOST
    if (Wanted("threads"))
    {
        NodeNet net;
        if (!SetUpNode(net, d))
            Fail("the node network could not be set up");
        Row row = ThreadsRow("node evaluation, default settings, headless host", Tris(d.numPoly) + " .bin, " +
                                 MB(FileBytes(d.bin)), d.numPoly, 0.75, {},
                             [&net, &d] { return EvaluateNode(net, d.numPoly); });
        // The node passes the host's thread count to the OpenMP run time.
        row.c[0].setup = [] { khost::SetNumThreads(2); };
        row.c[1].setup = [] { khost::SetNumThreads(1); };
        Measure(row);
        rows.push_back(std::move(row));
        khost::SetNumThreads(0);
    }
    if (Wanted("cold"))
    {
        // 20 frames, each file evicted from the page cache before every
        // round; played forward with the read-ahead on and off.
        const int kFrames = 20;
        const std::string coldDir = d.evalDir + "/cold";
        std::filesystem::create_directories(coldDir);
        std::vector<std::string> files;
        for (int f = 1; f <= kFrames; ++f)
        {
            files.push_back(coldDir + "/blob." + std::to_string(f) + ".bin");
            if (FileBytes(files.back()) != FileBytes(d.bin))
                std::filesystem::copy_file(d.bin, files.back(), std::filesystem::copy_options::overwrite_existing);
        }
        NodeNet net;
        if (!SetUpNode(net, d) || khost::SetAttrString(net.node, "m_flPath", coldDir + "/") != khost::kSuccess)
            Fail("the node network could not be set up");
        auto evictAll = [files] {
            for (const std::string& f : files)
                if (!Evict(f))
                    Fail("eviction failed");
        };
        auto play = [&net, &d, kFrames] {
            for (int f = 1; f <= kFrames; ++f)
            {
                khost::SetAttrNumber(net.node, "m_flIdxValue", double(f));
                const khost::EvalResult r = khost::EvaluateSizes(net.shape, "inMesh");
                khost::TakeMessages();
                if (r.status != khost::kSuccess || r.mesh.numPolygons != d.numPoly)
                    return false;
            }
            return true;
        };
        Row row;
        row.group = "cold";
        row.operation = "playback of 20 frames, files evicted from the page cache first";
        row.bytes = double(kFrames) * double(FileBytes(d.bin));
        row.items = double(kFrames) * d.numPoly;
        row.input = "20 x " + Tris(d.numPoly) + " .bin, " + MB(kFrames * FileBytes(d.bin));
        // The evaluation on one thread: the background reader has the other
        // core, as it has a core of its own on an artist's workstation.
        row.c.push_back({"Korvane, read-ahead on",
                         [evictAll] {
                             khost::SetNumThreads(1);
                             setenv("KORVANE_READ_AHEAD", "1", 1);
                             evictAll();
                         },
                         play, {}, false});
        row.c.push_back({"read-ahead off",
                         [evictAll] {
                             khost::SetNumThreads(1);
                             setenv("KORVANE_READ_AHEAD", "0", 1);
                             evictAll();
                         },
                         play, {}, false});
        // The bound of any read-ahead: the same playback with every file
        // already in the page cache (not evicted).
        row.c.push_back({"files in the page cache, read-ahead off",
                         [] {
                             khost::SetNumThreads(1);
                             setenv("KORVANE_READ_AHEAD", "0", 1);
                         },
                         play, {}, false});
        row.target = "<= 0.70x read-ahead off";
        row.targetPeer = 1;
        row.targetRatio = 0.7;
        Measure(row);
        rows.push_back(std::move(row));
        unsetenv("KORVANE_READ_AHEAD");
        khost::SetNumThreads(0);
        if (!g_opt.keep)
            std::filesystem::remove_all(coldDir);
    }
#endif

    PrintTable(rows, "Korvane next to its peers and the machine's limits");

#ifdef KORVANE_PERF_HOST
    if (Wanted("eval"))
    {
        // The host arrays the output conversion fills: points (4 floats each),
        // polygon counts and polygon connects (one int each).
        const double out = 16.0 * d.numVert + 4.0 * d.numPoly + 4.0 * double(d.numNodes);
        if (peak >= 0)
            std::printf("\nPeak memory of one evaluation (rise of the peak resident size of a fresh "
                        "process): %.1f MB = %.2fx the output mesh arrays (%.1f MB); target <= 3x: %s\n",
                        double(peak) / 1e6, double(peak) / out, out / 1e6, double(peak) <= 3.0 * out ? "yes" : "NO");
        else
            std::printf("\nPeak memory of one evaluation: could not be measured\n");
    }
#endif
    if (!g_opt.keep)
        std::filesystem::remove_all(g_opt.dir);
    return 0;
}

const char kUsage[] =
    "usage: korvane_perf [--dir DIR] [--runs N] [--tris N] [--clock wall|cpu] [--only obj,binary,ascii,"
    "topology,smooth,triangulate,eval,threads,cold] [--plugin PATH] [--keep] [--reuse] [--korvane-only]\n";

} // namespace

int main(int argc, char** argv)
{
    g_opt.dir = (std::filesystem::temp_directory_path() / ("korvane_perf_" + std::to_string(long(getpid())))).string();
#ifdef KORVANE_PERF_PLUGIN
    g_opt.plugin = KORVANE_PERF_PLUGIN;
#endif
    for (int i = 1; i < argc; ++i)
    {
        const std::string a = argv[i];
        auto value = [&](const char* name) -> std::string {
            if (i + 1 >= argc)
            {
                std::fprintf(stderr, "%s needs a value\n%s", name, kUsage);
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--dir")
            g_opt.dir = value("--dir");
        else if (a == "--runs")
            g_opt.runs = std::max(1, std::atoi(value("--runs").c_str()));
        else if (a == "--tris")
            g_opt.tris = std::max(1000, std::atoi(value("--tris").c_str()));
        else if (a == "--clock")
            g_opt.cpuClock = value("--clock") == "cpu";
        else if (a == "--plugin")
            g_opt.plugin = value("--plugin");
        else if (a == "--keep")
            g_opt.keep = true;
        else if (a == "--korvane-only")
            g_opt.korvaneOnly = true;
        else if (a == "--peak-child")
            g_opt.peakChild = true;
        else if (a == "--reuse")
            g_opt.reuse = g_opt.keep = true;
        else if (a == "--only")
        {
            std::string list = value("--only");
            size_t start = 0;
            while (start <= list.size())
            {
                const size_t comma = std::min(list.find(',', start), list.size());
                if (comma > start)
                    g_opt.only.push_back(list.substr(start, comma - start));
                start = comma + 1;
            }
        }
        else
        {
            std::fputs(kUsage, a == "-h" || a == "--help" ? stdout : stderr);
            return a == "-h" || a == "--help" ? 0 : 2;
        }
    }
    return Main();
}
