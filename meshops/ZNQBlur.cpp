// Vertex data smoothing and blurring: a uniform (umbrella) Laplacian applied
// Jacobi-style, i.e. every vertex of an iteration is computed from the values
// of the previous iteration only, so the result does not depend on vertex
// order. Iterations ping-pong between the caller's array and one scratch array
// of the same size; an odd iteration count ends with one copy back.
//
// The contracts (inputs, codes, what a failure leaves) are in
// geometry/ZNQGeometry.h.
#include <cstring>

#include <Imath/half.h>

#include "geometry/ZNQGeometry.h"
#include "meshops/ZNQMeshOpsUtil.h"

using namespace znq_ops;

namespace
{

// Storage <-> blend precision conversions per element type.
inline float Load(float v) { return v; }
inline double Load(double v) { return v; }
inline float Load(half v) { return static_cast<float>(v); }

// Zero results are stored as +0 (a -0 would survive as a sign in the data).
inline void Store(float& dst, float r) { dst = (r == 0.0f) ? 0.0f : r; }
inline void Store(double& dst, double r) { dst = (r == 0.0) ? 0.0 : r; }
inline void Store(half& dst, float r)
{
    const half h(r);
    dst = h.isZero() ? half(0.0f) : h;
}

// One Jacobi iteration: dst[v] from src only. S is the storage type, A the
// blend precision, C the components per element.
template <typename S, typename A, int C>
void BlurPass(const S* src, S* dst, int32_t count, const uint8_t* adjNum, int32_t* const* adjArr,
              float strength, const float* weights)
{
    for (int32_t v = 0; v < count; ++v)
    {
        const S* sv = src + static_cast<size_t>(v) * C;
        S* tv = dst + static_cast<size_t>(v) * C;
        const int32_t num = adjNum[v];
        A sum[C];
        for (int c = 0; c < C; ++c)
            sum[c] = A(0);
        int32_t n = 0;
        const int32_t* adj = num > 0 ? adjArr[v] : nullptr;
        for (int32_t k = 0; k < num; ++k)
        {
            const int32_t w = adj[k];
            if (!InRange(w, count))
                continue; // never produced by a sound adjacency build; stay in bounds anyway
            const S* sw = src + static_cast<size_t>(w) * C;
            for (int c = 0; c < C; ++c)
                sum[c] += Load(sw[c]);
            ++n;
        }
        if (n == 0)
        {
            for (int c = 0; c < C; ++c)
                tv[c] = sv[c];
            continue;
        }
        float f = strength;
        if (weights)
        {
            f = strength * weights[v];
            if (!(f > 0.0f)) // negative or NaN weight: the vertex stays fixed
                f = 0.0f;
            else if (f > 1.0f)
                f = 1.0f;
        }
        const A fa = A(f);
        const A keep = A(1) - fa;
        const A cnt = A(n);
        for (int c = 0; c < C; ++c)
            Store(tv[c], keep * Load(sv[c]) + fa * sum[c] / cnt);
    }
}

template <typename S, typename A, int C>
void BlurIterations(void* data, void* scratch, int32_t count, int32_t iterations, const uint8_t* adjNum,
                    int32_t* const* adjArr, float strength, const float* weights)
{
    S* bufs[2] = {static_cast<S*>(data), static_cast<S*>(scratch)};
    for (int32_t i = 0; i < iterations; ++i)
        BlurPass<S, A, C>(bufs[i & 1], bufs[(i & 1) ^ 1], count, adjNum, adjArr, strength, weights);
    if (iterations & 1)
        std::memcpy(data, scratch, static_cast<size_t>(count) * C * sizeof(S));
}

// The blur of one element type: BlurIterations of its storage and blend types.
using BlurFunction = void (*)(void* data, void* scratch, int32_t count, int32_t iterations, const uint8_t* adjNum,
                              int32_t* const* adjArr, float strength, const float* weights);

} // namespace

int32_t ZNQGeometry::BlurVertexData(float strength, const float* weights, int32_t iterations, void* data,
                                    int32_t count, int32_t elementType)
{
    if (!_vertPos || _numVert < 2 || _numPoly < 1 || !(strength > 0.0f) || iterations < 1)
        return ZNQ_OK;
    if (!data || count != _numVert)
        return ZNQ_ERR_ILLEGAL_PARAMETER;

    // Element size and the blur of that element type.
    size_t elemSize = 0;
    BlurFunction blur = nullptr;
    switch (elementType)
    {
    case kElemFloat3: elemSize = sizeof(float3), blur = BlurIterations<float, float, 3>; break;
    case kElemFloat4: elemSize = sizeof(float4), blur = BlurIterations<float, float, 4>; break;
    case kElemHalf: elemSize = sizeof(half), blur = BlurIterations<half, float, 1>; break;
    case kElemFloat: elemSize = sizeof(float), blur = BlurIterations<float, float, 1>; break;
    case kElemDouble: elemSize = sizeof(double), blur = BlurIterations<double, double, 1>; break;
    default: return ZNQ_ERR_UNSUPPORTED_DATA_TYPE;
    }

    const uint8_t* adjNum = _DynGetVertAdjVertNum();
    if (!adjNum)
        return ZNQ_ERR_DYN_VERT_ADJ_VERT_NUM;
    int32_t* const* adjArr = _DynGetVertAdjVertArr();
    if (!adjArr)
        return ZNQ_ERR_DYN_VERT_ADJ_VERT_ARR;

    if (strength > 1.0f)
        strength = 1.0f;
    ZNQScopedArray<uint8_t> scratch(*this, static_cast<size_t>(count) * elemSize, false);
    if (!scratch.ptr)
        return ZNQ_ERR_MEMORY;

    blur(data, scratch.ptr, count, iterations, adjNum, adjArr, strength, weights);
    return ZNQ_OK;
}

int32_t ZNQGeometry::BlurNormals(float strength, int32_t iterations)
{
    if (!_vertPos || _numVert < 1 || _numPoly < 1 || !(strength > 0.0f) || iterations < 1)
        return ZNQ_OK;
    float3* vertNrm = _DynGetVertNrm();
    if (!vertNrm)
        return ZNQ_ERR_DYN_VERT_NRM;

    // The new node normals are built aside and swapped in only on success, so
    // a failure leaves the geometry's node normals as they were.
    const int64_t numNodes = NumNodes();
    ZNQScopedArray<float3> nodeNrm(*this, static_cast<size_t>(numNodes), false);
    if (!nodeNrm.ptr)
        return ZNQ_ERR_MEMORY;

    const int32_t rc = BlurVertexData(strength, nullptr, iterations, vertNrm, _numVert, kElemFloat3);
    if (rc != ZNQ_OK)
        return rc;

    for (int32_t v = 0; v < _numVert; ++v)
        NormalizeNonTiny(vertNrm[v]);
    for (int64_t k = 0; k < numNodes; ++k)
    {
        const int32_t v = _polyVInd[k];
        nodeNrm[k] = InRange(v, _numVert) ? vertNrm[v] : float3{0.0f, 0.0f, 0.0f};
    }
    _MemFree(_nodeNrm);
    _nodeNrm = nodeNrm.release();
    return ZNQ_OK;
}

int32_t ZNQGeometry::BlurMotions(float strength, int32_t iterations)
{
    if (!_vertPos || !_vertMotion || _numVert < 1 || _numPoly < 1 || !(strength > 0.0f) || iterations < 1)
        return ZNQ_OK;
    return BlurVertexData(strength, nullptr, iterations, _vertMotion, _numVert, kElemFloat3);
}

namespace
{
// Blurs node data (colours or UVWs) through their per-vertex averages:
// vertData from its getter (failing with getterCode), blurred as elementType,
// then written back to every node on a vertex of the mesh.
template <typename T>
int32_t BlurNodeData(ZNQGeometry& g, T* nodeData, T* vertData, int32_t getterCode, int32_t elementType,
                     float strength, int32_t iterations)
{
    if (!vertData)
        return getterCode;
    const int32_t rc = g.BlurVertexData(strength, nullptr, iterations, vertData, g._numVert, elementType);
    if (rc != ZNQ_OK)
        return rc;
    const int64_t numNodes = g.NumNodes();
    for (int64_t k = 0; k < numNodes; ++k)
    {
        const int32_t v = g._polyVInd[k];
        if (InRange(v, g._numVert))
            nodeData[k] = vertData[v];
    }
    return ZNQ_OK;
}
} // namespace

int32_t ZNQGeometry::BlurColors(float strength, int32_t iterations)
{
    if (!_vertPos || !_nodeCol || _numVert < 1 || _numPoly < 1 || !(strength > 0.0f) || iterations < 1)
        return ZNQ_OK;
    return BlurNodeData(*this, _nodeCol, _DynGetVertCol(), ZNQ_ERR_DYN_VERT_COL, kElemFloat4, strength, iterations);
}

int32_t ZNQGeometry::BlurUvws(float strength, int32_t iterations)
{
    if (!_vertPos || !_nodeUvw || _numVert < 1 || _numPoly < 1 || !(strength > 0.0f) || iterations < 1)
        return ZNQ_OK;
    return BlurNodeData(*this, _nodeUvw, _DynGetVertUvw(), ZNQ_ERR_DYN_VERT_UVW, kElemFloat3, strength, iterations);
}

int32_t ZNQGeometry::SimpleSmooth(float strength, int32_t iterations)
{
    if (!_vertPos || _numVert < 2 || _numPoly < 1 || !(strength > 0.0f) || iterations < 1)
        return ZNQ_OK;
    const int32_t rc = BlurVertexData(strength, nullptr, iterations, _vertPos, _numVert, kElemFloat3);
    _DynRelease(kDynAll);
    return rc;
}

int32_t ZNQGeometry::FillZeroNodeNormals()
{
    if (!_vertPos)
        return ZNQ_ERR_INVALID_STATE;
    if (_numVert < 1 || _numPoly < 1 || !_nodeNrm)
        return ZNQ_OK;
    const float3* polyNrm = _DynGetPolyNrm();
    if (!polyNrm)
        return ZNQ_ERR_DYN_POLY_NRM;

    bool changed = false;
    int64_t k = 0;
    for (int32_t p = 0; p < _numPoly; ++p)
    {
        const int32_t n = _polyNumVert[p];
        for (int32_t j = 0; j < n; ++j, ++k)
        {
            float3& nrm = _nodeNrm[k];
            if (nrm.x == 0.0f && nrm.y == 0.0f && nrm.z == 0.0f)
            {
                nrm = polyNrm[p];
                changed = true;
            }
        }
    }
    // Vertex normals average the node normals: the cached ones are now stale.
    if (changed)
        _DynRelease(kDynVertNrm);
    return ZNQ_OK;
}
