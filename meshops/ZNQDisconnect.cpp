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

using znq_ops::PendingArray;


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
    struct ReleaseOnExit
    {
        ZNQGeometry& g;
        ~ReleaseOnExit() { g._DynRelease(kDynAll); }
    } releaseOnExit{*this};

    const int64_t numNodes = NumNodes();
    if (numNodes > INT32_MAX)
        return ZNQ_ERR_MEMORY;

    // A node on a vertex outside the mesh has nothing to copy from: refuse
    // before anything is allocated or changed.
    for (int64_t k = 0; k < numNodes; ++k)
        if (_polyVInd[k] < 0 || _polyVInd[k] >= _numVert)
            return ZNQ_ERR_ILLEGAL_POLYGONS;

    PendingArray<float3> pos(*this), motion(*this), user3a(*this), user3b(*this);
    PendingArray<float4> user4(*this);
    PendingArray<float> user1[4] = {PendingArray<float>(*this), PendingArray<float>(*this),
                                    PendingArray<float>(*this), PendingArray<float>(*this)};
    bool ok = pos.Alloc(true, numNodes) && motion.Alloc(_vertMotion, numNodes) &&
              user4.Alloc(_vertUser4, numNodes) && user3a.Alloc(_vertUser3[0], numNodes) &&
              user3b.Alloc(_vertUser3[1], numNodes);
    for (int c = 0; c < 4 && ok; ++c)
        ok = user1[c].Alloc(_vertUser1[c], numNodes);
    if (!ok)
        return ZNQ_ERR_MEMORY;

    Gather(pos.ptr, _vertPos, _polyVInd, numNodes);
    Gather(motion.ptr, _vertMotion, _polyVInd, numNodes);
    Gather(user4.ptr, _vertUser4, _polyVInd, numNodes);
    Gather(user3a.ptr, _vertUser3[0], _polyVInd, numNodes);
    Gather(user3b.ptr, _vertUser3[1], _polyVInd, numNodes);
    for (int c = 0; c < 4; ++c)
        Gather(user1[c].ptr, _vertUser1[c], _polyVInd, numNodes);

    _DynRelease(kDynAll);
    pos.SwapInto(_vertPos);
    motion.SwapInto(_vertMotion);
    user4.SwapInto(_vertUser4);
    user3a.SwapInto(_vertUser3[0]);
    user3b.SwapInto(_vertUser3[1]);
    for (int c = 0; c < 4; ++c)
        user1[c].SwapInto(_vertUser1[c]);
    for (int64_t k = 0; k < numNodes; ++k)
        _polyVInd[k] = static_cast<int32_t>(k);
    _numVert = static_cast<int32_t>(numNodes);
    return 0;
}
