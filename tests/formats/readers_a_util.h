// Shared helpers of the reader tests: scratch files, little-endian byte
// building, tiny hand-made meshes and the out-of-memory child process.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "geometry/ZNQGeometry.h"

namespace ftest
{

// A geometry that clears itself.
struct Geo
{
    ZNQGeometry g;
    Geo() { g.Init(0); }
    ~Geo() { g.Clear(); }
    ZNQGeometry* operator->() { return &g; }
    operator ZNQGeometry&() { return g; }
};

// One scratch directory per test program, removed at exit.
inline const std::string& ScratchDir()
{
    static std::string dir = [] {
        char tmpl[] = "/tmp/korvane_fmta_XXXXXX";
        const char* d = mkdtemp(tmpl);
        std::string s = d ? d : "/tmp";
        static std::string keep = s;
        std::atexit([] {
            if (std::system(("rm -rf '" + keep + "'").c_str()) != 0) {}
        });
        return s;
    }();
    return dir;
}

inline std::string TempPath(const std::string& name)
{
    return ScratchDir() + "/" + name;
}

inline void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    // A fresh file each time: truncating a file in place makes some file
    // systems flush it to disk first, which slows the cut-at-every-length
    // loops down a hundredfold.
    unlink(path.c_str());
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr) << path;
    if (!bytes.empty())
    {
        ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
    }
    std::fclose(f);
}

inline std::vector<uint8_t> Text(const std::string& s)
{
    return std::vector<uint8_t>(s.begin(), s.end());
}

// Little-endian byte builder.
struct Bytes
{
    std::vector<uint8_t> b;
    Bytes& raw(const void* p, size_t n)
    {
        const uint8_t* c = static_cast<const uint8_t*>(p);
        b.insert(b.end(), c, c + n);
        return *this;
    }
    Bytes& str(const char* s) { return raw(s, std::strlen(s)); }
    Bytes& u8(uint8_t v) { return raw(&v, 1); }
    Bytes& u16(uint16_t v) { return u8(uint8_t(v)).u8(uint8_t(v >> 8)); }
    Bytes& u32(uint32_t v) { return u16(uint16_t(v)).u16(uint16_t(v >> 16)); }
    Bytes& i32(int32_t v) { return u32(uint32_t(v)); }
    Bytes& f32(float f)
    {
        uint32_t u;
        std::memcpy(&u, &f, 4);
        return u32(u);
    }
    Bytes& zeros(size_t n)
    {
        b.insert(b.end(), n, 0);
        return *this;
    }
    Bytes& add(const Bytes& o)
    {
        b.insert(b.end(), o.b.begin(), o.b.end());
        return *this;
    }
    size_t size() const { return b.size(); }
};

// Fills geometry with positions and polygons (any corner counts and indices).
inline void SetMesh(ZNQGeometry& g, const std::vector<float3>& pos,
                    const std::vector<std::vector<int32_t>>& polys)
{
    g.Clear();
    g._vertPos = g._MemAllocArr<float3>(pos.size() ? pos.size() : 1, true);
    for (size_t i = 0; i < pos.size(); ++i)
        g._vertPos[i] = pos[i];
    g._numVert = int32_t(pos.size());
    size_t nodes = 0;
    for (auto& p : polys)
        nodes += p.size();
    g._polyNumVert = g._MemAllocArr<uint8_t>(polys.size(), false);
    g._polyVInd = g._MemAllocArr<int32_t>(nodes, false);
    size_t k = 0;
    for (size_t p = 0; p < polys.size(); ++p)
    {
        g._polyNumVert[p] = uint8_t(polys[p].size());
        for (int32_t v : polys[p])
            g._polyVInd[k++] = v;
    }
    g._numPoly = int32_t(polys.size());
}

// Vertex positions (i, 10 i, 100 i): easy to recognise after renumbering.
inline std::vector<float3> Line(int n)
{
    std::vector<float3> v;
    for (int i = 0; i < n; ++i)
        v.push_back({float(i), float(10 * i), float(100 * i)});
    return v;
}

inline std::vector<std::vector<int32_t>> Polys(const ZNQGeometry& g)
{
    std::vector<std::vector<int32_t>> out;
    int64_t k = 0;
    for (int32_t p = 0; p < g._numPoly; ++p)
    {
        out.emplace_back(g._polyVInd + k, g._polyVInd + k + g._polyNumVert[p]);
        k += g._polyNumVert[p];
    }
    return out;
}

inline bool SameFloat3(const float3& a, const float3& b)
{
    return std::memcmp(&a, &b, sizeof(float3)) == 0;
}

// Sanitizers reserve huge address ranges, so address-space limits only work
// in plain builds.
inline bool AddressLimitUsable()
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    return false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(memory_sanitizer) || __has_feature(thread_sanitizer)
    return false;
#else
    return true;
#endif
#else
    return true;
#endif
}

// In a forked child: cap the address space at its current size plus
// headroom bytes, so larger heap requests fail like on a full machine.
inline void LimitAddressSpace(long long headroom)
{
    long long pages = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r"))
    {
        if (std::fscanf(f, "%lld", &pages) != 1)
            pages = 0;
        std::fclose(f);
    }
    const long long now = pages * sysconf(_SC_PAGESIZE);
    struct rlimit rl;
    rl.rlim_cur = rl.rlim_max = rlim_t(now + headroom);
    setrlimit(RLIMIT_AS, &rl);
}

// A file of size bytes whose head is the given bytes; the rest is a hole
// that reads as zeros and takes no disk space. tail is written at the end.
inline void WriteSparse(const std::string& path, const std::vector<uint8_t>& head, int64_t size,
                        const std::vector<uint8_t>& tail = {})
{
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(std::fwrite(head.data(), 1, head.size(), f), head.size());
    ASSERT_EQ(ftruncate(fileno(f), off_t(size)), 0);
    if (!tail.empty())
    {
        ASSERT_EQ(fseeko(f, off_t(size - int64_t(tail.size())), SEEK_SET), 0);
        ASSERT_EQ(std::fwrite(tail.data(), 1, tail.size(), f), tail.size());
    }
    std::fclose(f);
}

} // namespace ftest
