// Benchmarks of the blurs and smoothing, edge repair, hole closing, inversion
// and quadrangulation on a generated 1,000,000-triangle mesh, and one uniform
// Laplacian iteration next to OpenMesh's JacobiLaplaceSmootherT::smooth(1)
// (when OpenMesh is available, KORVANE_BENCH_OPENMESH).
//
// Each line reports milliseconds per run and, where it helps, the output size
// in counters. Operations that change the mesh run on a fresh copy per
// iteration (the copy is not timed).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "geometry/ZNQGeometry.h"

#ifdef KORVANE_BENCH_OPENMESH
#include <OpenMesh/Core/Mesh/TriMesh_ArrayKernelT.hh>
#include <OpenMesh/Tools/Smoother/JacobiLaplaceSmootherT.hh>
#endif

namespace
{

// 500 x 1000 cells of two triangles each: 1,000,000 triangles, 501,501
// vertices, a wavy height field.
constexpr int32_t kW = 500;
constexpr int32_t kH = 1000;

struct MeshOptions
{
    int32_t holeStride = 0; // > 0: drop cell (x, y) when x % s == s/2 and y % s == s/2
    int32_t dupStride = 0;  // > 0: append a copy of every dupStride-th triangle
    bool nodeData = true;   // node normals, UVWs, colours
    bool motion = true;     // motion vectors
};

bool MakeTriGrid(ZNQGeometry& g, const MeshOptions& o)
{
    g.Clear();
    const int32_t nv = (kW + 1) * (kH + 1);
    auto isHole = [&](int32_t x, int32_t y) {
        return o.holeStride > 0 && x % o.holeStride == o.holeStride / 2 && y % o.holeStride == o.holeStride / 2;
    };
    int32_t cells = 0;
    for (int32_t y = 0; y < kH; ++y)
        for (int32_t x = 0; x < kW; ++x)
            cells += !isHole(x, y);
    const int32_t baseTris = 2 * cells;
    const int32_t dups = o.dupStride > 0 ? baseTris / o.dupStride : 0;
    const int32_t np = baseTris + dups;
    const size_t nodes = 3 * static_cast<size_t>(np);
    g._vertPos = g._MemAllocArr<float3>(static_cast<size_t>(nv), false);
    g._polyNumVert = g._MemAllocArr<uint8_t>(static_cast<size_t>(np), false);
    g._polyVInd = g._MemAllocArr<int32_t>(nodes, false);
    if (!g._vertPos || !g._polyNumVert || !g._polyVInd)
        return false;
    g._numVert = nv;
    g._numPoly = np;
    for (int32_t y = 0; y <= kH; ++y)
        for (int32_t x = 0; x <= kW; ++x)
        {
            const float fx = float(x) / float(kW), fy = float(y) / float(kH);
            g._vertPos[y * (kW + 1) + x] = float3{fx, 2.0f * fy, 0.02f * std::sin(40.0f * fx) * std::cos(37.0f * fy)};
        }
    int32_t* v = g._polyVInd;
    for (int32_t y = 0; y < kH; ++y)
        for (int32_t x = 0; x < kW; ++x)
        {
            if (isHole(x, y))
                continue;
            const int32_t v0 = y * (kW + 1) + x, v1 = v0 + 1, v2 = v0 + kW + 2, v3 = v0 + kW + 1;
            *v++ = v0, *v++ = v1, *v++ = v2;
            *v++ = v0, *v++ = v2, *v++ = v3;
        }
    for (int32_t i = 0; i < dups; ++i)
    {
        const int32_t* t = g._polyVInd + 3 * static_cast<size_t>(i) * o.dupStride;
        *v++ = t[0], *v++ = t[1], *v++ = t[2];
    }
    std::memset(g._polyNumVert, 3, static_cast<size_t>(np));
    if (o.motion)
    {
        g._vertMotion = g._MemAllocArr<float3>(static_cast<size_t>(nv), false);
        if (!g._vertMotion)
            return false;
        for (int32_t i = 0; i < nv; ++i)
            g._vertMotion[i] = float3{0.01f * g._vertPos[i].y, 0.0f, 0.005f};
    }
    if (o.nodeData)
    {
        g._nodeNrm = g._MemAllocArr<float3>(nodes, false);
        g._nodeUvw = g._MemAllocArr<float3>(nodes, false);
        g._nodeCol = g._MemAllocArr<float4>(nodes, false);
        if (!g._nodeNrm || !g._nodeUvw || !g._nodeCol)
            return false;
        for (size_t k = 0; k < nodes; ++k)
        {
            const float3& p = g._vertPos[g._polyVInd[k]];
            g._nodeNrm[k] = float3{0.0f, 0.0f, 1.0f};
            g._nodeUvw[k] = float3{p.x, p.y * 0.5f, 0.0f};
            g._nodeCol[k] = float4{p.x, p.y * 0.5f, 0.5f, 1.0f};
        }
    }
    g._DynRelease(kDynAll);
    return true;
}

template <typename T>
T* Dup(ZNQGeometry& g, const T* src, size_t n)
{
    if (!src)
        return nullptr;
    T* p = g._MemAllocArr<T>(n, false);
    std::memcpy(p, src, n * sizeof(T));
    return p;
}

// Deep copy of the mesh arrays (not the derived data).
void CopyMesh(ZNQGeometry& dst, const ZNQGeometry& src)
{
    dst.Clear();
    const size_t nv = static_cast<size_t>(src._numVert);
    const size_t nn = static_cast<size_t>(src.NumNodes());
    dst._numVert = src._numVert;
    dst._numPoly = src._numPoly;
    dst._vertPos = Dup(dst, src._vertPos, nv);
    dst._vertMotion = Dup(dst, src._vertMotion, nv);
    dst._polyNumVert = Dup(dst, src._polyNumVert, static_cast<size_t>(src._numPoly));
    dst._polyVInd = Dup(dst, src._polyVInd, nn);
    dst._nodeNrm = Dup(dst, src._nodeNrm, nn);
    dst._nodeUvw = Dup(dst, src._nodeUvw, nn);
    dst._nodeCol = Dup(dst, src._nodeCol, nn);
    dst._DynRelease(kDynAll);
}

struct Geo
{
    ZNQGeometry g;
    Geo() { g.Init(0); }
    ~Geo() { g.Clear(); }
};

// ---- Blurs: in place, repeated on the same mesh. ----

void BM_SimpleSmooth1(benchmark::State& state)
{
    // One iteration as the pipeline runs it: vertex adjacency built, blurred,
    // derived data released again.
    Geo geo;
    MakeTriGrid(geo.g, MeshOptions{0, 0, false, false});
    for (auto _ : state)
    {
        const int32_t rc = geo.g.SimpleSmooth(1.0f, 1);
        if (rc != 0)
            state.SkipWithError("SimpleSmooth failed");
        benchmark::DoNotOptimize(geo.g._vertPos);
    }
    state.counters["verts"] = geo.g._numVert;
}
BENCHMARK(BM_SimpleSmooth1)->Unit(benchmark::kMillisecond);

void BM_BlurPositions1CachedAdjacency(benchmark::State& state)
{
    // The Laplacian alone: adjacency cached, one iteration on the positions.
    Geo geo;
    MakeTriGrid(geo.g, MeshOptions{0, 0, false, false});
    if (!geo.g._DynGetVertAdjVertNum())
        state.SkipWithError("adjacency failed");
    for (auto _ : state)
    {
        const int32_t rc = geo.g.BlurVertexData(1.0f, nullptr, 1, geo.g._vertPos, geo.g._numVert, 0);
        if (rc != 0)
            state.SkipWithError("BlurVertexData failed");
        benchmark::DoNotOptimize(geo.g._vertPos);
    }
}
BENCHMARK(BM_BlurPositions1CachedAdjacency)->Unit(benchmark::kMillisecond);

void BM_BlurVertexDataLayouts(benchmark::State& state)
{
    // One iteration per element layout, adjacency cached.
    static const int32_t kTypes[] = {0, 2, 7, 14, 15};
    static const size_t kSizes[] = {12, 16, 2, 4, 8};
    const int idx = static_cast<int>(state.range(0));
    Geo geo;
    MakeTriGrid(geo.g, MeshOptions{0, 0, false, false});
    if (!geo.g._DynGetVertAdjVertNum())
        state.SkipWithError("adjacency failed");
    const size_t n = static_cast<size_t>(geo.g._numVert);
    uint8_t* data = static_cast<uint8_t*>(geo.g._MemAlloc(n * kSizes[idx], true));
    for (auto _ : state)
    {
        const int32_t rc = geo.g.BlurVertexData(1.0f, nullptr, 1, data, geo.g._numVert, kTypes[idx]);
        if (rc != 0)
            state.SkipWithError("BlurVertexData failed");
        benchmark::DoNotOptimize(data);
    }
    geo.g._MemFreeRaw(data);
    static const char* kNames[] = {"float3", "float4", "half", "float", "double"};
    state.SetLabel(kNames[idx]);
}
BENCHMARK(BM_BlurVertexDataLayouts)->DenseRange(0, 4)->Unit(benchmark::kMillisecond);

void BM_BlurNormals1(benchmark::State& state)
{
    Geo geo;
    MakeTriGrid(geo.g, MeshOptions{});
    for (auto _ : state)
    {
        if (geo.g.BlurNormals(1.0f, 1) != 0)
            state.SkipWithError("BlurNormals failed");
    }
}
BENCHMARK(BM_BlurNormals1)->Unit(benchmark::kMillisecond);

void BM_BlurMotionsColorsUvws1(benchmark::State& state)
{
    Geo geo;
    MakeTriGrid(geo.g, MeshOptions{});
    for (auto _ : state)
    {
        if (geo.g.BlurMotions(1.0f, 1) != 0 || geo.g.BlurColors(1.0f, 1) != 0 || geo.g.BlurUvws(1.0f, 1) != 0)
            state.SkipWithError("blur failed");
    }
}
BENCHMARK(BM_BlurMotionsColorsUvws1)->Unit(benchmark::kMillisecond);

void BM_FillZeroNodeNormals(benchmark::State& state)
{
    Geo geo;
    MakeTriGrid(geo.g, MeshOptions{});
    std::memset(geo.g._nodeNrm, 0, static_cast<size_t>(geo.g.NumNodes()) * sizeof(float3));
    for (auto _ : state)
    {
        if (geo.g.FillZeroNodeNormals() != 0)
            state.SkipWithError("FillZeroNodeNormals failed");
    }
}
BENCHMARK(BM_FillZeroNodeNormals)->Unit(benchmark::kMillisecond);

// ---- Topology operations: fresh copy per iteration. ----

// warm: the derived data the operation reads are built before the timer
// runs, so the figure shows the operation's own work.
template <typename Op>
void RunOnCopies(benchmark::State& state, const MeshOptions& opts, Op op, int32_t warmMask = 0)
{
    Geo master;
    MakeTriGrid(master.g, opts);
    Geo work;
    int64_t polysOut = 0, vertsOut = 0;
    for (auto _ : state)
    {
        state.PauseTiming();
        CopyMesh(work.g, master.g);
        for (int bit = 0; bit < 31; ++bit) // one item at a time, in mask order
            if ((warmMask >> bit & 1) && !work.g._DynBuild(int32_t(1) << bit))
                state.SkipWithError("derived data failed");
        state.ResumeTiming();
        if (op(work.g) != 0)
            state.SkipWithError("operation failed");
        polysOut = work.g._numPoly;
        vertsOut = work.g._numVert;
    }
    state.counters["polysIn"] = master.g._numPoly;
    state.counters["polysOut"] = static_cast<double>(polysOut);
    state.counters["vertsOut"] = static_cast<double>(vertsOut);
}

void BM_FixEdges(benchmark::State& state)
{
    // Every 1000th triangle duplicated: 1,000 non-manifold or double edge
    // groups spread over the mesh; edges, edge polygons and offsets built.
    RunOnCopies(state, MeshOptions{0, 1000, true, true}, [](ZNQGeometry& g) { return g.FixEdges(true, true); });
}
BENCHMARK(BM_FixEdges)->Unit(benchmark::kMillisecond);

void BM_FixEdgesWarm(benchmark::State& state)
{
    RunOnCopies(
        state, MeshOptions{0, 1000, true, true}, [](ZNQGeometry& g) { return g.FixEdges(true, true); },
        kDynEdges | kDynEdgeAdjPoly | kDynPolyVIndOffset);
}
BENCHMARK(BM_FixEdgesWarm)->Unit(benchmark::kMillisecond);

void BM_CloseHoles(benchmark::State& state)
{
    // One missing cell in every 10 x 10 block: 5,000 square holes plus the rim.
    RunOnCopies(state, MeshOptions{10, 0, true, true},
                [](ZNQGeometry& g) { return g.CloseHoles(-1.0f, 255); });
}
BENCHMARK(BM_CloseHoles)->Unit(benchmark::kMillisecond);

void BM_CloseHolesWarm(benchmark::State& state)
{
    RunOnCopies(
        state, MeshOptions{10, 0, true, true}, [](ZNQGeometry& g) { return g.CloseHoles(-1.0f, 255); },
        kDynEdges | kDynEdgeAdjPoly | kDynPolyVIndOffset | kDynVertNrm | kDynVertUvw | kDynVertCol);
}
BENCHMARK(BM_CloseHolesWarm)->Unit(benchmark::kMillisecond);

void BM_InvertPolygons(benchmark::State& state)
{
    Geo geo;
    MakeTriGrid(geo.g, MeshOptions{});
    for (auto _ : state)
    {
        geo.g.InvertPolygons(true);
        benchmark::DoNotOptimize(geo.g._polyVInd);
    }
}
BENCHMARK(BM_InvertPolygons)->Unit(benchmark::kMillisecond);

void BM_Quadrangulate(benchmark::State& state)
{
    RunOnCopies(state, MeshOptions{}, [](ZNQGeometry& g) { return g.Quadrangulate(30.0f, 45.0f); });
}
BENCHMARK(BM_Quadrangulate)->Unit(benchmark::kMillisecond);

#ifdef KORVANE_BENCH_OPENMESH
// ---- The same uniform Laplacian iteration in OpenMesh. ----

void BM_OpenMeshJacobiLaplace1(benchmark::State& state)
{
    using Mesh = OpenMesh::TriMesh_ArrayKernelT<>;
    Geo geo;
    MakeTriGrid(geo.g, MeshOptions{0, 0, false, false});
    Mesh mesh;
    mesh.reserve(static_cast<size_t>(geo.g._numVert), 3 * static_cast<size_t>(geo.g._numPoly),
                 static_cast<size_t>(geo.g._numPoly));
    for (int32_t v = 0; v < geo.g._numVert; ++v)
    {
        const float3& p = geo.g._vertPos[v];
        mesh.add_vertex(Mesh::Point(p.x, p.y, p.z));
    }
    for (int32_t f = 0; f < geo.g._numPoly; ++f)
    {
        const int32_t* t = geo.g._polyVInd + 3 * static_cast<size_t>(f);
        mesh.add_face(Mesh::VertexHandle(t[0]), Mesh::VertexHandle(t[1]), Mesh::VertexHandle(t[2]));
    }
    mesh.request_vertex_normals();
    mesh.request_face_normals();
    mesh.update_normals();
    OpenMesh::Smoother::JacobiLaplaceSmootherT<Mesh> smoother(mesh);
    smoother.initialize(OpenMesh::Smoother::SmootherT<Mesh>::Tangential_and_Normal,
                        OpenMesh::Smoother::SmootherT<Mesh>::C0);
    for (auto _ : state)
    {
        smoother.smooth(1);
        benchmark::ClobberMemory();
    }
    state.counters["verts"] = static_cast<double>(mesh.n_vertices());
}
BENCHMARK(BM_OpenMeshJacobiLaplace1)->Unit(benchmark::kMillisecond);
#endif

} // namespace

BENCHMARK_MAIN();
