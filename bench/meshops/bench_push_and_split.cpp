// Timings of push, thickness, triangulation and disconnect on generated
// meshes of about a million triangles. Each iteration works on a fresh copy;
// only the operation itself is timed, by thread CPU time (manual time);
// the mean wall time is reported as the counter wall_ms.
#include <benchmark/benchmark.h>

#include <chrono>
#include <functional>

#include "SampleMesh.h"
#include "bench_meshes.h"
#include "geometry/ZNQGeometry.h"

using namespace bench_meshes;

namespace
{

constexpr int32_t kTris = 1000000;

// Source meshes, built once per process.
struct Sources
{
    ZNQGeometry sample{};    // closed blob with node normals, UVWs, colours, motions
    ZNQGeometry openGrid{};  // 1M triangles, open (boundary for thickness)
    ZNQGeometry quads{};     // 500k quads
    ZNQGeometry lshapes{};   // 250k concave hexagons
    Sources()
    {
        sample.Init(0);
        openGrid.Init(0);
        quads.Init(0);
        lshapes.Init(0);
        MakeSampleMesh(sample, kTris, 12.0f);
        MakeTriangleGrid(openGrid, 1000, 500);
        MakeQuadGrid(quads, 1000, 500);
        MakeLShapes(lshapes, 250000);
    }
    ~Sources()
    {
        sample.Clear();
        openGrid.Clear();
        quads.Clear();
        lshapes.Clear();
    }
};

Sources& Src()
{
    static Sources s;
    return s;
}

void Run(benchmark::State& state, const ZNQGeometry& src,
         const std::function<int32_t(ZNQGeometry&)>& op)
{
    ZNQGeometry g{};
    g.Init(0);
    int64_t outPoly = 0, outVert = 0;
    double wall = 0.0;
    int64_t runs = 0;
    for (auto _ : state)
    {
        CopyGeometry(src, g);
        const auto t0 = std::chrono::steady_clock::now();
        const double c0 = ThreadSeconds();
        const int32_t rc = op(g);
        const double c1 = ThreadSeconds();
        const auto t1 = std::chrono::steady_clock::now();
        if (rc != 0)
        {
            state.SkipWithError("operation failed");
            break;
        }
        state.SetIterationTime(c1 - c0);
        wall += std::chrono::duration<double>(t1 - t0).count();
        ++runs;
        outPoly = g._numPoly;
        outVert = g._numVert;
    }
    state.counters["wall_ms"] = runs ? 1e3 * wall / double(runs) : 0.0;
    state.counters["inPoly"] = double(src._numPoly);
    state.counters["outPoly"] = double(outPoly);
    state.counters["outVert"] = double(outVert);
    g.Clear();
}

// The sample blob's poles have more neighbours than the one-byte adjacency
// counts hold, so the operations that need adjacency run on the open grid.
void BM_Push(benchmark::State& s)
{
    Run(s, Src().openGrid, [](ZNQGeometry& g) { return g.Push(0.01f, true, 4); });
}
void BM_Thickness(benchmark::State& s)
{
    Run(s, Src().openGrid, [](ZNQGeometry& g) { return g.Thickness(-0.01f, 0.01f, true, 4, 0, 0); });
}
void BM_TriangulateQuads(benchmark::State& s)
{
    Run(s, Src().quads, [](ZNQGeometry& g) { return g.Triangulate(nullptr, 0, false); });
}
void BM_TriangulateAllOnTriangles(benchmark::State& s)
{
    Run(s, Src().sample, [](ZNQGeometry& g) { return g.Triangulate(nullptr, 0, false); });
}
void BM_TriangulateFivePlusOnTriangles(benchmark::State& s)
{
    Run(s, Src().sample, [](ZNQGeometry& g) { return g.TriangulateFivePlus(); });
}
void BM_TriangulateConcaveOnTriangles(benchmark::State& s)
{
    Run(s, Src().openGrid, [](ZNQGeometry& g) { return g.TriangulateConcave(); });
}
void BM_TriangulateConcaveLShapes(benchmark::State& s)
{
    Run(s, Src().lshapes, [](ZNQGeometry& g) { return g.TriangulateConcave(); });
}
void BM_Disconnect(benchmark::State& s)
{
    Run(s, Src().sample, [](ZNQGeometry& g) { return g.DisconnectPolygons(); });
}

} // namespace

BENCHMARK(BM_Push)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Thickness)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TriangulateQuads)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TriangulateAllOnTriangles)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TriangulateFivePlusOnTriangles)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TriangulateConcaveOnTriangles)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TriangulateConcaveLShapes)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Disconnect)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
