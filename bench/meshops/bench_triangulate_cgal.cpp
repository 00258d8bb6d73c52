// Triangulate of 500k quads next to CGAL's triangulate_faces on a
// Surface_mesh of the same quads. Each iteration works on a fresh copy; only
// the triangulation is timed, by thread CPU time (manual time); the mean
// wall time is reported as the counter wall_ms.
#include <benchmark/benchmark.h>

#include <CGAL/Exact_predicates_inexact_constructions_kernel.h>
#include <CGAL/Polygon_mesh_processing/triangulate_faces.h>
#include <CGAL/Surface_mesh.h>

#include <chrono>
#include <vector>

#include "bench_meshes.h"
#include "geometry/ZNQGeometry.h"

using namespace bench_meshes;

namespace
{

using Kernel = CGAL::Exact_predicates_inexact_constructions_kernel;
using Mesh = CGAL::Surface_mesh<Kernel::Point_3>;

constexpr int32_t kW = 1000, kH = 500; // 500,000 quads

struct Sources
{
    ZNQGeometry quads{};
    Mesh cgal;
    Sources()
    {
        quads.Init(0);
        MakeQuadGrid(quads, kW, kH);
        std::vector<Mesh::Vertex_index> vi;
        vi.reserve(static_cast<size_t>(quads._numVert));
        for (int32_t v = 0; v < quads._numVert; ++v)
        {
            const float3& p = quads._vertPos[v];
            vi.push_back(cgal.add_vertex(Kernel::Point_3(p.x, p.y, p.z)));
        }
        for (int32_t p = 0; p < quads._numPoly; ++p)
        {
            const int32_t* q = quads._polyVInd + 4 * p;
            cgal.add_face(vi[q[0]], vi[q[1]], vi[q[2]], vi[q[3]]);
        }
    }
    ~Sources() { quads.Clear(); }
};

Sources& Src()
{
    static Sources s;
    return s;
}

void BM_Korvane_Triangulate500kQuads(benchmark::State& state)
{
    ZNQGeometry g{};
    g.Init(0);
    double wall = 0.0;
    int64_t runs = 0;
    for (auto _ : state)
    {
        CopyGeometry(Src().quads, g);
        const auto t0 = std::chrono::steady_clock::now();
        const double c0 = ThreadSeconds();
        const int32_t rc = g.Triangulate(nullptr, 0, false);
        const double c1 = ThreadSeconds();
        const auto t1 = std::chrono::steady_clock::now();
        if (rc != 0 || g._numPoly != 2 * kW * kH)
        {
            state.SkipWithError("triangulation failed");
            break;
        }
        state.SetIterationTime(c1 - c0);
        wall += std::chrono::duration<double>(t1 - t0).count();
        ++runs;
    }
    state.counters["wall_ms"] = runs ? 1e3 * wall / double(runs) : 0.0;
    state.counters["outTris"] = double(g._numPoly);
    g.Clear();
}

void BM_CGAL_TriangulateFaces500kQuads(benchmark::State& state)
{
    size_t faces = 0;
    double wall = 0.0;
    int64_t runs = 0;
    for (auto _ : state)
    {
        Mesh m = Src().cgal;
        const auto t0 = std::chrono::steady_clock::now();
        const double c0 = ThreadSeconds();
        const bool ok = CGAL::Polygon_mesh_processing::triangulate_faces(m);
        const double c1 = ThreadSeconds();
        const auto t1 = std::chrono::steady_clock::now();
        if (!ok)
        {
            state.SkipWithError("CGAL triangulation failed");
            break;
        }
        state.SetIterationTime(c1 - c0);
        wall += std::chrono::duration<double>(t1 - t0).count();
        ++runs;
        faces = m.number_of_faces();
    }
    state.counters["wall_ms"] = runs ? 1e3 * wall / double(runs) : 0.0;
    state.counters["outTris"] = double(faces);
}

} // namespace

BENCHMARK(BM_Korvane_Triangulate500kQuads)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CGAL_TriangulateFaces500kQuads)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
