// ReadObj and ReadRealFlowBin on a ~1,000,000-triangle mesh, each next to the
// cheapest read of the same file: a chunked read with a newline scan for the
// .obj, one fread for the .bin.
//
// The .obj carries v, vt (3 components) and vn, one vt and vn per vertex and
// faces as v/vt/vn (about 110 MB); the .bin has vertex, texture and velocity
// chunks. Both are written once per process into the temp directory.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "SampleMesh.h"
#include "WriteObj.h"
#include "WriteRealFlowBin.h"
#include "formats/ZNQFormats.h"

namespace {

constexpr int32_t kTris = 1000000;

struct Files
{
    std::string obj, bin;
    int64_t objBytes = 0, binBytes = 0;
    int32_t numPoly = 0;
};

// The sample mesh with UVWs made per vertex (its seam and pole nodes carry
// their own), so that the .obj holds one vt per vertex like a typical cache.
const Files& TestFiles()
{
    static Files files;
    if (!files.obj.empty())
        return files;
    const std::string dir =
        (std::filesystem::temp_directory_path() / ("korvane_bench_b_" + std::to_string(long(getpid())))).string();
    std::filesystem::create_directories(dir);
    ZNQGeometry g;
    g.Init(0);
    if (!MakeSampleMesh(g, kTris, 0.0f))
    {
        std::fprintf(stderr, "sample mesh failed\n");
        std::exit(1);
    }
    const int64_t nodes = g.NumNodes();
    for (int64_t k = 0; k < nodes; ++k)
    {
        const float3& p = g._vertPos[g._polyVInd[k]];
        g._nodeUvw[k] = {0.5f + 0.5f * p.x, 0.5f + 0.5f * p.y, 0.5f + 0.5f * p.z};
    }
    files.obj = dir + "/mesh.obj";
    files.bin = dir + "/mesh.bin";
    ObjWriteOptions oo;
    RealFlowBinWriteOptions bo;
    if (WriteObj(g, files.obj.c_str(), oo) || WriteRealFlowBin(g, files.bin.c_str(), bo))
    {
        std::fprintf(stderr, "writing the test files failed\n");
        std::exit(1);
    }
    files.objBytes = static_cast<int64_t>(std::filesystem::file_size(files.obj));
    files.binBytes = static_cast<int64_t>(std::filesystem::file_size(files.bin));
    files.numPoly = g._numPoly;
    g.Clear();
    return files;
}

void BM_ReadObj(benchmark::State& state)
{
    const Files& f = TestFiles();
    ZNQGeometry g;
    g.Init(0);
    for (auto _ : state)
    {
        if (ReadObj(g, f.obj.c_str(), true, true, nullptr, false) || g._numPoly != f.numPoly || !g._nodeNrm ||
            !g._nodeUvw)
            state.SkipWithError("ReadObj failed");
        g.Clear();
    }
    state.SetBytesProcessed(state.iterations() * f.objBytes);
    state.counters["MB"] = double(f.objBytes) / 1e6;
    state.counters["tris"] = f.numPoly;
}

void BM_ObjChunkedReadNewlineScan(benchmark::State& state)
{
    const Files& f = TestFiles();
    std::vector<char> block(1 << 20);
    for (auto _ : state)
    {
        FILE* fp = std::fopen(f.obj.c_str(), "rb");
        int64_t lines = 0;
        size_t n;
        while ((n = std::fread(block.data(), 1, block.size(), fp)) > 0)
            for (const char* p = block.data(); (p = static_cast<const char*>(std::memchr(p, '\n', size_t(block.data() + n - p)))); ++p)
                ++lines;
        std::fclose(fp);
        benchmark::DoNotOptimize(lines);
    }
    state.SetBytesProcessed(state.iterations() * f.objBytes);
}

void BM_ReadRealFlowBin(benchmark::State& state)
{
    const Files& f = TestFiles();
    ZNQGeometry g;
    g.Init(0);
    for (auto _ : state)
    {
        if (ReadRealFlowBin(g, f.bin.c_str(), true, true) || g._numPoly != f.numPoly || !g._vertMotion || !g._nodeUvw)
            state.SkipWithError("ReadRealFlowBin failed");
        g.Clear();
    }
    state.SetBytesProcessed(state.iterations() * f.binBytes);
    state.counters["MB"] = double(f.binBytes) / 1e6;
}

void BM_BinFread(benchmark::State& state)
{
    const Files& f = TestFiles();
    for (auto _ : state)
    {
        std::vector<char> all(static_cast<size_t>(f.binBytes));
        FILE* fp = std::fopen(f.bin.c_str(), "rb");
        const size_t n = std::fread(all.data(), 1, all.size(), fp);
        std::fclose(fp);
        benchmark::DoNotOptimize(n);
        benchmark::DoNotOptimize(all.data());
    }
    state.SetBytesProcessed(state.iterations() * f.binBytes);
}

} // namespace

BENCHMARK(BM_ReadObj)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ObjChunkedReadNewlineScan)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadRealFlowBin)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BinFread)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    const Files& f = TestFiles();
    std::remove(f.obj.c_str());
    std::remove(f.bin.c_str());
    std::filesystem::remove(std::filesystem::path(f.obj).parent_path());
    return 0;
}
