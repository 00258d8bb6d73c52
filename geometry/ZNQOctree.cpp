// Linear point octree: Morton codes, radix sort, range descent (see ZNQOctree.h).
#include "geometry/ZNQOctree.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace
{
constexpr int32_t kMaxLevels = 21; // 3 x 21 bits fit a 64-bit code
constexpr int32_t kLeafPoints = 8; // runs this short are tested point by point
constexpr int32_t kRadixBits = 11;
constexpr int32_t kRadixSize = 1 << kRadixBits;
constexpr int32_t kSmallSort = 64; // insertion sort below this many points

// Spreads the low 21 bits of v so that bit i lands on bit 3i.
uint64_t Spread3(uint64_t v)
{
    v &= 0x1FFFFFull;
    v = (v | (v << 32)) & 0x1F00000000FFFFull;
    v = (v | (v << 16)) & 0x1F0000FF0000FFull;
    v = (v | (v << 8)) & 0x100F00F00F00F00Full;
    v = (v | (v << 4)) & 0x10C30C30C30C30C3ull;
    v = (v | (v << 2)) & 0x1249249249249249ull;
    return v;
}

// Cell coordinate of value along one axis, clamped to [0, maxCell]; NaN and
// infinities land on the clamp.
uint64_t CellCoord(float value, float rootMin, float invCell, uint64_t maxCell)
{
    const float q = (value - rootMin) * invCell;
    if (!(q >= 1.0f))
        return 0;
    if (!(q < static_cast<float>(maxCell)))
        return maxCell;
    return static_cast<uint64_t>(q);
}

void SortSmall(uint64_t* codes, int32_t* idx, int32_t n)
{
    for (int32_t i = 1; i < n; ++i)
    {
        const uint64_t c = codes[i];
        const int32_t id = idx[i];
        int32_t j = i;
        for (; j > 0 && codes[j - 1] > c; --j)
        {
            codes[j] = codes[j - 1];
            idx[j] = idx[j - 1];
        }
        codes[j] = c;
        idx[j] = id;
    }
}

// One stable counting-sort pass on bits [shift, shift + 11) from (sc, si) to (dc, di).
void RadixPass(const uint64_t* sc, const int32_t* si, uint64_t* dc, int32_t* di, int32_t n,
               int32_t shift)
{
    int32_t start[kRadixSize];
    std::memset(start, 0, sizeof(start));
    for (int32_t i = 0; i < n; ++i)
        ++start[(sc[i] >> shift) & (kRadixSize - 1)];
    int32_t sum = 0;
    for (int32_t b = 0; b < kRadixSize; ++b)
    {
        const int32_t c = start[b];
        start[b] = sum;
        sum += c;
    }
    for (int32_t i = 0; i < n; ++i)
    {
        const int32_t dst = start[(sc[i] >> shift) & (kRadixSize - 1)]++;
        dc[dst] = sc[i];
        di[dst] = si[i];
    }
}

float Coord(const float3& p, int axis)
{
    return axis == 0 ? p.x : (axis == 1 ? p.y : p.z);
}
} // namespace

uint64_t ZNQOctreeCode(const ZNQOctree& oct, float3 p)
{
    if (!(oct._cellEdge > 0.0f) || !std::isfinite(oct._cellEdge))
        return 0;
    const uint64_t maxCell = (uint64_t(1) << oct._levels) - 1;
    const float inv = 1.0f / oct._cellEdge;
    const uint64_t x = CellCoord(p.x, oct._center.x - oct._halfEdge, inv, maxCell);
    const uint64_t y = CellCoord(p.y, oct._center.y - oct._halfEdge, inv, maxCell);
    const uint64_t z = CellCoord(p.z, oct._center.z - oct._halfEdge, inv, maxCell);
    return Spread3(x) | (Spread3(y) << 1) | (Spread3(z) << 2);
}

bool ZNQOctreeBuild(ZNQOctree& oct, const float3* pos, const int32_t* indices, int32_t n,
                    int32_t levels, uint64_t* codes, int32_t* pointIdx, uint64_t* tmpCodes,
                    int32_t* tmpIdx)
{
    if (n < 0)
        return false;
    oct._pos = pos;
    oct._numPoints = n;
    oct._levels = std::min(std::max(levels, 1), kMaxLevels);
    oct._center = float3{0.0f, 0.0f, 0.0f};
    oct._halfEdge = 0.0f;
    oct._cellEdge = 0.0f;
    oct._codes = codes;
    oct._pointIdx = pointIdx;
    if (n == 0)
        return true;

    // Bounding box (comparisons skip NaN coordinates).
    float3 lo = pos[indices ? indices[0] : 0];
    float3 hi = lo;
    for (int32_t i = 1; i < n; ++i)
    {
        const float3& p = pos[indices ? indices[i] : i];
        lo.x = p.x < lo.x ? p.x : lo.x;
        lo.y = p.y < lo.y ? p.y : lo.y;
        lo.z = p.z < lo.z ? p.z : lo.z;
        hi.x = p.x > hi.x ? p.x : hi.x;
        hi.y = p.y > hi.y ? p.y : hi.y;
        hi.z = p.z > hi.z ? p.z : hi.z;
    }
    const float extent = std::max(std::max(hi.x - lo.x, hi.y - lo.y), hi.z - lo.z);
    oct._center = float3{0.5f * (lo.x + hi.x), 0.5f * (lo.y + hi.y), 0.5f * (lo.z + hi.z)};
    if (std::isfinite(extent) && extent > 0.0f)
    {
        oct._halfEdge = extent;
        oct._cellEdge = std::ldexp(2.0f * extent, -oct._levels);
    }

    // Codes, written where an odd or even number of radix passes ends in codes.
    const int32_t bits = 3 * oct._levels;
    const int32_t passes = (bits + kRadixBits - 1) / kRadixBits;
    const bool radix = n > kSmallSort;
    uint64_t* c0 = (radix && (passes & 1)) ? tmpCodes : codes;
    int32_t* i0 = (radix && (passes & 1)) ? tmpIdx : pointIdx;
    for (int32_t i = 0; i < n; ++i)
    {
        const int32_t v = indices ? indices[i] : i;
        c0[i] = ZNQOctreeCode(oct, pos[v]);
        i0[i] = v;
    }

    if (!radix)
    {
        SortSmall(codes, pointIdx, n);
        return true;
    }
    uint64_t* sc = c0;
    int32_t* si = i0;
    for (int32_t pass = 0; pass < passes; ++pass)
    {
        uint64_t* dc = (sc == codes) ? tmpCodes : codes;
        int32_t* di = (si == pointIdx) ? tmpIdx : pointIdx;
        RadixPass(sc, si, dc, di, n, pass * kRadixBits);
        sc = dc;
        si = di;
    }
    return true;
}

int32_t ZNQOctreeFindInRadius(const ZNQOctree& oct, float3 p, float radius, int32_t* out,
                              int32_t capacity)
{
    if (oct._numPoints <= 0 || !(radius >= 0.0f))
        return 0;
    const float r2 = radius * radius;
    int32_t found = 0;
    auto testRun = [&](int32_t lo, int32_t hi) {
        for (int32_t i = lo; i < hi; ++i)
        {
            const int32_t v = oct._pointIdx[i];
            const float3& q = oct._pos[v];
            const float dx = q.x - p.x, dy = q.y - p.y, dz = q.z - p.z;
            if (dx * dx + dy * dy + dz * dz <= r2)
            {
                if (found < capacity)
                    out[found] = v;
                ++found;
            }
        }
    };
    if (!(oct._cellEdge > 0.0f))
    {
        testRun(0, oct._numPoints);
        return found;
    }

    // Cells are widened by a small margin so that points that rounding put
    // just outside their cell's box are never pruned; the final test is exact.
    const float margin = oct._halfEdge * 1e-5f;
    struct Cell
    {
        int32_t level;
        int32_t lo, hi;  // run of the sorted arrays
        uint64_t prefix; // code prefix, 3 * level bits
        float3 min;      // cell's lower corner
    };
    Cell stack[kMaxLevels * 8 + 8];
    int32_t top = 0;
    const float3 rootMin{oct._center.x - oct._halfEdge, oct._center.y - oct._halfEdge,
                         oct._center.z - oct._halfEdge};
    stack[top++] = Cell{0, 0, oct._numPoints, 0, rootMin};
    while (top > 0)
    {
        const Cell cell = stack[--top];
        const float edge = std::ldexp(2.0f * oct._halfEdge, -cell.level);
        float d2 = 0.0f;
        for (int axis = 0; axis < 3; ++axis)
        {
            const float c = Coord(p, axis);
            const float a = Coord(cell.min, axis) - margin;
            const float b = Coord(cell.min, axis) + edge + margin;
            const float d = c < a ? a - c : (c > b ? c - b : 0.0f);
            d2 += d * d;
        }
        if (d2 > r2)
            continue;
        if (cell.level == oct._levels || cell.hi - cell.lo <= kLeafPoints)
        {
            testRun(cell.lo, cell.hi);
            continue;
        }
        // Split the run into the eight children by binary search on the codes.
        const int32_t shift = 3 * (oct._levels - cell.level - 1);
        const float half = 0.5f * edge;
        int32_t lo = cell.lo;
        for (uint64_t child = 0; child < 8; ++child)
        {
            const uint64_t prefix = (cell.prefix << 3) | child;
            const uint64_t end = (prefix + 1) << shift;
            const int32_t hi = static_cast<int32_t>(
                std::lower_bound(oct._codes + lo, oct._codes + cell.hi, end) - oct._codes);
            if (hi > lo)
            {
                const float3 min{cell.min.x + ((child & 1) ? half : 0.0f),
                                 cell.min.y + ((child & 2) ? half : 0.0f),
                                 cell.min.z + ((child & 4) ? half : 0.0f)};
                stack[top++] = Cell{cell.level + 1, lo, hi, prefix, min};
            }
            lo = hi;
        }
    }
    return found;
}

void ZNQOctreeRelease(ZNQGeometry& geo, ZNQOctree*& octree)
{
    if (!octree)
        return;
    geo._MemFree(octree[0]._codeBlock);
    geo._MemFree(octree[0]._idxBlock);
    geo._MemFree(octree);
}
