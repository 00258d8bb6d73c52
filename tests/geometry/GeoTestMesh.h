// Test helpers: small meshes filled straight into a ZNQGeometry through its
// counted allocator, and a generated closed torus grid.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#include "geometry/ZNQGeometry.h"

// A geometry that clears itself at the end of the test.
struct TestGeo
{
    ZNQGeometry g;
    explicit TestGeo(int32_t threading = 0) { g.Init(threading); }
    ~TestGeo() { g.Clear(); }
    TestGeo(const TestGeo&) = delete;
    TestGeo& operator=(const TestGeo&) = delete;
    ZNQGeometry* operator->() { return &g; }
};

// Replaces the mesh of g by pos and polys (indices are taken as given, legal
// or not), releasing all derived data.
inline void FillMesh(ZNQGeometry& g, const std::vector<float3>& pos,
                     const std::vector<std::vector<int32_t>>& polys)
{
    g._MemFree(g._vertPos);
    g._MemFree(g._polyNumVert);
    g._MemFree(g._polyVInd);
    g._DynRelease(kDynAll);
    g._numVert = static_cast<int32_t>(pos.size());
    g._vertPos = g._MemAllocArr<float3>(pos.size(), false);
    for (size_t i = 0; i < pos.size(); ++i)
        g._vertPos[i] = pos[i];
    size_t nodes = 0;
    for (const auto& p : polys)
        nodes += p.size();
    g._numPoly = static_cast<int32_t>(polys.size());
    g._polyNumVert = g._MemAllocArr<uint8_t>(polys.size(), false);
    g._polyVInd = g._MemAllocArr<int32_t>(nodes, false);
    size_t k = 0;
    for (size_t p = 0; p < polys.size(); ++p)
    {
        g._polyNumVert[p] = static_cast<uint8_t>(polys[p].size());
        for (int32_t v : polys[p])
            g._polyVInd[k++] = v;
    }
}

// Node array of n entries through the counted allocator.
template <typename T>
T* AllocNodeArray(ZNQGeometry& g, const std::vector<T>& values)
{
    T* a = g._MemAllocArr<T>(values.size(), false);
    for (size_t i = 0; i < values.size(); ++i)
        a[i] = values[i];
    return a;
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
    FillMesh(g, pos, polys);
}
