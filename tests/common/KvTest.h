// Helpers shared by every test area: a geometry that clears itself, meshes
// built by hand through the counted allocator, scratch files, a little-endian
// byte builder, byte snapshots for "unchanged" checks and the attacks every
// reader must survive (cut at every length, random byte changes, a refused
// allocation in a child process).
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#if defined(_WIN32)
#include <io.h>
#else
#include <sys/resource.h>
#endif

#include <gtest/gtest.h>

#include "formats/ZNQFormats.h"
#include "geometry/ZNQGeometry.h"

namespace kvt
{

using PolyList = std::vector<std::vector<int32_t>>;

// A geometry initialised and cleared with the test's scope: at the end the
// books must balance.
struct Geo
{
    ZNQGeometry g;
    explicit Geo(int32_t threading = 0) { g.Init(threading); }
    ~Geo() { g.Clear(); }
    Geo(const Geo&) = delete;
    Geo& operator=(const Geo&) = delete;
    ZNQGeometry* operator->() { return &g; }
    operator ZNQGeometry&() { return g; }
};

template <typename T>
inline T* CountedCopy(ZNQGeometry& g, const T* src, size_t n)
{
    T* p = g._MemAllocArr<T>(n, false);
    if (p && n)
        std::memcpy(p, src, n * sizeof(T));
    return p;
}

// Replaces the mesh by positions and polygons (indices taken as given, legal
// or not); every other array is dropped.
inline void Build(ZNQGeometry& g, const std::vector<float3>& pos, const PolyList& polys)
{
    g.Clear();
    std::vector<uint8_t> counts;
    std::vector<int32_t> vInd;
    for (const auto& p : polys)
    {
        counts.push_back(static_cast<uint8_t>(p.size()));
        vInd.insert(vInd.end(), p.begin(), p.end());
    }
    g._numVert = static_cast<int32_t>(pos.size());
    g._vertPos = CountedCopy(g, pos.data(), pos.size());
    g._numPoly = static_cast<int32_t>(polys.size());
    g._polyNumVert = CountedCopy(g, counts.data(), counts.size());
    g._polyVInd = CountedCopy(g, vInd.data(), vInd.size());
    g._DynRelease(kDynAll);
}

// Vertex positions (i, 10 i, 100 i): easy to recognise after renumbering.
inline std::vector<float3> Line(int n)
{
    std::vector<float3> v;
    for (int i = 0; i < n; ++i)
        v.push_back({float(i), float(10 * i), float(100 * i)});
    return v;
}

inline PolyList PolysOf(const ZNQGeometry& g)
{
    PolyList out;
    int64_t k = 0;
    for (int32_t p = 0; p < g._numPoly; ++p)
    {
        out.emplace_back(g._polyVInd + k, g._polyVInd + k + g._polyNumVert[p]);
        k += g._polyNumVert[p];
    }
    return out;
}

inline bool Same(const float3& a, const float3& b) { return std::memcmp(&a, &b, sizeof a) == 0; }
inline bool Same(const float4& a, const float4& b) { return std::memcmp(&a, &b, sizeof a) == 0; }
inline bool SameFloat3(const float3& a, const float3& b) { return Same(a, b); }
inline bool Near(const float3& a, const float3& b, float eps = 1e-5f)
{
    return std::fabs(a.x - b.x) <= eps && std::fabs(a.y - b.y) <= eps && std::fabs(a.z - b.z) <= eps;
}

// True when no array is left and the counts are zero (a failed load).
inline bool IsEmpty(const ZNQGeometry& g)
{
    return !g._vertPos && g._numVert == 0 && g._numPoly == 0 && !g._polyNumVert && !g._polyVInd &&
           !g._nodeNrm && !g._nodeUvw && !g._nodeCol && !g._vertMotion;
}

// Deep copy through dst's own counted allocator.
inline void Clone(const ZNQGeometry& src, ZNQGeometry& dst)
{
    dst.Clear();
    const size_t nv = static_cast<size_t>(src._numVert);
    const size_t np = static_cast<size_t>(src._numPoly);
    const size_t nn = static_cast<size_t>(src.NumNodes());
    dst._numVert = src._numVert;
    dst._numPoly = src._numPoly;
    auto cp = [&dst](auto* s, size_t n) { return s ? CountedCopy(dst, s, n) : nullptr; };
    dst._vertPos = cp(src._vertPos, nv);
    dst._vertMotion = cp(src._vertMotion, nv);
    dst._vertUser4 = cp(src._vertUser4, nv);
    for (int c = 0; c < 2; ++c)
        dst._vertUser3[c] = cp(src._vertUser3[c], nv);
    for (int c = 0; c < 4; ++c)
        dst._vertUser1[c] = cp(src._vertUser1[c], nv);
    dst._polyNumVert = cp(src._polyNumVert, np);
    dst._polyVInd = cp(src._polyVInd, nn);
    dst._nodeNrm = cp(src._nodeNrm, nn);
    dst._nodeUvw = cp(src._nodeUvw, nn);
    dst._nodeCol = cp(src._nodeCol, nn);
    dst._DynRelease(kDynAll);
}

// Byte image of one array (empty for a null array).
template <typename T>
inline std::vector<uint8_t> ArrayBytes(const T* p, size_t n)
{
    if (!p)
        return {};
    const uint8_t* b = reinterpret_cast<const uint8_t*>(p);
    return std::vector<uint8_t>(b, b + n * sizeof(T));
}

// Byte image of every array of a geometry (null arrays marked as such).
struct Snapshot
{
    int32_t numVert = 0, numPoly = 0;
    std::vector<std::vector<uint8_t>> arrays;
    std::vector<bool> present;

    Snapshot() = default;
    explicit Snapshot(const ZNQGeometry& g) : numVert(g._numVert), numPoly(g._numPoly)
    {
        const size_t nv = static_cast<size_t>(g._numVert);
        const size_t np = static_cast<size_t>(g._numPoly);
        const size_t nn = static_cast<size_t>(g._polyNumVert ? g.NumNodes() : 0);
        auto add = [this](const void* p, size_t bytes) {
            present.push_back(p != nullptr);
            const uint8_t* b = static_cast<const uint8_t*>(p);
            arrays.emplace_back(p ? std::vector<uint8_t>(b, b + bytes) : std::vector<uint8_t>());
        };
        add(g._vertPos, nv * 12);
        add(g._vertMotion, nv * 12);
        add(g._vertUser4, nv * 16);
        for (int c = 0; c < 2; ++c)
            add(g._vertUser3[c], nv * 12);
        for (int c = 0; c < 4; ++c)
            add(g._vertUser1[c], nv * 4);
        add(g._polyNumVert, np);
        add(g._polyVInd, nn * 4);
        add(g._nodeNrm, nn * 12);
        add(g._nodeUvw, nn * 12);
        add(g._nodeCol, nn * 16);
    }
    bool operator==(const Snapshot& o) const
    {
        return numVert == o.numVert && numPoly == o.numPoly && arrays == o.arrays && present == o.present;
    }
};
inline Snapshot Take(const ZNQGeometry& g) { return Snapshot(g); }

// ---------------------------------------------------------------------------
// Scratch files

// One scratch directory per test program, removed at exit.
inline const std::string& ScratchDir()
{
    static const std::string dir = [] {
        namespace fs = std::filesystem;
        std::error_code ec;
        const fs::path base = fs::temp_directory_path(ec);
        std::random_device rd;
        for (int attempt = 0; attempt < 100; ++attempt)
        {
            const fs::path d = base / ("korvane_test_" + std::to_string(rd()) + std::to_string(attempt));
            if (fs::create_directory(d, ec))
            {
                static std::string keep = d.string();
                std::atexit([] {
                    std::error_code rc;
                    fs::remove_all(keep, rc);
                });
                return keep;
            }
        }
        return base.string();
    }();
    return dir;
}

inline std::string TempPath(const std::string& name) { return ScratchDir() + "/" + name; }

// Writes the bytes to a fresh file (a path, or a name in the scratch
// directory) and returns its path. A fresh file each time: truncating a
// file in place makes some file systems flush it first, which slows the
// cut-at-every-length loops down a hundredfold.
inline std::string WriteFile(const std::string& nameOrPath, const void* data, size_t bytes)
{
    const std::string path =
        std::filesystem::path(nameOrPath).is_absolute() ? nameOrPath : TempPath(nameOrPath);
    std::remove(path.c_str());
    FILE* f = std::fopen(path.c_str(), "wb");
    EXPECT_NE(f, nullptr) << path;
    if (f)
    {
        if (bytes)
        {
            EXPECT_EQ(std::fwrite(data, 1, bytes, f), bytes) << path;
        }
        std::fclose(f);
    }
    return path;
}
inline std::string WriteBytes(const std::string& nameOrPath, const std::vector<uint8_t>& bytes)
{
    return WriteFile(nameOrPath, bytes.data(), bytes.size());
}
inline std::string WriteText(const std::string& nameOrPath, const std::string& text)
{
    return WriteFile(nameOrPath, text.data(), text.size());
}
inline std::vector<uint8_t> Text(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

// Little-endian byte builder for hand-made binary files.
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
    Bytes& f3(float a, float b2, float c) { return f32(a).f32(b2).f32(c); }
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

inline uint32_t Bits(float v)
{
    uint32_t b;
    std::memcpy(&b, &v, 4);
    return b;
}

// ---------------------------------------------------------------------------
// Attacks on readers. load(g, bytes) writes the bytes to a file and reads it.

using LoadFn = std::function<int32_t(ZNQGeometry&, const std::vector<uint8_t>&)>;

// Every cut of a valid file fails with one of the allowed codes (accept may
// allow more for a given length), leaves nothing behind, stays small.
inline void ExpectEveryCutFailsCleanly(const std::vector<uint8_t>& full, const LoadFn& load,
                                       const std::function<bool(size_t len, int32_t rc)>& accept)
{
    Geo g;
    ASSERT_EQ(load(g, full), 0) << "the uncut file loads";
    for (size_t len = 0; len < full.size(); ++len)
    {
        const std::vector<uint8_t> cut(full.begin(), full.begin() + long(len));
        g->_memPeak = 0;
        const int32_t rc = load(g, cut);
        ASSERT_TRUE(accept(len, rc)) << "cut at " << len << ": " << rc;
        ASSERT_LT(g->_memPeak, 64 << 10) << len;
        if (rc != 0)
        {
            ASSERT_TRUE(IsEmpty(g)) << len;
            ASSERT_EQ(g->_memUsed, 0) << len;
        }
    }
}

// Random changes of 1 to 4 bytes (drawn by pick) never break the reader: a
// failure leaves nothing, a success holds only legal indices, memory stays
// small.
inline void ExpectRandomChangesSafe(const std::vector<uint8_t>& full, const LoadFn& load, int rounds,
                                    uint32_t seed, const std::function<uint8_t(std::mt19937&)>& pick)
{
    std::mt19937 rng(seed);
    Geo g;
    for (int round = 0; round < rounds; ++round)
    {
        std::vector<uint8_t> bytes = full;
        const int changes = 1 + int(rng() % 4);
        for (int i = 0; i < changes; ++i)
        {
            const size_t at = rng() % bytes.size();
            bytes[at] = pick(rng);
        }
        g->_memPeak = 0;
        const int32_t rc = load(g, bytes);
        if (rc != 0)
        {
            ASSERT_TRUE(IsEmpty(g)) << round;
        }
        else
            for (int64_t k = 0; k < g->NumNodes(); ++k)
                ASSERT_LT(uint32_t(g->_polyVInd[k]), uint32_t(g->_numVert)) << "cleaned up";
        ASSERT_LT(g->_memPeak, 1 << 20) << round;
    }
}

// A hostile file fails with code, allocates next to nothing and leaves the
// geometry empty.
inline void ExpectSmallFailure(ZNQGeometry& g, const LoadFn& load, const std::vector<uint8_t>& bytes, int32_t code,
                               const char* what)
{
    g._memPeak = 0;
    EXPECT_EQ(load(g, bytes), code) << what;
    EXPECT_LT(g._memPeak, 4096) << what;
    EXPECT_TRUE(IsEmpty(g)) << what;
}

// A named pipe at path that already holds bytes: it opens and reads like a
// file but cannot seek. Returns the descriptor that keeps a writer (close it
// and unlink the path when done), -1 on failure.
inline int MakeFifo(const std::string& path, const std::vector<uint8_t>& bytes)
{
#if defined(_WIN32)
    (void)path;
    (void)bytes;
    return -1; // POSIX named pipes only
#else
    unlink(path.c_str());
    if (mkfifo(path.c_str(), 0600) != 0)
        return -1;
    const int fd = open(path.c_str(), O_RDWR | O_NONBLOCK); // a writer: opening never blocks
    if (fd >= 0 && write(fd, bytes.data(), bytes.size()) != ssize_t(bytes.size()))
    {
        close(fd);
        return -1;
    }
    return fd;
#endif
}

// Sanitizers reserve huge address ranges, so address-space limits only work
// in plain builds.
inline bool AddressLimitUsable()
{
#if defined(_WIN32)
    return false; // setrlimit(RLIMIT_AS) in a forked child: POSIX only
#elif defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
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
#if defined(_WIN32)
    (void)headroom; // no such limit; AddressLimitUsable() is false
#else
    long long pages = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r"))
    {
        if (std::fscanf(f, "%lld", &pages) != 1)
            pages = 0;
        std::fclose(f);
    }
    struct rlimit rl;
    rl.rlim_cur = rl.rlim_max = rlim_t(pages * sysconf(_SC_PAGESIZE) + headroom);
    setrlimit(RLIMIT_AS, &rl);
#endif
}

// In a forked child capped at headroom bytes of further address space:
// run() must come back true (typically: a read failed with a memory code).
inline void ExpectUnderAddressLimit(long long headroom, const std::function<bool()>& run)
{
    EXPECT_EXIT(
        {
            LimitAddressSpace(headroom);
            std::_Exit(run() ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

// A file of size bytes whose head is the given bytes; the rest is a hole
// that reads as zeros and takes no disk space. tail is written at the end.
inline void WriteSparse(const std::string& path, const std::vector<uint8_t>& head, int64_t size,
                        const std::vector<uint8_t>& tail = {})
{
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(std::fwrite(head.data(), 1, head.size(), f), head.size());
#if defined(_WIN32)
    ASSERT_EQ(_chsize_s(_fileno(f), size), 0);
#else
    ASSERT_EQ(ftruncate(fileno(f), off_t(size)), 0);
#endif
    if (!tail.empty())
    {
        ASSERT_EQ(FileSeek(f, size - int64_t(tail.size()), SEEK_SET), 0);
        ASSERT_EQ(std::fwrite(tail.data(), 1, tail.size(), f), tail.size());
    }
    std::fclose(f);
}

} // namespace kvt
