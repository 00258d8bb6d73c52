// DisconnectPolygons: give every node its own vertex.
//
// New vertex k is a copy of the vertex of node k (position, motion vector,
// user data), and node k then points to it, so the index list becomes
// 0, 1, ..., T-1. Node data and the polygon list are untouched; vertices no
// node used are dropped.
#include <cstdint>
#include <cstring>

#include "errors/ZNQError.h"
#include "geometry/ZNQGeometry.h"
#include "meshops/ZNQMeshOpsUtil.h"

namespace
{

// dst[k] = src[vInd[k]] for every node, when the channel exists.
template <typename T>
void Gather(T* dst, const T* src, const int32_t* vInd, int64_t numNodes)
{
    if (!dst)
        return;
    for (int64_t k = 0; k < numNodes; ++k)
        dst[k] = src[vInd[k]];
}

} // namespace

int32_t ZNQGeometry::DisconnectPolygons()
{
    if (!_vertPos || _numVert < 1 || _numPoly < 1)
        return 0;

    // Every exit from here on leaves the derived data released.
    const znq_ops::DynReleaseOnExit releaseOnExit{*this};

    const int64_t numNodes = NumNodes();
    if (numNodes > INT32_MAX)
        return ZNQ_ERR_MEMORY;

    // A node on a vertex outside the mesh has nothing to copy from: refuse
    // before anything is allocated or changed.
    for (int64_t k = 0; k < numNodes; ++k)
        if (_polyVInd[k] < 0 || _polyVInd[k] >= _numVert)
            return ZNQ_ERR_ILLEGAL_POLYGONS;

    znq_ops::NewVertexArrays fresh(*this);
    if (!fresh.Alloc(*this, numNodes))
        return ZNQ_ERR_MEMORY;

    Gather(fresh.pos.ptr, _vertPos, _polyVInd, numNodes);
    Gather(fresh.motion.ptr, _vertMotion, _polyVInd, numNodes);
    Gather(fresh.user4.ptr, _vertUser4, _polyVInd, numNodes);
    Gather(fresh.user3a.ptr, _vertUser3[0], _polyVInd, numNodes);
    Gather(fresh.user3b.ptr, _vertUser3[1], _polyVInd, numNodes);
    for (int c = 0; c < 4; ++c)
        Gather(fresh.user1[c].ptr, _vertUser1[c], _polyVInd, numNodes);

    _DynRelease(kDynAll);
    fresh.SwapInto(*this, static_cast<int32_t>(numNodes));
    for (int64_t k = 0; k < numNodes; ++k)
        _polyVInd[k] = static_cast<int32_t>(k);
    return 0;
}
