// Derived topology data on a closed torus of 1000 x 500 vertices (500,000
// vertices, 1,000,000 triangles): vertex adjacency, edges, node edge indices
// and edge-to-polygon lists, each on its own (dependencies cached) and the
// four together from scratch, as every frame of a cache needs them.
#include <benchmark/benchmark.h>

#include <cmath>

#include "geometry/ZNQGeometry.h"

namespace
{
constexpr int32_t kNu = 1000;
constexpr int32_t kNv = 500;
constexpr int32_t kTopology = kDynVertAdjVert | kDynEdges | kDynPolyEInd | kDynEdgeAdjPoly;

// One geometry for the whole run, filled through the counted allocator.
ZNQGeometry& Torus()
{
    static ZNQGeometry g = [] {
        ZNQGeometry t;
        t.Init(0);
        t._numVert = kNu * kNv;
        t._vertPos = t._MemAllocArr<float3>(static_cast<size_t>(t._numVert), false);
        for (int32_t i = 0; i < kNu; ++i)
        {
            const float a = 6.2831853f * static_cast<float>(i) / kNu;
            for (int32_t j = 0; j < kNv; ++j)
            {
                const float b = 6.2831853f * static_cast<float>(j) / kNv;
                const float r = 3.0f + std::cos(b);
                t._vertPos[i * kNv + j] = float3{r * std::cos(a), r * std::sin(a), std::sin(b)};
            }
        }
        t._numPoly = 2 * kNu * kNv;
        t._polyNumVert = t._MemAllocArr<uint8_t>(static_cast<size_t>(t._numPoly), false);
        t._polyVInd = t._MemAllocArr<int32_t>(3 * static_cast<size_t>(t._numPoly), false);
        int32_t* ind = t._polyVInd;
        for (int32_t i = 0; i < kNu; ++i)
        {
            for (int32_t j = 0; j < kNv; ++j)
            {
                const int32_t v00 = i * kNv + j;
                const int32_t v10 = ((i + 1) % kNu) * kNv + j;
                const int32_t v11 = ((i + 1) % kNu) * kNv + (j + 1) % kNv;
                const int32_t v01 = i * kNv + (j + 1) % kNv;
                const int32_t tri[6] = {v00, v10, v11, v00, v11, v01};
                for (int32_t k = 0; k < 6; ++k)
                    *ind++ = tri[k];
            }
        }
        for (int32_t p = 0; p < t._numPoly; ++p)
            t._polyNumVert[p] = 3;
        return t;
    }();
    return g;
}

// Rebuilds one item per iteration with everything it needs already cached.
void RebuildItem(benchmark::State& state, int32_t bit, int32_t needs)
{
    ZNQGeometry& g = Torus();
    g._DynRelease(kDynAll);
    if (needs && !g._DynBuild(needs))
    {
        state.SkipWithError("dependency build failed");
        return;
    }
    for (auto _ : state)
    {
        g._DynRelease(bit);
        if (!g._DynBuild(bit))
        {
            state.SkipWithError("build failed");
            break;
        }
    }
    g._DynRelease(kDynAll);
}

void BM_VertAdjVert(benchmark::State& state) { RebuildItem(state, kDynVertAdjVert, 0); }
void BM_Edges(benchmark::State& state) { RebuildItem(state, kDynEdges, kDynVertAdjVert); }
void BM_PolyEInd(benchmark::State& state)
{
    RebuildItem(state, kDynPolyEInd, kDynVertAdjVert | kDynEdges);
}
void BM_EdgeAdjPoly(benchmark::State& state)
{
    RebuildItem(state, kDynEdgeAdjPoly, kDynVertAdjVert | kDynEdges | kDynPolyEInd);
}

// The four items from nothing, through the getter that needs all of them.
void BM_TopologyFromScratch(benchmark::State& state)
{
    ZNQGeometry& g = Torus();
    for (auto _ : state)
    {
        g._DynRelease(kTopology);
        if (!g._DynGetEdgeAdjPolyNum())
        {
            state.SkipWithError("build failed");
            break;
        }
    }
    state.counters["edges"] = g._dyn._numEdges;
    g._DynRelease(kDynAll);
}

// For comparison: vertex normals from polygon normals, from scratch.
void BM_VertNrmFromScratch(benchmark::State& state)
{
    ZNQGeometry& g = Torus();
    for (auto _ : state)
    {
        g._DynRelease(kDynAll);
        if (!g._DynGetVertNrm())
        {
            state.SkipWithError("build failed");
            break;
        }
    }
    g._DynRelease(kDynAll);
}
} // namespace

BENCHMARK(BM_VertAdjVert)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Edges)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PolyEInd)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EdgeAdjPoly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TopologyFromScratch)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VertNrmFromScratch)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
