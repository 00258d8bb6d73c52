// Test helpers of the geometry tests: a fixture with one geometry, node
// arrays through the counted allocator and a generated closed torus grid.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#include "../common/KvTest.h"

using kvt::Build;
using kvt::Geo;

// A fresh geometry per test, cleared at its end.
class GeoTest : public ::testing::Test
{
protected:
    Geo geo;
    ZNQGeometry& g = geo.g;
};

// Node (or vertex) array with the given values through the counted allocator.
template <typename T>
T* AllocNodeArray(ZNQGeometry& g, const std::vector<T>& values)
{
    return kvt::CountedCopy(g, values.data(), values.size());
}

// Closed torus of nu x nv vertices, each grid quad split into two triangles
// (triangles = true) or kept as a quad.
inline void FillTorus(ZNQGeometry& g, int32_t nu, int32_t nv, bool triangles)
{
    std::vector<float3> pos;
    pos.reserve(static_cast<size_t>(nu) * nv);
    const float kPi = 3.14159265358979f;
    for (int32_t i = 0; i < nu; ++i)
    {
        const float a = 2.0f * kPi * static_cast<float>(i) / static_cast<float>(nu);
        for (int32_t j = 0; j < nv; ++j)
        {
            const float b = 2.0f * kPi * static_cast<float>(j) / static_cast<float>(nv);
            const float r = 3.0f + std::cos(b);
            pos.push_back(float3{r * std::cos(a), r * std::sin(a), std::sin(b)});
        }
    }
    std::vector<std::vector<int32_t>> polys;
    for (int32_t i = 0; i < nu; ++i)
    {
        for (int32_t j = 0; j < nv; ++j)
        {
            const int32_t v00 = i * nv + j;
            const int32_t v10 = ((i + 1) % nu) * nv + j;
            const int32_t v11 = ((i + 1) % nu) * nv + (j + 1) % nv;
            const int32_t v01 = i * nv + (j + 1) % nv;
            if (triangles)
            {
                polys.push_back({v00, v10, v11});
                polys.push_back({v00, v11, v01});
            }
            else
            {
                polys.push_back({v00, v10, v11, v01});
            }
        }
    }
    Build(g, pos, polys);
}
