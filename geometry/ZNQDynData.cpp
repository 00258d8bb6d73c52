// Derived topology data of ZNQGeometry: getters, _DynBuild, _DynRelease and
// the builder of every item.
//
// Every builder walks polygons 0.._numPoly-1 and each polygon's nodes in list
// order, which fixes the order of every list. Lists are laid out in two passes
// (count, then fill through prefix-sum slices of one shared block), so an item
// costs a fixed handful of counted allocations and no per-element allocation.
//
// Geometries that still hold illegal polygons (indices out of range, repeated
// indices, fewer than 3 corners) build every item in bounds: out-of-range
// indices are skipped in the topology items and read as the origin in the
// shape items, and a vertex is never its own neighbour.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "geometry/ZNQGeomRules.h"
#include "geometry/ZNQGeometry.h"
#include "geometry/ZNQOctree.h"
#include "geometry/ZNQParallel.h"

// The vertex adjacency build is kept out of line: its inner loop, the
// hottest of the topology items, then works with its own small set of live
// values instead of sharing them with the builder dispatch.
#if defined(__GNUC__) || defined(__clang__)
#define KORVANE_NOINLINE __attribute__((noinline))
#elif defined(_MSC_VER)
#define KORVANE_NOINLINE __declspec(noinline)
#else
#define KORVANE_NOINLINE
#endif

// GCC turns the short list look-ups of the vertex adjacency into vector
// loops with a scalar tail. On the lists of a mesh (a few entries, written a
// few nodes earlier) they are slower than the plain loop: the whole vertex
// adjacency of a 1M-triangle torus takes 16.7 ms with the plain loops
// against 19.2 ms vectorised, at one thread.
#if defined(__GNUC__) && !defined(__clang__)
#define KORVANE_SCALAR_LOOPS __attribute__((optimize("no-tree-vectorize")))
#else
#define KORVANE_SCALAR_LOOPS
#endif

namespace
{
// Items in the fixed order in which _DynBuild handles a mask.
constexpr int32_t kBuildOrder[] = {
    kDynOctree,        kDynVertUsed,     kDynPolyIllegal,   kDynPolyClasses, kDynEdges,
    kDynEdgeAdjPoly,   kDynVertAdjVert,  kDynVertAdjPoly,   kDynVertAvrgDist, kDynVertBL,
    kDynVertI,         kDynVertICtr,     kDynVertIArea,     kDynVertIOctree, kDynPolyNodeFlags,
    kDynPolyVIndOffset, kDynPolyEInd,    kDynPolyFlags,     kDynPolyAreas,   kDynPolyNrm,
    kDynVertNrm,       kDynVertUvw,      kDynVertCol,
};

constexpr int32_t kPairwiseMaxNodes = 16; // repeated-index test: pairwise up to this size
constexpr int32_t kFloodDepthLimit = 8000;
constexpr int32_t kOctreeLevels = 11;
constexpr int32_t kIslandOctreeLevels = 10;

using znq_rules::Cross;
using znq_rules::FindInList;
using znq_rules::kFindWidth;
using znq_rules::Dot;
using znq_rules::InRange;
using znq_rules::kMaxListCount;
using znq_rules::LayoutSlices;
using znq_rules::Sub;

bool HasMesh(const ZNQGeometry& g)
{
    return g._vertPos && g._numVert >= 1;
}

// Node count of a consistent polygon description, -1 when the arrays cannot
// describe one (missing count or index array, negative polygon count).
int64_t CheckedNumNodes(const ZNQGeometry& g)
{
    if (g._numPoly < 0)
        return -1;
    if (g._numPoly == 0)
        return 0;
    if (!g._polyNumVert)
        return -1;
    const int64_t nodes = g.NumNodes();
    if (nodes > 0 && !g._polyVInd)
        return -1;
    return nodes;
}

// Position of a vertex, or the origin for an index outside [0, numVert): the
// shape items of illegal polygons stay defined and in bounds.
// Runs f(firstPoly, endPoly, firstNode) over the polygons: once over all of
// them with one thread, or over fixed contiguous ranges in parallel. f writes
// only the output of its own polygons or nodes.
template <typename F>
void ForPolygonRanges(const ZNQGeometry& g, const F& f)
{
    const int32_t ranges = znqpar::RangesFor(g._numPoly);
    if (ranges <= 1)
    {
        f(0, g._numPoly, int64_t(0));
        return;
    }
    znqpar::PolyRanges pr;
    znqpar::SplitPolygons(g._polyNumVert, g._numPoly, ranges, pr);
#pragma omp parallel for schedule(static, 1) num_threads(pr.count)
    for (int32_t r = 0; r < pr.count; ++r)
        f(pr.poly[r], pr.poly[r + 1], pr.node[r]);
}

// Runs f(first, end) over [0, count): once with one thread, or over fixed
// contiguous ranges in parallel.
template <typename F>
void ForRanges(int64_t count, const F& f)
{
    const int32_t ranges = znqpar::RangesFor(count);
    if (ranges <= 1)
    {
        f(int64_t(0), count);
        return;
    }
#pragma omp parallel for schedule(static, 1) num_threads(ranges)
    for (int32_t r = 0; r < ranges; ++r)
        f(znqpar::RangeStart(count, ranges, r), znqpar::RangeStart(count, ranges, r + 1));
}

// Slices of one block over fixed ranges of count lists: size(i) is list i's
// slice. RangeSliceSums fills at[0, ranges] with the first entry of each
// range's lists and returns the total; RangeLayout then points arr[i] into
// block. The same layout as the serial walk.
template <typename F>
size_t RangeSliceSums(int32_t count, int32_t ranges, const F& size, int64_t* at)
{
    at[0] = 0;
#pragma omp parallel for schedule(static, 1) num_threads(ranges)
    for (int32_t r = 0; r < ranges; ++r)
    {
        int64_t sum = 0;
        const int64_t i1 = znqpar::RangeStart(count, ranges, r + 1);
        for (int64_t i = znqpar::RangeStart(count, ranges, r); i < i1; ++i)
            sum += size(i);
        at[r + 1] = sum;
    }
    for (int32_t r = 0; r < ranges; ++r)
        at[r + 1] += at[r];
    return static_cast<size_t>(at[ranges]);
}

template <typename F>
void RangeLayout(int32_t count, int32_t ranges, const F& size, const int64_t* at, int32_t** arr, int32_t* block)
{
#pragma omp parallel for schedule(static, 1) num_threads(ranges)
    for (int32_t r = 0; r < ranges; ++r)
    {
        int32_t* b = block + at[r];
        const int64_t i1 = znqpar::RangeStart(count, ranges, r + 1);
        for (int64_t i = znqpar::RangeStart(count, ranges, r); i < i1; ++i)
        {
            arr[i] = b;
            b += size(i);
        }
    }
}

inline float3 SafePos(const ZNQGeometry& g, int32_t v)
{
    return InRange(v, g._numVert) ? g._vertPos[v] : float3{0.0f, 0.0f, 0.0f};
}


// Per-node place in a neighbour list for "no neighbour" (lists hold at most
// 255 entries, places 0..254).
constexpr uint8_t kNoSlot = 255;

// Owner of a vertex shared by polygon ranges (ranges are at most 64).
constexpr uint8_t kNoOwner = 255;


// Polygon legality: fewer than 3 nodes, an index out of range, or an index that
// occurs twice. Small polygons compare pairwise; larger ones use stamp, one
// int32 per vertex holding the last polygon that touched it (start: -1).
bool PolyIsIllegal(const int32_t* idx, int32_t n, int32_t numVert, int32_t* stamp, int32_t poly)
{
    if (n < 3 || !znq_rules::IndicesInRange(idx, n, numVert))
        return true;
    if (n <= kPairwiseMaxNodes)
        return znq_rules::HasRepeatPairwise(idx, n);
    for (int32_t k = 0; k < n; ++k)
    {
        if (stamp[idx[k]] == poly)
            return true;
        stamp[idx[k]] = poly;
    }
    return false;
}

// Stamp array for PolyIsIllegal: numVert entries of -1 when some polygon is
// larger than the pairwise limit, else an empty block.
bool NeedsStamp(const ZNQGeometry& g)
{
    for (int32_t p = 0; p < g._numPoly; ++p)
        if (g._polyNumVert[p] > kPairwiseMaxNodes)
            return true;
    return false;
}

// ---------------------------------------------------------------------------
// Release of one item

// Frees every block given (counted) and nulls its pointer.
template <typename... T>
void FreeAll(ZNQGeometry& g, T*&... blocks)
{
    (g._MemFree(blocks), ...);
}

void ReleaseItem(ZNQGeometry& g, int32_t bit)
{
    ZNQDynData& d = g._dyn;
    switch (bit)
    {
    case kDynVertUsed: d._numVertUsed = d._numVertUnused = -1; break;
    case kDynPolyIllegal: d._numPolyIllegal = -1; break;
    case kDynPolyClasses: d._numPolyTris = d._numPolyQuads = d._numPolyFivePlus = d._numPolyTwoMinus = -1; break;
    case kDynOctree: ZNQOctreeRelease(g, d._octree); break;
    case kDynEdges:
        d._numEdges = -1;
        FreeAll(g, d._edges, d._vertAdjEdgeNum, d._vertAdjEdgeBlock, d._vertAdjEdgeArr);
        break;
    case kDynEdgeAdjPoly: FreeAll(g, d._edgeAdjPolyNum, d._edgeAdjPolyBlock, d._edgeAdjPolyArr); break;
    case kDynVertAdjVert:
        FreeAll(g, d._vertAdjVertNum, d._vertAdjVertBlock, d._vertAdjVertArr, d._nodeAdjNextSlot);
        break;
    case kDynVertAdjPoly: FreeAll(g, d._vertAdjPolyNum, d._vertAdjPolyBlock, d._vertAdjPolyArr); break;
    case kDynVertAvrgDist: FreeAll(g, d._vertAvrgDistToAdjVert); break;
    case kDynVertBL:
        d._numVertBL = -1;
        FreeAll(g, d._vertBLIntIdx, d._vertBLVertIdx);
        break;
    case kDynVertI:
        d._numVertI = -1;
        FreeAll(g, d._vertIID, d._vertINumVert, d._vertIBlock, d._vertIVertArr);
        break;
    case kDynVertICtr: FreeAll(g, d._vertICtr); break;
    case kDynVertIArea: FreeAll(g, d._vertIArea); break;
    case kDynVertIOctree: ZNQOctreeRelease(g, d._vertIOctree); break;
    case kDynPolyNodeFlags: FreeAll(g, d._polyNodeFlags); break;
    case kDynPolyVIndOffset: FreeAll(g, d._polyVIndOffset); break;
    case kDynPolyEInd: FreeAll(g, d._polyEInd); break;
    case kDynPolyFlags: FreeAll(g, d._polyFlags); break;
    case kDynPolyAreas: FreeAll(g, d._polyAreas); break;
    case kDynPolyNrm: FreeAll(g, d._polyNrm); break;
    case kDynVertNrm: FreeAll(g, d._vertNrm); break;
    case kDynVertUvw: FreeAll(g, d._vertUvw); break;
    case kDynVertCol: FreeAll(g, d._vertCol); break;
    default: break;
    }
}

// Whether an item is computed.
bool IsBuilt(const ZNQDynData& d, int32_t bit)
{
    switch (bit)
    {
    case kDynVertUsed: return d._numVertUsed >= 0;
    case kDynPolyIllegal: return d._numPolyIllegal >= 0;
    case kDynPolyClasses: return d._numPolyTris >= 0;
    case kDynOctree: return d._octree != nullptr;
    case kDynEdges: return d._numEdges >= 0;
    case kDynEdgeAdjPoly: return d._edgeAdjPolyNum != nullptr;
    case kDynVertAdjVert: return d._vertAdjVertNum != nullptr;
    case kDynVertAdjPoly: return d._vertAdjPolyNum != nullptr;
    case kDynVertAvrgDist: return d._vertAvrgDistToAdjVert != nullptr;
    case kDynVertBL: return d._numVertBL >= 0;
    case kDynVertI: return d._numVertI >= 0;
    case kDynVertICtr: return d._vertICtr != nullptr;
    case kDynVertIArea: return d._vertIArea != nullptr;
    case kDynVertIOctree: return d._vertIOctree != nullptr;
    case kDynPolyNodeFlags: return d._polyNodeFlags != nullptr;
    case kDynPolyVIndOffset: return d._polyVIndOffset != nullptr;
    case kDynPolyEInd: return d._polyEInd != nullptr;
    case kDynPolyFlags: return d._polyFlags != nullptr;
    case kDynPolyAreas: return d._polyAreas != nullptr;
    case kDynPolyNrm: return d._polyNrm != nullptr;
    case kDynVertNrm: return d._vertNrm != nullptr;
    case kDynVertUvw: return d._vertUvw != nullptr;
    case kDynVertCol: return d._vertCol != nullptr;
    default: return false;
    }
}

// Getter steps 2 and 3: computed, or built now, or released after a failure.
bool Ensure(ZNQGeometry& g, int32_t bit)
{
    if (IsBuilt(g._dyn, bit))
        return true;
    if (g._DynBuild(bit))
        return true;
    g._DynRelease(bit);
    return false;
}

int32_t DynCount(ZNQGeometry& g, int32_t bit, int32_t ZNQDynData::*field)
{
    if (!HasMesh(g) || !Ensure(g, bit))
        return 0;
    return std::max(g._dyn.*field, 0);
}

template <typename T>
T* DynPtr(ZNQGeometry& g, int32_t bit, T* ZNQDynData::*field)
{
    if (!HasMesh(g) || !Ensure(g, bit))
        return nullptr;
    return g._dyn.*field;
}

// The vertex neighbour lists (counts and slices) through their getters;
// false when either fails.
bool GetVertAdjVert(ZNQGeometry& g, const uint8_t*& num, int32_t* const*& arr)
{
    num = g._DynGetVertAdjVertNum();
    arr = g._DynGetVertAdjVertArr();
    return num && arr;
}

// ---------------------------------------------------------------------------
// Counts: used vertices, illegal polygons, polygon classes

bool BuildVertUsed(ZNQGeometry& g)
{
    const int64_t nodes = CheckedNumNodes(g);
    if (nodes < 0)
        return false;
    ZNQScopedArray<uint8_t> mark(g, static_cast<size_t>(g._numVert), true);
    if (!mark.ptr)
        return false;
    for (int64_t i = 0; i < nodes; ++i)
    {
        const int32_t v = g._polyVInd[i];
        if (InRange(v, g._numVert))
            mark[v] = 1;
    }
    int32_t used = 0;
    for (int32_t v = 0; v < g._numVert; ++v)
        used += mark[v];
    g._dyn._numVertUsed = used;
    g._dyn._numVertUnused = g._numVert - used;
    return true;
}

bool BuildPolyIllegal(ZNQGeometry& g)
{
    if (CheckedNumNodes(g) < 0)
        return false;
    const bool needsStamp = NeedsStamp(g);
    ZNQScopedArray<int32_t> stamp(g, needsStamp ? static_cast<size_t>(g._numVert) : 0, false);
    if (!stamp.ptr)
        return false;
    if (needsStamp)
        std::memset(stamp.ptr, 0xFF, sizeof(int32_t) * static_cast<size_t>(g._numVert));
    int32_t illegal = 0;
    const int32_t* idx = g._polyVInd;
    for (int32_t p = 0; p < g._numPoly; ++p)
    {
        const int32_t n = g._polyNumVert[p];
        illegal += PolyIsIllegal(idx, n, g._numVert, stamp.ptr, p) ? 1 : 0;
        idx += n;
    }
    g._dyn._numPolyIllegal = illegal;
    return true;
}

bool BuildPolyClasses(ZNQGeometry& g)
{
    if (CheckedNumNodes(g) < 0)
        return false;
    // Per-range counts, added in range order.
    const int32_t ranges = znqpar::RangesFor(g._numPoly);
    int32_t part[znqpar::kMaxRanges][4] = {};
    const uint8_t* const counts = g._polyNumVert;
    const int32_t numPoly = g._numPoly;
#pragma omp parallel for schedule(static, 1) num_threads(ranges) if (ranges > 1)
    for (int32_t r = 0; r < ranges; ++r)
    {
        int32_t c[4] = {};
        const int64_t end = znqpar::RangeStart(numPoly, ranges, r + 1);
        for (int64_t p = znqpar::RangeStart(numPoly, ranges, r); p < end; ++p)
        {
            const int32_t n = counts[p];
            c[0] += n == 3;
            c[1] += n == 4;
            c[2] += n >= 5;
            c[3] += n <= 2;
        }
        for (int32_t k = 0; k < 4; ++k)
            part[r][k] = c[k];
    }
    int32_t tris = 0, quads = 0, fivePlus = 0, twoMinus = 0;
    for (int32_t r = 0; r < ranges; ++r)
    {
        tris += part[r][0];
        quads += part[r][1];
        fivePlus += part[r][2];
        twoMinus += part[r][3];
    }
    ZNQDynData& d = g._dyn;
    d._numPolyTris = tris;
    d._numPolyQuads = quads;
    d._numPolyFivePlus = fivePlus;
    d._numPolyTwoMinus = twoMinus;
    return true;
}

// ---------------------------------------------------------------------------
// Vertex adjacency (0x40)
//
// Capacity per vertex is twice its node count, capped at the one-byte limit of
// 255: a list that would grow past 255 fails the build, so no slice needs more.
// The node counts fit the one-byte count array: exact up to 255, and a
// vertex with more nodes has the counts taken again saturating at 128 (2 x 128
// is already above the cap), so the count pass needs no wider temporary.

// One node of vertex v: adds the next node's vertex, then the previous
// node's, to v's list if new, and keeps the place of the next node's vertex
// in slot (kNoSlot for a node outside [0, numVert) or without a valid next
// vertex). False when the list would pass 255 entries. Nodes meet their
// vertices in node order (the serial walk's), so the lists are laid out as
// in BuildVertAdjVert. With ownSliceOnly the fixed-width look-up reads only
// v's own slice: the slice after it may be another range's, written
// meanwhile.
template <bool ownSliceOnly>
KORVANE_SCALAR_LOOPS inline bool AddNeighbours(int32_t v, int32_t next, int32_t prev, int32_t numVert,
                                               int32_t* const* arr, uint8_t* num, uint8_t& slot)
{
    if (!InRange(v, numVert))
    {
        slot = kNoSlot;
        return true;
    }
    int32_t* list = arr[v];
    int32_t c = num[v];
    const bool validNext = next != v && InRange(next, numVert);
    const bool validPrev = prev != v && prev != next && InRange(prev, numVert);
    // Both look-ups in one pass over the list as it was: a short list in
    // one fixed-width compare (the common case), a longer one entry by entry.
    int32_t nextAt = c;
    int32_t prevSeen = 0;
#if KORVANE_FIND_SSE2
    if (c <= kFindWidth && (!ownSliceOnly || v + 1 == numVert || arr[v + 1] - list >= kFindWidth))
        znq_rules::FindTwoInShortList(list, c, next, prev, nextAt, prevSeen);
    else
#endif
        for (int32_t i = 0; i < c; ++i)
        {
            const int32_t x = list[i];
            nextAt = x == next ? i : nextAt;
            prevSeen |= x == prev;
        }
    const bool addPrev = validPrev && !prevSeen;
    const bool addNext = validNext && nextAt == c;
    if (c + addNext + addPrev > kMaxListCount)
        return false;
    slot = validNext ? static_cast<uint8_t>(nextAt) : kNoSlot;
    if (c < kMaxListCount - 1)
    {
        // Branch-free appends. Slots c and c + 1 lie inside the slice: before
        // this node the list holds at most 2 entries per earlier node of v,
        // so c <= capacity - 2 below the cap of 255, and c <= 253 here. An
        // entry written but not counted is spare room.
        list[c] = next;
        c += addNext;
        list[c] = prev;
        c += addPrev;
    }
    else
    {
        if (addNext)
            list[c++] = next;
        if (addPrev)
            list[c++] = prev;
    }
    num[v] = static_cast<uint8_t>(c);
    return true;
}

// Node k of a polygon (its indices idx[0, n)) in the parallel build.
KORVANE_SCALAR_LOOPS inline bool AddNodeNeighbours(const int32_t* idx, int32_t n, int32_t k, int32_t numVert,
                                                   int32_t* const* arr, uint8_t* num, uint8_t& slot)
{
    return AddNeighbours<true>(idx[k], idx[k + 1 < n ? k + 1 : 0], idx[k > 0 ? k - 1 : n - 1], numVert, arr, num,
                               slot);
}

// The vertex adjacency over fixed polygon ranges. A vertex whose nodes all
// lie in one range is owned by it: that range adds its nodes in node order,
// as the serial walk does. The nodes of vertices shared by ranges are kept,
// per range, in a list and added afterwards, range after range, so every
// vertex still meets its nodes in node order: the lists and places are those
// of the serial build. 1 built, 0 failed (a list above 255 entries, a refused
// block), -1 not tried (no room for the per-range counts, a vertex with 255
// or more nodes in one range, node numbers past 32 bits): the serial build
// decides.
KORVANE_SCALAR_LOOPS int32_t BuildVertAdjVertRanges(ZNQGeometry& g, int64_t nodes, int32_t ranges)
{
    ZNQDynData& d = g._dyn;
    const int32_t numVert = g._numVert;
    const size_t nv = static_cast<size_t>(numVert);
    if (nodes > std::numeric_limits<int32_t>::max())
        return -1;
    ZNQScopedArray<uint8_t> counts(g, nv * static_cast<size_t>(ranges), false); // zeroed per range
    ZNQScopedArray<uint8_t> owner(g, nv, false);
    if (!counts.ptr || !owner.ptr)
        return -1;
    znqpar::PolyRanges pr;
    znqpar::SplitPolygons(g._polyNumVert, g._numPoly, ranges, pr);
    uint8_t* const c0 = counts.ptr;
    const int32_t* const ind = g._polyVInd;
    uint8_t full[znqpar::kMaxRanges] = {};
#pragma omp parallel for schedule(static, 1) num_threads(pr.count)
    for (int32_t r = 0; r < pr.count; ++r)
    {
        uint8_t* c = c0 + nv * static_cast<size_t>(r);
        std::memset(c, 0, nv);
        full[r] = !znqpar::CountKeys(ind, pr.node[r], pr.node[r + 1], numVert, c);
    }
    for (int32_t r = 0; r < pr.count; ++r)
        if (full[r])
            return -1; // 256 or more nodes of one vertex in one range

    // Per vertex: the node count (saturated at 128: the serial slice sizes),
    // the owner, and per vertex range and polygon range the shared nodes.
    uint8_t* const num = d._vertAdjVertNum;
    uint8_t* const own = owner.ptr;
    const int32_t vr = znqpar::RangesFor(numVert) > 1 ? pr.count : 1;
    ZNQScopedArray<int64_t> sharedBy(g, static_cast<size_t>(vr) * static_cast<size_t>(pr.count), true);
    if (!sharedBy.ptr)
        return -1;
#pragma omp parallel for schedule(static, 1) num_threads(vr)
    for (int32_t r = 0; r < vr; ++r)
    {
        // The flag and the sums stay in locals until the range is done: the
        // byte stores to num and own may alias them, and the threads' entries
        // share a cache line.
        int64_t shared[znqpar::kMaxRanges] = {};
        uint8_t atLimit = 0;
        const int64_t v1 = znqpar::RangeStart(numVert, vr, r + 1);
        for (int64_t v = znqpar::RangeStart(numVert, vr, r); v < v1; ++v)
        {
            int32_t run = 0;
            int32_t holders = 0;
            int32_t last = 0;
            for (int32_t q = 0; q < pr.count; ++q)
            {
                const int32_t here = c0[nv * static_cast<size_t>(q) + static_cast<size_t>(v)];
                atLimit |= here == 255;
                run += here;
                holders += here > 0;
                last = here > 0 ? q : last;
            }
            num[v] = static_cast<uint8_t>(run < 128 ? run : 128);
            own[v] = holders == 1 ? static_cast<uint8_t>(last) : kNoOwner;
            if (holders > 1)
                for (int32_t q = 0; q < pr.count; ++q)
                    shared[q] += c0[nv * static_cast<size_t>(q) + static_cast<size_t>(v)];
        }
        full[r] = atLimit;
        std::memcpy(sharedBy.ptr + static_cast<size_t>(r) * static_cast<size_t>(pr.count), shared,
                    sizeof(int64_t) * static_cast<size_t>(pr.count));
    }
    for (int32_t r = 0; r < vr; ++r)
        if (full[r])
            return -1;
    int64_t sharedAt[znqpar::kMaxRanges + 1] = {};
    for (int32_t q = 0; q < pr.count; ++q)
    {
        int64_t s = 0;
        for (int32_t r = 0; r < vr; ++r)
            s += sharedBy.ptr[static_cast<size_t>(r) * static_cast<size_t>(pr.count) + static_cast<size_t>(q)];
        sharedAt[q + 1] = sharedAt[q] + s;
    }
    // A kept node: its polygon's first node, its place in the polygon and the
    // polygon's size.
    ZNQScopedArray<uint64_t> kept(g, static_cast<size_t>(sharedAt[pr.count]), false);
    if (sharedAt[pr.count] > 0 && !kept.ptr)
        return -1;

    // Slices as in the serial build, zeroed and padded, over vertex ranges.
    const int32_t lr = znqpar::RangesFor(numVert) > 1 ? pr.count : 1;
    const auto size = [num](int64_t v) { return std::min(2 * num[v], kMaxListCount); };
    int64_t at[znqpar::kMaxRanges + 1];
    const size_t total = RangeSliceSums(numVert, lr, size, at);
    int32_t* const block = d._vertAdjVertBlock = g._MemAllocArr<int32_t>(total + kFindWidth, false);
    if (!block)
        return 0;
    int32_t** const arr = d._vertAdjVertArr;
    RangeLayout(numVert, lr, size, at, arr, block);
    std::memset(block + total, 0, kFindWidth * sizeof(int32_t));
#pragma omp parallel for schedule(static, 1) num_threads(lr)
    for (int32_t r = 0; r < lr; ++r)
    {
        std::memset(block + at[r], 0, static_cast<size_t>(at[r + 1] - at[r]) * sizeof(int32_t));
        const int64_t v0 = znqpar::RangeStart(numVert, lr, r);
        std::memset(num + v0, 0, static_cast<size_t>(znqpar::RangeStart(numVert, lr, r + 1) - v0));
    }

    uint8_t* const slot = d._nodeAdjNextSlot;
    uint64_t* const keep = kept.ptr;
#pragma omp parallel for schedule(static, 1) num_threads(pr.count)
    for (int32_t r = 0; r < pr.count; ++r)
    {
        int64_t i = pr.node[r];
        uint64_t* out = keep + sharedAt[r];
        bool failed = false;
        for (int32_t p = pr.poly[r]; p < pr.poly[r + 1] && !failed; ++p)
        {
            const int32_t n = g._polyNumVert[p];
            const int32_t* idx = ind + i;
            // A triangle of three vertices of this range, the common case,
            // spelled out as in the serial walk.
            if (n == 3 && InRange(idx[0], numVert) && InRange(idx[1], numVert) && InRange(idx[2], numVert) &&
                own[idx[0]] == r && own[idx[1]] == r && own[idx[2]] == r)
            {
                const int32_t a = idx[0], b = idx[1], c = idx[2];
                failed = !AddNeighbours<true>(a, b, c, numVert, arr, num, slot[i]) ||
                         !AddNeighbours<true>(b, c, a, numVert, arr, num, slot[i + 1]) ||
                         !AddNeighbours<true>(c, a, b, numVert, arr, num, slot[i + 2]);
                i += n;
                continue;
            }
            for (int32_t k = 0; k < n; ++k)
            {
                const int32_t v = idx[k];
                if (InRange(v, numVert) && own[v] != r)
                    *out++ = static_cast<uint64_t>(i) << 16 | static_cast<uint64_t>(k) << 8 |
                             static_cast<uint64_t>(n);
                else if (!AddNodeNeighbours(idx, n, k, numVert, arr, num, slot[i + k]))
                {
                    failed = true;
                    break;
                }
            }
            i += n;
        }
        if (failed)
            full[r] = 1;
    }
    for (int32_t r = 0; r < pr.count; ++r)
        if (full[r])
            return 0;
    for (int64_t j = 0; j < sharedAt[pr.count]; ++j)
    {
        const int64_t first = static_cast<int64_t>(keep[j] >> 16);
        const int32_t k = static_cast<int32_t>((keep[j] >> 8) & 0xFF);
        const int32_t n = static_cast<int32_t>(keep[j] & 0xFF);
        if (!AddNodeNeighbours(ind + first, n, k, numVert, arr, num, slot[first + k]))
            return 0;
    }
    return 1;
}

KORVANE_NOINLINE KORVANE_SCALAR_LOOPS bool BuildVertAdjVert(ZNQGeometry& g)
{
    const int64_t nodes = CheckedNumNodes(g);
    if (nodes < 0)
        return false;
    ZNQDynData& d = g._dyn;
    const int32_t numVert = g._numVert;
    const int32_t* ind = g._polyVInd;

    uint8_t* num = d._vertAdjVertNum = g._MemAllocArr<uint8_t>(numVert, true);
    int32_t** arr = d._vertAdjVertArr = g._MemAllocArr<int32_t*>(numVert, false);
    uint8_t* slot = d._nodeAdjNextSlot = g._MemAllocArr<uint8_t>(static_cast<size_t>(nodes), false);
    if (!num || !arr || (nodes > 0 && !slot))
        return false;
    const int32_t ranges = znqpar::RangesFor(nodes);
    if (ranges > 1)
    {
        const int32_t built = BuildVertAdjVertRanges(g, nodes, ranges);
        if (built >= 0)
            return built == 1;
        std::memset(num, 0, static_cast<size_t>(numVert));
    }

    // Exact counts up to 255 size the slices as the saturated ones do.
    if (!znqpar::CountKeys(ind, 0, nodes, numVert, num))
    {
        std::memset(num, 0, static_cast<size_t>(numVert));
        for (int64_t i = 0; i < nodes; ++i)
        {
            const int32_t v = ind[i];
            if (InRange(v, numVert))
                num[v] = static_cast<uint8_t>(num[v] + (num[v] < 128));
        }
    }
    size_t total = 0;
    for (int32_t v = 0; v < numVert; ++v)
        total += static_cast<size_t>(std::min(2 * num[v], kMaxListCount));
    // Zeroed and padded: the look-ups below read kFindWidth entries from the
    // start of any slice (fresh large blocks are zero already).
    int32_t* block = d._vertAdjVertBlock = g._MemAllocArr<int32_t>(total + kFindWidth, true);
    if (!block)
        return false;
    for (int32_t v = 0; v < numVert; ++v)
    {
        arr[v] = block;
        block += std::min(2 * num[v], kMaxListCount);
    }
    std::memset(num, 0, static_cast<size_t>(numVert));

    // Per node: the next node's vertex, then the previous node's, if new. The
    // place of the next node's vertex in the list is kept per node, so that
    // the node edge indices need no search. Triangles, the common case, with
    // their three nodes spelled out.
    for (int32_t p = 0; p < g._numPoly; ++p)
    {
        const int32_t n = g._polyNumVert[p];
        if (n == 3)
        {
            const int32_t a = ind[0], b = ind[1], c = ind[2];
            if (!AddNeighbours<false>(a, b, c, numVert, arr, num, slot[0]) ||
                !AddNeighbours<false>(b, c, a, numVert, arr, num, slot[1]) ||
                !AddNeighbours<false>(c, a, b, numVert, arr, num, slot[2]))
                return false;
        }
        else
            for (int32_t k = 0; k < n; ++k)
                if (!AddNeighbours<false>(ind[k], ind[k + 1 < n ? k + 1 : 0], ind[k > 0 ? k - 1 : n - 1], numVert,
                                          arr, num, slot[k]))
                    return false;
        ind += n;
        slot += n;
    }
    return true;
}

// ---------------------------------------------------------------------------
// Edges (0x10)
//
// Edges are numbered by their lower end, then by the place of the higher end
// in the lower end's neighbour list. Entry k of a vertex's edge list is the
// edge to entry k of its neighbour list; when v meets a neighbour w < v, the
// edge already exists and sits at v's place in w's neighbour list.

// The neighbours above their vertex over the vertices [v0, v1): the edges
// the serial walk numbers there. A short list is counted in one fixed-width
// pass, as in FindInList (the neighbour blocks are zeroed and padded), its
// lanes past the list's end masked off.
int64_t CountHigherNeighbours(const uint8_t* adjNum, int32_t* const* adjArr, int64_t v0, int64_t v1)
{
    int64_t c = 0;
#if KORVANE_FIND_SSE2
    static_assert(kFindWidth == 8, "two 4-lane compares");
    const __m128i lanesLo = _mm_setr_epi32(0, 1, 2, 3);
    const __m128i lanesHi = _mm_setr_epi32(4, 5, 6, 7);
    // Per lane a count of -1 per hit; at most 2^24 vertices between two
    // flushes, so no lane overflows.
    __m128i hits = _mm_setzero_si128();
    int64_t sinceFlush = 0;
    const auto flush = [&hits, &c]() {
        alignas(16) int32_t lane[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(lane), hits);
        c -= static_cast<int64_t>(lane[0]) + lane[1] + lane[2] + lane[3];
        hits = _mm_setzero_si128();
    };
#endif
    for (int64_t v = v0; v < v1; ++v)
    {
        const int32_t n = adjNum[v];
        const int32_t* list = adjArr[v];
#if KORVANE_FIND_SSE2
        if (n <= kFindWidth)
        {
            const __m128i self = _mm_set1_epi32(static_cast<int32_t>(v));
            const __m128i count = _mm_set1_epi32(n);
            const __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(list));
            const __m128i hi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(list + 4));
            const __m128i liveLo = _mm_cmpgt_epi32(count, lanesLo);
            const __m128i liveHi = _mm_cmpgt_epi32(count, lanesHi);
            hits = _mm_add_epi32(hits, _mm_and_si128(_mm_cmpgt_epi32(lo, self), liveLo));
            hits = _mm_add_epi32(hits, _mm_and_si128(_mm_cmpgt_epi32(hi, self), liveHi));
            if (++sinceFlush == (int64_t(1) << 24))
            {
                flush();
                sinceFlush = 0;
            }
            continue;
        }
#endif
        for (int32_t k = 0; k < n; ++k)
            c += list[k] > v;
    }
#if KORVANE_FIND_SSE2
    flush();
#endif
    return c;
}

// The edge numbering over fixed vertex ranges. A vertex meets an edge for
// the first time at a neighbour above it (the serial walk has not reached
// that neighbour yet), so the edges a range numbers are counted first and
// their prefix over the ranges gives each range its first edge; each range
// then numbers its new edges and takes the edges to lower neighbours in its
// own range from their lists, and after that the edges to neighbours in
// earlier ranges. Same numbers as the serial walk; false when
// the count does not match or the adjacency is not symmetric.
bool NumberEdgesRanges(ZNQGeometry& g, const uint8_t* adjNum, int32_t* const* adjArr, int32_t numEdges,
                       int32_t ranges)
{
    ZNQDynData& d = g._dyn;
    const int32_t numVert = g._numVert;
    int32_t* const edges = d._edges;
    uint8_t* const edgeNum = d._vertAdjEdgeNum;
    int32_t* const* const edgeArr = d._vertAdjEdgeArr;
    int64_t first[znqpar::kMaxRanges + 1] = {};
    uint8_t bad[znqpar::kMaxRanges] = {};
    // Marks the vertices with a neighbour in an earlier range (without the
    // block every vertex is looked at again).
    ZNQScopedArray<uint8_t> later(g, static_cast<size_t>(numVert), false);
    uint8_t* const mark = later.ptr;
#pragma omp parallel num_threads(ranges)
    {
#pragma omp for schedule(static, 1)
        for (int32_t r = 0; r < ranges; ++r)
            first[r + 1] = CountHigherNeighbours(adjNum, adjArr, znqpar::RangeStart(numVert, ranges, r),
                                                 znqpar::RangeStart(numVert, ranges, r + 1));
#pragma omp single
        {
            for (int32_t r = 0; r < ranges; ++r)
                first[r + 1] += first[r];
        }
        const bool countOk = first[ranges] == numEdges;
        if (countOk)
        {
#pragma omp for schedule(static, 1)
            for (int32_t r = 0; r < ranges; ++r)
            {
                // New edges, and the edges to lower neighbours of this range
                // (numbered a few vertices ago).
                int32_t e = static_cast<int32_t>(first[r]);
                const int64_t v0 = znqpar::RangeStart(numVert, ranges, r);
                const int64_t v1 = znqpar::RangeStart(numVert, ranges, r + 1);
                for (int64_t v = v0; v < v1 && !bad[r]; ++v)
                {
                    const int32_t* nb = adjArr[v];
                    int32_t* el = edgeArr[v];
                    uint8_t earlier = 0;
                    for (int32_t k = 0; k < adjNum[v]; ++k)
                    {
                        const int32_t w = nb[k];
                        earlier |= w < v0;
                        if (w > v)
                        {
                            edges[2 * static_cast<int64_t>(e)] = static_cast<int32_t>(v);
                            edges[2 * static_cast<int64_t>(e) + 1] = w;
                            el[k] = e++;
                        }
                        else if (w >= v0)
                        {
                            const int32_t j = FindInList(adjArr[w], adjNum[w], static_cast<int32_t>(v));
                            if (j < 0)
                            {
                                bad[r] = 1;
                                break;
                            }
                            el[k] = edgeArr[w][j];
                        }
                    }
                    if (mark)
                        mark[v] = earlier;
                    edgeNum[v] = adjNum[v];
                }
            }
            // The edges to neighbours in earlier ranges, numbered by now.
#pragma omp for schedule(static, 1)
            for (int32_t r = 0; r < ranges; ++r)
            {
                const int64_t v0 = znqpar::RangeStart(numVert, ranges, r);
                const int64_t v1 = znqpar::RangeStart(numVert, ranges, r + 1);
                for (int64_t v = v0; v < v1 && !bad[r]; ++v)
                {
                    if (mark && !mark[v])
                        continue;
                    const int32_t* nb = adjArr[v];
                    int32_t* el = edgeArr[v];
                    for (int32_t k = 0; k < adjNum[v]; ++k)
                    {
                        const int32_t w = nb[k];
                        if (w >= v0)
                            continue;
                        const int32_t j = FindInList(adjArr[w], adjNum[w], static_cast<int32_t>(v));
                        if (j < 0)
                        {
                            bad[r] = 1;
                            break;
                        }
                        el[k] = edgeArr[w][j];
                    }
                }
            }
        }
    }
    if (first[ranges] != numEdges)
        return false;
    for (int32_t r = 0; r < ranges; ++r)
        if (bad[r])
            return false;
    return true;
}

bool BuildEdges(ZNQGeometry& g)
{
    const uint8_t* adjNum = nullptr;
    int32_t* const* adjArr = nullptr;
    if (!GetVertAdjVert(g, adjNum, adjArr))
        return false;
    ZNQDynData& d = g._dyn;
    const int32_t numVert = g._numVert;

    const int32_t ranges = znqpar::RangesFor(numVert);
    const auto size = [adjNum](int64_t v) { return adjNum[v]; };
    int64_t at[znqpar::kMaxRanges + 1];
    int64_t sum = 0;
    if (ranges > 1)
        sum = static_cast<int64_t>(RangeSliceSums(numVert, ranges, size, at));
    else
        sum = znqpar::SumCounts(adjNum, 0, numVert);
    if (sum / 2 > std::numeric_limits<int32_t>::max())
        return false;
    const int32_t numEdges = static_cast<int32_t>(sum / 2);

    int32_t* edges = d._edges = g._MemAllocArr<int32_t>(2 * static_cast<size_t>(numEdges), false);
    uint8_t* edgeNum = d._vertAdjEdgeNum = g._MemAllocArr<uint8_t>(numVert, true);
    int32_t* block = d._vertAdjEdgeBlock = g._MemAllocArr<int32_t>(static_cast<size_t>(sum), false);
    int32_t** edgeArr = d._vertAdjEdgeArr = g._MemAllocArr<int32_t*>(numVert, false);
    if (!edges || !edgeNum || !block || !edgeArr)
        return false;
    if (ranges > 1)
    {
        RangeLayout(numVert, ranges, size, at, edgeArr, block);
        if (!NumberEdgesRanges(g, adjNum, adjArr, numEdges, ranges))
            return false;
        d._numEdges = numEdges;
        return true;
    }
    for (int32_t v = 0; v < numVert; ++v)
    {
        edgeArr[v] = block;
        block += adjNum[v];
    }

    int32_t e = 0;
    for (int32_t v = 0; v < numVert; ++v)
    {
        const int32_t n = adjNum[v];
        const int32_t* nb = adjArr[v];
        int32_t* el = edgeArr[v];
        for (int32_t k = 0; k < n; ++k)
        {
            const int32_t w = nb[k];
            if (w < v)
            {
                // w < v was handled before: its list holds the edge (the
                // adjacency is symmetric, so w's list is not empty).
                const int32_t j = FindInList(adjArr[w], adjNum[w], v);
                if (j < 0)
                    return false; // asymmetric adjacency: cannot happen
                el[k] = edgeArr[w][j];
            }
            else
            {
                if (e == numEdges)
                    return false;
                edges[2 * e] = v;
                edges[2 * e + 1] = w;
                el[k] = e++;
            }
        }
        edgeNum[v] = static_cast<uint8_t>(n);
    }
    if (e != numEdges)
        return false;
    d._numEdges = numEdges;
    return true;
}

// ---------------------------------------------------------------------------
// Node edge indices (0x40000): the edge from each node's vertex to the next
// node's vertex, -1 where there is none (an index out of range, or a node whose
// next node repeats its vertex).

bool BuildPolyEInd(ZNQGeometry& g)
{
    int32_t* const* edgeArr = g._DynGetVertAdjEdgeArr();
    const int64_t nodes = CheckedNumNodes(g);
    if (!edgeArr || nodes < 0)
        return false;
    ZNQDynData& d = g._dyn;
    // The neighbour lists are contiguous and name the same edges as the edge
    // lists, position for position; use them when they are cached, else
    // compare edge ends.
    const uint8_t* adjNum = d._vertAdjVertNum;
    int32_t* const* adjArr = d._vertAdjVertArr;
    const uint8_t* edgeNum = d._vertAdjEdgeNum;
    const int32_t* edges = d._edges;
    const int32_t numVert = g._numVert;

    int32_t* out = d._polyEInd = g._MemAllocArr<int32_t>(static_cast<size_t>(nodes), false);
    if (!out)
        return false;
    const uint8_t* slot = d._nodeAdjNextSlot;
    if (adjArr && slot)
    {
        // The adjacency build kept each node's place in its vertex's
        // neighbour list: the edge list holds the edge at the same place.
        const int32_t* vind = g._polyVInd;
        ForRanges(nodes, [slot, vind, edgeArr, out](int64_t i0, int64_t i1) {
            for (int64_t i = i0; i < i1; ++i)
            {
                const uint8_t at = slot[i];
                out[i] = at != kNoSlot ? edgeArr[vind[i]][at] : -1;
            }
        });
        return true;
    }
    const int32_t* ind = g._polyVInd;
    for (int32_t p = 0; p < g._numPoly; ++p)
    {
        const int32_t n = g._polyNumVert[p];
        for (int32_t k = 0; k < n; ++k)
        {
            const int32_t v = ind[k];
            const int32_t w = ind[k + 1 < n ? k + 1 : 0];
            int32_t edge = -1;
            if (InRange(v, numVert) && InRange(w, numVert) && v != w)
            {
                if (adjArr)
                {
                    const int32_t j = FindInList(adjArr[v], adjNum[v], w);
                    if (j >= 0)
                        edge = edgeArr[v][j];
                }
                else
                {
                    const int32_t* el = edgeArr[v];
                    for (int32_t j = 0; j < edgeNum[v]; ++j)
                    {
                        const int32_t* ends = edges + 2 * el[j];
                        if ((ends[0] == v && ends[1] == w) || (ends[0] == w && ends[1] == v))
                        {
                            edge = el[j];
                            break;
                        }
                    }
                }
            }
            out[k] = edge;
        }
        ind += n;
        out += n;
    }
    return true;
}

// ---------------------------------------------------------------------------
// Edge-to-polygon (0x20) and vertex-to-polygon (0x80) lists: count, prefix
// sums, fill in ascending polygon order, one entry per node.

// The count (zeroed) and slice arrays of count lists; false on a refusal.
bool AllocLists(ZNQGeometry& g, int32_t count, uint8_t*& num, int32_t**& arr)
{
    num = g._MemAllocArr<uint8_t>(count, true);
    arr = g._MemAllocArr<int32_t*>(count, false);
    return num && arr;
}

int32_t SortPolygonsByNodeKeyRanges(ZNQGeometry& g, const int32_t* key, int32_t numKeys, uint8_t* num,
                                    int32_t** arr, int32_t*& blockOut, int32_t ranges);

bool BuildEdgeAdjPoly(ZNQGeometry& g)
{
    const int32_t* eind = g._DynGetPolyEInd();
    const int64_t nodes = CheckedNumNodes(g);
    if (!eind || nodes < 0 || !g._DynGetVertAdjEdgeArr())
        return false;
    ZNQDynData& d = g._dyn;
    if (!AllocLists(g, d._numEdges, d._edgeAdjPolyNum, d._edgeAdjPolyArr))
        return false;
    const int32_t ranges = znqpar::RangesFor(nodes);
    if (ranges > 1)
    {
        const int32_t built = SortPolygonsByNodeKeyRanges(g, eind, d._numEdges, d._edgeAdjPolyNum,
                                                          d._edgeAdjPolyArr, d._edgeAdjPolyBlock, ranges);
        if (built >= 0)
            return built == 1;
    }
    return znq_rules::SortPolygonsByNodeKey(g, eind, nodes, d._numEdges, d._edgeAdjPolyNum, d._edgeAdjPolyArr,
                                            d._edgeAdjPolyBlock);
}

// The per-key polygon lists of SortPolygonsByNodeKey (vertex-to-polygon,
// edge-to-polygon) over fixed polygon ranges: per range and key a count,
// turned by a per-key prefix sum over the ranges into the range's first
// place in the key's slice; each range then fills its own places, so the
// lists come out in ascending polygon order as from the serial build.
// num (numKeys, zeroed) and arr are the caller's, the block is allocated
// into *blockOut. 1 built, 0 failed (a list above 255 entries, a refused
// block), -1 no room for the per-range counts: the serial build decides.
int32_t SortPolygonsByNodeKeyRanges(ZNQGeometry& g, const int32_t* key, int32_t numKeys, uint8_t* num,
                                    int32_t** arr, int32_t*& blockOut, int32_t ranges)
{
    const int32_t numVert = numKeys;
    const size_t nv = static_cast<size_t>(numVert);
    ZNQScopedArray<uint8_t> counts(g, nv * static_cast<size_t>(ranges), false); // zeroed per range
    if (!counts.ptr)
        return -1;
    znqpar::PolyRanges pr;
    znqpar::SplitPolygons(g._polyNumVert, g._numPoly, ranges, pr);
    uint8_t* const c0 = counts.ptr;
    const int32_t* const ind = key;
    uint8_t full[znqpar::kMaxRanges] = {};
#pragma omp parallel for schedule(static, 1) num_threads(pr.count)
    for (int32_t r = 0; r < pr.count; ++r)
    {
        uint8_t* c = c0 + nv * static_cast<size_t>(r);
        std::memset(c, 0, nv);
        full[r] = !znqpar::CountKeys(ind, pr.node[r], pr.node[r + 1], numVert, c);
    }
    for (int32_t r = 0; r < pr.count; ++r)
        if (full[r])
            return 0;

    const int32_t vr = znqpar::RangesFor(numVert) > 1 ? pr.count : 1;
    // num (zeroed) carries the running sum through the ranges, one range's
    // counts after the other (a loop the compiler turns into byte vectors).
#pragma omp parallel for schedule(static, 1) num_threads(vr)
    for (int32_t r = 0; r < vr; ++r)
    {
        const size_t v0 = static_cast<size_t>(znqpar::RangeStart(numVert, vr, r));
        const size_t v1 = static_cast<size_t>(znqpar::RangeStart(numVert, vr, r + 1));
        uint8_t over = 0;
        for (int32_t q = 0; q < pr.count; ++q)
        {
            uint8_t* c = c0 + nv * static_cast<size_t>(q);
            for (size_t v = v0; v < v1; ++v)
            {
                const uint32_t before = num[v];
                const uint32_t sum = before + c[v];
                c[v] = static_cast<uint8_t>(before);
                over |= static_cast<uint8_t>(sum > kMaxListCount);
                num[v] = static_cast<uint8_t>(sum > kMaxListCount ? kMaxListCount : sum);
            }
        }
        full[r] = over;
    }
    for (int32_t r = 0; r < vr; ++r)
        if (full[r])
            return 0;

    const auto size = [num](int64_t v) { return num[v]; };
    int64_t at[znqpar::kMaxRanges + 1];
    const size_t total = RangeSliceSums(numVert, vr, size, at);
    int32_t* block = blockOut = g._MemAllocArr<int32_t>(total, false);
    if (!block)
        return 0;
    RangeLayout(numVert, vr, size, at, arr, block);
#pragma omp parallel for schedule(static, 1) num_threads(pr.count)
    for (int32_t r = 0; r < pr.count; ++r)
    {
        uint8_t* c = c0 + nv * static_cast<size_t>(r);
        const int32_t* idx = ind + pr.node[r];
        for (int32_t p = pr.poly[r]; p < pr.poly[r + 1]; ++p)
        {
            const int32_t n = g._polyNumVert[p];
            for (int32_t k = 0; k < n; ++k)
            {
                const int32_t v = idx[k];
                if (InRange(v, numVert))
                    arr[v][c[v]++] = p;
            }
            idx += n;
        }
    }
    return 1;
}

bool BuildVertAdjPoly(ZNQGeometry& g)
{
    const int64_t nodes = CheckedNumNodes(g);
    if (nodes < 0)
        return false;
    ZNQDynData& d = g._dyn;
    if (!AllocLists(g, g._numVert, d._vertAdjPolyNum, d._vertAdjPolyArr))
        return false;
    const int32_t ranges = znqpar::RangesFor(nodes);
    if (ranges > 1)
    {
        const int32_t built = SortPolygonsByNodeKeyRanges(g, g._polyVInd, g._numVert, d._vertAdjPolyNum,
                                                          d._vertAdjPolyArr, d._vertAdjPolyBlock, ranges);
        if (built >= 0)
            return built == 1;
    }
    // One thread: the same counting sort as the edge-to-polygon lists.
    return znq_rules::SortPolygonsByNodeKey(g, g._polyVInd, nodes, g._numVert, d._vertAdjPolyNum, d._vertAdjPolyArr,
                                            d._vertAdjPolyBlock);
}

// ---------------------------------------------------------------------------
// Mean distance to the neighbour vertices (0x100)

bool BuildVertAvrgDist(ZNQGeometry& g)
{
    const uint8_t* adjNum = nullptr;
    int32_t* const* adjArr = nullptr;
    if (!GetVertAdjVert(g, adjNum, adjArr))
        return false;
    float* out = g._dyn._vertAvrgDistToAdjVert = g._MemAllocArr<float>(g._numVert, false);
    if (!out)
        return false;
    const float3* pos = g._vertPos;
    for (int32_t v = 0; v < g._numVert; ++v)
    {
        const int32_t n = adjNum[v];
        float sum = 0.0f;
        for (int32_t k = 0; k < n; ++k)
        {
            const float3 d = Sub(pos[adjArr[v][k]], pos[v]);
            sum += std::sqrt(Dot(d, d));
        }
        out[v] = n > 0 ? sum / static_cast<float>(n) : 0.0f;
    }
    return true;
}

// ---------------------------------------------------------------------------
// Boundary loops (0x200)
//
// A boundary edge has exactly one polygon; its ends are boundary vertices. The
// walk starts a loop at each unplaced boundary vertex in ascending order and
// steps to the first unplaced boundary vertex in the current vertex's
// neighbour list until there is none.

bool BuildVertBL(ZNQGeometry& g)
{
    const int32_t* edges = g._DynGetEdges();
    const uint8_t* edgePolyNum = g._DynGetEdgeAdjPolyNum();
    const uint8_t* adjNum = nullptr;
    int32_t* const* adjArr = nullptr;
    if (!edges || !edgePolyNum || !GetVertAdjVert(g, adjNum, adjArr) || g._dyn._numEdges < 0)
        return false;
    ZNQDynData& d = g._dyn;
    const int32_t numVert = g._numVert;

    // 0: inner, 1: boundary not yet placed, 2: placed.
    ZNQScopedArray<uint8_t> state(g, static_cast<size_t>(numVert), true);
    if (!state.ptr)
        return false;
    int32_t numBoundary = 0;
    for (int32_t e = 0; e < d._numEdges; ++e)
    {
        if (edgePolyNum[e] != 1)
            continue;
        for (int32_t end = 0; end < 2; ++end)
        {
            const int32_t v = edges[2 * e + end];
            if (!state[v])
            {
                state[v] = 1;
                ++numBoundary;
            }
        }
    }
    if (numBoundary == 0)
    {
        d._numVertBL = 0;
        return true;
    }

    int32_t* vertIdx = d._vertBLVertIdx = g._MemAllocArr<int32_t>(numBoundary, false);
    ZNQScopedArray<int32_t> loopEnd(g, static_cast<size_t>(numBoundary), false);
    if (!vertIdx || !loopEnd.ptr)
        return false;
    int32_t placed = 0;
    int32_t loops = 0;
    for (int32_t seed = 0; seed < numVert && placed < numBoundary; ++seed)
    {
        if (state[seed] != 1)
            continue;
        int32_t cur = seed;
        while (cur >= 0)
        {
            vertIdx[placed++] = cur;
            state[cur] = 2;
            const int32_t* nb = adjArr[cur];
            int32_t next = -1;
            for (int32_t k = 0; k < adjNum[cur]; ++k)
            {
                if (state[nb[k]] == 1)
                {
                    next = nb[k];
                    break;
                }
            }
            cur = next;
        }
        loopEnd[loops++] = placed - 1;
    }
    int32_t* intIdx = d._vertBLIntIdx = g._MemAllocArr<int32_t>(loops, false);
    if (!intIdx)
        return false;
    std::memcpy(intIdx, loopEnd.ptr, sizeof(int32_t) * static_cast<size_t>(loops));
    d._numVertBL = loops;
    return true;
}

// ---------------------------------------------------------------------------
// Vertex islands (0x400)
//
// Depth-first flood through the neighbour lists, on an explicit stack that
// stands for a recursion limited to kFloodDepthLimit levels: a vertex reached
// at that depth only labels its direct unlabelled neighbours and marks the
// flood incomplete. Incomplete islands are finished by scanning upward from the
// vertex after the seed for island vertices with unlabelled neighbours and
// flooding again from each such neighbour.

struct FloodFrame
{
    int32_t vert;
    int32_t next; // position in the neighbour list to look at next
};

// Floods island id from start (already labelled). Returns true when the depth
// limit left labelled vertices with unlabelled neighbours behind.
bool Flood(int32_t start, int32_t island, int32_t* id, const uint8_t* adjNum,
           int32_t* const* adjArr, FloodFrame* stack)
{
    bool cut = false;
    int32_t top = 0;
    stack[0] = FloodFrame{start, 0};
    while (top >= 0)
    {
        FloodFrame& f = stack[top];
        const int32_t* nb = adjArr[f.vert];
        const int32_t n = adjNum[f.vert];
        if (top == kFloodDepthLimit)
        {
            for (int32_t k = 0; k < n; ++k)
            {
                if (id[nb[k]] == -1)
                {
                    id[nb[k]] = island;
                    cut = true;
                }
            }
            --top;
            continue;
        }
        while (f.next < n && id[nb[f.next]] != -1)
            ++f.next;
        if (f.next == n)
        {
            --top;
            continue;
        }
        const int32_t w = nb[f.next++];
        id[w] = island;
        stack[++top] = FloodFrame{w, 0};
    }
    return cut;
}

bool BuildVertI(ZNQGeometry& g)
{
    const int32_t numVert = g._numVert;
    ZNQDynData& d = g._dyn;
    const uint8_t* adjNum = nullptr;
    int32_t* const* adjArr = nullptr;
    if (!GetVertAdjVert(g, adjNum, adjArr))
        return false;

    int32_t* id = d._vertIID = g._MemAllocArr<int32_t>(numVert, false);
    ZNQScopedArray<FloodFrame> stack(g, kFloodDepthLimit + 1, false);
    if (!id || !stack.ptr)
        return false;
    std::memset(id, 0xFF, sizeof(int32_t) * static_cast<size_t>(numVert));

    int32_t numI = 0;
    for (int32_t seed = 0; seed < numVert; ++seed)
    {
        if (id[seed] != -1)
            continue;
        id[seed] = numI;
        bool incomplete = Flood(seed, numI, id, adjNum, adjArr, stack.ptr);
        while (incomplete)
        {
            incomplete = false;
            int32_t u = seed + 1;
            while (u < numVert)
            {
                if (id[u] == numI)
                {
                    const int32_t* nb = adjArr[u];
                    int32_t k = 0;
                    while (k < adjNum[u] && id[nb[k]] != -1)
                        ++k;
                    if (k < adjNum[u])
                    {
                        // Label it, flood on, then look at u again.
                        id[nb[k]] = numI;
                        incomplete |= Flood(nb[k], numI, id, adjNum, adjArr, stack.ptr);
                        continue;
                    }
                }
                ++u;
            }
        }
        ++numI;
    }

    // Per island: vertex count and the ascending vertex list.
    int32_t* count = d._vertINumVert = g._MemAllocArr<int32_t>(numI, true);
    int32_t* block = d._vertIBlock = g._MemAllocArr<int32_t>(numVert, false);
    int32_t** arr = d._vertIVertArr = g._MemAllocArr<int32_t*>(numI, false);
    if (!count || !block || !arr)
        return false;
    for (int32_t v = 0; v < numVert; ++v)
        ++count[id[v]];
    int32_t* slice = block;
    for (int32_t i = 0; i < numI; ++i)
    {
        arr[i] = slice;
        slice += count[i];
        count[i] = 0;
    }
    for (int32_t v = 0; v < numVert; ++v)
        arr[id[v]][count[id[v]]++] = v;
    d._numVertI = numI;
    return true;
}

bool BuildVertICtr(ZNQGeometry& g)
{
    if (!g._DynGetVertIID())
        return false;
    const ZNQDynData& d = g._dyn;
    float3* out = g._dyn._vertICtr = g._MemAllocArr<float3>(d._numVertI, false);
    if (!out)
        return false;
    for (int32_t i = 0; i < d._numVertI; ++i)
    {
        const int32_t n = d._vertINumVert[i];
        double sx = 0.0, sy = 0.0, sz = 0.0;
        for (int32_t k = 0; k < n; ++k)
        {
            const float3& p = g._vertPos[d._vertIVertArr[i][k]];
            sx += p.x;
            sy += p.y;
            sz += p.z;
        }
        const double inv = n > 0 ? 1.0 / n : 0.0;
        out[i] = float3{static_cast<float>(sx * inv), static_cast<float>(sy * inv),
                        static_cast<float>(sz * inv)};
    }
    return true;
}

bool BuildVertIArea(ZNQGeometry& g)
{
    const int32_t* id = g._DynGetVertIID();
    const float* areas = g._DynGetPolyAreas();
    if (!id || !areas || CheckedNumNodes(g) < 0)
        return false;
    const int32_t numI = g._dyn._numVertI;
    float* out = g._dyn._vertIArea = g._MemAllocArr<float>(numI, false);
    ZNQScopedArray<double> sum(g, static_cast<size_t>(numI), true);
    if (!out || !sum.ptr)
        return false;
    const int32_t* ind = g._polyVInd;
    for (int32_t p = 0; p < g._numPoly; ++p)
    {
        const int32_t n = g._polyNumVert[p];
        if (n > 0 && InRange(ind[0], g._numVert))
            sum[id[ind[0]]] += areas[p];
        ind += n;
    }
    for (int32_t i = 0; i < numI; ++i)
        out[i] = static_cast<float>(sum[i]);
    return true;
}

// ---------------------------------------------------------------------------
// Octrees (0x8, 0x2000)

bool BuildOctree(ZNQGeometry& g)
{
    ZNQDynData& d = g._dyn;
    const size_t n = static_cast<size_t>(g._numVert);
    ZNQOctree* oct = d._octree = g._MemAllocArr<ZNQOctree>(1, true);
    if (!oct)
        return false;
    oct->_codeBlock = g._MemAllocArr<uint64_t>(n, false);
    oct->_idxBlock = g._MemAllocArr<int32_t>(n, false);
    ZNQScopedArray<uint64_t> tmpCodes(g, n, false);
    ZNQScopedArray<int32_t> tmpIdx(g, n, false);
    if (!oct->_codeBlock || !oct->_idxBlock || !tmpCodes.ptr || !tmpIdx.ptr)
        return false;
    return ZNQOctreeBuild(*oct, g._vertPos, nullptr, g._numVert, kOctreeLevels, oct->_codeBlock,
                          oct->_idxBlock, tmpCodes.ptr, tmpIdx.ptr);
}

// One octree per island, in one parallel loop over the islands. All storage is
// allocated before the loop (the counted allocator is not thread safe): the
// islands' slices of four shared blocks follow the island vertex block.
bool BuildVertIOctree(ZNQGeometry& g)
{
    if (!g._DynGetVertIID())
        return false;
    ZNQDynData& d = g._dyn;
    const int32_t numI = d._numVertI;
    const size_t n = static_cast<size_t>(g._numVert);
    ZNQOctree* octs = d._vertIOctree = g._MemAllocArr<ZNQOctree>(numI, true);
    if (!octs)
        return false;
    uint64_t* codes = octs[0]._codeBlock = g._MemAllocArr<uint64_t>(n, false);
    int32_t* idx = octs[0]._idxBlock = g._MemAllocArr<int32_t>(n, false);
    ZNQScopedArray<uint64_t> tmpCodes(g, n, false);
    ZNQScopedArray<int32_t> tmpIdx(g, n, false);
    if (!codes || !idx || !tmpCodes.ptr || !tmpIdx.ptr)
        return false;

    const float3* pos = g._vertPos;
    const int32_t* block = d._vertIBlock;
    int32_t* const* lists = d._vertIVertArr;
    const int32_t* counts = d._vertINumVert;
    uint64_t* tc = tmpCodes.ptr;
    int32_t* ti = tmpIdx.ptr;
    int ok = 1;
#pragma omp parallel for schedule(static) if (g._threading == 1)
    for (int32_t i = 0; i < numI; ++i)
    {
        const size_t off = static_cast<size_t>(lists[i] - block);
        if (!ZNQOctreeBuild(octs[i], pos, lists[i], counts[i], kIslandOctreeLevels, codes + off,
                            idx + off, tc + off, ti + off))
        {
#pragma omp critical(korvane_island_octree)
            ok = 0;
        }
    }
    return ok != 0;
}

// ---------------------------------------------------------------------------
// Node records (0x10000)
//
// Per node k with C = pos(k), A = pos(prev) - C, B = pos(next) - C: X(k) = B x A
// and the corner cosine. Corners of triangles and smaller are convex. Larger
// polygons are judged on the dominant axis of all X(k): if the X(k) do not
// disagree in sign there, every corner is convex; otherwise a corner is convex
// when its X(k) agrees with the orientation of the polygon projected onto the
// plane of the other two axes (the signed doubled area S).

bool BuildPolyNodeFlags(ZNQGeometry& g)
{
    const int64_t nodes = CheckedNumNodes(g);
    if (nodes < 0)
        return false;
    ZNQNodeFlags* const outAll = g._dyn._polyNodeFlags =
        g._MemAllocArr<ZNQNodeFlags>(static_cast<size_t>(nodes), false);
    if (!outAll)
        return false;

    ForPolygonRanges(g, [&g, outAll](int32_t p0, int32_t p1, int64_t node0) {
        float3 cross[256];
        const int32_t* ind = g._polyVInd + node0;
        ZNQNodeFlags* out = outAll + node0;
        for (int32_t p = p0; p < p1; ++p)
        {
            const int32_t n = g._polyNumVert[p];
            auto posAt = [&g, ind](int32_t k) { return SafePos(g, ind[k]); };
            znq_rules::AxisMax axisMax;
            for (int32_t k = 0; k < n; ++k)
            {
                const float3 c = posAt(k);
                const float3 a = Sub(posAt(k > 0 ? k - 1 : n - 1), c);
                const float3 b = Sub(posAt(k + 1 < n ? k + 1 : 0), c);
                cross[k] = znq_rules::CornerCross(a, b);
                axisMax.Add(cross[k]);
                out[k]._reserved = 0;
                out[k]._convex = 1;
                out[k]._cos = half(znq_rules::CornerCosine(a, b));
            }
            if (n > 3)
            {
                const int axis = axisMax.Axis();
                if (!znq_rules::CrossSignsAgree(cross, n, axis))
                {
                    const double s = znq_rules::ProjectedDoubledArea(posAt, n, axis);
                    for (int32_t k = 0; k < n; ++k)
                        out[k]._convex =
                            znq_rules::CornerConvexAlong(axis, s, znq_rules::AxisComponent(cross[k], axis)) ? 1 : 0;
                }
            }
            ind += n;
            out += n;
        }
    });
    return true;
}

// ---------------------------------------------------------------------------
// Polygon offsets, flags, normals, areas

bool BuildPolyVIndOffset(ZNQGeometry& g)
{
    const int64_t nodes = CheckedNumNodes(g);
    if (nodes < 0 || nodes > std::numeric_limits<int32_t>::max())
        return false;
    int32_t* out = g._dyn._polyVIndOffset = g._MemAllocArr<int32_t>(g._numPoly, false);
    if (!out)
        return false;
    int32_t off = 0;
    for (int32_t p = 0; p < g._numPoly; ++p)
    {
        out[p] = off;
        off += g._polyNumVert[p];
    }
    return true;
}

bool BuildPolyFlags(ZNQGeometry& g)
{
    const int32_t illegal = g._DynGetNumPolyIllegal();
    const ZNQNodeFlags* nf = g._DynGetPolyNodeFlags();
    if (g._dyn._numPolyIllegal < 0 || !nf)
        return false;
    uint8_t* out = g._dyn._polyFlags = g._MemAllocArr<uint8_t>(g._numPoly, true);
    const bool needsStamp = illegal > 0 && NeedsStamp(g);
    ZNQScopedArray<int32_t> stamp(g, needsStamp ? static_cast<size_t>(g._numVert) : 0, false);
    if (!out || !stamp.ptr)
        return false;
    if (needsStamp)
        std::memset(stamp.ptr, 0xFF, sizeof(int32_t) * static_cast<size_t>(g._numVert));
    const int32_t* ind = g._polyVInd;
    for (int32_t p = 0; p < g._numPoly; ++p)
    {
        const int32_t n = g._polyNumVert[p];
        if (illegal > 0 && PolyIsIllegal(ind, n, g._numVert, stamp.ptr, p))
        {
            out[p] = kPolyFlagIllegal;
        }
        else
        {
            bool convex = true;
            for (int32_t k = 0; k < n && convex; ++k)
                convex = (nf[k]._convex & 1) != 0;
            out[p] = convex ? kPolyFlagConvex : 0;
        }
        ind += n;
        nf += n;
    }
    return true;
}

// Allocates an item's per-polygon array into field and fills it over fixed
// polygon ranges: out[p] = value(p, ind, n, node), with ind the n vertex
// indices of polygon p and node the index of its first node.
template <typename T, typename F>
bool FillPerPolygon(ZNQGeometry& g, T*& field, const F& value)
{
    if (CheckedNumNodes(g) < 0)
        return false;
    T* const out = field = g._MemAllocArr<T>(g._numPoly, false);
    if (!out)
        return false;
    ForPolygonRanges(g, [&g, out, &value](int32_t p0, int32_t p1, int64_t node0) {
        int64_t node = node0;
        for (int32_t p = p0; p < p1; ++p)
        {
            const int32_t n = g._polyNumVert[p];
            out[p] = value(p, g._polyVInd + node, n, node);
            node += n;
        }
    });
    return true;
}

bool BuildPolyNrm(ZNQGeometry& g)
{
    const ZNQNodeFlags* nf = g._DynGetPolyNodeFlags();
    auto normal = [&g, nf](int32_t, const int32_t* ind, int32_t n, int64_t node) {
        if (n == 0) // a polygon without nodes keeps the zero normal
            return float3{0.0f, 0.0f, 0.0f};
        const ZNQNodeFlags* f = nf + node;
        const int32_t k = znq_rules::NormalCorner([f](int32_t j) { return static_cast<float>(f[j]._cos); }, n);
        const float3 c = SafePos(g, ind[k]);
        const float3 a = Sub(SafePos(g, ind[k > 0 ? k - 1 : n - 1]), c);
        const float3 b = Sub(SafePos(g, ind[k + 1 < n ? k + 1 : 0]), c);
        return znq_rules::PolygonNormal(znq_rules::CornerCross(a, b), (f[k]._convex & 1) != 0);
    };
    return nf && FillPerPolygon(g, g._dyn._polyNrm, normal);
}

// area = 0.5 x N . sum_k (P_k x P_next), on positions relative to the first
// node (the same sum for a closed polygon, without the cancellation far from
// the origin).
bool BuildPolyAreas(ZNQGeometry& g)
{
    const float3* nrm = g._DynGetPolyNrm();
    auto area = [&g, nrm](int32_t p, const int32_t* ind, int32_t n, int64_t) {
        double sx = 0.0, sy = 0.0, sz = 0.0;
        if (n > 0)
        {
            const float3 origin = SafePos(g, ind[0]);
            for (int32_t k = 1; k + 1 < n; ++k)
            {
                const float3 pk = Sub(SafePos(g, ind[k]), origin);
                const float3 pj = Sub(SafePos(g, ind[k + 1]), origin);
                sx += double(pk.y) * pj.z - double(pk.z) * pj.y;
                sy += double(pk.z) * pj.x - double(pk.x) * pj.z;
                sz += double(pk.x) * pj.y - double(pk.y) * pj.x;
            }
        }
        return static_cast<float>(0.5 * (nrm[p].x * sx + nrm[p].y * sy + nrm[p].z * sz));
    };
    return nrm && FillPerPolygon(g, g._dyn._polyAreas, area);
}

// ---------------------------------------------------------------------------
// Vertex normals, UVWs and colours (0x1000000, 0x2000000, 0x4000000)

inline void AddTo(float3& a, const float3& b)
{
    a.x += b.x;
    a.y += b.y;
    a.z += b.z;
}
inline void AddTo(float4& a, const float4& b)
{
    a.x += b.x;
    a.y += b.y;
    a.z += b.z;
    a.w += b.w;
}
inline void ScaleBy(float3& a, float s)
{
    a.x *= s;
    a.y *= s;
    a.z *= s;
}
inline void ScaleBy(float4& a, float s)
{
    a.x *= s;
    a.y *= s;
    a.z *= s;
    a.w *= s;
}

// Per vertex: the sum of a node array over the vertex's nodes times 1/count
// (count: its vertex-to-polygon count); a vertex without nodes gets 0.
// Every vertex sums its nodes in node order, whatever the thread count.
template <typename T>
void AverageNodeDataSerial(const ZNQGeometry& g, const T* nodeData, const uint8_t* count, T* out)
{
    std::memset(static_cast<void*>(out), 0, sizeof(T) * static_cast<size_t>(g._numVert));
    const int32_t* ind = g._polyVInd;
    int64_t i = 0;
    for (int32_t p = 0; p < g._numPoly; ++p)
    {
        const int32_t n = g._polyNumVert[p];
        for (int32_t k = 0; k < n; ++k, ++i)
        {
            const int32_t v = ind[i];
            if (InRange(v, g._numVert))
                AddTo(out[v], nodeData[i]);
        }
    }
    for (int32_t v = 0; v < g._numVert; ++v)
        if (count[v] > 0)
            ScaleBy(out[v], 1.0f / static_cast<float>(count[v]));
}

// Range of polygon p (0 <= p < numPoly) among the polygon ranges: the even
// split's estimate, moved to the range that holds p.
inline int32_t RangeOfPolygon(const znqpar::PolyRanges& pr, int32_t numPoly, int32_t p)
{
    int32_t r = static_cast<int32_t>(static_cast<int64_t>(p) * pr.count / numPoly);
    while (r > 0 && p < pr.poly[r])
        --r;
    while (r + 1 < pr.count && p >= pr.poly[r + 1])
        ++r;
    return r;
}

// Per vertex the polygon range that holds all of its nodes, or kNoOwner when
// its nodes lie in more than one range (or it has none): from its first and
// last polygon in the vertex-to-polygon lists. Over fixed vertex ranges.
// Also zeroes the vertex sums out.
template <typename T>
void OwnersOfVertices(const ZNQGeometry& g, const znqpar::PolyRanges& pr, const uint8_t* num,
                      int32_t* const* arr, uint8_t* owner, T* out)
{
    const int32_t numPoly = g._numPoly;
    ForRanges(g._numVert, [&pr, numPoly, num, arr, owner, out](int64_t v0, int64_t v1) {
        std::memset(static_cast<void*>(out + v0), 0, sizeof(T) * static_cast<size_t>(v1 - v0));
        for (int64_t v = v0; v < v1; ++v)
        {
            const int32_t n = num[v];
            uint8_t o = kNoOwner;
            if (n > 0)
            {
                const int32_t first = RangeOfPolygon(pr, numPoly, arr[v][0]);
                if (arr[v][n - 1] < pr.poly[first + 1])
                    o = static_cast<uint8_t>(first);
            }
            owner[v] = o;
        }
    });
}

// The parallel sums: each polygon range adds the nodes of the vertices it
// owns, in node order, and keeps the nodes of shared vertices in its share
// of a node-sized list; those are added afterwards, range after range, so
// every vertex still sums its nodes in node order. False (nothing written)
// when the owner or list block is refused: the serial sums decide.
template <typename T>
bool AverageNodeDataRanges(ZNQGeometry& g, const T* nodeData, const uint8_t* count, int32_t* const* arr,
                           int32_t ranges, T* out)
{
    const int32_t numVert = g._numVert;
    const int64_t nodes = g.NumNodes();
    ZNQScopedArray<uint8_t> owner(g, static_cast<size_t>(numVert), false);
    ZNQScopedArray<int32_t> shared(g, static_cast<size_t>(nodes), false);
    if (!owner.ptr || !shared.ptr)
        return false;
    znqpar::PolyRanges pr;
    znqpar::SplitPolygons(g._polyNumVert, g._numPoly, ranges, pr);
    OwnersOfVertices(g, pr, count, arr, owner.ptr, out);
    const int32_t* ind = g._polyVInd;
    const uint8_t* own = owner.ptr;
    int32_t* const list = shared.ptr;
    int64_t numShared[znqpar::kMaxRanges] = {};
#pragma omp parallel for schedule(static, 1) num_threads(pr.count)
    for (int32_t r = 0; r < pr.count; ++r)
    {
        int32_t* next = list + pr.node[r];
        for (int64_t i = pr.node[r]; i < pr.node[r + 1]; ++i)
        {
            const int32_t v = ind[i];
            if (!InRange(v, numVert))
                continue;
            if (own[v] == r)
                AddTo(out[v], nodeData[i]);
            else
                *next++ = static_cast<int32_t>(i);
        }
        numShared[r] = next - (list + pr.node[r]);
    }
    for (int32_t r = 0; r < pr.count; ++r)
    {
        const int32_t* at = list + pr.node[r];
        for (int64_t k = 0; k < numShared[r]; ++k)
            AddTo(out[ind[at[k]]], nodeData[at[k]]);
    }
    ForRanges(numVert, [count, out](int64_t v0, int64_t v1) {
        for (int64_t v = v0; v < v1; ++v)
            if (count[v] > 0)
                ScaleBy(out[v], 1.0f / static_cast<float>(count[v]));
    });
    return true;
}

template <typename T>
void AverageNodeData(ZNQGeometry& g, const T* nodeData, const uint8_t* count, int32_t* const* arr, T* out)
{
    const int32_t ranges = znqpar::RangesFor(g.NumNodes());
    if (ranges > 1 && AverageNodeDataRanges(g, nodeData, count, arr, ranges, out))
        return;
    AverageNodeDataSerial(g, nodeData, count, out);
}

bool BuildVertNrm(ZNQGeometry& g)
{
    const uint8_t* num = g._DynGetVertAdjPolyNum();
    int32_t* const* arr = g._DynGetVertAdjPolyArr();
    if (!num || !arr)
        return false;
    const float3* polyNrm = nullptr;
    if (!g._nodeNrm)
    {
        polyNrm = g._DynGetPolyNrm();
        if (!polyNrm)
            return false;
    }
    float3* out = g._dyn._vertNrm = g._MemAllocArr<float3>(g._numVert, false);
    if (!out)
        return false;
    if (g._nodeNrm)
    {
        AverageNodeData(g, g._nodeNrm, num, arr, out);
        return true;
    }
    ForRanges(g._numVert, [num, arr, polyNrm, out](int64_t v0, int64_t v1) {
        for (int64_t v = v0; v < v1; ++v)
        {
            const int32_t n = num[v];
            if (n == 0)
            {
                out[v] = float3{0.0f, 1.0f, 0.0f};
                continue;
            }
            float3 s{0.0f, 0.0f, 0.0f};
            for (int32_t k = 0; k < n; ++k)
            {
                const float3& pn = polyNrm[arr[v][k]];
                s.x += pn.x;
                s.y += pn.y;
                s.z += pn.z;
            }
            const float len = std::sqrt(Dot(s, s));
            if (len >= znq_rules::kMinNormalLen)
                s = float3{s.x / len, s.y / len, s.z / len};
            out[v] = s;
        }
    });
    return true;
}

// Vertex UVWs or colours: the averages of the node values at each vertex.
// Without node values there is nothing to average and the item stays null.
template <typename T>
bool BuildVertAverage(ZNQGeometry& g, const T* nodeData, T*& out)
{
    if (!nodeData)
        return true;
    const uint8_t* num = g._DynGetVertAdjPolyNum();
    int32_t* const* arr = g._DynGetVertAdjPolyArr();
    if (!num || !arr || !(out = g._MemAllocArr<T>(g._numVert, false)))
        return false;
    AverageNodeData(g, nodeData, num, arr, out);
    return true;
}

bool BuildItem(ZNQGeometry& g, int32_t bit)
{
    switch (bit)
    {
    case kDynVertUsed: return BuildVertUsed(g);
    case kDynPolyIllegal: return BuildPolyIllegal(g);
    case kDynPolyClasses: return BuildPolyClasses(g);
    case kDynOctree: return BuildOctree(g);
    case kDynEdges: return BuildEdges(g);
    case kDynEdgeAdjPoly: return BuildEdgeAdjPoly(g);
    case kDynVertAdjVert: return BuildVertAdjVert(g);
    case kDynVertAdjPoly: return BuildVertAdjPoly(g);
    case kDynVertAvrgDist: return BuildVertAvrgDist(g);
    case kDynVertBL: return BuildVertBL(g);
    case kDynVertI: return BuildVertI(g);
    case kDynVertICtr: return BuildVertICtr(g);
    case kDynVertIArea: return BuildVertIArea(g);
    case kDynVertIOctree: return BuildVertIOctree(g);
    case kDynPolyNodeFlags: return BuildPolyNodeFlags(g);
    case kDynPolyVIndOffset: return BuildPolyVIndOffset(g);
    case kDynPolyEInd: return BuildPolyEInd(g);
    case kDynPolyFlags: return BuildPolyFlags(g);
    case kDynPolyAreas: return BuildPolyAreas(g);
    case kDynPolyNrm: return BuildPolyNrm(g);
    case kDynVertNrm: return BuildVertNrm(g);
    case kDynVertUvw: return BuildVertAverage(g, g._nodeUvw, g._dyn._vertUvw);
    case kDynVertCol: return BuildVertAverage(g, g._nodeCol, g._dyn._vertCol);
    default: return true;
    }
}
} // namespace

// ---------------------------------------------------------------------------
// Build and release

bool ZNQGeometry::_DynBuild(int32_t mask)
{
    if (!_vertPos)
    {
        _DynRelease(kDynAll);
        return false;
    }
    if (_numVert < 1)
    {
        _DynRelease(kDynAll);
        return true;
    }
    for (const int32_t bit : kBuildOrder)
    {
        if (!(mask & bit))
            continue;
        ReleaseItem(*this, bit);
        if (!BuildItem(*this, bit))
        {
            // Partial arrays of the failed item go; finished items stay.
            ReleaseItem(*this, bit);
            return false;
        }
    }
    return true;
}

void ZNQGeometry::_DynRelease(int32_t mask)
{
    for (const int32_t bit : kBuildOrder)
        if (mask & bit)
            ReleaseItem(*this, bit);
}

// ---------------------------------------------------------------------------
// Getters

int32_t ZNQGeometry::_DynGetNumVertUsed() { return DynCount(*this, kDynVertUsed, &ZNQDynData::_numVertUsed); }
int32_t ZNQGeometry::_DynGetNumVertUnused() { return DynCount(*this, kDynVertUsed, &ZNQDynData::_numVertUnused); }
int32_t ZNQGeometry::_DynGetNumPolyIllegal() { return DynCount(*this, kDynPolyIllegal, &ZNQDynData::_numPolyIllegal); }
int32_t ZNQGeometry::_DynGetNumPolyTris() { return DynCount(*this, kDynPolyClasses, &ZNQDynData::_numPolyTris); }
int32_t ZNQGeometry::_DynGetNumPolyQuads() { return DynCount(*this, kDynPolyClasses, &ZNQDynData::_numPolyQuads); }
int32_t ZNQGeometry::_DynGetNumPolyFivePlus() { return DynCount(*this, kDynPolyClasses, &ZNQDynData::_numPolyFivePlus); }
int32_t ZNQGeometry::_DynGetNumPolyTwoMinus() { return DynCount(*this, kDynPolyClasses, &ZNQDynData::_numPolyTwoMinus); }
ZNQOctree* ZNQGeometry::_DynGetOctree() { return DynPtr(*this, kDynOctree, &ZNQDynData::_octree); }
int32_t ZNQGeometry::_DynGetNumEdges() { return DynCount(*this, kDynEdges, &ZNQDynData::_numEdges); }
int32_t* ZNQGeometry::_DynGetEdges() { return DynPtr(*this, kDynEdges, &ZNQDynData::_edges); }
uint8_t* ZNQGeometry::_DynGetVertAdjEdgeNum() { return DynPtr(*this, kDynEdges, &ZNQDynData::_vertAdjEdgeNum); }
int32_t** ZNQGeometry::_DynGetVertAdjEdgeArr() { return DynPtr(*this, kDynEdges, &ZNQDynData::_vertAdjEdgeArr); }
uint8_t* ZNQGeometry::_DynGetEdgeAdjPolyNum() { return DynPtr(*this, kDynEdgeAdjPoly, &ZNQDynData::_edgeAdjPolyNum); }
int32_t** ZNQGeometry::_DynGetEdgeAdjPolyArr() { return DynPtr(*this, kDynEdgeAdjPoly, &ZNQDynData::_edgeAdjPolyArr); }
uint8_t* ZNQGeometry::_DynGetVertAdjVertNum() { return DynPtr(*this, kDynVertAdjVert, &ZNQDynData::_vertAdjVertNum); }
int32_t** ZNQGeometry::_DynGetVertAdjVertArr() { return DynPtr(*this, kDynVertAdjVert, &ZNQDynData::_vertAdjVertArr); }
uint8_t* ZNQGeometry::_DynGetVertAdjPolyNum() { return DynPtr(*this, kDynVertAdjPoly, &ZNQDynData::_vertAdjPolyNum); }
int32_t** ZNQGeometry::_DynGetVertAdjPolyArr() { return DynPtr(*this, kDynVertAdjPoly, &ZNQDynData::_vertAdjPolyArr); }
float* ZNQGeometry::_DynGetVertAvrgDistToAdjVert() { return DynPtr(*this, kDynVertAvrgDist, &ZNQDynData::_vertAvrgDistToAdjVert); }
int32_t ZNQGeometry::_DynGetNumVertBL() { return DynCount(*this, kDynVertBL, &ZNQDynData::_numVertBL); }
int32_t* ZNQGeometry::_DynGetVertBLIntIdx() { return DynPtr(*this, kDynVertBL, &ZNQDynData::_vertBLIntIdx); }
int32_t* ZNQGeometry::_DynGetVertBLVertIdx() { return DynPtr(*this, kDynVertBL, &ZNQDynData::_vertBLVertIdx); }
int32_t ZNQGeometry::_DynGetNumVertI() { return DynCount(*this, kDynVertI, &ZNQDynData::_numVertI); }
int32_t* ZNQGeometry::_DynGetVertIID() { return DynPtr(*this, kDynVertI, &ZNQDynData::_vertIID); }
float3* ZNQGeometry::_DynGetVertICtr() { return DynPtr(*this, kDynVertICtr, &ZNQDynData::_vertICtr); }
float* ZNQGeometry::_DynGetVertIArea() { return DynPtr(*this, kDynVertIArea, &ZNQDynData::_vertIArea); }
ZNQOctree* ZNQGeometry::_DynGetVertIOctree() { return DynPtr(*this, kDynVertIOctree, &ZNQDynData::_vertIOctree); }
ZNQNodeFlags* ZNQGeometry::_DynGetPolyNodeFlags() { return DynPtr(*this, kDynPolyNodeFlags, &ZNQDynData::_polyNodeFlags); }
int32_t* ZNQGeometry::_DynGetPolyVIndOffset() { return DynPtr(*this, kDynPolyVIndOffset, &ZNQDynData::_polyVIndOffset); }
int32_t* ZNQGeometry::_DynGetPolyEInd() { return DynPtr(*this, kDynPolyEInd, &ZNQDynData::_polyEInd); }
uint8_t* ZNQGeometry::_DynGetPolyFlags() { return DynPtr(*this, kDynPolyFlags, &ZNQDynData::_polyFlags); }
float* ZNQGeometry::_DynGetPolyAreas() { return DynPtr(*this, kDynPolyAreas, &ZNQDynData::_polyAreas); }
float3* ZNQGeometry::_DynGetPolyNrm() { return DynPtr(*this, kDynPolyNrm, &ZNQDynData::_polyNrm); }
float3* ZNQGeometry::_DynGetVertNrm() { return DynPtr(*this, kDynVertNrm, &ZNQDynData::_vertNrm); }
float3* ZNQGeometry::_DynGetVertUvw() { return DynPtr(*this, kDynVertUvw, &ZNQDynData::_vertUvw); }
float4* ZNQGeometry::_DynGetVertCol() { return DynPtr(*this, kDynVertCol, &ZNQDynData::_vertCol); }
