// Triangulate, TriangulateFivePlus, TriangulateConcave: split polygons into
// triangles without inserting vertices.
//
// Each split polygon is replaced, in place in the polygon order, by its
// triangles; every output node is a copy of an input node of the same polygon
// (vertex index, normal, UVW, colour), nothing is interpolated.
//
//   triangle           copied
//   convex quad        (0,1,2) (0,2,3)
//   concave quad       the diagonal through the larger pair of opposite
//                      corner measures (see CornerMeasure)
//   convex 5+-gon      fan from node 0
//   concave 5+-gon     ear clipping driven by the corners' convex flags
//
// The ear clipping makes no test for other vertices inside an ear: it picks a
// convex corner between reflex ones where it can, so that reflex corners are
// cut off first, and always removes one corner per step, so it ends after
// c - 3 steps even when no proper ear exists.
//
// Output sizes follow from the vertex counts alone, so the new arrays are
// allocated once at their final size: one pass writes the corner counts, a
// second the nodes.
//
// Shape of a polygon (its convex flag, its corners' convex flags and cosines,
// its normal): on a mesh of legal polygons these are worked out here, per
// split polygon and only as far as its split needs them, with exactly the
// formulas of the derived node records and polygon normals (ZNQDynData.cpp).
// Building those records for the whole mesh costs several times the split
// itself, and a convex polygon needs no cosine and no normal at all. An
// illegal polygon (repeated or outside index), and one too large for the
// local legality check, takes the derived records instead, so that its flags
// come from the one place that judges legality.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "errors/ZNQError.h"
#include "geometry/ZNQGeomRules.h"
#include "geometry/ZNQGeometry.h"
#include "meshops/ZNQMeshOpsUtil.h"

namespace
{

constexpr int64_t kMaxCount = INT32_MAX;

// Polygons up to this size are checked for legality and analysed here; the
// pairwise index check grows with the square of the size.
constexpr int32_t kMaxCheckedCorners = 32;

// Grows with the interior angle: 0..2 over convex corners (1 - cos), 2..4
// over reflex corners (3 + cos).
inline float CornerMeasure(uint8_t convex, float cosine)
{
    return convex ? 1.0f - cosine : 3.0f + cosine;
}

// Writes triangles into the new arrays, copying whole nodes of the source.
// The corner counts of the output are written in a pass of their own (see
// WriteCounts): a byte store may alias any other object, so a store of a
// count in this loop would force every output pointer to be read again from
// memory after it. For the same reason ClipEars takes the writer by value and
// hands it back: it advances its own copies of the pointers, which no store
// through them can change. Without node data (kNodeData false) a node is its
// vertex index alone.
template <bool kNodeData>
struct TriangleWriter
{
    const int32_t* srcVInd;
    const float3* srcNrm;
    const float3* srcUvw;
    const float4* srcCol;
    int32_t* vInd;
    float3* nrm;
    float3* uvw;
    float4* col;

    inline void Node(size_t src)
    {
        *vInd++ = srcVInd[src];
        if constexpr (kNodeData)
        {
            if (nrm)
                *nrm++ = srcNrm[src];
            if (uvw)
                *uvw++ = srcUvw[src];
            if (col)
                *col++ = srcCol[src];
        }
    }
    // Triangle of the corners i, j, k of the polygon whose nodes start at o.
    inline void Tri(size_t o, int32_t i, int32_t j, int32_t k)
    {
        Node(o + static_cast<size_t>(i));
        Node(o + static_cast<size_t>(j));
        Node(o + static_cast<size_t>(k));
    }
    // The polygon unchanged.
    inline void Copy(size_t o, int32_t c)
    {
        if (c == 3)
        {
            Tri(o, 0, 1, 2);
            return;
        }
        const size_t n = static_cast<size_t>(c);
        std::memcpy(vInd, srcVInd + o, n * sizeof(int32_t));
        vInd += n;
        if constexpr (kNodeData)
        {
            if (nrm)
            {
                std::memcpy(nrm, srcNrm + o, n * sizeof(float3));
                nrm += n;
            }
            if (uvw)
            {
                std::memcpy(uvw, srcUvw + o, n * sizeof(float3));
                uvw += n;
            }
            if (col)
            {
                std::memcpy(col, srcCol + o, n * sizeof(float4));
                col += n;
            }
        }
    }
};

// Corner counts of the output: 3 for each of the c - 2 triangles of a split
// polygon, c for a kept one.
void WriteCounts(const uint8_t* srcNumVert, int32_t np, const uint8_t* split, uint8_t* numVert)
{
    for (int32_t p = 0; p < np; ++p)
    {
        const int32_t c = srcNumVert[p];
        if (c > 3 && (!split || split[p]))
        {
            if (c == 4)
            {
                numVert[0] = 3;
                numVert[1] = 3;
            }
            else
            {
                std::memset(numVert, 3, static_cast<size_t>(c - 2));
            }
            numVert += c - 2;
        }
        else
        {
            *numVert++ = static_cast<uint8_t>(c);
        }
    }
}

using znq_rules::Cross;
using znq_rules::Sub;

// A vertex outside the mesh reads as the origin: never out of bounds.
inline float3 SafePos(const float3* pos, int32_t numVert, int32_t v)
{
    return static_cast<uint32_t>(v) < static_cast<uint32_t>(numVert) ? pos[v] : float3{0, 0, 0};
}

// The shape of one polygon as its split needs it.
struct PolyShape
{
    bool convex;        // every corner convex (and the polygon legal)
    uint8_t conv[256];  // convex flag per corner
    float measure[4];   // corner measures, concave quads only
    float3 normal;      // polygon normal, concave polygons of 5+ corners only
};

// True when the polygon is small enough to be checked here and is legal:
// every index inside the mesh, none twice. Larger or illegal polygons take
// the derived records. kCorners > 0 fixes the corner count at compile time
// (quads, the common case, then unroll); 0 takes it from count.
template <int32_t kCorners>
inline bool CheckedLegal(const int32_t* ind, int32_t count, int32_t numVert)
{
    const int32_t c = kCorners > 0 ? kCorners : count;
    return c <= kMaxCheckedCorners && znq_rules::IndicesInRange(ind, c, numVert) &&
           !znq_rules::HasRepeatPairwise(ind, c);
}

// Corner records of one legal polygon of c >= 4 corners from the positions:
// cross products X(k) = B x A, the dominant axis of all X(k), and, when they
// disagree in sign there, each corner's agreement with the orientation of
// the polygon projected along that axis (doubled area in double precision,
// relative to the first corner). Cosines and the normal only for concave
// polygons, which are the only ones whose split reads them. kCorners as for
// CheckedLegal.
template <int32_t kCorners>
void AnalyzePolygon(const int32_t* ind, int32_t count, const float3* pos, PolyShape& s)
{
    const int32_t c = kCorners > 0 ? kCorners : count;
    float3 pts[kMaxCheckedCorners];
    float3 cross[kMaxCheckedCorners];
    for (int32_t k = 0; k < c; ++k)
        pts[k] = pos[ind[k]];
    auto sideA = [&](int32_t k) { return Sub(pts[k > 0 ? k - 1 : c - 1], pts[k]); };
    auto sideB = [&](int32_t k) { return Sub(pts[k + 1 < c ? k + 1 : 0], pts[k]); };
    znq_rules::AxisMax axisMax;
    for (int32_t k = 0; k < c; ++k)
    {
        cross[k] = znq_rules::CornerCross(sideA(k), sideB(k));
        axisMax.Add(cross[k]);
    }
    const int axis = axisMax.Axis();
    s.convex = true;
    if (znq_rules::CrossSignsAgree(cross, c, axis))
    {
        std::memset(s.conv, 1, static_cast<size_t>(c));
        return;
    }
    const double area = znq_rules::ProjectedDoubledArea([&pts](int32_t k) { return pts[k]; }, c, axis);
    for (int32_t k = 0; k < c; ++k)
    {
        const bool convex = znq_rules::CornerConvexAlong(axis, area, znq_rules::AxisComponent(cross[k], axis));
        s.conv[k] = convex ? 1 : 0;
        s.convex = s.convex && convex;
    }
    if (s.convex)
        return;

    // Corner cosine as stored in the node records: rounded to half.
    auto cosine = [&](int32_t k) { return static_cast<float>(half(znq_rules::CornerCosine(sideA(k), sideB(k)))); };
    if (c == 4)
    {
        for (int32_t k = 0; k < 4; ++k)
            s.measure[k] = CornerMeasure(s.conv[k], cosine(k));
        return;
    }
    const int32_t k = znq_rules::NormalCorner(cosine, c);
    s.normal = znq_rules::PolygonNormal(cross[k], s.conv[k] != 0);
}

// The sign test of AnalyzePolygon for a legal quad, on plain values: true
// when the cross products X(k) all agree in sign along their dominant axis,
// which makes every corner convex. The same rule functions in the same
// order, so the answer is the one AnalyzePolygon<4> would give; a quad that
// fails the test takes AnalyzePolygon<4> for its corner records.
inline bool QuadSignsAgree(const int32_t* ind, const float3* pos)
{
    const float3 p0 = pos[ind[0]], p1 = pos[ind[1]], p2 = pos[ind[2]], p3 = pos[ind[3]];
    const float3 x[4] = {znq_rules::CornerCross(Sub(p3, p0), Sub(p1, p0)),
                         znq_rules::CornerCross(Sub(p0, p1), Sub(p2, p1)),
                         znq_rules::CornerCross(Sub(p1, p2), Sub(p3, p2)),
                         znq_rules::CornerCross(Sub(p2, p3), Sub(p0, p3))};
    znq_rules::AxisMax axisMax;
    for (const float3& xk : x)
        axisMax.Add(xk);
    return znq_rules::CrossSignsAgree(x, 4, axisMax.Axis());
}

// Convex flag of corner cur between prev and next, seen along the polygon
// normal.
inline uint8_t CornerConvex(const float3* pos, int32_t numVert, int32_t prev, int32_t cur,
                            int32_t next, const float3& n)
{
    const float3 C = SafePos(pos, numVert, cur);
    const float3 x = Cross(Sub(SafePos(pos, numVert, next), C), Sub(SafePos(pos, numVert, prev), C));
    return (x.x * n.x + x.y * n.y + x.z * n.z) >= 0.0f ? 1 : 0;
}

// Ear clipping of one concave polygon of c >= 5 corners. Works on a local
// list of the remaining corners and their convex flags.
template <typename Writer>
Writer ClipEars(Writer w, size_t o, int32_t c, const uint8_t* cornerConvex,
              const float3* pos, int32_t numVert, const float3& normal)
{
    uint8_t rem[256];  // corner index (in the polygon) of each remaining node
    uint8_t conv[256]; // its convex flag
    for (int32_t k = 0; k < c; ++k)
    {
        rem[k] = static_cast<uint8_t>(k);
        conv[k] = cornerConvex[k];
    }
    const int32_t* vInd = w.srcVInd;
    int32_t j = c;
    while (j > 3)
    {
        // A convex corner between two reflex ones, else next to one reflex
        // corner, else the last one; each search runs from the end.
        int32_t b = -1;
        for (int32_t i = j - 1; i >= 0 && b < 0; --i)
            if (conv[i] && !conv[i == 0 ? j - 1 : i - 1] && !conv[i + 1 == j ? 0 : i + 1])
                b = i;
        for (int32_t i = j - 1; i >= 0 && b < 0; --i)
            if (conv[i] && (!conv[i == 0 ? j - 1 : i - 1] || !conv[i + 1 == j ? 0 : i + 1]))
                b = i;
        if (b < 0)
            b = j - 1;

        w.Tri(o, rem[b], rem[b + 1 == j ? 0 : b + 1], rem[b == 0 ? j - 1 : b - 1]);

        for (int32_t i = b; i + 1 < j; ++i)
        {
            rem[i] = rem[i + 1];
            conv[i] = conv[i + 1];
        }
        --j;

        if (j > 3)
        {
            // The two former neighbours of b now sit at b - 1 and b.
            const int32_t q0 = b == 0 ? j - 1 : b - 1;
            const int32_t q1 = b == j ? 0 : b;
            for (int32_t q : {q0, q1})
            {
                const int32_t qp = q == 0 ? j - 1 : q - 1;
                const int32_t qn = q + 1 == j ? 0 : q + 1;
                conv[q] = CornerConvex(pos, numVert, vInd[o + rem[qp]], vInd[o + rem[q]],
                                       vInd[o + rem[qn]], normal);
            }
        }
    }
    w.Tri(o, rem[0], rem[1], rem[2]);
    return w;
}

// Splits one polygon of c >= 4 corners by its shape.
template <typename Writer>
inline void SplitPolygon(Writer& w, size_t o, int32_t c, const PolyShape& s,
                         const float3* pos, int32_t numVert)
{
    if (c == 4)
    {
        if (s.convex || s.measure[0] + s.measure[2] >= s.measure[1] + s.measure[3])
        {
            w.Tri(o, 0, 1, 2);
            w.Tri(o, 0, 2, 3);
        }
        else
        {
            w.Tri(o, 1, 2, 3);
            w.Tri(o, 1, 3, 0);
        }
    }
    else if (s.convex)
    {
        for (int32_t k = 0; k + 2 < c; ++k)
            w.Tri(o, 0, k + 1, k + 2);
    }
    else
    {
        w = ClipEars(w, o, c, s.conv, pos, numVert, s.normal);
    }
}

// Splits the polygons into the writer's arrays (the corner counts are
// written already); 0, or the code of a derived-record getter that failed.
template <typename Writer>
int32_t SplitAll(ZNQGeometry& g, const uint8_t* splitOf, Writer w)
{
    // The derived records, fetched only when a polygon needs them (see the
    // top of this file). Nothing has changed yet, so they describe the mesh.
    const ZNQNodeFlags* nodeFlags = nullptr;
    const uint8_t* polyFlags = nullptr;
    const float3* polyNrm = nullptr;
    auto fetchRecords = [&]() -> int32_t {
        if (!(nodeFlags = g._DynGetPolyNodeFlags()))
            return ZNQ_ERR_DYN_POLY_NODE_FLAGS;
        if (!(polyFlags = g._DynGetPolyFlags()))
            return ZNQ_ERR_DYN_POLY_FLAGS;
        if (!(polyNrm = g._DynGetPolyNrm()))
            return ZNQ_ERR_DYN_POLY_NRM;
        return 0;
    };

    const uint8_t* srcNumVert = g._polyNumVert;
    const int32_t* srcVInd = g._polyVInd;
    const float3* pos = g._vertPos;
    const int32_t nv = g._numVert;
    const int32_t np = g._numPoly;
    PolyShape shape;
    size_t o = 0;
    for (int32_t p = 0; p < np; o += srcNumVert[p], ++p)
    {
        const int32_t c = srcNumVert[p];
        if (c <= 3 || (splitOf && !splitOf[p]))
        {
            w.Copy(o, c);
            continue;
        }
        const bool checked = c == 4 ? CheckedLegal<4>(srcVInd + o, c, nv) : CheckedLegal<0>(srcVInd + o, c, nv);
        if (checked)
        {
            if (c == 4 && QuadSignsAgree(srcVInd + o, pos))
                shape.convex = true; // the split of a convex quad reads nothing else
            else if (c == 4)
                AnalyzePolygon<4>(srcVInd + o, c, pos, shape);
            else
                AnalyzePolygon<0>(srcVInd + o, c, pos, shape);
        }
        else
        {
            if (!nodeFlags)
            {
                const int32_t rc = fetchRecords();
                if (rc != 0)
                    return rc;
            }
            const ZNQNodeFlags* f = nodeFlags + o;
            shape.convex = (polyFlags[p] & kPolyFlagConvex) != 0;
            for (int32_t k = 0; k < c; ++k)
                shape.conv[k] = f[k]._convex & 1;
            if (c == 4)
                for (int32_t k = 0; k < 4; ++k)
                    shape.measure[k] = CornerMeasure(shape.conv[k], static_cast<float>(f[k]._cos));
            shape.normal = polyNrm[p];
        }
        SplitPolygon(w, o, c, shape, pos, nv);
    }
    return 0;
}

} // namespace

// ---------------------------------------------------------------------------
// Triangulate

int32_t ZNQGeometry::Triangulate(const int32_t* polygons, int32_t count, bool selectedKeep)
{
    if (!_vertPos || _numVert < 1 || _numPoly < 1)
        return 0;
    if (_DynGetNumPolyTwoMinus() != 0)
        return ZNQ_ERR_ILLEGAL_POLYGONS;
    if (_DynGetNumPolyQuads() == 0 && _DynGetNumPolyFivePlus() == 0)
        return 0;
    if (polygons && count <= 0 && !selectedKeep)
        return 0;

    const int32_t np = _numPoly;

    // Which polygons to split: all, or by the list (listed ones get the
    // opposite of selectedKeep).
    ZNQScopedArray<uint8_t> split(*this);
    if (polygons && count > 0)
    {
        if (!split.Alloc(true, np))
        {
            _DynRelease(kDynAll);
            return ZNQ_ERR_MEMORY;
        }
        std::memset(split.ptr, selectedKeep ? 1 : 0, static_cast<size_t>(np));
        for (int32_t i = 0; i < count; ++i)
            if (polygons[i] >= 0 && polygons[i] < np)
                split.ptr[polygons[i]] = selectedKeep ? 0 : 1;
    }

    // Output sizes: c - 2 triangles for a split polygon of c >= 4 corners.
    int64_t newNumPoly = 0, newNumNodes = 0;
    for (int32_t p = 0; p < np; ++p)
    {
        const int64_t c = _polyNumVert[p];
        if (c > 3 && (!split.ptr || split.ptr[p]))
        {
            newNumPoly += c - 2;
            newNumNodes += 3 * (c - 2);
        }
        else
        {
            newNumPoly += 1;
            newNumNodes += c;
        }
    }
    if (newNumPoly > kMaxCount || newNumNodes > kMaxCount)
    {
        _DynRelease(kDynAll);
        return ZNQ_ERR_MEMORY;
    }

    znq_ops::NewPolygonArrays fresh(*this);
    if (!fresh.Alloc(*this, newNumPoly, newNumNodes))
    {
        _DynRelease(kDynAll);
        return ZNQ_ERR_MEMORY;
    }

    WriteCounts(_polyNumVert, np, split.ptr, fresh.num.ptr);
    const int32_t rc =
        (_nodeNrm || _nodeUvw || _nodeCol)
            ? SplitAll(*this, split.ptr,
                       TriangleWriter<true>{_polyVInd, _nodeNrm, _nodeUvw, _nodeCol, fresh.vInd.ptr, fresh.nrm.ptr,
                                            fresh.uvw.ptr, fresh.col.ptr})
            : SplitAll(*this, split.ptr,
                       TriangleWriter<false>{_polyVInd, nullptr, nullptr, nullptr, fresh.vInd.ptr, nullptr,
                                             nullptr, nullptr});
    if (rc != 0)
    {
        _DynRelease(kDynAll);
        return rc;
    }

    fresh.SwapInto(*this, static_cast<int32_t>(newNumPoly));
    return 0;
}

// ---------------------------------------------------------------------------
// TriangulateFivePlus / TriangulateConcave

int32_t ZNQGeometry::TriangulateFivePlus()
{
    if (!_vertPos || _numVert < 1 || _numPoly < 1)
        return 0;
    const int32_t n = _DynGetNumPolyFivePlus();
    if (n <= 0)
        return 0;
    ZNQScopedArray<int32_t> list(*this, static_cast<size_t>(n), false);
    if (!list.ptr)
        return ZNQ_ERR_MEMORY;
    int32_t filled = 0;
    for (int32_t p = 0; p < _numPoly && filled < n; ++p)
        if (_polyNumVert[p] > 4)
            list[filled++] = p;
    return Triangulate(list.ptr, filled, false);
}

int32_t ZNQGeometry::TriangulateConcave()
{
    if (!_vertPos || _numVert < 1 || _numPoly < 1)
        return 0;
    const uint8_t* polyFlags = _DynGetPolyFlags();
    if (!polyFlags)
        return ZNQ_ERR_DYN_POLY_FLAGS;
    int32_t n = 0;
    for (int32_t p = 0; p < _numPoly; ++p)
        n += (polyFlags[p] & kPolyFlagConvex) == 0;
    if (n == 0)
        return 0;
    ZNQScopedArray<int32_t> list(*this, static_cast<size_t>(n), false);
    if (!list.ptr)
        return ZNQ_ERR_MEMORY;
    int32_t filled = 0;
    for (int32_t p = 0; p < _numPoly; ++p)
        if ((polyFlags[p] & kPolyFlagConvex) == 0)
            list[filled++] = p;
    return Triangulate(list.ptr, filled, false);
}
