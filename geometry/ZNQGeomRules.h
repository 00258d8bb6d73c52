// Internal header, not installed: the geometric rules of the derived data,
// each written once and inline, for geometry/ and meshops/ only.
//
// The derived node records and polygon normals (ZNQDynData.cpp) and every
// fast path that works the same answers out on its own (the polygon
// analysis of Triangulate, for one) call these functions, so that they agree
// bit for bit: the same operations in the same order, no fused operations.
//
// - Sub, Cross, Dot: float3 arithmetic in a fixed rounding order.
// - Thresholds: degenerate corner sides, tiny normals.
// - Corner rule: X(k) = B x A with A = prev - cur, B = next - cur; the cosine
//   of the corner; the dominant axis of all X(k); the convex flag of a corner
//   from the projected orientation of the polygon.
// - Polygon normal rule: X of the first corner neither straight nor
//   degenerate, normalised, turned over at a reflex corner.
// - Legality: at least 3 corners, every index in range, none twice.
// - Counting sort of polygons by a per-node key (edge or vertex lists).
// - FindInList: the neighbour-list look-up of the topology builders, with
//   FindPlain as its plain reference (the tests hold them to each other).
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "geometry/ZNQGeometry.h"
#include "geometry/ZNQParallel.h"

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define KORVANE_FIND_SSE2 1
#else
#define KORVANE_FIND_SSE2 0
#endif

namespace znq_rules
{

// Below this squared length a corner side counts as degenerate (cosine 1).
constexpr float kMinSideLen2 = 1e-12f;
// Below this length a normal or vector counts as zero and is left unnormalised.
constexpr float kMinNormalLen = 1e-15f;
// Largest count of a one-byte list.
constexpr int32_t kMaxListCount = 255;

// True when v lies in [0, n): one unsigned compare also rejects negatives.
inline bool InRange(int32_t v, int32_t n)
{
    return static_cast<uint32_t>(v) < static_cast<uint32_t>(n);
}

inline float3 Sub(const float3& a, const float3& b)
{
    return float3{a.x - b.x, a.y - b.y, a.z - b.z};
}

inline float3 Cross(const float3& a, const float3& b)
{
    return float3{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

inline float Dot(const float3& a, const float3& b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

// ---------------------------------------------------------------------------
// Corners

// X(k) of a corner from its sides a = prev - cur and b = next - cur.
inline float3 CornerCross(const float3& a, const float3& b)
{
    return Cross(b, a);
}

// Cosine of a corner from its sides, clamped to [-1, 1]; 1 when a side is
// degenerate. The node records store it rounded to half.
inline float CornerCosine(const float3& a, const float3& b)
{
    const float a2 = Dot(a, a);
    const float b2 = Dot(b, b);
    if (a2 < kMinSideLen2 || b2 < kMinSideLen2)
        return 1.0f;
    return std::min(1.0f, std::max(-1.0f, Dot(a, b) / (std::sqrt(a2) * std::sqrt(b2))));
}

// Running maximum of |X(k)| per axis; Axis() is the dominant one (z before
// y before x on ties).
struct AxisMax
{
    float mx = 0.0f, my = 0.0f, mz = 0.0f;
    void Add(const float3& x)
    {
        mx = std::max(mx, std::fabs(x.x));
        my = std::max(my, std::fabs(x.y));
        mz = std::max(mz, std::fabs(x.z));
    }
    int Axis() const { return (mz >= mx && mz >= my) ? 2 : ((my >= mx && my >= mz) ? 1 : 0); }
};

inline float AxisComponent(const float3& v, int axis)
{
    return axis == 2 ? v.z : (axis == 1 ? v.y : v.x);
}

// True when no two of the n crosses disagree in sign along axis: then every
// corner of the polygon is convex.
inline bool CrossSignsAgree(const float3* cross, int32_t n, int axis)
{
    int32_t positive = 0, negative = 0;
    for (int32_t k = 0; k < n; ++k)
    {
        const float c = AxisComponent(cross[k], axis);
        positive += c > 0.0f;
        negative += c < 0.0f;
    }
    return positive == 0 || negative == 0;
}

// Signed doubled area of the polygon projected along axis onto the plane of
// the other two axes, in double precision on positions relative to the
// first corner. posAt(k) is the position of corner k.
template <typename PosAt>
inline double ProjectedDoubledArea(const PosAt& posAt, int32_t n, int axis)
{
    const float3 origin = posAt(0);
    double s = 0.0;
    for (int32_t k = 0; k < n; ++k)
    {
        const float3 pk = Sub(posAt(k), origin);
        const float3 pj = Sub(posAt(k + 1 < n ? k + 1 : 0), origin);
        if (axis == 2)
            s += double(pk.x) * pj.y - double(pk.y) * pj.x;
        else if (axis == 1)
            s += double(pk.x) * pj.z - double(pk.z) * pj.x;
        else
            s += double(pk.z) * pj.y - double(pk.y) * pj.z;
    }
    return s;
}

// Convex flag of a corner whose cross has component xc along axis, in a
// polygon of projected doubled area `area` along that axis.
inline bool CornerConvexAlong(int axis, double area, float xc)
{
    if (axis == 2)
        return (area >= 0.0 && xc >= 0.0f) || (area < 0.0 && xc <= 0.0f);
    return (area <= 0.0 && xc >= 0.0f) || (area > 0.0 && xc <= 0.0f);
}

// ---------------------------------------------------------------------------
// Polygon normal

// Corner whose cross gives the polygon normal: the first with |cosine| < 1
// (neither straight nor degenerate), else corner 0. cosAt(k) is the cosine
// of corner k as stored in the node records (rounded to half).
template <typename CosAt>
inline int32_t NormalCorner(const CosAt& cosAt, int32_t n)
{
    int32_t k = 0;
    while (k < n && !(std::fabs(cosAt(k)) < 1.0f))
        ++k;
    return k == n ? 0 : k;
}

// The polygon normal from the cross of its normal corner: normalised unless
// shorter than kMinNormalLen, turned over when that corner is reflex.
inline float3 PolygonNormal(float3 x, bool cornerConvex)
{
    const float len = std::sqrt(Dot(x, x));
    if (len >= kMinNormalLen)
        x = float3{x.x / len, x.y / len, x.z / len};
    if (!cornerConvex)
        x = float3{-x.x, -x.y, -x.z};
    return x;
}

// ---------------------------------------------------------------------------
// Legality

// True when every one of the n indices lies in [0, numVert).
inline bool IndicesInRange(const int32_t* ind, int32_t n, int32_t numVert)
{
    for (int32_t k = 0; k < n; ++k)
        if (!InRange(ind[k], numVert))
            return false;
    return true;
}

// True when some index occurs twice, by comparing all pairs (small polygons).
inline bool HasRepeatPairwise(const int32_t* ind, int32_t n)
{
    for (int32_t i = 1; i < n; ++i)
        for (int32_t j = 0; j < i; ++j)
            if (ind[j] == ind[i])
                return true;
    return false;
}

// ---------------------------------------------------------------------------
// Counting sort of polygons by a per-node key

// Lays out slices of block for counts num[0, count) into arr (when not null);
// returns the total.
inline size_t LayoutSlices(const uint8_t* num, int32_t count, int32_t** arr, int32_t* block)
{
    size_t off = 0;
    for (int32_t i = 0; i < count; ++i)
    {
        if (arr)
            arr[i] = block + off;
        off += num[i];
    }
    return off;
}

// Per key in [0, numKeys) the polygons with a node of that key, ascending,
// once per node; keys outside the range are skipped. num (numKeys, zeroed)
// and arr (numKeys) are the caller's; the shared block is allocated here
// into *block. False when a list would exceed kMaxListCount entries or the
// block is refused.
inline bool SortPolygonsByNodeKey(ZNQGeometry& g, const int32_t* key, int64_t nodes, int32_t numKeys,
                                  uint8_t* num, int32_t** arr, int32_t*& block)
{
    if (!znqpar::CountKeys(key, 0, nodes, numKeys, num))
        return false; // a key of more than kMaxListCount nodes
    const size_t total = LayoutSlices(num, numKeys, nullptr, nullptr);
    block = g._MemAllocArr<int32_t>(total, false);
    if (!block)
        return false;
    LayoutSlices(num, numKeys, arr, block);
    std::memset(num, 0, static_cast<size_t>(numKeys));
    for (int32_t p = 0; p < g._numPoly; ++p)
    {
        const int32_t n = g._polyNumVert[p];
        for (int32_t k = 0; k < n; ++k)
        {
            const int32_t e = key[k];
            if (InRange(e, numKeys))
                arr[e][num[e]++] = p;
        }
        key += n;
    }
    return true;
}

// ---------------------------------------------------------------------------
// Neighbour-list look-up

// Index of value in list[0, count), or -1: the plain linear search.
inline int32_t FindPlain(const int32_t* list, int32_t count, int32_t value)
{
    for (int32_t i = 0; i < count; ++i)
        if (list[i] == value)
            return i;
    return -1;
}

// Lists of up to this many entries take the fixed-width pass of FindInList.
constexpr int32_t kFindWidth = 8;

// Index of the lowest set bit of a nonzero mask.
inline int32_t LowestBit(uint32_t bits)
{
#if defined(__GNUC__) || defined(__clang__)
    return __builtin_ctz(bits);
#else
    int32_t pos = 0;
    while (!(bits & 1u))
    {
        bits >>= 1;
        ++pos;
    }
    return pos;
#endif
}

// The answer of FindPlain, faster on the short lists of a mesh (most
// vertices have at most 8 neighbours): a list of up to kFindWidth entries is
// compared with value in one fixed-width pass that has no data-dependent
// branch (with SSE2, two 4-lane compares), so a look-up costs the same
// whatever its answer and never mispredicts; the first hit is the lowest set
// bit of the hit mask, entries past count masked off. Longer lists take
// FindPlain. The caller guarantees kFindWidth readable, initialised entries
// from list on (the neighbour blocks are zeroed and padded by kFindWidth).
inline int32_t FindInList(const int32_t* list, int32_t count, int32_t value)
{
    if (count <= kFindWidth)
    {
#if KORVANE_FIND_SSE2
        const __m128i key = _mm_set1_epi32(value);
        const __m128i lo = _mm_cmpeq_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(list)), key);
        const __m128i hi = _mm_cmpeq_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(list + 4)), key);
        uint32_t hits = static_cast<uint32_t>(_mm_movemask_ps(_mm_castsi128_ps(lo))) |
                        (static_cast<uint32_t>(_mm_movemask_ps(_mm_castsi128_ps(hi))) << 4);
#else
        uint32_t hits = 0;
        for (int32_t i = 0; i < kFindWidth; ++i)
            hits |= static_cast<uint32_t>(list[i] == value) << i;
#endif
        hits &= (1u << count) - 1u;
        return hits ? LowestBit(hits) : -1;
    }
    return FindPlain(list, count, value);
}

#if KORVANE_FIND_SSE2
// Both look-ups of an append to a short list (count <= kFindWidth) in one
// fixed-width pass, as in FindInList: the place of a in list[0, count)
// (count when absent) and whether b is there. Same guarantee of kFindWidth
// readable, initialised entries.
inline void FindTwoInShortList(const int32_t* list, int32_t count, int32_t a, int32_t b, int32_t& placeOfA,
                               int32_t& hasB)
{
    const __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(list));
    const __m128i hi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(list + 4));
    const __m128i ka = _mm_set1_epi32(a);
    const __m128i kb = _mm_set1_epi32(b);
    const auto bits = [](__m128i x) { return static_cast<uint32_t>(_mm_movemask_ps(_mm_castsi128_ps(x))); };
    const uint32_t live = (1u << count) - 1u;
    const uint32_t hitsA = (bits(_mm_cmpeq_epi32(lo, ka)) | bits(_mm_cmpeq_epi32(hi, ka)) << 4) & live;
    const uint32_t hitsB = (bits(_mm_cmpeq_epi32(lo, kb)) | bits(_mm_cmpeq_epi32(hi, kb)) << 4) & live;
    placeOfA = hitsA ? LowestBit(hitsA) : count;
    hasB = hitsB != 0;
}
#endif

} // namespace znq_rules
