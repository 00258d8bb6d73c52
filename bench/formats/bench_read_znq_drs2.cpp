// Reader speed on a ~1,000,000-triangle frame of the sample blob (per-node
// normals, colours and UVWs, motion vectors), next to a plain fread of the
// same file into one array: the floor for any reader. The files stay in the
// page cache, so the figures compare parsing work, not disk speed.
//
//   bench_read_znq_drs2 [--benchmark_filter=...]
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "SampleMesh.h"
#include "WriteDrs2.h"
#include "WriteZnq.h"
#include "formats/ZNQFormats.h"

namespace
{

const int32_t kTris = 1000000;

struct Files
{
    std::string znq, drs2;
    int64_t tris = 0;
    Files()
    {
        const char* tmp = std::getenv("TMPDIR");
        const std::string dir = tmp && *tmp ? tmp : "/tmp";
        znq = dir + "/korvane_bench_a.znq";
        drs2 = dir + "/korvane_bench_a.drs2";
        ZNQGeometry geo;
        geo.Init(0);
        if (!MakeSampleMesh(geo, kTris, 2.0f))
            std::abort();
        tris = geo._numPoly;
        Drs2WriteOptions d;
        d.binary = true;
        d.countWidth = 1;
        d.indexWidth = 4;
        if (!WriteZnq(geo, znq.c_str()) || !WriteDrs2(geo, drs2.c_str(), d))
            std::abort();
        geo.Clear();
    }
    ~Files()
    {
        std::remove(znq.c_str());
        std::remove(drs2.c_str());
    }
};

const Files& TheFiles()
{
    static Files files;
    return files;
}

void PlainFread(benchmark::State& state, const std::string& path)
{
    for (auto _ : state)
    {
        FILE* f = std::fopen(path.c_str(), "rb");
        std::fseek(f, 0, SEEK_END);
        const long size = std::ftell(f);
        std::fseek(f, 0, SEEK_SET);
        void* buf = std::malloc(size_t(size));
        if (std::fread(buf, 1, size_t(size), f) != size_t(size))
            state.SkipWithError("short read");
        benchmark::DoNotOptimize(buf);
        std::free(buf);
        std::fclose(f);
    }
}

void BM_FreadZnq(benchmark::State& state)
{
    PlainFread(state, TheFiles().znq);
}

void BM_FreadDrs2Binary(benchmark::State& state)
{
    PlainFread(state, TheFiles().drs2);
}

void BM_ReadZnqAll(benchmark::State& state)
{
    const uint8_t all[4] = {1, 1, 1, 1};
    ZNQGeometry geo;
    geo.Init(0);
    for (auto _ : state)
    {
        if (ReadZnq(geo, TheFiles().znq.c_str(), true, true, true, true, all, all, all) != 0)
            state.SkipWithError("ReadZnq failed");
        geo.Clear();
    }
    state.counters["tris"] = double(TheFiles().tris);
}

void BM_ReadDrs2Binary(benchmark::State& state)
{
    ZNQGeometry geo;
    geo.Init(0);
    for (auto _ : state)
    {
        if (ReadDrs2(geo, TheFiles().drs2.c_str(), true, true, true) != 0)
            state.SkipWithError("ReadDrs2 failed");
        geo.Clear();
    }
    state.counters["tris"] = double(TheFiles().tris);
}

void BM_MakeSampleMesh(benchmark::State& state)
{
    ZNQGeometry geo;
    geo.Init(0);
    for (auto _ : state)
    {
        if (!MakeSampleMesh(geo, kTris, 2.0f))
            state.SkipWithError("MakeSampleMesh failed");
        geo.Clear();
    }
}

} // namespace

BENCHMARK(BM_FreadZnq)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadZnqAll)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FreadDrs2Binary)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadDrs2Binary)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MakeSampleMesh)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
