// ZNQGeometry: creation, clearing, counted allocation and motion scaling.
//
// The derived-data cache lives in ZNQDynData.cpp, the octree in ZNQOctree.cpp.
#include "geometry/ZNQGeometry.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <type_traits>

#include "geometry/ZNQParallel.h"

// Under AddressSanitizer every block comes from the heap: only then does the
// sanitizer put redzones around large arrays as well, and count them against
// its allocation limits (the fuzz targets run with -malloc_limit_mb); a
// private mapping would hide both.
#if defined(__SANITIZE_ADDRESS__)
#define KORVANE_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KORVANE_UNDER_ASAN 1
#endif
#endif

#if defined(__linux__) && !defined(KORVANE_UNDER_ASAN)
#include <sys/mman.h>
#define KORVANE_HAVE_MMAP 1
#define KORVANE_MAP_LINUX 1
#elif defined(_WIN32) && !defined(KORVANE_UNDER_ASAN)
#if !defined(NOMINMAX)
#define NOMINMAX
#endif
#if !defined(WIN32_LEAN_AND_MEAN)
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#define KORVANE_HAVE_MMAP 1
#define KORVANE_MAP_WINDOWS 1
#else
#define KORVANE_HAVE_MMAP 0
#endif

static_assert(std::is_trivially_copyable<ZNQGeometry>::value,
              "ZNQGeometry must stay a plain record (Init zero-fills it)");

// ---------------------------------------------------------------------------
// Creation and clearing

void ZNQGeometry::Init(int32_t threading)
{
    std::memset(static_cast<void*>(this), 0, sizeof(*this));
    _memTrack = 1;
    _DynRelease(kDynAll);
    _threading = threading;
}

void ZNQGeometry::Clear()
{
    // 1. The geometry's own arrays, each through the counted free.
    _MemFree(_vertPos);
    _MemFree(_vertMotion);
    _MemFree(_vertUser4);
    _MemFree(_vertUser3[0]);
    _MemFree(_vertUser3[1]);
    for (float*& channel : _vertUser1)
        _MemFree(channel);
    _MemFree(_polyNumVert);
    _MemFree(_polyVInd);
    _MemFree(_nodeNrm);
    _MemFree(_nodeUvw);
    _MemFree(_nodeCol);

    // 2. All derived data.
    _DynRelease(kDynAll);

    // 3. Counting back on; the books restart only when it was off.
    if (_memTrack == 0)
    {
        _memTrack = 1;
        _memUsed = 0;
        _memPeak = 0;
    }

    // 4. Limit off, counts and every pointer back to zero.
    _memLimitOn = 0;
    _memLimit = 0;
    _numVert = 0;
    _numPoly = 0;
    std::memset(static_cast<void*>(&_dyn), 0, sizeof(_dyn));

    // 5. Derived counts back to "not computed".
    _DynRelease(kDynAll);

    // 6. _threading is left as it was.
}

int64_t ZNQGeometry::NumNodes() const
{
    if (_numPoly <= 0 || !_polyNumVert)
        return 0;
    // Per-range integer sums, added in range order: exact at any thread count.
    const int32_t ranges = znqpar::RangesFor(_numPoly);
    int64_t part[znqpar::kMaxRanges] = {};
    const uint8_t* counts = _polyNumVert;
    const int64_t numPoly = _numPoly;
#pragma omp parallel for schedule(static, 1) num_threads(ranges) if (ranges > 1)
    for (int32_t r = 0; r < ranges; ++r)
    {
        part[r] = znqpar::SumCounts(counts, znqpar::RangeStart(numPoly, ranges, r),
                                    znqpar::RangeStart(numPoly, ranges, r + 1));
    }
    int64_t sum = 0;
    for (int32_t r = 0; r < ranges; ++r)
        sum += part[r];
    return sum;
}

void ZNQGeometry::ScaleMotionVectors(float factor)
{
    if (!_vertPos || !_vertMotion)
        return;
    for (int32_t v = 0; v < _numVert; ++v)
    {
        _vertMotion[v].x *= factor;
        _vertMotion[v].y *= factor;
        _vertMotion[v].z *= factor;
    }
}

// ---------------------------------------------------------------------------
// Counted allocation
//
// Every block carries a 16-byte header right before the user pointer that
// records how the block was obtained and how many bytes were counted for it,
// so that the free subtracts exactly what the allocation added.
//
// What a block counts depends on the request alone, the same on every
// platform and in every build (CountedBytes): a small block its request plus
// the header, rounded up to 16 bytes; a large block (>= 1 MiB) its request
// plus 64 bytes, rounded up to 2 MiB, which is the length of the mapping it
// gets. So _memUsed and _memPeak of one load are the same numbers on Linux,
// on Windows and under the sanitizers, whatever the heap's own rounding.
//
// Small blocks come from malloc/calloc. Large blocks come from the system's
// page allocator:
// - Linux: an anonymous mapping aligned to 2 MiB and marked MADV_HUGEPAGE:
//   the kernel can then back it with huge pages, which makes the first touch
//   of fresh memory about thirty times cheaper than faulting in 4 KiB pages
//   one by one.
// - Windows: VirtualAlloc (reserved and committed at once, 64 KiB aligned).
//   Large pages there need a privilege that artists' accounts lack, and the
//   C run time's heap hands blocks of this size to VirtualAlloc/VirtualFree
//   itself on every allocation and free, so each frame would fault in and
//   clear every page again; the reuse below avoids that just as on Linux.
// Fresh pages are already zero, so zeroed requests cost nothing extra.
// Released mappings are kept for reuse within a fixed budget (below).
// Process-wide allocator settings are never touched: the plug-in lives
// inside the host's process.

namespace
{
struct BlockHeader
{
    uint64_t counted; // bytes added to _memUsed (usable size or mapping length)
    uint32_t kind;    // kKindHeap or kKindMap
    uint32_t offset;  // user pointer minus start of the underlying block
};
static_assert(sizeof(BlockHeader) == 16, "block header keeps 16-byte alignment");

constexpr uint32_t kKindHeap = 0x4B48454Du; // "KHEM"
[[maybe_unused]] constexpr uint32_t kKindMap = 0x4B4D4150u;  // "KMAP"

// Requests above this are refused outright, so that no size computation below
// can overflow.
constexpr size_t kMaxRequest = std::numeric_limits<size_t>::max() / 4;

constexpr size_t kHugePage = size_t(2) << 20;
constexpr size_t kMapThreshold = size_t(1) << 20;
// A mapping starts page aligned; the user block starts one cache line in.
constexpr size_t kMapOffset = 64;

// The length of the mapping for a large request.
constexpr size_t MapLength(size_t bytes) { return (bytes + kMapOffset + kHugePage - 1) & ~(kHugePage - 1); }

} // namespace

uint64_t ZNQGeometry::CountedBytes(size_t bytes)
{
    if (bytes >= kMapThreshold)
        return MapLength(bytes);
    return (bytes + sizeof(BlockHeader) + 15) & ~size_t(15);
}

namespace
{
#if KORVANE_MAP_WINDOWS
void* MapLarge(size_t bytes, uint64_t& counted)
{
    const size_t len = MapLength(bytes);
    void* base = VirtualAlloc(nullptr, len, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (!base)
        return nullptr;
    counted = len;
    return base;
}

void UnmapLarge(void* base, size_t /*len*/) { VirtualFree(base, 0, MEM_RELEASE); }
#elif KORVANE_MAP_LINUX
void UnmapLarge(void* base, size_t len) { munmap(base, len); }

void* MapLarge(size_t bytes, uint64_t& counted)
{
    const size_t len = MapLength(bytes);
    // Over-map by one huge page, then trim both ends to a 2 MiB aligned range.
    const size_t span = len + kHugePage;
    void* raw = mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED)
        return nullptr;
    const uintptr_t start = reinterpret_cast<uintptr_t>(raw);
    const uintptr_t aligned = (start + kHugePage - 1) & ~uintptr_t(kHugePage - 1);
    if (aligned > start)
        munmap(raw, aligned - start);
    const uintptr_t tail = aligned + len;
    const uintptr_t end = start + span;
    if (end > tail)
        munmap(reinterpret_cast<void*>(tail), end - tail);
    char* base = reinterpret_cast<char*>(aligned);
#ifdef MADV_HUGEPAGE
    madvise(base, len, MADV_HUGEPAGE); // a hint; failure only costs speed
#endif
    counted = len;
    return base;
}
#endif

#if KORVANE_HAVE_MMAP
// Released mappings kept for reuse. Every frame of a cache loads a geometry
// of about the size of the one it replaces, so the blocks the last frame gave
// back fit the next one, and pages touched before cost no fault and no
// clearing (a zeroed request clears just its bytes). At most kRetainSlots
// mappings and kRetainBytes in all are kept, the oldest goes first, and a
// mapping is reused only for a request it exceeds by at most a quarter.
// Plain data behind a spin lock: usable from any thread, and still sound for
// a release during static destruction.
constexpr int kRetainSlots = 24;
constexpr size_t kRetainBytes = size_t(256) << 20;

struct RetainedMap
{
    char* base;
    size_t len;
};

struct RetainCache
{
    std::atomic_flag lock = ATOMIC_FLAG_INIT;
    int count = 0;             // entries in map, oldest first
    size_t bytes = 0;          // their total length
    bool closed = false;       // after static destruction began: no caching
    RetainedMap map[kRetainSlots] = {};
};
RetainCache g_retain;

class RetainLock
{
public:
    RetainLock()
    {
        while (g_retain.lock.test_and_set(std::memory_order_acquire))
        {
        }
    }
    ~RetainLock() { g_retain.lock.clear(std::memory_order_release); }
    RetainLock(const RetainLock&) = delete;
    RetainLock& operator=(const RetainLock&) = delete;
};

// Removes entry i from the kept mappings (lock held) and returns it.
RetainedMap RemoveRetained(int i)
{
    const RetainedMap out = g_retain.map[i];
    g_retain.bytes -= out.len;
    for (int k = i + 1; k < g_retain.count; ++k)
        g_retain.map[k - 1] = g_retain.map[k];
    --g_retain.count;
    return out;
}

// A kept mapping of at least len bytes and at most a quarter more (the
// smallest such), or null.
char* TakeRetained(size_t len, size_t& gotLen)
{
    RetainLock hold;
    int best = -1;
    for (int i = 0; i < g_retain.count; ++i)
    {
        const size_t have = g_retain.map[i].len;
        if (have >= len && have - len <= len / 4 && (best < 0 || have < g_retain.map[best].len))
            best = i;
    }
    if (best < 0)
        return nullptr;
    const RetainedMap taken = RemoveRetained(best);
    gotLen = taken.len;
    return taken.base;
}

// Keeps a released mapping, or unmaps it; unmaps whatever the kept ones
// exceed the limits by.
void ReleaseMap(char* base, size_t len)
{
    RetainedMap drop[kRetainSlots + 1];
    int numDrop = 0;
    {
        RetainLock hold;
        if (g_retain.closed || len > kRetainBytes)
            drop[numDrop++] = RetainedMap{base, len};
        else
        {
            if (g_retain.count == kRetainSlots)
                drop[numDrop++] = RemoveRetained(0);
            g_retain.map[g_retain.count++] = RetainedMap{base, len};
            g_retain.bytes += len;
            while (g_retain.bytes > kRetainBytes)
                drop[numDrop++] = RemoveRetained(0);
        }
    }
    for (int i = 0; i < numDrop; ++i)
        UnmapLarge(drop[i].base, drop[i].len);
}

// Gives the kept mappings back when the library is unloaded or the process
// ends; releases after that unmap at once.
struct RetainDrain
{
    RetainDrain() = default;
    RetainDrain(const RetainDrain&) = delete;
    RetainDrain& operator=(const RetainDrain&) = delete;
    ~RetainDrain()
    {
        RetainLock hold;
        for (int i = 0; i < g_retain.count; ++i)
            UnmapLarge(g_retain.map[i].base, g_retain.map[i].len);
        g_retain.count = 0;
        g_retain.bytes = 0;
        g_retain.closed = true;
    }
};
RetainDrain g_retainDrain;
#endif
} // namespace

void* ZNQGeometry::_MemAlloc(size_t bytes, bool zeroed)
{
    if (bytes > kMaxRequest)
        return nullptr;
    if (_memLimitOn && static_cast<int64_t>(bytes) > _memLimit - _memUsed)
        return nullptr;

    char* user = nullptr;
    uint64_t counted = 0;
    uint32_t kind = kKindHeap;
    uint32_t offset = sizeof(BlockHeader);

#if KORVANE_HAVE_MMAP
    if (bytes >= kMapThreshold)
    {
        const size_t len = MapLength(bytes);
        size_t mapped = 0;
        char* base = TakeRetained(len, mapped);
        if (base)
        {
            if (zeroed)
                std::memset(base + kMapOffset, 0, bytes);
        }
        else
        {
            uint64_t got = 0;
            base = static_cast<char*>(MapLarge(bytes, got));
            mapped = static_cast<size_t>(got);
        }
        if (!base)
            return nullptr;
        // The mapping's own length (a kept one may be longer than len) sits at
        // its start, for the release.
        std::memcpy(base, &mapped, sizeof(mapped));
        kind = kKindMap;
        offset = kMapOffset;
        user = base + kMapOffset;
    }
    else
#endif
    {
        const size_t total = bytes + sizeof(BlockHeader);
        void* raw = zeroed ? std::calloc(1, total) : std::malloc(total);
        if (!raw)
            return nullptr;
        user = static_cast<char*>(raw) + sizeof(BlockHeader);
    }
    counted = CountedBytes(bytes);

    BlockHeader header{counted, kind, offset};
    std::memcpy(user - sizeof(BlockHeader), &header, sizeof(header));

    if (_memTrack == 1)
    {
        _memUsed += static_cast<int64_t>(counted);
        if (_memUsed > _memPeak)
            _memPeak = _memUsed;
    }
    return user;
}

void ZNQGeometry::_MemFreeRaw(void* block)
{
    if (!block)
        return;
    char* user = static_cast<char*>(block);
    BlockHeader header;
    std::memcpy(&header, user - sizeof(BlockHeader), sizeof(header));

    if (_memTrack == 1)
        _memUsed -= static_cast<int64_t>(header.counted);

#if KORVANE_HAVE_MMAP
    if (header.kind == kKindMap)
    {
        char* base = user - header.offset;
        size_t mapped = 0;
        std::memcpy(&mapped, base, sizeof(mapped));
        ReleaseMap(base, mapped);
        return;
    }
#endif
    std::free(user - sizeof(BlockHeader));
}
