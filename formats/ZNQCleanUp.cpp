// Post-load clean-up: removes illegal polygons (fewer than 3 corners, an index
// out of range, a repeated index) with their node data, then the vertices no
// polygon uses with all their per-vertex data.
//
// Both steps compact in order: mark, count, allocate the new arrays once at
// their final size, copy, swap. A refused allocation leaves the geometry as it
// was before the call.
#include <cstring>

#include "errors/ZNQError.h"
#include "formats/ZNQFormats.h"
#include "geometry/ZNQMeshArrays.h"
#include "geometry/ZNQParallel.h"

namespace
{

// Largest polygon the quick check below compares pairwise; larger ones leave
// the decision to the full clean-up.
constexpr int32_t kQuickMaxNodes = 16;

// One pass over the polygons that answers "nothing to clean": every polygon
// has at least 3 corners, indices in range and no index twice, and every
// vertex is used by some polygon. False means "maybe something to clean" (or
// no room for the marks): the full clean-up then decides. Leaves the geometry
// and its derived data untouched; the same answers as the illegal-polygon and
// unused-vertex counts of the derived data, without building them.
// Marks the vertices of polygons p0..p1-1 (idx at p0's first node) in used
// and answers whether all of them are legal. Atomic marks when several
// threads mark into the same table.
template <bool kAtomic>
bool CheckAndMark(const uint8_t* counts, const int32_t* idx, int32_t p0, int32_t p1, uint32_t nv,
                  uint8_t* used)
{
    auto mark = [used](uint32_t v) {
        if constexpr (kAtomic)
        {
#if defined(_OPENMP) && _OPENMP >= 201107
#pragma omp atomic write
#endif
            used[v] = 1;
        }
        else
        {
            used[v] = 1;
        }
    };
    // Marks only; they are counted in one pass afterwards, so that no
    // polygon waits for the marks of the one before.
    for (int32_t p = p0; p < p1; ++p)
    {
        const int32_t n = counts[p];
        if (n == 3)
        {
            const uint32_t a = static_cast<uint32_t>(idx[0]);
            const uint32_t b = static_cast<uint32_t>(idx[1]);
            const uint32_t c = static_cast<uint32_t>(idx[2]);
            if (a >= nv || b >= nv || c >= nv || a == b || a == c || b == c)
                return false;
            mark(a);
            mark(b);
            mark(c);
        }
        else
        {
            if (n < 3 || n > kQuickMaxNodes)
                return false;
            for (int32_t k = 0; k < n; ++k)
            {
                const uint32_t v = static_cast<uint32_t>(idx[k]);
                if (v >= nv)
                    return false;
                for (int32_t j = 0; j < k; ++j)
                    if (idx[j] == idx[k])
                        return false;
            }
            for (int32_t k = 0; k < n; ++k)
                mark(static_cast<uint32_t>(idx[k]));
        }
        idx += n;
    }
    return true;
}

// One pass over the polygons that answers "nothing to clean": every polygon
// has at least 3 corners, indices in range and no index twice, and every
// vertex is used by some polygon. False means "maybe something to clean" (or
// no room for the marks): the full clean-up then decides. Leaves the geometry
// and its derived data untouched; the same answers as the illegal-polygon and
// unused-vertex counts of the derived data, without building them. With
// several threads each checks and marks a fixed range of polygons; the
// answer is the same.
bool NothingToClean(ZNQGeometry& geometry)
{
    const int32_t numVert = geometry._numVert;
    const int32_t numPoly = geometry._numPoly;
    if (numVert <= 0 || numPoly <= 0 || !geometry._polyNumVert || !geometry._polyVInd)
        return false;
    ZNQScopedArray<uint8_t> mark(geometry, static_cast<size_t>(numVert), true);
    if (!mark.ptr)
        return false;
    const uint32_t nv = static_cast<uint32_t>(numVert);
    const uint8_t* counts = geometry._polyNumVert;
    const int32_t* idx = geometry._polyVInd;
    uint8_t* used = mark.ptr;
#if defined(_OPENMP) && _OPENMP >= 201107
    const int32_t ranges = znqpar::RangesFor(numPoly);
#else
    const int32_t ranges = 1; // no atomic write in this OpenMP
#endif
    if (ranges <= 1)
    {
        if (!CheckAndMark<false>(counts, idx, 0, numPoly, nv, used))
            return false;
        int64_t numUsed = 0;
        for (int32_t v = 0; v < numVert; ++v)
            numUsed += used[v];
        return numUsed == numVert;
    }

    znqpar::PolyRanges pr;
    znqpar::SplitPolygons(counts, numPoly, ranges, pr);
    uint8_t legal[znqpar::kMaxRanges] = {};
#pragma omp parallel for schedule(static, 1) num_threads(pr.count)
    for (int32_t r = 0; r < pr.count; ++r)
        legal[r] = CheckAndMark<true>(counts, idx + pr.node[r], pr.poly[r], pr.poly[r + 1], nv, used)
                       ? 1
                       : 0;
    for (int32_t r = 0; r < pr.count; ++r)
        if (!legal[r])
            return false;
    // Every range ends inside the region, so the marks are all visible here.
    int64_t usedIn[znqpar::kMaxRanges] = {};
#pragma omp parallel for schedule(static, 1) num_threads(pr.count)
    for (int32_t r = 0; r < pr.count; ++r)
    {
        const int64_t v1 = znqpar::RangeStart(numVert, pr.count, r + 1);
        int64_t n = 0;
        for (int64_t v = znqpar::RangeStart(numVert, pr.count, r); v < v1; ++v)
            n += used[v];
        usedIn[r] = n;
    }
    int64_t numUsed = 0;
    for (int32_t r = 0; r < pr.count; ++r)
        numUsed += usedIn[r];
    return numUsed == numVert;
}

} // namespace

int32_t CleanUp(ZNQGeometry& geometry)
{
    if (!geometry._vertPos)
        return ZNQ_OK;
    if (NothingToClean(geometry))
    {
        // Keep the counts just established, as the getters would have.
        geometry._dyn._numPolyIllegal = 0;
        geometry._dyn._numVertUsed = geometry._numVert;
        geometry._dyn._numVertUnused = 0;
        return ZNQ_OK;
    }

    // A getter answers 0 both for "none" and for a failed build; a count left
    // at -1 on a non-empty mesh tells the failure apart.
    const bool hasVerts = geometry._numVert > 0;
    const int32_t numIllegal = geometry._DynGetNumPolyIllegal();
    if (hasVerts && geometry._dyn._numPolyIllegal < 0)
    {
        geometry._DynRelease(kDynAll);
        return ZNQ_ERR_DYN_NUM_POLY_ILLEGAL;
    }
    const int32_t numUnused = geometry._DynGetNumVertUnused();
    if (hasVerts && geometry._dyn._numVertUnused < 0)
    {
        geometry._DynRelease(kDynAll);
        return ZNQ_ERR_DYN_NUM_VERT_UNUSED;
    }
    if (numIllegal == 0 && numUnused == 0)
        return ZNQ_OK;

    int32_t rc = ZNQ_OK;
    {
        ZNQScopedArray<int32_t> list(geometry, static_cast<size_t>(numIllegal), false);
        if (!list.ptr)
        {
            geometry._DynRelease(kDynAll);
            return ZNQ_ERR_MEMORY;
        }
        int32_t length = 0;
        if (numIllegal > 0)
        {
            const uint8_t* flags = geometry._DynGetPolyFlags();
            if (!flags)
            {
                geometry._DynRelease(kDynAll);
                return ZNQ_ERR_DYN_POLY_FLAGS;
            }
            for (int32_t p = 0; p < geometry._numPoly && length < numIllegal; ++p)
                if (flags[p] & kPolyFlagIllegal)
                    list[length++] = p;
        }
        rc = DeletePolygons(geometry, list.ptr, length, false);
    }

    if (rc == ZNQ_OK)
    {
        const int32_t unusedNow = geometry._DynGetNumVertUnused();
        if (geometry._numVert > 0 && geometry._dyn._numVertUnused < 0)
            rc = ZNQ_ERR_DYN_NUM_VERT_UNUSED;
        else if (unusedNow != 0)
            rc = DeleteUnusedVertices(geometry);
    }
    geometry._DynRelease(kDynAll);
    return rc;
}

int32_t DeletePolygons(ZNQGeometry& geometry, const int32_t* list, int32_t length, bool keepListed)
{
    if (!list && length > 0)
        return ZNQ_ERR_ILLEGAL_PARAMETER_COMBINATION;
    if (!geometry._vertPos || geometry._numVert <= 0 || geometry._numPoly <= 0 ||
        (length <= 0 && !keepListed))
        return ZNQ_OK;

    const int32_t numPoly = geometry._numPoly;
    // Marks: 0 keeps the polygon.
    ZNQScopedArray<uint8_t> marks(geometry, static_cast<size_t>(numPoly), false);
    if (!marks.ptr)
    {
        geometry._DynRelease(kDynAll);
        return ZNQ_ERR_MEMORY;
    }
    if (length <= 0)
    {
        std::memset(marks.ptr, 1, static_cast<size_t>(numPoly)); // keepListed, nothing listed
    }
    else
    {
        std::memset(marks.ptr, keepListed ? 1 : 0, static_cast<size_t>(numPoly));
        const uint8_t listedMark = keepListed ? 0 : 1;
        for (int32_t i = 0; i < length; ++i)
        {
            const int32_t p = list[i];
            if (p >= 0 && p < numPoly)
                marks[static_cast<size_t>(p)] = listedMark;
        }
    }

    int32_t keptPoly = 0;
    int64_t keptNodes = 0;
    for (int32_t p = 0; p < numPoly; ++p)
        if (!marks[static_cast<size_t>(p)])
        {
            ++keptPoly;
            keptNodes += geometry._polyNumVert[p];
        }

    // The new arrays, all or none; none at all when no polygon is kept.
    znq_mesh::NewPolygonArrays fresh(geometry);
    if (keptPoly > 0)
    {
        if (!fresh.Alloc(geometry, keptPoly, keptNodes))
        {
            geometry._DynRelease(kDynAll);
            return ZNQ_ERR_MEMORY;
        }

        // Copy the kept polygons in order.
        int32_t q = 0;
        int64_t src = 0, dst = 0;
        for (int32_t p = 0; p < numPoly; ++p)
        {
            const int64_t n = geometry._polyNumVert[p];
            if (!marks[static_cast<size_t>(p)])
            {
                fresh.num[static_cast<size_t>(q++)] = static_cast<uint8_t>(n);
                std::memcpy(fresh.vInd.ptr + dst, geometry._polyVInd + src, static_cast<size_t>(n) * 4);
                znq_mesh::CopyNodeData(geometry, static_cast<size_t>(dst), static_cast<size_t>(src),
                                       static_cast<size_t>(n), fresh.nrm.ptr, fresh.uvw.ptr, fresh.col.ptr);
                dst += n;
            }
            src += n;
        }
    }
    fresh.SwapInto(geometry, keptPoly);
    return ZNQ_OK;
}

namespace
{

// Copies the entries of the used vertices, in order, from src to dst.
template <typename T>
void CompactVertexArray(const T* src, T* dst, const int32_t* remap, int32_t numVert)
{
    for (int32_t v = 0; v < numVert; ++v)
        if (remap[v] >= 0)
            dst[remap[v]] = src[v];
}

} // namespace

int32_t DeleteUnusedVertices(ZNQGeometry& geometry)
{
    if (!geometry._vertPos || geometry._numVert <= 0)
        return ZNQ_OK;

    const int32_t numVert = geometry._numVert;
    const int64_t numNodes = geometry.NumNodes();

    ZNQScopedArray<int32_t> remap(geometry, static_cast<size_t>(numVert), true);
    if (!remap.ptr)
        return ZNQ_ERR_MEMORY;

    // Mark. An index out of range would make the renumbering read outside
    // the table: such a geometry must go through CleanUp (or DeletePolygons)
    // first, and is refused unchanged.
    const uint32_t nv = static_cast<uint32_t>(numVert);
    for (int64_t k = 0; k < numNodes; ++k)
    {
        const uint32_t v = static_cast<uint32_t>(geometry._polyVInd[k]);
        if (v >= nv)
            return ZNQ_ERR_INVALID_STATE;
        remap[v] = 1;
    }

    // Number the used vertices in order; unused ones get -1.
    int32_t used = 0;
    for (int32_t v = 0; v < numVert; ++v)
        remap[static_cast<size_t>(v)] = remap[static_cast<size_t>(v)] ? used++ : -1;
    if (used == numVert)
        return ZNQ_OK;

    // The new per-vertex arrays, all or none.
    znq_mesh::NewVertexArrays fresh(geometry);
    if (!fresh.Alloc(geometry, used))
        return ZNQ_ERR_MEMORY;
    const int32_t* rm = remap.ptr;
    auto compact = [rm, numVert](const auto* src, auto* dst) {
        if (dst)
            CompactVertexArray(src, dst, rm, numVert);
    };
    compact(geometry._vertPos, fresh.pos.ptr);
    compact(geometry._vertMotion, fresh.motion.ptr);
    compact(geometry._vertUser4, fresh.user4.ptr);
    compact(geometry._vertUser3[0], fresh.user3a.ptr);
    compact(geometry._vertUser3[1], fresh.user3b.ptr);
    for (int i = 0; i < 4; ++i)
        compact(geometry._vertUser1[i], fresh.user1[i].ptr);

    for (int64_t k = 0; k < numNodes; ++k)
        geometry._polyVInd[k] = rm[geometry._polyVInd[k]];
    fresh.SwapInto(geometry, used);
    geometry._DynRelease(kDynAll);
    return ZNQ_OK;
}

int32_t FinishRead(ZNQGeometry& geometry, int32_t rc, ZNQLoadPlace* place)
{
    if (rc == ZNQ_OK)
        rc = CleanUp(geometry);
    if (rc != ZNQ_OK)
        geometry.Clear();
    else
        PlaceReset(place);
    return rc;
}
