// Push and Thickness: move vertices along their vertex normals.
//
// Push offsets the surface in place. Thickness turns it into a closed shell:
// an outer copy and an inner (reversed) copy of every polygon, joined along
// the open boundary by one side quad per boundary edge.
//
// With "relative" set, the offset of a vertex is scaled by its average
// distance to its neighbours, smoothed a few times, so that a shell over a
// finely tessellated region stays thin and the offset varies gently.
//
// Layout of the shell (nv vertices, np polygons, T nodes, B boundary edges):
//   vertices  0 .. nv-1           outer copies
//             nv .. 2nv-1         inner copies
//   polygons  0 .. np-1           outer copies, nodes as before
//             np .. 2np-1         inner copies, nodes reversed, normals negated
//             2np .. 2np+B-1      side quads (b, a, a+nv, b+nv), ascending edge
// All new arrays are allocated at their final size before anything changes,
// so a refusal leaves the geometry as it was.
#include <cstdint>
#include <cstring>

#include "errors/ZNQError.h"
#include "geometry/ZNQGeometry.h"
#include "meshops/ZNQMeshOpsUtil.h"

namespace
{

constexpr int64_t kMaxCount = INT32_MAX;

// Per-vertex offset scale of the relative mode: the average distance of each
// vertex to its neighbours, smoothed in place in the derived array.
int32_t OffsetScale(ZNQGeometry& g, int32_t smoothIterations, const float** scale)
{
    float* dist = g._DynGetVertAvrgDistToAdjVert();
    if (!dist)
        return ZNQ_ERR_DYN_VERT_AVRG_DIST_TO_ADJ_VERT;
    if (smoothIterations > 0)
    {
        const int32_t rc = g.BlurVertexData(1.0f, nullptr, smoothIterations, dist, g._numVert, kElemFloat);
        if (rc != 0)
            return rc;
    }
    *scale = dist;
    return 0;
}

// The selected per-vertex factor channel (1..4), or null for "no factor".
const float* FactorChannel(const ZNQGeometry& g, int32_t channel)
{
    if (channel < 1 || channel > 4)
        return nullptr;
    return g._vertUser1[channel - 1];
}

// pos + k * n, component by component in single precision.
inline float3 Offset(const float3& p, float k, const float3& n)
{
    return float3{p.x + k * n.x, p.y + k * n.y, p.z + k * n.z};
}

inline float3 Negated(const float3& v) { return float3{-v.x, -v.y, -v.z}; }

// Copies a per-vertex array twice, for the outer and the inner vertex copies.
template <typename T>
void CopyTwice(T* dst, const T* src, int32_t nv)
{
    if (!dst || !src)
        return;
    std::memcpy(dst, src, sizeof(T) * static_cast<size_t>(nv));
    std::memcpy(dst + nv, src, sizeof(T) * static_cast<size_t>(nv));
}

} // namespace

// ---------------------------------------------------------------------------
// Push

int32_t ZNQGeometry::Push(float distance, bool relative, int32_t smoothIterations)
{
    if (!_vertPos || distance == 0.0f || _numVert < 1 || _numPoly < 1)
        return 0;

    const float* scale = nullptr;
    if (relative)
    {
        const int32_t rc = OffsetScale(*this, smoothIterations, &scale);
        if (rc != 0)
        {
            _DynRelease(kDynAll);
            return rc;
        }
    }
    const float3* nrm = _DynGetVertNrm();
    if (!nrm)
    {
        _DynRelease(kDynAll);
        return ZNQ_ERR_DYN_VERT_NRM;
    }

    ZNQScopedArray<float3> pos(*this);
    if (!pos.Alloc(true, _numVert))
    {
        _DynRelease(kDynAll);
        return ZNQ_ERR_MEMORY;
    }
    for (int32_t v = 0; v < _numVert; ++v)
    {
        const float k = scale ? distance * scale[v] : distance;
        pos.ptr[v] = Offset(_vertPos[v], k, nrm[v]);
    }

    pos.SwapInto(_vertPos);
    _DynRelease(kDynAll);
    return 0;
}

// ---------------------------------------------------------------------------
// Thickness

int32_t ZNQGeometry::Thickness(float innerOffset, float outerOffset, bool relative,
                               int32_t smoothIterations, int32_t innerScaleArray,
                               int32_t outerScaleArray)
{
    if (!_vertPos || _numVert < 1 || _numPoly < 1)
        return 0;

    // Every exit from here on leaves the derived data released.
    const znq_ops::DynReleaseOnExit releaseOnExit{*this};

    const float* scale = nullptr;
    if (relative)
    {
        const int32_t rc = OffsetScale(*this, smoothIterations, &scale);
        if (rc != 0)
            return rc;
    }

    // Edge topology. An edge-free mesh (only empty polygons) is no failure:
    // the edge item is then computed with zero edges.
    const uint8_t* edgeAdjNum = _DynGetEdgeAdjPolyNum();
    if (!edgeAdjNum && _dyn._numEdges != 0)
        return ZNQ_ERR_DYN_EDGE_ADJ_POLY_NUM;
    int32_t* const* edgeAdjArr = _DynGetEdgeAdjPolyArr();
    if (!edgeAdjArr && _dyn._numEdges != 0)
        return ZNQ_ERR_DYN_EDGE_ADJ_POLY_ARR;
    const int32_t* polyOffset = _DynGetPolyVIndOffset();
    if (!polyOffset)
        return ZNQ_ERR_DYN_POLY_V_IND_OFFSET;
    const float3* nrm = _DynGetVertNrm();
    if (!nrm)
        return ZNQ_ERR_DYN_VERT_NRM;
    const int32_t numEdges = _dyn._numEdges > 0 ? _dyn._numEdges : 0;
    const int32_t* edges = numEdges > 0 ? _DynGetEdges() : nullptr;
    if (numEdges > 0 && !edges)
        return ZNQ_ERR_DYN_EDGE_ADJ_POLY_NUM;

    const int32_t nv = _numVert;
    const int32_t np = _numPoly;
    const int64_t numNodes = NumNodes();
    int64_t numBoundary = 0;
    for (int32_t e = 0; e < numEdges; ++e)
        numBoundary += edgeAdjNum[e] == 1;

    // New sizes; beyond the 32-bit counts of the container the shell cannot be
    // held, which is reported like any other refused allocation.
    const int64_t newNumVert = 2 * static_cast<int64_t>(nv);
    const int64_t newNumPoly = 2 * static_cast<int64_t>(np) + numBoundary;
    const int64_t newNumNodes = 2 * numNodes + 4 * numBoundary;
    if (newNumVert > kMaxCount || newNumPoly > kMaxCount || newNumNodes > kMaxCount)
        return ZNQ_ERR_MEMORY;

    znq_ops::NewVertexArrays vert(*this);
    znq_ops::NewPolygonArrays poly(*this);
    if (!vert.Alloc(*this, newNumVert) || !poly.Alloc(*this, newNumPoly, newNumNodes))
        return ZNQ_ERR_MEMORY;
    float3* const pos = vert.pos.ptr;
    uint8_t* const polyNumVert = poly.num.ptr;
    int32_t* const polyVInd = poly.vInd.ptr;
    float3* const nodeNrm = poly.nrm.ptr;
    float3* const nodeUvw = poly.uvw.ptr;
    float4* const nodeCol = poly.col.ptr;

    // Vertices: outer copy, then inner copy; per-vertex data twice unchanged.
    const float* outerFactor = FactorChannel(*this, outerScaleArray);
    const float* innerFactor = FactorChannel(*this, innerScaleArray);
    for (int32_t v = 0; v < nv; ++v)
    {
        const float s = scale ? scale[v] : 1.0f;
        const float kOut = outerOffset * s * (outerFactor ? outerFactor[v] : 1.0f);
        const float kIn = innerOffset * s * (innerFactor ? innerFactor[v] : 1.0f);
        pos[v] = Offset(_vertPos[v], kOut, nrm[v]);
        pos[nv + v] = Offset(_vertPos[v], kIn, nrm[v]);
    }
    CopyTwice(vert.motion.ptr, _vertMotion, nv);
    CopyTwice(vert.user4.ptr, _vertUser4, nv);
    CopyTwice(vert.user3a.ptr, _vertUser3[0], nv);
    CopyTwice(vert.user3b.ptr, _vertUser3[1], nv);
    for (int c = 0; c < 4; ++c)
        CopyTwice(vert.user1[c].ptr, _vertUser1[c], nv);

    // Outer polygons: a plain copy of the polygon list and its node data.
    const size_t T = static_cast<size_t>(numNodes);
    std::memcpy(polyNumVert, _polyNumVert, static_cast<size_t>(np));
    std::memcpy(polyVInd, _polyVInd, sizeof(int32_t) * T);
    if (nodeNrm)
        std::memcpy(nodeNrm, _nodeNrm, sizeof(float3) * T);
    if (nodeUvw)
        std::memcpy(nodeUvw, _nodeUvw, sizeof(float3) * T);
    if (nodeCol)
        std::memcpy(nodeCol, _nodeCol, sizeof(float4) * T);

    // Inner polygons: each polygon reversed, indices raised by nv, normals
    // negated. Indices are added unsigned so that a stray out-of-range index
    // cannot overflow.
    std::memcpy(polyNumVert + np, _polyNumVert, static_cast<size_t>(np));
    size_t out = T;
    for (int32_t p = 0; p < np; ++p)
    {
        const size_t o = static_cast<size_t>(polyOffset[p]);
        const int32_t c = _polyNumVert[p];
        for (int32_t j = 0; j < c; ++j, ++out)
        {
            const size_t src = o + static_cast<size_t>(c - 1 - j);
            polyVInd[out] = static_cast<int32_t>(static_cast<uint32_t>(_polyVInd[src]) +
                                                 static_cast<uint32_t>(nv));
            if (nodeNrm)
                nodeNrm[out] = Negated(_nodeNrm[src]);
            if (nodeUvw)
                nodeUvw[out] = _nodeUvw[src];
            if (nodeCol)
                nodeCol[out] = _nodeCol[src];
        }
    }

    // Side quads, one per boundary edge in ascending edge order. The edge runs
    // a -> b in its one polygon; the quad (b, a, a+nv, b+nv) runs against it,
    // so that the shell is consistently oriented. Normals start at zero and
    // are filled with the quad's own normal below.
    int32_t side = 2 * np;
    for (int32_t e = 0; e < numEdges; ++e)
    {
        if (edgeAdjNum[e] != 1)
            continue;
        const int32_t p = edgeAdjArr[e][0];
        const int32_t e0 = edges[2 * e], e1 = edges[2 * e + 1];
        int32_t a = e0, b = e1;
        int64_t nodeA = -1, nodeB = -1;
        if (p >= 0 && p < np)
        {
            const int64_t o = polyOffset[p];
            const int32_t c = _polyNumVert[p];
            for (int32_t k = 0; k < c; ++k)
            {
                const int64_t kn = o + (k + 1 == c ? 0 : k + 1);
                const int32_t v = _polyVInd[o + k], w = _polyVInd[kn];
                if ((v == e0 && w == e1) || (v == e1 && w == e0))
                {
                    a = v;
                    b = w;
                    nodeA = o + k;
                    nodeB = kn;
                    break;
                }
            }
        }
        polyNumVert[side++] = 4;
        const uint32_t unv = static_cast<uint32_t>(nv);
        const int32_t quad[4] = {b, a, static_cast<int32_t>(static_cast<uint32_t>(a) + unv),
                                 static_cast<int32_t>(static_cast<uint32_t>(b) + unv)};
        const int64_t from[4] = {nodeB, nodeA, nodeA, nodeB};
        for (int k = 0; k < 4; ++k, ++out)
        {
            polyVInd[out] = quad[k];
            if (nodeNrm)
                nodeNrm[out] = float3{0.0f, 0.0f, 0.0f};
            if (nodeUvw)
                nodeUvw[out] = from[k] >= 0 ? _nodeUvw[from[k]] : float3{0.0f, 0.0f, 0.0f};
            if (nodeCol)
                nodeCol[out] = from[k] >= 0 ? _nodeCol[from[k]] : float4{0.0f, 0.0f, 0.0f, 0.0f};
        }
    }

    // Swap everything in.
    _DynRelease(kDynAll);
    vert.SwapInto(*this, static_cast<int32_t>(newNumVert));
    poly.SwapInto(*this, static_cast<int32_t>(newNumPoly));

    // The side quads' zero normals become their polygon normals. A failure
    // here only leaves those normals at zero; the shell itself is complete.
    FillZeroNodeNormals();

    if (outerOffset < innerOffset)
        InvertPolygons(true);
    return 0;
}
