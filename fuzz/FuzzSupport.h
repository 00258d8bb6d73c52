// Shared helpers of the fuzz targets: an input consumer, a per-process
// scratch file for the readers, and the checks every target applies to what
// the library hands back.
//
// The targets are plain LLVMFuzzerTestOneInput functions. They are linked
// either with libFuzzer (clang, -fsanitize=fuzzer) or with FuzzReplayMain.cpp,
// which replays stored inputs with any compiler (CTest: fuzz_replay_*).
//
// A violated check prints one line and aborts: libFuzzer records the input as
// a crash, the replay test fails.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <filesystem>
#include <process.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

#include <omp.h>

#include "formats/ZNQFormats.h"
#include "formats/ZNQReaderUtil.h"
#include "geometry/ZNQGeometry.h"
#include "geometry/ZNQParallel.h"

namespace kfuzz
{

[[noreturn]] inline void Fail(const char* what, const char* file, int line)
{
    std::fprintf(stderr, "fuzz check failed: %s (%s:%d)\n", what, file, line);
    std::fflush(stderr);
    std::abort();
}

#define KFUZZ_CHECK(cond)                                                                           \
    do                                                                                              \
    {                                                                                               \
        if (!(cond))                                                                                \
            ::kfuzz::Fail(#cond, __FILE__, __LINE__);                                               \
    } while (0)

// Reads an input front to back. Past the end every read gives zeros, so a
// decoder never has to test the remaining length for correctness.
class Bytes
{
public:
    Bytes(const uint8_t* data, size_t size) : _p(data), _end(data + size) {}

    size_t Left() const { return static_cast<size_t>(_end - _p); }
    bool Empty() const { return _p == _end; }

    uint8_t U8()
    {
        return _p < _end ? *_p++ : 0;
    }
    uint16_t U16()
    {
        const uint16_t lo = U8();
        return static_cast<uint16_t>(lo | (U8() << 8));
    }
    uint32_t U32()
    {
        const uint32_t lo = U16();
        return lo | (static_cast<uint32_t>(U16()) << 16);
    }
    bool Bit() { return (U8() & 1) != 0; }
    // At most n bytes; fewer at the end of the input.
    const uint8_t* Take(size_t n, size_t& got)
    {
        got = n < Left() ? n : Left();
        const uint8_t* p = _p;
        _p += got;
        return p;
    }
    // Everything that is left.
    const uint8_t* Rest(size_t& got) { return Take(Left(), got); }

private:
    const uint8_t* _p;
    const uint8_t* _end;
};

// A scratch file per process and extension, on tmpfs when there is one, so
// that every reader runs exactly its production path (open, seek, read,
// close) without touching a disk. The file stays open on our side and is
// rewritten in place for every input (one pwrite and one ftruncate), which
// costs a quarter of recreating it.
class ScratchFile
{
public:
#if defined(_WIN32)
    // Windows: a file in the user's temporary folder, rewritten whole for
    // every input.
    explicit ScratchFile(const char* extension)
    {
        std::error_code ec;
        const std::filesystem::path dir = std::filesystem::temp_directory_path(ec);
        _path = (ec ? std::filesystem::path(".") : dir).string() + "\\korvane-fuzz-" +
                std::to_string(_getpid()) + extension;
    }
    ~ScratchFile() { std::remove(_path.c_str()); }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    // Replaces the file's content; false when it cannot be written.
    bool Write(const uint8_t* data, size_t size) const
    {
        std::FILE* f = std::fopen(_path.c_str(), "wb");
        if (!f)
            return false;
        const bool ok = std::fwrite(data, 1, size, f) == size;
        return std::fclose(f) == 0 && ok;
    }
    const char* Path() const { return _path.c_str(); }

private:
    std::string _path;
#else
    explicit ScratchFile(const char* extension)
    {
        const char* dir = "/dev/shm";
        if (access(dir, W_OK) != 0)
        {
            dir = std::getenv("TMPDIR");
            if (!dir || !*dir)
                dir = "/tmp";
        }
        _path = std::string(dir) + "/korvane-fuzz-" + std::to_string(getpid()) + extension;
        _fd = open(_path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
    }
    ~ScratchFile()
    {
        if (_fd >= 0)
            close(_fd);
        unlink(_path.c_str());
    }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    // Replaces the file's content; false when it cannot be written.
    bool Write(const uint8_t* data, size_t size) const
    {
        if (_fd < 0)
            return false;
        size_t done = 0;
        while (done < size)
        {
            const ssize_t n = pwrite(_fd, data + done, size - done, static_cast<off_t>(done));
            if (n <= 0)
                return false;
            done += static_cast<size_t>(n);
        }
        return ftruncate(_fd, static_cast<off_t>(size)) == 0;
    }
    const char* Path() const { return _path.c_str(); }

private:
    std::string _path;
    int _fd = -1;
#endif
};

// Codes a cache load may end with. Anything else (a derived-data code, "file
// not found" for a file that exists, ...) means a step reported the wrong
// failure or failed where it should not.
inline bool IsLoadCode(int32_t rc)
{
    switch (rc)
    {
    case 0:
    case -1:  // .znq: negative count, bad index width, data chunk before the mesh
    case 8:   // illegal combination of parameters (clean-up, group filter)
    case 10:  // memory
    case 47:  // .obj: read error
    case 50:  // unknown file format
    case 118: // clean-up: polygon flags could not be built
    case 127: // memory while loading
    case 128: // read error
    case 129: // seek error
    case 130: // data count does not match the vertex count
    case 148: // polygon with more than 255 vertices
        return true;
    default:
        return false;
    }
}

// Memory a load may take for a file of fileSize bytes: linear in the size.
// The factor covers the worst expansions (a one-byte index becoming a 4-byte
// index plus 12-byte normal, 12-byte UVW and 16-byte colour per node, the
// clean-up's copies and its derived topology data); the constant covers the
// text reader's block buffer and the heap's rounding.
inline int64_t LoadMemoryBound(size_t fileSize)
{
    return 512 * static_cast<int64_t>(fileSize) + (int64_t(8) << 20);
}

// Reads the first and the last element of every array, so that the
// sanitizer sees an array shorter than its count says.
inline void TouchArrays(const ZNQGeometry& geo)
{
    volatile float sink = 0.0f;
    auto touch3 = [&](const float3* a, int64_t n) {
        if (a && n > 0)
            sink = sink + a[0].x + a[n - 1].z;
    };
    auto touch4 = [&](const float4* a, int64_t n) {
        if (a && n > 0)
            sink = sink + a[0].x + a[n - 1].w;
    };
    const int64_t nv = geo._numVert;
    const int64_t nn = geo.NumNodes();
    touch3(geo._vertPos, nv);
    touch3(geo._vertMotion, nv);
    touch4(geo._vertUser4, nv);
    touch3(geo._vertUser3[0], nv);
    touch3(geo._vertUser3[1], nv);
    for (const float* c : geo._vertUser1)
        if (c && nv > 0)
            sink = sink + c[0] + c[nv - 1];
    touch3(geo._nodeNrm, nn);
    touch3(geo._nodeUvw, nn);
    touch4(geo._nodeCol, nn);
    if (geo._polyVInd && nn > 0)
        sink = sink + static_cast<float>(geo._polyVInd[0]) + static_cast<float>(geo._polyVInd[nn - 1]);
    (void)sink;
}

// What every load leaves: on success a legal mesh (every polygon has 3 to 255
// distinct in-range corners, every vertex is used), on failure an empty
// geometry; the books balance once it is cleared.
inline void CheckLoadResult(ZNQGeometry& geo, int32_t rc, size_t fileSize)
{
    KFUZZ_CHECK(IsLoadCode(rc));
    if (rc != 0)
    {
        KFUZZ_CHECK(geo._vertPos == nullptr);
        KFUZZ_CHECK(geo._numVert == 0 && geo._numPoly == 0);
        KFUZZ_CHECK(geo._memUsed == 0);
    }
    else
    {
        // A file that is well formed but holds no mesh at all (a .znq with
        // only unknown chunks) loads as an empty geometry without positions.
        KFUZZ_CHECK(geo._vertPos != nullptr || (geo._numVert == 0 && geo._numPoly == 0));
        KFUZZ_CHECK(geo._numVert >= 0 && geo._numPoly >= 0);
        KFUZZ_CHECK(geo._numPoly == 0 || (geo._polyNumVert && geo._polyVInd));
        if (geo._numVert == 0)
            KFUZZ_CHECK(geo._numPoly == 0);
        // Stamp per vertex: the polygon that last named it (repeats), and
        // whether any polygon names it (unused vertices).
        std::vector<int32_t> stamp(static_cast<size_t>(geo._numVert), -1);
        int64_t k = 0;
        for (int32_t p = 0; p < geo._numPoly; ++p)
        {
            const int n = geo._polyNumVert[p];
            KFUZZ_CHECK(n >= 3);
            for (int j = 0; j < n; ++j, ++k)
            {
                const int32_t v = geo._polyVInd[k];
                KFUZZ_CHECK(v >= 0 && v < geo._numVert);
                KFUZZ_CHECK(stamp[static_cast<size_t>(v)] != p);
                stamp[static_cast<size_t>(v)] = p;
            }
        }
        KFUZZ_CHECK(k == geo.NumNodes());
        for (int32_t s : stamp)
            KFUZZ_CHECK(s >= 0);
        TouchArrays(geo);
    }
    KFUZZ_CHECK(geo._memPeak <= LoadMemoryBound(fileSize));
    geo.Clear();
    KFUZZ_CHECK(geo._memUsed == 0);
}

// ---------------------------------------------------------------------------
// The same load at 1, 2 and 7 threads.
//
// The parallel paths of the readers and of the derived data start at tens of
// thousands of elements, far beyond a fuzz input. The targets lower those
// bounds (ranges of kFuzzRange elements, ascii chunks of kFuzzChunk bytes,
// blocks read in parts from kFuzzReadBytes bytes),
// so that a few hundred bytes already take every parallel path. The load
// runs at 1 thread (the result the target checks further); inputs of at
// least kCompareBytes bytes run again at 2 threads, and one in four of them
// (by a hash of the input, so replays repeat it) at 7 threads. The code, the
// place and every array must be the same bits.

constexpr int64_t kFuzzRange = 8;
constexpr int64_t kFuzzChunk = 24;
constexpr int64_t kFuzzReadBytes = 16;
constexpr size_t kCompareBytes = 64;

// Code, place and all arrays of a geometry, plus what extra appends.
inline void SnapshotLoad(ZNQGeometry& g, int32_t rc, const ZNQLoadPlace& place, std::vector<uint8_t>& out)
{
    out.clear();
    auto add = [&out](const void* p, int64_t bytes) {
        out.push_back(p ? 1 : 0);
        if (p && bytes > 0)
            out.insert(out.end(), static_cast<const uint8_t*>(p), static_cast<const uint8_t*>(p) + bytes);
    };
    const int64_t head[3] = {rc, g._numVert, g._numPoly};
    add(head, sizeof head);
    char text[256];
    const size_t n = PlaceFormat(place, text, sizeof text);
    add(text, static_cast<int64_t>(n));
    const int64_t nv = g._numVert, nn = g.NumNodes();
    add(g._vertPos, 12 * nv);
    add(g._vertMotion, 12 * nv);
    add(g._vertUser4, 16 * nv);
    for (const float3* u : g._vertUser3)
        add(u, 12 * nv);
    for (const float* u : g._vertUser1)
        add(u, 4 * nv);
    add(g._polyNumVert, g._numPoly);
    add(g._polyVInd, 4 * nn);
    add(g._nodeNrm, 12 * nn);
    add(g._nodeUvw, 12 * nn);
    add(g._nodeCol, 16 * nn);
}

// FNV-1a of the input: picks the inputs that also run at 7 threads.
inline uint32_t InputHash(const uint8_t* data, size_t size)
{
    uint32_t h = 2166136261u;
    for (size_t i = 0; i < size; ++i)
        h = (h ^ data[i]) * 16777619u;
    return h;
}

// Runs load(geometry, place) at 1 thread into geo and returns its code;
// repeats it at 2 (and 7) threads as described above and aborts when any
// outcome differs. derived(geometry, bytes), when given, appends what a
// successful load's derived data hold, compared the same way.
template <typename Load>
int32_t LoadAtThreadCounts(ZNQGeometry& geo, const uint8_t* data, size_t size, const Load& load,
                           void (*derived)(ZNQGeometry&, std::vector<uint8_t>&) = nullptr)
{
    // Threads that sleep at once after a region: on a machine with fewer
    // cores than 7 threads, spinning workers would slow every input down
    // (read when the run time starts, so before its first call; a value
    // set by the user stays).
    static const bool passive = [] {
#if defined(_WIN32)
        if (!std::getenv("OMP_WAIT_POLICY"))
            _putenv_s("OMP_WAIT_POLICY", "passive");
#else
        setenv("OMP_WAIT_POLICY", "passive", 0);
#endif
        return true;
    }();
    (void)passive;
    znqpar::g_minPerRange = kFuzzRange;
    znq_reader::g_drs2ChunkBytes = kFuzzChunk;
    znq_reader::g_parallelReadBytes = kFuzzReadBytes;
    static std::vector<uint8_t> reference, other, extra;
    auto run = [&](ZNQGeometry& g, int threads, std::vector<uint8_t>& snap) {
        omp_set_num_threads(threads);
        ZNQLoadPlace place;
        const int32_t rc = load(g, &place);
        SnapshotLoad(g, rc, place, snap);
        if (derived && rc == 0)
        {
            extra.clear();
            derived(g, extra);
            snap.insert(snap.end(), extra.begin(), extra.end());
        }
        return rc;
    };
    const int32_t rc = run(geo, 1, reference);
    if (size >= kCompareBytes)
    {
        const int counts[2] = {2, 7};
        const int runs = (InputHash(data, size) & 3) == 0 ? 2 : 1;
        for (int i = 0; i < runs; ++i)
        {
            ZNQGeometry g;
            g.Init();
            run(g, counts[i], other);
            g.Clear();
            if (other != reference)
            {
                std::fprintf(stderr, "fuzz: %d threads differ from 1 thread\n", counts[i]);
                KFUZZ_CHECK(other == reference);
            }
        }
    }
    omp_set_num_threads(1);
    return rc;
}

} // namespace kfuzz
