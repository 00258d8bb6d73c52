// Invert polygons: reverses the winding of every polygon.
//
// InvertPolygons(negateNormals)
//   Node j of a polygon with c nodes swaps with node c - 1 - j, in _polyVInd
//   and in every node array present: (a, b, c, d) becomes (d, c, b, a). With
//   negateNormals, every node normal component has its sign bit flipped
//   (0.0 becomes -0.0), so two calls restore the data bit for bit.
//   Nothing happens without positions, vertices or polygons.
//   Arrays changed in place: _polyVInd, _nodeNrm, _nodeUvw, _nodeCol.
//   Derived data: released (full mask) whenever polygons were reversed.
//   Polygon normals, corner flags and vertex normals all follow the winding,
//   and later steps (Push reads _DynGetVertNrm) must see the inverted ones.
#include <utility>

#include "geometry/ZNQGeometry.h"
#include "meshops/ZNQMeshOpsUtil.h"

using namespace znq_ops;

namespace
{

template <typename T>
inline void ReverseRange(T* first, int32_t count)
{
    for (int32_t j = 0, k = count - 1; j < k; ++j, --k)
        std::swap(first[j], first[k]);
}

} // namespace

void ZNQGeometry::InvertPolygons(bool negateNormals)
{
    if (!_vertPos || _numVert < 1 || _numPoly < 1)
        return;

    int64_t off = 0;
    for (int32_t p = 0; p < _numPoly; ++p)
    {
        const int32_t n = _polyNumVert[p];
        ReverseRange(_polyVInd + off, n);
        if (_nodeNrm)
            ReverseRange(_nodeNrm + off, n);
        if (_nodeUvw)
            ReverseRange(_nodeUvw + off, n);
        if (_nodeCol)
            ReverseRange(_nodeCol + off, n);
        off += n;
    }
    if (negateNormals && _nodeNrm)
    {
        for (int64_t k = 0; k < off; ++k)
        {
            float3& nrm = _nodeNrm[k];
            nrm.x = FlipSign(nrm.x);
            nrm.y = FlipSign(nrm.y);
            nrm.z = FlipSign(nrm.z);
        }
    }
    _DynRelease(kDynAll);
}
