// Close holes: fills every simple boundary loop with one new polygon.
//
// CloseHoles(maxExtent, maxVertices)
//   A boundary edge has exactly one polygon. Edges are tried by ascending
//   index while more than two open boundary edges remain. A hole starts at an
//   open boundary edge whose two ends each have exactly two open boundary
//   edges, oriented against its polygon (so the filling polygon runs the
//   other way along every rim edge), and follows the one open boundary edge
//   at each next vertex. It is abandoned when a vertex has not exactly one
//   open boundary edge left (several holes meet there), when it
//   would pass maxVertices vertices, or, with maxExtent > 0, when its bounding
//   box grows beyond maxExtent along x, y or z. Edges an abandoned hole walked
//   stay consumed.
//   - maxExtent: 0 nothing; < 0 no size limit. maxVertices <= 2: nothing.
//   - New polygons are appended after the old ones in the order they closed,
//     each node taking the normal, UVW and colour of its vertex (for the node
//     arrays present).
//   Arrays changed: _polyNumVert, _polyVInd, _nodeNrm, _nodeUvw, _nodeCol,
//   _numPoly. Every new array is allocated before any is replaced, so every
//   failure leaves the polygons unchanged.
//   Derived data: kept when nothing is done or the mesh has at most two
//   boundary edges; otherwise released (full mask), also after an error.
//   Codes: 97, 98, 99, 100, 101, 116, 121, 122, 123 (getters), 10 (memory).
#include <cstring>

#include "geometry/ZNQGeometry.h"
#include "meshops/ZNQMeshOpsUtil.h"

using namespace znq_ops;

namespace
{

enum : uint8_t
{
    kEdgeInner = 0,    // not a boundary edge (or already consumed)
    kEdgeOpen = 1,     // boundary edge not yet walked
    kEdgeConsumed = 2, // walked by a hole
};

struct Box
{
    float lo[3] = {0.0f, 0.0f, 0.0f};
    float hi[3] = {0.0f, 0.0f, 0.0f};
    void Start(const float3& p)
    {
        lo[0] = hi[0] = p.x;
        lo[1] = hi[1] = p.y;
        lo[2] = hi[2] = p.z;
    }
    void Add(const float3& p)
    {
        const float c[3] = {p.x, p.y, p.z};
        for (int i = 0; i < 3; ++i)
        {
            if (c[i] < lo[i])
                lo[i] = c[i];
            if (c[i] > hi[i])
                hi[i] = c[i];
        }
    }
    bool Exceeds(float extent) const
    {
        return hi[0] - lo[0] > extent || hi[1] - lo[1] > extent || hi[2] - lo[2] > extent;
    }
};

} // namespace

int32_t ZNQGeometry::CloseHoles(float maxExtent, uint8_t maxVertices)
{
    if (!_vertPos || _numVert < 1 || _numPoly < 1 || maxExtent == 0.0f || maxVertices <= 2)
        return ZNQ_OK;

    const uint8_t* edgeAdjNum = _DynGetEdgeAdjPolyNum();
    if (!edgeAdjNum)
    {
        _DynRelease(kDynAll);
        return ZNQ_ERR_DYN_EDGE_ADJ_POLY_NUM;
    }
    const int32_t numEdges = _DynGetNumEdges();
    int32_t numBoundary = 0;
    for (int32_t e = 0; e < numEdges; ++e)
        numBoundary += edgeAdjNum[e] == 1;
    if (numBoundary <= 2)
        return ZNQ_OK;

    // From here on every exit releases the derived data.
    auto fail = [&](int32_t code) {
        _DynRelease(kDynAll);
        return code;
    };
    const int32_t* edges = _DynGetEdges();
    if (!edges)
        return fail(ZNQ_ERR_DYN_EDGES);
    const uint8_t* vertEdgeNum = _DynGetVertAdjEdgeNum();
    if (!vertEdgeNum)
        return fail(ZNQ_ERR_DYN_VERT_ADJ_EDGE_NUM);
    int32_t* const* vertEdgeArr = _DynGetVertAdjEdgeArr();
    if (!vertEdgeArr)
        return fail(ZNQ_ERR_DYN_VERT_ADJ_EDGE_ARR);
    int32_t* const* edgeAdjArr = _DynGetEdgeAdjPolyArr();
    if (!edgeAdjArr)
        return fail(ZNQ_ERR_DYN_EDGE_ADJ_POLY_ARR);
    const int32_t* polyOff = _DynGetPolyVIndOffset();
    if (!polyOff)
        return fail(ZNQ_ERR_DYN_POLY_V_IND_OFFSET);

    // ---- Working data: edge states and room for the new polygons. ----
    // Every hole has at least three vertices, each reached over one consumed
    // boundary edge, so B / 3 + 1 holes and B / 3 * 3 + 3 indices suffice.
    const int32_t maxHoles = numBoundary / 3 + 1;
    const int64_t maxIndices = static_cast<int64_t>(numBoundary / 3) * 3 + 3;
    ZNQScopedArray<uint8_t> state(*this, static_cast<size_t>(numEdges), false);
    ZNQScopedArray<uint8_t> holeNum(*this, static_cast<size_t>(maxHoles), false);
    ZNQScopedArray<int32_t> holeVInd(*this, static_cast<size_t>(maxIndices), false);
    if (!state.ptr || !holeNum.ptr || !holeVInd.ptr)
        return fail(ZNQ_ERR_MEMORY);

    int32_t numOpen = 0;
    for (int32_t e = 0; e < numEdges; ++e)
    {
        const int32_t a = edges[2 * e];
        const int32_t b = edges[2 * e + 1];
        // A boundary edge between two distinct valid vertices whose polygon
        // is a valid one; a sound edge build gives nothing else.
        const bool open = edgeAdjNum[e] == 1 && a != b && InRange(a, _numVert) && InRange(b, _numVert) &&
                          InRange(edgeAdjArr[e][0], _numPoly);
        state[e] = open ? kEdgeOpen : kEdgeInner;
        numOpen += open;
    }

    // Open boundary edges at vertex v; *last receives the last one found.
    auto openEdgesAt = [&](int32_t v, int32_t* last) {
        int32_t cnt = 0;
        const int32_t num = vertEdgeNum[v];
        const int32_t* list = vertEdgeArr[v];
        for (int32_t i = 0; i < num; ++i)
        {
            const int32_t e = list[i];
            if (InRange(e, numEdges) && state[e] == kEdgeOpen)
            {
                ++cnt;
                *last = e;
            }
        }
        return cnt;
    };
    const bool limitSize = maxExtent > 0.0f;

    // ---- The walk. ----
    int32_t numHoles = 0;
    int64_t numIndices = 0; // committed indices; the current hole follows them
    for (int32_t e = 0; e < numEdges && numOpen > 2; ++e)
    {
        if (state[e] != kEdgeOpen)
            continue;
        int32_t a = edges[2 * e];
        int32_t b = edges[2 * e + 1];

        // Run against the polygon beside e: if it goes a -> b, start b, a.
        const int32_t poly = edgeAdjArr[e][0];
        const int32_t n = _polyNumVert[poly];
        const int32_t* pv = _polyVInd + polyOff[poly];
        bool runsAB = false;
        for (int32_t k = 0; k < n && !runsAB; ++k)
            runsAB = pv[k] == a && pv[k + 1 == n ? 0 : k + 1] == b;
        const int32_t h0 = runsAB ? b : a;
        const int32_t h1 = runsAB ? a : b;

        // Both ends must be plain rim vertices. The walk below checks every
        // vertex it reaches except h0, where it only arrives at the end; a
        // start at a vertex where several holes meet would otherwise close a
        // loop through it.
        int32_t dummy = -1;
        if (openEdgesAt(h1, &dummy) != 2 || openEdgesAt(h0, &dummy) != 2)
            continue;
        state[e] = kEdgeConsumed;
        --numOpen;
        Box box;
        if (limitSize)
        {
            box.Start(_vertPos[h0]);
            box.Add(_vertPos[h1]);
        }
        if (numHoles >= maxHoles || numIndices + 2 > maxIndices)
            continue; // cannot happen with unique edges; keeps the writes in bounds
        int32_t* hole = holeVInd.ptr + numIndices;
        int32_t holeLen = 2;
        hole[0] = h0;
        hole[1] = h1;
        for (;;)
        {
            int32_t next = -1;
            if (openEdgesAt(hole[holeLen - 1], &next) != 1)
                break; // abandoned: several holes meet here, or a dead end
            state[next] = kEdgeConsumed;
            --numOpen;
            const int32_t* ev = edges + 2 * static_cast<size_t>(next);
            const int32_t w = ev[0] == hole[holeLen - 1] ? ev[1] : ev[0];
            if (w == h0)
            {
                holeNum[numHoles++] = static_cast<uint8_t>(holeLen);
                numIndices += holeLen;
                break;
            }
            if (holeLen >= maxVertices)
                break; // abandoned: too many vertices
            if (limitSize)
            {
                box.Add(_vertPos[w]);
                if (box.Exceeds(maxExtent))
                    break; // abandoned: too large
            }
            if (numIndices + holeLen + 1 > maxIndices)
                break;
            hole[holeLen++] = w;
        }
    }
    if (numHoles == 0)
        return fail(ZNQ_OK);

    // ---- Node values of the new polygons come from their vertices. ----
    const float3* vertNrm = nullptr;
    const float3* vertUvw = nullptr;
    const float4* vertCol = nullptr;
    if (_nodeNrm && !(vertNrm = _DynGetVertNrm()))
        return fail(ZNQ_ERR_DYN_VERT_NRM);
    if (_nodeUvw && !(vertUvw = _DynGetVertUvw()))
        return fail(ZNQ_ERR_DYN_VERT_UVW);
    if (_nodeCol && !(vertCol = _DynGetVertCol()))
        return fail(ZNQ_ERR_DYN_VERT_COL);

    // ---- Grow the polygon arrays; swap in only when all are allocated. ----
    const int64_t oldNodes = NumNodes();
    const size_t newPolys = static_cast<size_t>(_numPoly) + static_cast<size_t>(numHoles);
    const size_t newNodes = static_cast<size_t>(oldNodes + numIndices);
    if (newPolys > static_cast<size_t>(INT32_MAX))
        return fail(ZNQ_ERR_MEMORY);
    znq_ops::NewPolygonArrays fresh(*this);
    if (!fresh.Alloc(*this, static_cast<int64_t>(newPolys), static_cast<int64_t>(newNodes)))
        return fail(ZNQ_ERR_MEMORY);

    const size_t old = static_cast<size_t>(oldNodes);
    std::memcpy(fresh.num.ptr, _polyNumVert, static_cast<size_t>(_numPoly));
    std::memcpy(fresh.num.ptr + _numPoly, holeNum.ptr, static_cast<size_t>(numHoles));
    std::memcpy(fresh.vInd.ptr, _polyVInd, old * sizeof(int32_t));
    std::memcpy(fresh.vInd.ptr + old, holeVInd.ptr, static_cast<size_t>(numIndices) * sizeof(int32_t));
    if (_nodeNrm)
    {
        std::memcpy(fresh.nrm.ptr, _nodeNrm, old * sizeof(float3));
        for (int64_t i = 0; i < numIndices; ++i)
            fresh.nrm[old + i] = vertNrm[holeVInd[i]];
    }
    if (_nodeUvw)
    {
        std::memcpy(fresh.uvw.ptr, _nodeUvw, old * sizeof(float3));
        for (int64_t i = 0; i < numIndices; ++i)
            fresh.uvw[old + i] = vertUvw[holeVInd[i]];
    }
    if (_nodeCol)
    {
        std::memcpy(fresh.col.ptr, _nodeCol, old * sizeof(float4));
        for (int64_t i = 0; i < numIndices; ++i)
            fresh.col[old + i] = vertCol[holeVInd[i]];
    }

    fresh.SwapInto(*this, static_cast<int32_t>(newPolys));
    return ZNQ_OK;
}
