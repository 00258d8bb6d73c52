// Sample geometry: a wobbling blob from a latitude-longitude grid.
//
// Vertex v(r, c) of ring r (0..R-1, north to south) and column c (0..C-1)
// sits at polar angle theta_r = pi (r + 1) / (R + 1) and azimuth
// phi_c = 2 pi c / C; vertex 0 is the north pole (+y), vertex C*R + 1 the
// south pole. The radius is 1 + d(theta, phi, t) with
//   d = A sin(theta) sin(3 theta + wa t) cos(2 phi - wb t)
//     + B sin^2(theta) sin(5 phi + wc t)
//     + D cos(2 theta + wd t),
// whose phi-dependent terms vanish at the poles, so the welded poles stay
// smooth. Motion vectors are the exact time derivative of the positions.
#include "SampleMesh.h"

#include <cmath>
#include <cstring>
#include <vector>

namespace
{

const double kPi = 3.14159265358979323846;
const double kA = 0.10, kB = 0.05, kD = 0.04;             // displacement amplitudes
const double kWa = 0.35, kWb = 0.25, kWc = 0.45, kWd = 0.3; // angular speeds per frame
const double kDrift = 0.02;                                 // centre speed along +y per frame
const int32_t kMaxCols = 254;                               // pole valence limit

inline float Clamp01(double v)
{
    return static_cast<float>(v < 0.0 ? 0.0 : (v > 1.0 ? 1.0 : v));
}

} // namespace

bool MakeSampleMesh(ZNQGeometry& geo, int32_t approxTris, float time)
{
    geo.Clear();
    if (approxTris < 1 || approxTris > 100000000)
        return false;

    int32_t rings = static_cast<int32_t>(std::lround(std::sqrt(approxTris / 4.0)));
    if (rings < 2)
        rings = 2;
    // The poles carry one node per column, and a vertex may have at most 255
    // neighbours and nodes: past 254 columns the grid grows in rings only.
    int32_t cols = 2 * rings;
    if (cols > kMaxCols)
    {
        cols = kMaxCols;
        rings = static_cast<int32_t>(std::lround(approxTris / (2.0 * kMaxCols)));
    }
    const int32_t numVert = cols * rings + 2;
    const int32_t numTris = 2 * cols * rings;
    const size_t nv = static_cast<size_t>(numVert);
    const size_t nn = static_cast<size_t>(numTris) * 3;

    geo._vertPos = geo._MemAllocArr<float3>(nv, false);
    geo._vertMotion = geo._MemAllocArr<float3>(nv, false);
    geo._polyNumVert = geo._MemAllocArr<uint8_t>(static_cast<size_t>(numTris), false);
    geo._polyVInd = geo._MemAllocArr<int32_t>(nn, false);
    geo._nodeNrm = geo._MemAllocArr<float3>(nn, false);
    geo._nodeUvw = geo._MemAllocArr<float3>(nn, false);
    geo._nodeCol = geo._MemAllocArr<float4>(nn, false);
    ZNQScopedArray<float3> vertNrm(geo, nv, true);
    ZNQScopedArray<float4> vertCol(geo, nv, false);
    if (!geo._vertPos || !geo._vertMotion || !geo._polyNumVert || !geo._polyVInd || !geo._nodeNrm ||
        !geo._nodeUvw || !geo._nodeCol || !vertNrm.ptr || !vertCol.ptr)
    {
        geo.Clear();
        return false;
    }
    geo._numVert = numVert;
    geo._numPoly = numTris;

    // Per-column and per-ring terms, so the vertex loop only multiplies.
    const double t = time;
    std::vector<double> cosPhi(cols), sinPhi(cols), cos2(cols), sin2(cols), sin5(cols), cos5(cols);
    for (int32_t c = 0; c < cols; ++c)
    {
        const double phi = 2.0 * kPi * c / cols;
        cosPhi[c] = std::cos(phi);
        sinPhi[c] = std::sin(phi);
        cos2[c] = std::cos(2.0 * phi - kWb * t);
        sin2[c] = std::sin(2.0 * phi - kWb * t);
        sin5[c] = std::sin(5.0 * phi + kWc * t);
        cos5[c] = std::cos(5.0 * phi + kWc * t);
    }

    auto setVertex = [&](int32_t v, double sinT, double cosT, double cosP, double sinP, double d,
                         double dd) {
        const double dx = sinT * cosP, dy = cosT, dz = sinT * sinP;
        const double r = 1.0 + d;
        geo._vertPos[v] = {float(r * dx), float(r * dy + kDrift * t), float(r * dz)};
        geo._vertMotion[v] = {float(dd * dx), float(dd * dy + kDrift), float(dd * dz)};
        // Colour: warm where the surface moves outwards, cool inwards;
        // green follows the height.
        vertCol[v] = {Clamp01(0.55 + 4.0 * dd), Clamp01(0.45 + 0.3 * dy), Clamp01(0.8 - 4.0 * dd), 1.0f};
    };

    // Poles: only the phi-free term.
    for (int pole = 0; pole < 2; ++pole)
    {
        const double theta = pole ? kPi : 0.0;
        const double d = kD * std::cos(2.0 * theta + kWd * t);
        const double dd = -kD * kWd * std::sin(2.0 * theta + kWd * t);
        setVertex(pole ? numVert - 1 : 0, 0.0, pole ? -1.0 : 1.0, 1.0, 0.0, d, dd);
    }
    for (int32_t r = 0; r < rings; ++r)
    {
        const double theta = kPi * (r + 1) / (rings + 1);
        const double sinT = std::sin(theta), cosT = std::cos(theta);
        const double s3 = std::sin(3.0 * theta + kWa * t), c3 = std::cos(3.0 * theta + kWa * t);
        const double ringD = kD * std::cos(2.0 * theta + kWd * t);
        const double ringDD = -kD * kWd * std::sin(2.0 * theta + kWd * t);
        for (int32_t c = 0; c < cols; ++c)
        {
            const double d = kA * sinT * s3 * cos2[c] + kB * sinT * sinT * sin5[c] + ringD;
            const double dd = kA * sinT * (kWa * c3 * cos2[c] + kWb * s3 * sin2[c]) +
                              kB * sinT * sinT * kWc * cos5[c] + ringDD;
            setVertex(1 + r * cols + c, sinT, cosT, cosPhi[c], sinPhi[c], d, dd);
        }
    }

    // Triangles, counter-clockwise seen from outside. Each node also records
    // its grid place (ring, unwrapped column) for the UVs: column cols is the
    // seam's second copy of column 0, and pole nodes take the middle of their
    // fan triangle.
    uint8_t* nvp = geo._polyNumVert;
    int32_t* vind = geo._polyVInd;
    float3* uvw = geo._nodeUvw;
    const int32_t southPole = numVert - 1;
    auto ringVertex = [&](int32_t r, int32_t c) { return 1 + r * cols + (c % cols); };
    auto gridUv = [&](int32_t r, int32_t c) {
        return float3{float(double(c) / cols), float(1.0 - double(r + 1) / (rings + 1)), 0.0f};
    };
    int64_t k = 0;
    auto node = [&](int32_t v, float3 uv) {
        vind[k] = v;
        uvw[k] = uv;
        ++k;
    };
    for (int32_t c = 0; c < cols; ++c)
    {
        const float3 poleUv{float((c + 0.5) / cols), 1.0f, 0.0f};
        node(0, poleUv);
        node(ringVertex(0, c + 1), gridUv(0, c + 1));
        node(ringVertex(0, c), gridUv(0, c));
    }
    for (int32_t r = 0; r + 1 < rings; ++r)
        for (int32_t c = 0; c < cols; ++c)
        {
            node(ringVertex(r, c), gridUv(r, c));
            node(ringVertex(r, c + 1), gridUv(r, c + 1));
            node(ringVertex(r + 1, c), gridUv(r + 1, c));
            node(ringVertex(r, c + 1), gridUv(r, c + 1));
            node(ringVertex(r + 1, c + 1), gridUv(r + 1, c + 1));
            node(ringVertex(r + 1, c), gridUv(r + 1, c));
        }
    for (int32_t c = 0; c < cols; ++c)
    {
        const float3 poleUv{float((c + 0.5) / cols), 0.0f, 0.0f};
        node(ringVertex(rings - 1, c), gridUv(rings - 1, c));
        node(ringVertex(rings - 1, c + 1), gridUv(rings - 1, c + 1));
        node(southPole, poleUv);
    }
    std::memset(nvp, 3, static_cast<size_t>(numTris));

    // Area-weighted vertex normals: the sum of the triangles' cross products.
    const float3* P = geo._vertPos;
    float3* vn = vertNrm.ptr;
    for (int64_t i = 0; i < int64_t(nn); i += 3)
    {
        const float3 a = P[vind[i]], b = P[vind[i + 1]], c = P[vind[i + 2]];
        const float ux = b.x - a.x, uy = b.y - a.y, uz = b.z - a.z;
        const float wx = c.x - a.x, wy = c.y - a.y, wz = c.z - a.z;
        const float3 n{uy * wz - uz * wy, uz * wx - ux * wz, ux * wy - uy * wx};
        for (int j = 0; j < 3; ++j)
        {
            float3& s = vn[vind[i + j]];
            s.x += n.x;
            s.y += n.y;
            s.z += n.z;
        }
    }
    for (size_t v = 0; v < nv; ++v)
    {
        float3& s = vn[v];
        const float len = std::sqrt(s.x * s.x + s.y * s.y + s.z * s.z);
        if (len > 0.0f)
            s = {s.x / len, s.y / len, s.z / len};
    }
    for (size_t i = 0; i < nn; ++i)
    {
        geo._nodeNrm[i] = vn[vind[i]];
        geo._nodeCol[i] = vertCol.ptr[vind[i]];
    }
    return true;
}
