// Fixed partitions for the library's parallel loops (internal header).
//
// A loop is cut into contiguous element ranges whose bounds depend only on
// the element count and the number of ranges; every range writes its own
// part of the output at positions fixed by prefix sums, and whatever is
// combined across ranges is combined in range order. The results are
// therefore the same bits for every thread count, and with one thread the
// serial loop runs as it is.
#pragma once

#include <cstdint>

#include <omp.h>

namespace znqpar
{

constexpr int32_t kMaxRanges = 64;
// Elements below which a loop is not worth a parallel region.
constexpr int64_t kMinPerRange = 32768;
// The value in force: kMinPerRange, lowered only by the fuzz targets and
// tests, so that small inputs also take the parallel paths.
inline int64_t g_minPerRange = kMinPerRange;

// Ranges for a loop over count elements: the OpenMP run time's thread
// count, at most one range per kMinPerRange elements and at most
// kMaxRanges. 1 means: run the serial loop.
inline int32_t RangesFor(int64_t count)
{
    const int32_t threads = omp_get_max_threads();
    const int64_t minPerRange = g_minPerRange < 1 ? 1 : g_minPerRange;
    if (threads <= 1 || count < 2 * minPerRange)
        return 1;
    int64_t ranges = count / minPerRange;
    if (ranges > threads)
        ranges = threads;
    if (ranges > kMaxRanges)
        ranges = kMaxRanges;
    return static_cast<int32_t>(ranges);
}

// First element of range r of ranges over count elements.
inline int64_t RangeStart(int64_t count, int32_t ranges, int32_t r)
{
    return count / ranges * r + (count % ranges) * r / ranges;
}

// Runs f(first, end) over [0, count): once with one thread (or a count not
// worth a team), otherwise over fixed contiguous ranges in parallel. f writes
// only the output of its own elements.
template <typename F>
inline void ForEachRange(int64_t count, const F& f)
{
    const int32_t ranges = RangesFor(count);
    if (ranges <= 1)
    {
        f(int64_t(0), count);
        return;
    }
#pragma omp parallel for schedule(static, 1) num_threads(ranges)
    for (int32_t r = 0; r < ranges; ++r)
        f(RangeStart(count, ranges, r), RangeStart(count, ranges, r + 1));
}

// Sum of the byte counts c[begin, end) (polygon sizes, list lengths).
// Blocks of 256 add up in 16 bits (256 x 255 fits), which the compiler
// turns into wide byte adds; a 64-bit sum per count would widen every byte.
inline int64_t SumCounts(const uint8_t* c, int64_t begin, int64_t end)
{
    int64_t sum = 0;
    int64_t i = begin;
    for (; i + 256 <= end; i += 256)
    {
        uint16_t block = 0;
        for (int32_t j = 0; j < 256; ++j)
            block = static_cast<uint16_t>(block + c[i + j]);
        sum += block;
    }
    for (; i < end; ++i)
        sum += c[i];
    return sum;
}

// Adds one to counts[k] for every key k = key[i], i in [begin, end), that
// lies in [0, numKeys); the numKeys counts start at zero. The bytes wrap at
// 256 instead of saturating: a saturating add puts its compare on the
// load-add-store chain through a count that the next few nodes of a mesh
// touch again, which made the pass half as slow again. A wrap loses 256 from
// the total, so the counts' sum tells whether one happened: true when every
// count stayed at or below 255 (and is then exact).
inline bool CountKeys(const int32_t* key, int64_t begin, int64_t end, int32_t numKeys, uint8_t* counts)
{
    int64_t skipped = 0;
    for (int64_t i = begin; i < end; ++i)
    {
        const int32_t k = key[i];
        if (static_cast<uint32_t>(k) < static_cast<uint32_t>(numKeys))
            ++counts[k];
        else
            ++skipped;
    }
    return SumCounts(counts, 0, numKeys) == (end - begin) - skipped;
}

// Polygon ranges with the first node of each: poly[r] .. poly[r+1]-1 are
// range r's polygons, node[r] the index of poly[r]'s first node.
struct PolyRanges
{
    int32_t count = 1;
    int32_t poly[kMaxRanges + 1];
    int64_t node[kMaxRanges + 1];
};

// Splits numPoly polygons into ranges (1 when not worth it). The node
// offsets of the range starts come from per-range corner sums.
inline void SplitPolygons(const uint8_t* polyNumVert, int32_t numPoly, int32_t ranges,
                          PolyRanges& out)
{
    out.count = ranges < 1 ? 1 : ranges;
    for (int32_t r = 0; r <= out.count; ++r)
        out.poly[r] = static_cast<int32_t>(RangeStart(numPoly, out.count, r));
    int64_t sums[kMaxRanges] = {};
    if (out.count > 1)
    {
#pragma omp parallel for schedule(static, 1) num_threads(out.count)
        for (int32_t r = 0; r < out.count; ++r)
            sums[r] = SumCounts(polyNumVert, out.poly[r], out.poly[r + 1]);
    }
    else
        sums[0] = SumCounts(polyNumVert, 0, numPoly);
    out.node[0] = 0;
    for (int32_t r = 0; r < out.count; ++r)
        out.node[r + 1] = out.node[r] + sums[r];
}

} // namespace znqpar
