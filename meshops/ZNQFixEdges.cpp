// Edge repair: splits non-manifold edges (more than two polygons) and double
// edges (two polygons running along the edge the same way) at their midpoint.
//
// FixEdges(fixNonManifold, fixDouble)
//   The edge's end vertices stay shared; each affected polygon gets a new
//   vertex inserted after its start node for the edge (the node whose vertex
//   is one end and whose next node holds the other). Along a non-manifold
//   edge, oppositely running pairs keep sharing one new vertex, every polygon
//   without a partner gets its own; along a double edge both polygons get
//   their own.
//   - Edges fixed, in order: non-manifold ones by ascending edge index (when
//     fixNonManifold), then double ones by ascending edge index (fixDouble).
//   - New vertices are numbered from the old _numVert in order of creation;
//     position, motion and every user channel are the midpoint of the edge's
//     ends. An added node takes the mean of its own and the next node's UVW
//     and colour, and their mean normal, normalised unless shorter than 1e-15.
//   Arrays changed: _polyNumVert (in place), _polyVInd, _nodeNrm, _nodeUvw,
//   _nodeCol, _vertPos, _vertMotion, _vertUser4, _vertUser3[], _vertUser1[]
//   (those present), _numVert. All new arrays are allocated before anything is
//   replaced, so every failure leaves the geometry unchanged.
//   Derived data: released (full mask) on every exit past the getters, kept
//   when there is nothing to do or nothing to fix.
//   Codes: 97, 100, 101, 116 (getters), 10 (memory), 148 (a polygon would pass
//   255 corners; nothing changed).
#include <cstring>

#include "geometry/ZNQGeometry.h"
#include "meshops/ZNQMeshOpsUtil.h"

using namespace znq_ops;

namespace
{

// Node (absolute index into _polyVInd) at which polygon p starts along edge
// {a, b}: its vertex is one end and the next node's vertex the other. With
// slots given, only nodes whose insert slot is still free count, so a
// polygon that (illegally) runs along one edge twice hands out both of its
// occurrences in turn. -1 when the polygon does not run along the edge.
int64_t StartNode(const int32_t* vind, const uint8_t* polyNumVert, const int32_t* polyOff, int32_t p,
                  int32_t a, int32_t b, const int32_t* slots)
{
    const int32_t n = polyNumVert[p];
    const int64_t off = polyOff[p];
    for (int32_t k = 0; k < n; ++k)
    {
        const int32_t v = vind[off + k];
        const int32_t w = vind[off + (k + 1 == n ? 0 : k + 1)];
        if (((v == a && w == b) || (v == b && w == a)) && (!slots || slots[k] < 0))
            return off + k;
    }
    return -1;
}

// True when the two polygons of a two-polygon edge start at the same vertex.
bool IsDoubleEdge(const int32_t* vind, const uint8_t* polyNumVert, const int32_t* polyOff, int32_t numPoly,
                  const int32_t* polys, int32_t a, int32_t b)
{
    if (!InRange(polys[0], numPoly) || !InRange(polys[1], numPoly))
        return false;
    const int64_t s0 = StartNode(vind, polyNumVert, polyOff, polys[0], a, b, nullptr);
    const int64_t s1 = StartNode(vind, polyNumVert, polyOff, polys[1], a, b, nullptr);
    return s0 >= 0 && s1 >= 0 && vind[s0] == vind[s1];
}

// Midpoint copy of an optional per-vertex channel grown by the new vertices.
template <typename T>
void GrowChannel(const T* src, T* dst, int32_t numVert, const int32_t* newVertEdge, int32_t numNew,
                 const int32_t* edges)
{
    std::memcpy(dst, src, static_cast<size_t>(numVert) * sizeof(T));
    for (int32_t i = 0; i < numNew; ++i)
    {
        const int32_t* e = edges + 2 * static_cast<size_t>(newVertEdge[i]);
        dst[numVert + i] = Mid(src[e[0]], src[e[1]]);
    }
}

inline float MidScalar(float a, float b) { return (a + b) * 0.5f; }

} // namespace

int32_t ZNQGeometry::FixEdges(bool fixNonManifold, bool fixDouble)
{
    if (!_vertPos || _numVert < 1 || _numPoly < 1 || !(fixNonManifold || fixDouble))
        return ZNQ_OK;

    const int32_t* edges = _DynGetEdges();
    if (!edges)
    {
        _DynRelease(kDynAll);
        return ZNQ_ERR_DYN_EDGES;
    }
    const int32_t numEdges = _DynGetNumEdges();
    const uint8_t* adjNum = _DynGetEdgeAdjPolyNum();
    if (!adjNum)
    {
        _DynRelease(kDynAll);
        return ZNQ_ERR_DYN_EDGE_ADJ_POLY_NUM;
    }
    int32_t* const* adjArr = _DynGetEdgeAdjPolyArr();
    if (!adjArr)
    {
        _DynRelease(kDynAll);
        return ZNQ_ERR_DYN_EDGE_ADJ_POLY_ARR;
    }
    const int32_t* polyOff = _DynGetPolyVIndOffset();
    if (!polyOff)
    {
        _DynRelease(kDynAll);
        return ZNQ_ERR_DYN_POLY_V_IND_OFFSET;
    }
    const int32_t* vind = _polyVInd;

    // An edge qualifies when its ends are valid vertices (always so after a
    // sound edge build; checked since midpoints read both ends).
    auto isNonManifold = [&](int32_t e) {
        return adjNum[e] > 2 && InRange(edges[2 * e], _numVert) && InRange(edges[2 * e + 1], _numVert);
    };
    auto isDouble = [&](int32_t e) {
        return adjNum[e] == 2 && InRange(edges[2 * e], _numVert) && InRange(edges[2 * e + 1], _numVert) &&
               IsDoubleEdge(vind, _polyNumVert, polyOff, _numPoly, adjArr[e], edges[2 * e], edges[2 * e + 1]);
    };

    // ---- 1. The edges to fix: count, then list (non-manifold first). ----
    int32_t numFix = 0;
    int64_t maxNew = 0; // one new vertex per adjacent polygon at most
    for (int32_t e = 0; e < numEdges; ++e)
    {
        if ((fixNonManifold && isNonManifold(e)) || (fixDouble && isDouble(e)))
        {
            ++numFix;
            maxNew += adjNum[e];
        }
    }
    if (numFix == 0)
        return ZNQ_OK;

    auto fail = [&](int32_t code) {
        _DynRelease(kDynAll);
        return code;
    };
    if (static_cast<int64_t>(_numVert) + maxNew > INT32_MAX)
        return fail(ZNQ_ERR_MEMORY);

    ZNQScopedArray<int32_t> fixList(*this, static_cast<size_t>(numFix), false);
    if (!fixList.ptr)
        return fail(ZNQ_ERR_MEMORY);
    {
        int32_t i = 0;
        if (fixNonManifold)
            for (int32_t e = 0; e < numEdges; ++e)
                if (isNonManifold(e))
                    fixList[i++] = e;
        if (fixDouble)
            for (int32_t e = 0; e < numEdges; ++e)
                if (isDouble(e))
                    fixList[i++] = e;
    }

    // ---- 2. Insert slots: one per node of each touched polygon. ----
    // slotOff[p] is the first slot of polygon p, -1 for untouched polygons.
    ZNQScopedArray<int64_t> slotOff(*this, static_cast<size_t>(_numPoly), false);
    if (!slotOff.ptr)
        return fail(ZNQ_ERR_MEMORY);
    for (int32_t p = 0; p < _numPoly; ++p)
        slotOff[p] = -1;
    for (int32_t i = 0; i < numFix; ++i)
    {
        const int32_t e = fixList[i];
        for (int32_t j = 0; j < adjNum[e]; ++j)
        {
            const int32_t p = adjArr[e][j];
            if (InRange(p, _numPoly))
                slotOff[p] = 0;
        }
    }
    int64_t numSlots = 0;
    for (int32_t p = 0; p < _numPoly; ++p)
    {
        if (slotOff[p] == 0)
        {
            slotOff[p] = numSlots;
            numSlots += _polyNumVert[p];
        }
    }
    ZNQScopedArray<int32_t> slots(*this, static_cast<size_t>(numSlots), false);
    ZNQScopedArray<int32_t> newVertEdge(*this, static_cast<size_t>(maxNew), false);
    // consumed: per position in the adjacency list of the current edge.
    ZNQScopedArray<uint8_t> consumed(*this, 256, false);
    if (!slots.ptr || !newVertEdge.ptr || !consumed.ptr)
        return fail(ZNQ_ERR_MEMORY);
    for (int64_t s = 0; s < numSlots; ++s)
        slots[s] = -1;

    // ---- 3. Assign new vertices to insert slots, edge by edge. ----
    int32_t numNew = 0;
    int64_t numAdded = 0; // added nodes; a shared new vertex adds two
    // Records new vertex k after polygon p's start node for {a, b}; false when
    // the polygon has no free start node there.
    auto slotFor = [&](int32_t p, int32_t a, int32_t b) -> int32_t* {
        if (!InRange(p, _numPoly) || slotOff[p] < 0)
            return nullptr;
        int32_t* ps = slots.ptr + slotOff[p];
        const int64_t node = StartNode(vind, _polyNumVert, polyOff, p, a, b, ps);
        return node < 0 ? nullptr : ps + (node - polyOff[p]);
    };
    for (int32_t i = 0; i < numFix; ++i)
    {
        const int32_t e = fixList[i];
        const int32_t a = edges[2 * e];
        const int32_t b = edges[2 * e + 1];
        const int32_t n = adjNum[e];
        const int32_t* polys = adjArr[e];
        if (n == 2)
        {
            // Double edge: each polygon its own vertex.
            for (int32_t j = 0; j < 2; ++j)
            {
                int32_t* slot = slotFor(polys[j], a, b);
                if (!slot)
                    continue;
                *slot = numNew;
                newVertEdge[numNew++] = e;
                ++numAdded;
            }
            continue;
        }
        // Non-manifold edge: pair each polygon with the first later one that
        // runs the other way; unpaired polygons get a vertex of their own.
        //
        // The free start node of each listed polygon is looked up once and
        // kept until a slot of that polygon is taken (only then can it
        // change: a polygon running along the edge twice is listed twice).
        // Looking it up again for every earlier polygon made a pile of m
        // equal c-gons cost m^2 c per edge, m^2 c^2 in all: seconds for one
        // hostile file of 255 copies of a 255-gon.
        std::memset(consumed.ptr, 0, 256);
        constexpr int64_t kNotLooked = -2;
        int64_t startNode[256];
        for (int32_t q = 0; q < n; ++q)
            startNode[q] = kNotLooked;
        auto startOf = [&](int32_t q) -> int64_t {
            if (startNode[q] == kNotLooked)
            {
                const int32_t pq = polys[q];
                startNode[q] = (!InRange(pq, _numPoly) || slotOff[pq] < 0)
                                   ? -1
                                   : StartNode(vind, _polyNumVert, polyOff, pq, a, b, slots.ptr + slotOff[pq]);
            }
            return startNode[q];
        };
        auto slotTaken = [&](int32_t p) {
            for (int32_t q = 0; q < n; ++q)
                if (polys[q] == p)
                    startNode[q] = kNotLooked;
        };
        for (int32_t j = 0; j < n; ++j)
        {
            if (consumed[j])
                continue;
            consumed[j] = 1;
            int32_t* slotP = slotFor(polys[j], a, b);
            if (!slotP)
                continue;
            const int32_t startP = vind[polyOff[polys[j]] + (slotP - (slots.ptr + slotOff[polys[j]]))];
            const int32_t k = numNew;
            *slotP = k;
            slotTaken(polys[j]);
            newVertEdge[numNew++] = e;
            ++numAdded;
            for (int32_t q = j + 1; q < n; ++q)
            {
                if (consumed[q])
                    continue;
                const int64_t node = startOf(q);
                if (node < 0 || vind[node] == startP)
                    continue;
                const int32_t pq = polys[q];
                consumed[q] = 1;
                slots[slotOff[pq] + (node - polyOff[pq])] = k;
                slotTaken(pq);
                ++numAdded;
                break;
            }
        }
    }

    // ---- 4. Polygon sizes: a corner count is one byte. ----
    for (int32_t p = 0; p < _numPoly; ++p)
    {
        if (slotOff[p] < 0)
            continue;
        const int32_t n = _polyNumVert[p];
        int32_t grown = n;
        for (int32_t j = 0; j < n; ++j)
            grown += slots[slotOff[p] + j] >= 0;
        if (grown > 255)
            return fail(ZNQ_ERR_POLYGON_TOO_LARGE);
    }

    // ---- 5. Allocate every new array before replacing anything. ----
    const int64_t numNodes = NumNodes();
    const size_t newNodes = static_cast<size_t>(numNodes + numAdded);
    const int32_t newNumVert = _numVert + numNew;
    ZNQScopedArray<int32_t> nVInd(*this, newNodes, false);
    ZNQScopedArray<float3> nNrm(*this, _nodeNrm ? newNodes : 0, false);
    ZNQScopedArray<float3> nUvw(*this, _nodeUvw ? newNodes : 0, false);
    ZNQScopedArray<float4> nCol(*this, _nodeCol ? newNodes : 0, false);
    ZNQScopedArray<float3> nPos(*this, static_cast<size_t>(newNumVert), false);
    ZNQScopedArray<float3> nMotion(*this, _vertMotion ? static_cast<size_t>(newNumVert) : 0, false);
    ZNQScopedArray<float4> nUser4(*this, _vertUser4 ? static_cast<size_t>(newNumVert) : 0, false);
    ZNQScopedArray<float3> nUser3a(*this, _vertUser3[0] ? static_cast<size_t>(newNumVert) : 0, false);
    ZNQScopedArray<float3> nUser3b(*this, _vertUser3[1] ? static_cast<size_t>(newNumVert) : 0, false);
    ZNQScopedArray<float>* nUser1[4] = {nullptr, nullptr, nullptr, nullptr};
    ZNQScopedArray<float> nUser1a(*this, _vertUser1[0] ? static_cast<size_t>(newNumVert) : 0, false);
    ZNQScopedArray<float> nUser1b(*this, _vertUser1[1] ? static_cast<size_t>(newNumVert) : 0, false);
    ZNQScopedArray<float> nUser1c(*this, _vertUser1[2] ? static_cast<size_t>(newNumVert) : 0, false);
    ZNQScopedArray<float> nUser1d(*this, _vertUser1[3] ? static_cast<size_t>(newNumVert) : 0, false);
    nUser1[0] = &nUser1a;
    nUser1[1] = &nUser1b;
    nUser1[2] = &nUser1c;
    nUser1[3] = &nUser1d;
    if (!nVInd.ptr || !nNrm.ptr || !nUvw.ptr || !nCol.ptr || !nPos.ptr || !nMotion.ptr || !nUser4.ptr ||
        !nUser3a.ptr || !nUser3b.ptr || !nUser1a.ptr || !nUser1b.ptr || !nUser1c.ptr || !nUser1d.ptr)
        return fail(ZNQ_ERR_MEMORY);

    // ---- 6. New vertices: midpoints of their edge's ends. ----
    GrowChannel(_vertPos, nPos.ptr, _numVert, newVertEdge.ptr, numNew, edges);
    if (_vertMotion)
        GrowChannel(_vertMotion, nMotion.ptr, _numVert, newVertEdge.ptr, numNew, edges);
    if (_vertUser4)
        GrowChannel(_vertUser4, nUser4.ptr, _numVert, newVertEdge.ptr, numNew, edges);
    if (_vertUser3[0])
        GrowChannel(_vertUser3[0], nUser3a.ptr, _numVert, newVertEdge.ptr, numNew, edges);
    if (_vertUser3[1])
        GrowChannel(_vertUser3[1], nUser3b.ptr, _numVert, newVertEdge.ptr, numNew, edges);
    for (int c = 0; c < 4; ++c)
    {
        if (!_vertUser1[c])
            continue;
        float* dst = nUser1[c]->ptr;
        std::memcpy(dst, _vertUser1[c], static_cast<size_t>(_numVert) * sizeof(float));
        for (int32_t i = 0; i < numNew; ++i)
        {
            const int32_t* ev = edges + 2 * static_cast<size_t>(newVertEdge[i]);
            dst[_numVert + i] = MidScalar(_vertUser1[c][ev[0]], _vertUser1[c][ev[1]]);
        }
    }

    // ---- 7. Rebuild the node arrays polygon by polygon. ----
    int64_t src = 0;
    int64_t dst = 0;
    for (int32_t p = 0; p < _numPoly; ++p)
    {
        const int32_t n = _polyNumVert[p];
        if (slotOff[p] < 0)
        {
            const size_t cnt = static_cast<size_t>(n);
            std::memcpy(nVInd.ptr + dst, vind + src, cnt * sizeof(int32_t));
            CopyNodeData(*this, static_cast<size_t>(dst), static_cast<size_t>(src), cnt, nNrm.ptr, nUvw.ptr,
                         nCol.ptr);
            src += n;
            dst += n;
            continue;
        }
        const int32_t* ps = slots.ptr + slotOff[p];
        int32_t added = 0;
        for (int32_t j = 0; j < n; ++j)
        {
            const int64_t k = src + j;
            const int64_t next = src + (j + 1 == n ? 0 : j + 1);
            nVInd[dst] = vind[k];
            if (_nodeNrm)
                nNrm[dst] = _nodeNrm[k];
            if (_nodeUvw)
                nUvw[dst] = _nodeUvw[k];
            if (_nodeCol)
                nCol[dst] = _nodeCol[k];
            ++dst;
            if (ps[j] < 0)
                continue;
            nVInd[dst] = _numVert + ps[j];
            if (_nodeNrm)
            {
                float3 m = Mid(_nodeNrm[k], _nodeNrm[next]);
                NormalizeNonTiny(m);
                nNrm[dst] = m;
            }
            if (_nodeUvw)
                nUvw[dst] = Mid(_nodeUvw[k], _nodeUvw[next]);
            if (_nodeCol)
                nCol[dst] = Mid(_nodeCol[k], _nodeCol[next]);
            ++dst;
            ++added;
        }
        _polyNumVert[p] = static_cast<uint8_t>(n + added);
        src += n;
    }

    // ---- 8. Swap everything in. ----
    _DynRelease(kDynAll);
    auto swapIn = [&](auto*& field, auto& fresh) {
        if (field)
        {
            _MemFree(field);
            field = fresh.release();
        }
    };
    _MemFree(_polyVInd);
    _polyVInd = nVInd.release();
    swapIn(_nodeNrm, nNrm);
    swapIn(_nodeUvw, nUvw);
    swapIn(_nodeCol, nCol);
    _MemFree(_vertPos);
    _vertPos = nPos.release();
    swapIn(_vertMotion, nMotion);
    swapIn(_vertUser4, nUser4);
    swapIn(_vertUser3[0], nUser3a);
    swapIn(_vertUser3[1], nUser3b);
    for (int c = 0; c < 4; ++c)
        swapIn(_vertUser1[c], *nUser1[c]);
    _numVert = newNumVert;
    return ZNQ_OK;
}
