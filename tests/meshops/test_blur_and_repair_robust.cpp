// Hostile meshes through every operation of this group: out-of-range and
// repeated indices, empty polygons, NaN and infinite positions, a vertex with
// hundreds of neighbours. Each call must return a known code, keep the mesh
// in bounds (run under the address sanitizer in CI) and balance the books.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "errors/ZNQError.h"
#include "mesh_util.h"

using namespace kmesh;

namespace
{

using Op = std::function<int32_t(ZNQGeometry&)>;

std::vector<std::pair<const char*, Op>> AllOps()
{
    return {
        {"BlurNormals", [](ZNQGeometry& g) { return g.BlurNormals(1.0f, 3); }},
        {"BlurMotions", [](ZNQGeometry& g) { return g.BlurMotions(1.0f, 3); }},
        {"BlurColors", [](ZNQGeometry& g) { return g.BlurColors(1.0f, 3); }},
        {"BlurUvws", [](ZNQGeometry& g) { return g.BlurUvws(1.0f, 3); }},
        {"SimpleSmooth", [](ZNQGeometry& g) { return g.SimpleSmooth(1.0f, 2); }},
        {"FillZeroNodeNormals", [](ZNQGeometry& g) { return g.FillZeroNodeNormals(); }},
        {"FixEdges", [](ZNQGeometry& g) { return g.FixEdges(true, true); }},
        {"CloseHoles", [](ZNQGeometry& g) { return g.CloseHoles(-1.0f, 255); }},
        {"CloseHolesSized", [](ZNQGeometry& g) { return g.CloseHoles(0.5f, 255); }},
        {"Invert",
         [](ZNQGeometry& g) {
             g.InvertPolygons(true);
             return 0;
         }},
        {"Quadrangulate", [](ZNQGeometry& g) { return g.Quadrangulate(30.0f, 45.0f); }},
        {"QuadrangulateLoose", [](ZNQGeometry& g) { return g.Quadrangulate(180.0f, 180.0f); }},
    };
}

bool KnownCode(int32_t rc)
{
    return rc == 0 || rc == 10 || rc == 148 || (rc >= 96 && rc <= 123);
}

void RunAll(const char* name, const std::function<void(ZNQGeometry&)>& make)
{
    for (const auto& op : AllOps())
    {
        Geo geo;
        make(geo.g);
        const int32_t rc = op.second(geo.g);
        EXPECT_TRUE(KnownCode(rc)) << name << " / " << op.first << ": " << rc;
        // The mesh must still be readable by the getters.
        geo->_DynRelease(kDynAll);
        (void)geo->_DynGetVertNrm();
        geo->Clear();
        EXPECT_EQ(geo->_memUsed, 0) << name << " / " << op.first;
    }
}

} // namespace

TEST(BlurAndRepairRobustness, IllegalPolygons)
{
    RunAll("illegal", [](ZNQGeometry& g) {
        Build(g, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {2, 0, 0}},
              {{0, 1, 2}, {0, 2, 3}, {0, 1, 1, 2}, {7, 1, 2}, {-1, 2, 3}, {}, {3}, {1, 4}, {0, 1, 2}, {2, 1, 0},
               {0, 1, 0, 1}, {4, 4, 4}});
        AddVertexData(g);
        AddNodeData(g);
    });
}

TEST(BlurAndRepairRobustness, NonFinitePositions)
{
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    RunAll("nonfinite", [&](ZNQGeometry& g) {
        std::vector<float3> pos;
        GridVerts(4, 3, pos);
        pos[3].x = nan;
        pos[7] = float3{inf, -inf, 0};
        pos[12].z = nan;
        Polys polys;
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 4; ++x)
                if (x != 2 || y != 1)
                    CellTris(4, x, y, polys);
        polys.push_back(polys[3]);
        Build(g, pos, polys);
        AddNodeData(g);
        for (int k = 0; k < 6; ++k)
            g._nodeNrm[k] = float3{0, 0, 0};
    });
}

TEST(BlurAndRepairRobustness, HighValenceAndRandomSoup)
{
    RunAll("fan", [](ZNQGeometry& g) {
        std::vector<float3> pos = {{0, 0, 0}};
        Polys polys;
        for (int i = 0; i < 300; ++i)
        {
            const float a = 6.2831853f * static_cast<float>(i) / 300.0f;
            pos.push_back(float3{std::cos(a), std::sin(a), 0});
            polys.push_back({0, 1 + i, 1 + (i + 1) % 300});
        }
        Build(g, pos, polys);
        AddNodeData(g);
    });
    // Many polygons on one edge (more than 255 would overflow a count).
    RunAll("book", [](ZNQGeometry& g) {
        std::vector<float3> pos = {{0, 0, 0}, {1, 0, 0}};
        Polys polys;
        for (int i = 0; i < 260; ++i)
        {
            pos.push_back(float3{0.5f, std::cos(0.02f * i), std::sin(0.02f * i)});
            polys.push_back(i % 2 ? std::vector<int32_t>{0, 1, 2 + i} : std::vector<int32_t>{1, 0, 2 + i});
        }
        Build(g, pos, polys);
    });
    std::mt19937 rng(3);
    for (int round = 0; round < 30; ++round)
    {
        RunAll("soup", [&](ZNQGeometry& g) {
            const int nv = 4 + static_cast<int>(rng() % 12);
            std::vector<float3> pos;
            for (int i = 0; i < nv; ++i)
                pos.push_back(float3{float(rng() % 5), float(rng() % 5), float(rng() % 3)});
            Polys polys;
            const int np = 1 + static_cast<int>(rng() % 20);
            for (int p = 0; p < np; ++p)
            {
                std::vector<int32_t> poly(rng() % 7);
                for (auto& v : poly)
                    v = static_cast<int32_t>(rng() % static_cast<unsigned>(nv + 1)) - (rng() % 9 == 0 ? nv : 0);
                polys.push_back(poly);
            }
            Build(g, pos, polys);
            AddVertexData(g);
            AddNodeData(g, rng() & 1, rng() & 1, rng() & 1);
        });
    }
}
