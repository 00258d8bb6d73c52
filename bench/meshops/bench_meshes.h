// Generated meshes for the benchmarks of push, thickness, triangulation and
// disconnect.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <type_traits>

#include "geometry/ZNQGeometry.h"

namespace bench_meshes
{

// CPU time of the calling thread in seconds. The operations run on one
// thread; on a shared, busy machine this is far steadier than wall time.
inline double ThreadSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + 1e-9 * double(ts.tv_nsec);
}

// A wavy height field of w x h quads on (w+1) x (h+1) vertices, each quad
// counter-clockwise seen from +z. Positions and polygons only.
inline bool MakeQuadGrid(ZNQGeometry& g, int32_t w, int32_t h)
{
    g.Clear();
    const int32_t nv = (w + 1) * (h + 1);
    const int32_t np = w * h;
    g._vertPos = g._MemAllocArr<float3>(static_cast<size_t>(nv), false);
    g._polyNumVert = g._MemAllocArr<uint8_t>(static_cast<size_t>(np), false);
    g._polyVInd = g._MemAllocArr<int32_t>(4 * static_cast<size_t>(np), false);
    if (!g._vertPos || !g._polyNumVert || !g._polyVInd)
    {
        g.Clear();
        return false;
    }
    g._numVert = nv;
    g._numPoly = np;
    for (int32_t y = 0; y <= h; ++y)
        for (int32_t x = 0; x <= w; ++x)
        {
            const float fx = float(x) / float(w), fy = float(y) / float(h);
            g._vertPos[y * (w + 1) + x] =
                float3{fx, fy, 0.02f * std::sin(40.0f * fx) * std::cos(37.0f * fy)};
        }
    int32_t* v = g._polyVInd;
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x)
        {
            const int32_t a = y * (w + 1) + x;
            *v++ = a;
            *v++ = a + 1;
            *v++ = a + w + 2;
            *v++ = a + w + 1;
        }
    std::memset(g._polyNumVert, 4, static_cast<size_t>(np));
    g._DynRelease(kDynAll);
    return true;
}

// Splits every quad of a quad grid into two triangles in place of the grid.
inline bool MakeTriangleGrid(ZNQGeometry& g, int32_t w, int32_t h)
{
    if (!MakeQuadGrid(g, w, h))
        return false;
    return g.Triangulate(nullptr, 0, false) == 0;
}

// Separate concave hexagons ("L" shapes) in rows: n polygons, 6n vertices,
// 4 triangles each when split.
inline bool MakeLShapes(ZNQGeometry& g, int32_t n)
{
    g.Clear();
    g._vertPos = g._MemAllocArr<float3>(6 * static_cast<size_t>(n), false);
    g._polyNumVert = g._MemAllocArr<uint8_t>(static_cast<size_t>(n), false);
    g._polyVInd = g._MemAllocArr<int32_t>(6 * static_cast<size_t>(n), false);
    if (!g._vertPos || !g._polyNumVert || !g._polyVInd)
    {
        g.Clear();
        return false;
    }
    g._numVert = 6 * n;
    g._numPoly = n;
    const float L[6][2] = {{0, 0}, {2, 0}, {2, 1}, {1, 1}, {1, 2}, {0, 2}};
    for (int32_t p = 0; p < n; ++p)
    {
        const float ox = float(p % 1000) * 3.0f, oy = float(p / 1000) * 3.0f;
        for (int k = 0; k < 6; ++k)
        {
            g._vertPos[6 * p + k] = float3{ox + L[k][0], oy + L[k][1], 0.0f};
            g._polyVInd[6 * p + k] = 6 * p + k;
        }
    }
    std::memset(g._polyNumVert, 6, static_cast<size_t>(n));
    g._DynRelease(kDynAll);
    return true;
}

// Deep copy through dst's counted allocator.
inline void CopyGeometry(const ZNQGeometry& src, ZNQGeometry& dst)
{
    dst.Clear();
    const size_t nv = static_cast<size_t>(src._numVert);
    const size_t np = static_cast<size_t>(src._numPoly);
    const size_t nn = static_cast<size_t>(src.NumNodes());
    auto cp = [&dst](auto* s, size_t n) -> decltype(s) {
        if (!s)
            return nullptr;
        auto* p = dst._MemAllocArr<std::remove_pointer_t<decltype(s)>>(n, false);
        if (p && n)
            std::memcpy(p, s, n * sizeof(*s));
        return p;
    };
    dst._numVert = src._numVert;
    dst._numPoly = src._numPoly;
    dst._vertPos = cp(src._vertPos, nv);
    dst._vertMotion = cp(src._vertMotion, nv);
    dst._vertUser4 = cp(src._vertUser4, nv);
    for (int c = 0; c < 2; ++c)
        dst._vertUser3[c] = cp(src._vertUser3[c], nv);
    for (int c = 0; c < 4; ++c)
        dst._vertUser1[c] = cp(src._vertUser1[c], nv);
    dst._polyNumVert = cp(src._polyNumVert, np);
    dst._polyVInd = cp(src._polyVInd, nn);
    dst._nodeNrm = cp(src._nodeNrm, nn);
    dst._nodeUvw = cp(src._nodeUvw, nn);
    dst._nodeCol = cp(src._nodeCol, nn);
    dst._DynRelease(kDynAll);
}

} // namespace bench_meshes
