// The geometric rules of geometry/ZNQGeomRules.h against plain reference
// versions written here: the fast neighbour look-up against a linear search,
// the legality checks against a set, the counting sort against a sort of
// (key, polygon) pairs, and the corner rules on hand-made corners.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include "geometry/ZNQGeomRules.h"

namespace
{

// The first index of value in list[0, count), or -1.
int32_t ReferenceFind(const std::vector<int32_t>& list, int32_t count, int32_t value)
{
    const auto end = list.begin() + count;
    const auto it = std::find(list.begin(), end, value);
    return it == end ? -1 : static_cast<int32_t>(it - list.begin());
}

} // namespace

// Lists of every length from 0 to 20 (both sides of the fixed-width pass),
// values drawn from a small range so that repeats and misses are common, the
// padding past count holding the value looked for (it must be masked off).
TEST(GeomRules, FindInListIsTheLinearSearch)
{
    std::mt19937 rng(5);
    for (int round = 0; round < 2000; ++round)
    {
        const int32_t count = static_cast<int32_t>(rng() % 21);
        std::vector<int32_t> list(static_cast<size_t>(count) + znq_rules::kFindWidth);
        for (int32_t& v : list)
            v = static_cast<int32_t>(rng() % 12) - 2;
        const int32_t value = static_cast<int32_t>(rng() % 12) - 2;
        for (size_t k = static_cast<size_t>(count); k < list.size(); ++k)
            list[k] = value;
        const int32_t expected = ReferenceFind(list, count, value);
        EXPECT_EQ(znq_rules::FindInList(list.data(), count, value), expected) << round;
        EXPECT_EQ(znq_rules::FindPlain(list.data(), count, value), expected) << round;
    }
    const int32_t none[8] = {};
    EXPECT_EQ(znq_rules::FindInList(none, 0, 0), -1);
}

TEST(GeomRules, LegalityAgreesWithASet)
{
    std::mt19937 rng(8);
    for (int round = 0; round < 2000; ++round)
    {
        const int32_t n = static_cast<int32_t>(rng() % 40);
        const int32_t numVert = 1 + static_cast<int32_t>(rng() % 60);
        std::vector<int32_t> idx(static_cast<size_t>(n));
        for (int32_t& v : idx)
            v = static_cast<int32_t>(rng() % static_cast<uint32_t>(numVert + 4)) - 2;
        const std::set<int32_t> distinct(idx.begin(), idx.end());
        const bool inRange = std::all_of(idx.begin(), idx.end(), [numVert](int32_t v) { return v >= 0 && v < numVert; });
        EXPECT_EQ(znq_rules::HasRepeatPairwise(idx.data(), n), distinct.size() != idx.size()) << round;
        EXPECT_EQ(znq_rules::IndicesInRange(idx.data(), n, numVert), inRange) << round;
    }
}

// Random polygon lists with keys out of range (skipped) and repeated keys in
// one polygon (one entry per node): each list holds exactly the polygons of
// its key's nodes, ascending; a list that would pass 255 entries fails.
TEST(GeomRules, SortPolygonsByNodeKeyIsASortOfPairs)
{
    std::mt19937 rng(13);
    for (int round = 0; round < 50; ++round)
    {
        ZNQGeometry g;
        g.Init();
        const int32_t numKeys = 1 + static_cast<int32_t>(rng() % 30);
        g._numPoly = static_cast<int32_t>(rng() % 40);
        g._polyNumVert = g._MemAllocArr<uint8_t>(static_cast<size_t>(g._numPoly) + 1, false);
        std::vector<int32_t> keys;
        std::vector<std::pair<int32_t, int32_t>> pairs;
        for (int32_t p = 0; p < g._numPoly; ++p)
        {
            g._polyNumVert[p] = static_cast<uint8_t>(rng() % 6);
            for (int k = 0; k < g._polyNumVert[p]; ++k)
            {
                const int32_t key = static_cast<int32_t>(rng() % static_cast<uint32_t>(numKeys + 3)) - 1;
                keys.push_back(key);
                if (key >= 0 && key < numKeys)
                    pairs.emplace_back(key, p);
            }
        }
        std::sort(pairs.begin(), pairs.end());
        std::vector<uint8_t> num(static_cast<size_t>(numKeys), 0);
        std::vector<int32_t*> arr(static_cast<size_t>(numKeys), nullptr);
        int32_t* block = nullptr;
        ASSERT_TRUE(znq_rules::SortPolygonsByNodeKey(g, keys.data(), static_cast<int64_t>(keys.size()), numKeys,
                                                     num.data(), arr.data(), block));
        std::vector<std::pair<int32_t, int32_t>> got;
        for (int32_t e = 0; e < numKeys; ++e)
            for (int32_t i = 0; i < num[static_cast<size_t>(e)]; ++i)
                got.emplace_back(e, arr[static_cast<size_t>(e)][i]);
        EXPECT_EQ(got, pairs) << round;
        g._MemFree(block);
        g.Clear();
    }

    // 255 nodes on one key fill the one-byte count; 256 cannot be held, nor
    // 512 (a count that wraps to exactly 0).
    for (const int32_t nodes : {255, 256, 512})
    {
        SCOPED_TRACE(nodes);
        ZNQGeometry g;
        g.Init();
        g._numPoly = nodes;
        g._polyNumVert = g._MemAllocArr<uint8_t>(static_cast<size_t>(nodes), false);
        std::fill(g._polyNumVert, g._polyNumVert + nodes, uint8_t(1));
        const std::vector<int32_t> keys(static_cast<size_t>(nodes), 0);
        uint8_t num = 0;
        int32_t* arr = nullptr;
        int32_t* block = nullptr;
        const bool built = znq_rules::SortPolygonsByNodeKey(g, keys.data(), nodes, 1, &num, &arr, block);
        EXPECT_EQ(built, nodes == 255);
        if (built)
        {
            EXPECT_EQ(num, 255);
            EXPECT_EQ(arr[254], 254);
        }
        g._MemFree(block);
        g.Clear();
    }
}

TEST(GeomRules, CornerRulesOnHandMadeCorners)
{
    using znq_rules::CornerCosine;
    // A right angle, a straight corner, a degenerate side (cosine 1).
    EXPECT_EQ(CornerCosine({1, 0, 0}, {0, 1, 0}), 0.0f);
    EXPECT_EQ(CornerCosine({1, 0, 0}, {-2, 0, 0}), -1.0f);
    EXPECT_EQ(CornerCosine({1e-7f, 0, 0}, {0, 1, 0}), 1.0f);
    // X = B x A: counter-clockwise in the xy-plane points down (-z).
    const float3 x = znq_rules::CornerCross({1, 0, 0}, {0, 1, 0});
    EXPECT_EQ(x.z, -1.0f);
    // Ties of the dominant axis go to z, then y.
    znq_rules::AxisMax m;
    m.Add({1, 1, 1});
    EXPECT_EQ(m.Axis(), 2);
    m.Add({0, 3, 0});
    EXPECT_EQ(m.Axis(), 1);
    // Polygon normal: normalised, turned over at a reflex corner, a tiny one kept.
    const float3 n = znq_rules::PolygonNormal({0, 0, 2}, false);
    EXPECT_EQ(n.z, -1.0f);
    const float3 tiny = znq_rules::PolygonNormal({0, 0, 1e-16f}, true);
    EXPECT_EQ(tiny.z, 1e-16f);
    // The normal corner skips straight and degenerate corners.
    const float cosines[] = {1.0f, -1.0f, 0.5f, 0.0f};
    EXPECT_EQ(znq_rules::NormalCorner([&](int32_t k) { return cosines[k]; }, 4), 2);
    EXPECT_EQ(znq_rules::NormalCorner([&](int32_t k) { return cosines[k]; }, 2), 0);
}
