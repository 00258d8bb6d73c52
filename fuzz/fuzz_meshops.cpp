// Fuzz target: the mesh operations, through the node's post-processing chain
// (RunPostProcessingChain) and one by one, and the derived-data getters.
//
// The input decodes into a small mesh of any connectivity: polygons of 0 to
// 255 corners, repeated and out-of-range indices, fans that give one vertex
// hundreds of neighbours (past the one-byte limits of the topology data),
// repeated polygons that make edges non-manifold or double, NaN, infinite,
// huge and denormal coordinates, optional motions, user data and node data.
// Then either the chain runs with decoded settings, or a sequence of single
// operations with decoded arguments, optionally under a memory limit so that
// the refusal paths run too.
//
// Checks after every step that returns 0: the arrays are as long as their
// counts say, in-range meshes stay in range, and every derived item still in
// the cache equals what a fresh build from the current mesh gives (an
// operation that changed the mesh without releasing the cache would hand
// stale edges or offsets to the next one). After a failure the geometry is
// cleared. Always: only documented codes come back, and the books balance
// once the geometry is cleared.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "formats/ZNQFormats.h"
#include "fuzz/FuzzSupport.h"
#include "geometry/ZNQGeometry.h"
#include "plugin/KorvaneSettings.h"

namespace
{

using kfuzz::Bytes;

// Limits that keep one run around a millisecond at most, yet let a vertex
// have more than 255 neighbours (a fan of 300 triangles needs 301 vertices)
// and an edge more than 255 polygons.
constexpr int32_t kMaxVert = 512;
constexpr int32_t kMaxPoly = 2048;
constexpr size_t kMaxNodes = 8192;

struct Rng
{
    uint64_t s;
    explicit Rng(uint32_t seed) : s(0x9E3779B97F4A7C15ull ^ seed) {}
    uint32_t Next()
    {
        s ^= s >> 12;
        s ^= s << 25;
        s ^= s >> 27;
        return static_cast<uint32_t>((s * 0x2545F4914F6CDD1Dull) >> 32);
    }
    float Unit() { return static_cast<float>(Next() & 0xFFFFFF) / 16777216.0f * 2.0f - 1.0f; }
};

float Special(uint8_t k)
{
    static const float kValues[] = {
        std::numeric_limits<float>::quiet_NaN(),
        std::numeric_limits<float>::infinity(),
        -std::numeric_limits<float>::infinity(),
        3.0e38f,
        -3.0e38f,
        1.0e-40f, // denormal
        0.0f,
        -0.0f,
        1.0e-20f,
        1.0e20f,
    };
    return kValues[k % (sizeof(kValues) / sizeof(kValues[0]))];
}

// Offsets, distances and angles: ordinary values and the hostile ones.
float Amount(Bytes& in)
{
    static const float kValues[] = {
        0.0f, 0.1f, -0.1f, 1.0f, -1.0f, 10.0f, 0.5f, 30.0f, 45.0f, 180.0f, -30.0f,
        std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
        -std::numeric_limits<float>::infinity(), 1.0e30f, 1.0e-30f,
    };
    return kValues[in.U8() % (sizeof(kValues) / sizeof(kValues[0]))];
}

float Strength(Bytes& in)
{
    static const float kValues[] = {
        1.0f, 0.5f, 0.0f, -1.0f, 2.0f, std::numeric_limits<float>::quiet_NaN(),
        std::numeric_limits<float>::infinity(), 1.0e-30f,
    };
    return kValues[in.U8() % (sizeof(kValues) / sizeof(kValues[0]))];
}

// -8..8: negative and zero counts do nothing, the rest stays cheap.
int32_t Iterations(Bytes& in)
{
    return static_cast<int32_t>(static_cast<int8_t>(in.U8())) % 9;
}

template <typename T>
T* NewArray(ZNQGeometry& geo, int64_t count)
{
    return geo._MemAllocArr<T>(static_cast<size_t>(count > 0 ? count : 1), true);
}

// ---------------------------------------------------------------------------
// Mesh decoding

struct MeshBuilder
{
    int32_t numVert = 0;
    std::vector<uint8_t> counts;
    std::vector<int32_t> inds;

    bool Full(size_t more) const { return counts.size() >= kMaxPoly || inds.size() + more > kMaxNodes; }

    // An index: mostly in range, sometimes -1, numVert or an extreme.
    int32_t Index(Bytes& in) const
    {
        const uint32_t raw = numVert <= 250 ? in.U8() : in.U16();
        const uint32_t r = raw % static_cast<uint32_t>(numVert + 4);
        if (r < static_cast<uint32_t>(numVert))
            return static_cast<int32_t>(r);
        switch (r - static_cast<uint32_t>(numVert))
        {
        case 0: return -1;
        case 1: return numVert;
        case 2: return std::numeric_limits<int32_t>::max();
        default: return std::numeric_limits<int32_t>::min();
        }
    }
    int32_t Wrap(int64_t v) const
    {
        return numVert > 0 ? static_cast<int32_t>(((v % numVert) + numVert) % numVert) : -1;
    }
    void Add(const int32_t* v, size_t n)
    {
        if (n > 255 || Full(n))
            return;
        counts.push_back(static_cast<uint8_t>(n));
        inds.insert(inds.end(), v, v + n);
    }
    void LastPolygon(std::vector<int32_t>& out) const
    {
        out.clear();
        if (counts.empty())
            return;
        const size_t n = counts.back();
        out.assign(inds.end() - static_cast<std::ptrdiff_t>(n), inds.end());
    }

    void Decode(Bytes& in)
    {
        const int numOps = in.U8();
        std::vector<int32_t> poly;
        for (int op = 0; op < numOps && !in.Empty(); ++op)
        {
            const uint8_t code = in.U8();
            poly.clear();
            switch (code % 8)
            {
            case 0:
            case 1:
            case 2: // explicit polygon of 0..31 corners
            {
                const int n = code >> 3;
                for (int j = 0; j < n; ++j)
                    poly.push_back(Index(in));
                Add(poly.data(), poly.size());
                break;
            }
            case 3: // up to 255 corners: start and stride
            {
                const int n = in.U8();
                const int64_t start = Index(in);
                const int64_t stride = 1 + in.U8() % 7;
                for (int j = 0; j < n; ++j)
                    poly.push_back(Wrap(start + j * stride));
                Add(poly.data(), poly.size());
                break;
            }
            case 4: // fan of up to 510 triangles around one vertex
            {
                const int32_t centre = Index(in);
                const int64_t first = Index(in);
                const int n = 1 + in.U8() * 2;
                for (int j = 0; j < n && !Full(3); ++j)
                {
                    const int32_t t[3] = {centre, Wrap(first + j), Wrap(first + j + 1)};
                    Add(t, 3);
                }
                break;
            }
            case 5: // grid of quads
            {
                const int64_t origin = Index(in);
                const int w = 1 + in.U8() % 16;
                const int h = 1 + in.U8() % 16;
                for (int y = 0; y < h; ++y)
                    for (int x = 0; x < w && !Full(4); ++x)
                    {
                        const int64_t a = origin + y * (w + 1) + x;
                        const int32_t q[4] = {Wrap(a), Wrap(a + 1), Wrap(a + w + 2), Wrap(a + w + 1)};
                        Add(q, 4);
                    }
                break;
            }
            case 6: // the last polygon again, up to 256 times, reversed or not
            {
                const int times = 1 + in.U8();
                const bool reversed = (code & 8) != 0;
                LastPolygon(poly);
                if (reversed)
                    for (size_t j = 0, k = poly.size(); j + 1 < k; ++j, --k)
                        std::swap(poly[j], poly[k - 1]);
                for (int t = 0; t < times && !poly.empty(); ++t)
                    Add(poly.data(), poly.size());
                break;
            }
            default: // degenerate: 0 to 3 corners on one vertex
            {
                const int32_t v = Index(in);
                const int n = (code >> 3) % 4;
                for (int j = 0; j < n; ++j)
                    poly.push_back(v);
                Add(poly.data(), poly.size());
                break;
            }
            }
        }
    }
};

// Fills geo from the input; false when the geometry's arrays were refused.
bool DecodeMesh(Bytes& in, ZNQGeometry& geo)
{
    const uint8_t flags = in.U8();
    const uint8_t posMode = in.U8();
    const int32_t numVert = static_cast<int32_t>(in.U16() % (kMaxVert + 1));
    Rng rng(in.U32());

    geo._vertPos = NewArray<float3>(geo, numVert);
    if (!geo._vertPos)
        return false;
    geo._numVert = numVert;
    for (int32_t v = 0; v < numVert; ++v)
    {
        float3& p = geo._vertPos[v];
        switch (posMode % 4)
        {
        case 0: // a grid, slightly jittered
            p = {static_cast<float>(v % 17) + 0.01f * rng.Unit(), static_cast<float>((v / 17) % 17),
                 static_cast<float>(v / 289) + 0.01f * rng.Unit()};
            break;
        case 1: // random in a cube
            p = {rng.Unit(), rng.Unit(), rng.Unit()};
            break;
        case 2: // random in a plane: every polygon flat
            p = {rng.Unit(), rng.Unit(), 0.0f};
            break;
        default: // on a few points only: zero-length edges, zero areas
            p = {static_cast<float>(v % 3), 0.0f, static_cast<float>(v % 2)};
            break;
        }
    }
    // Hostile coordinates.
    const int specials = in.U8() % 8;
    for (int i = 0; i < specials && numVert > 0; ++i)
    {
        const int32_t v = in.U16() % numVert;
        const uint8_t k = in.U8();
        float* c = &geo._vertPos[v].x;
        c[k % 3] = Special(k / 3);
    }

    const bool nodeSpecials = (posMode & 0x80) != 0;
    auto value = [&](int i) { return nodeSpecials && (rng.Next() % 16 == 0) ? Special(static_cast<uint8_t>(i)) : rng.Unit(); };

    if (flags & 0x01)
    {
        if (!(geo._vertMotion = NewArray<float3>(geo, numVert)))
            return false;
        for (int32_t v = 0; v < numVert; ++v)
            geo._vertMotion[v] = {value(v), value(v + 1), value(v + 2)};
    }
    if (flags & 0x10)
    {
        if (!(geo._vertUser4 = NewArray<float4>(geo, numVert)))
            return false;
        for (int32_t v = 0; v < numVert; ++v)
            geo._vertUser4[v] = {value(v), value(v), value(v), value(v)};
    }
    if (flags & 0x20)
    {
        for (float3*& channel : geo._vertUser3)
        {
            if (!(channel = NewArray<float3>(geo, numVert)))
                return false;
            for (int32_t v = 0; v < numVert; ++v)
                channel[v] = {value(v), value(v), value(v)};
        }
    }
    if (flags & 0x40)
    {
        for (int c = 0; c < 4; ++c)
        {
            if (rng.Next() & 1)
                continue;
            if (!(geo._vertUser1[c] = NewArray<float>(geo, numVert)))
                return false;
            for (int32_t v = 0; v < numVert; ++v)
                geo._vertUser1[c][v] = value(v) + 1.0f;
        }
    }

    MeshBuilder mesh;
    mesh.numVert = numVert;
    mesh.Decode(in);
    const int32_t numPoly = static_cast<int32_t>(mesh.counts.size());
    const int64_t numNodes = static_cast<int64_t>(mesh.inds.size());
    if (!(geo._polyNumVert = NewArray<uint8_t>(geo, numPoly)) ||
        !(geo._polyVInd = NewArray<int32_t>(geo, numNodes)))
        return false;
    if (numPoly > 0)
        std::memcpy(geo._polyNumVert, mesh.counts.data(), mesh.counts.size());
    if (numNodes > 0)
        std::memcpy(geo._polyVInd, mesh.inds.data(), mesh.inds.size() * sizeof(int32_t));
    geo._numPoly = numPoly;

    if (flags & 0x02)
    {
        if (!(geo._nodeNrm = NewArray<float3>(geo, numNodes)))
            return false;
        for (int64_t k = 0; k < numNodes; ++k)
            geo._nodeNrm[k] = rng.Next() % 4 == 0 ? float3{0.0f, 0.0f, 0.0f}
                                                  : float3{value(0), value(1), value(2)};
    }
    if (flags & 0x04)
    {
        if (!(geo._nodeUvw = NewArray<float3>(geo, numNodes)))
            return false;
        for (int64_t k = 0; k < numNodes; ++k)
            geo._nodeUvw[k] = {value(3), value(4), 0.0f};
    }
    if (flags & 0x08)
    {
        if (!(geo._nodeCol = NewArray<float4>(geo, numNodes)))
            return false;
        for (int64_t k = 0; k < numNodes; ++k)
            geo._nodeCol[k] = {value(5), value(6), value(7), 1.0f};
    }
    geo._DynRelease(kDynAll);
    return true;
}

// ---------------------------------------------------------------------------
// Checks

bool IsOpCode(int32_t rc)
{
    return rc == 0 || rc == 6 || rc == 7 || rc == 8 || rc == 10 || rc == 16 ||
           (rc >= 88 && rc <= 123) || rc == 136 || rc == 148;
}

bool IndicesInRange(const ZNQGeometry& geo)
{
    const int64_t n = geo.NumNodes();
    for (int64_t k = 0; k < n; ++k)
        if (geo._polyVInd[k] < 0 || geo._polyVInd[k] >= geo._numVert)
            return false;
    return true;
}

void CheckShape(const ZNQGeometry& geo)
{
    KFUZZ_CHECK(geo._numVert >= 0 && geo._numPoly >= 0);
    KFUZZ_CHECK(geo._numPoly == 0 || (geo._polyNumVert && geo._polyVInd));
    KFUZZ_CHECK(geo._numVert == 0 || geo._vertPos);
    kfuzz::TouchArrays(geo);
}

template <typename T>
bool SameArray(const T* a, const T* b, int64_t n)
{
    if (n <= 0)
        return true;
    if (!a || !b)
        return false;
    return std::memcmp(a, b, static_cast<size_t>(n) * sizeof(T)) == 0;
}

// Every topology item still cached in geo must equal a fresh build from the
// current mesh. (Vertex normals, UVWs, colours and mean distances are left
// out: the blurs and Push smooth those caches in place on purpose.)
void CheckCacheFresh(ZNQGeometry& geo)
{
    if (!geo._vertPos)
        return;
    ZNQGeometry fresh;
    fresh.Init();
    const int64_t nn = geo.NumNodes();
    const int32_t nv = geo._numVert;
    const int32_t np = geo._numPoly;
    fresh._vertPos = NewArray<float3>(fresh, nv);
    fresh._polyNumVert = NewArray<uint8_t>(fresh, np);
    fresh._polyVInd = NewArray<int32_t>(fresh, nn);
    if (nn > 0 && geo._nodeNrm)
        fresh._nodeNrm = NewArray<float3>(fresh, nn);
    KFUZZ_CHECK(fresh._vertPos && fresh._polyNumVert && fresh._polyVInd);
    if (nv > 0)
        std::memcpy(fresh._vertPos, geo._vertPos, static_cast<size_t>(nv) * sizeof(float3));
    if (np > 0)
        std::memcpy(fresh._polyNumVert, geo._polyNumVert, static_cast<size_t>(np));
    if (nn > 0)
        std::memcpy(fresh._polyVInd, geo._polyVInd, static_cast<size_t>(nn) * sizeof(int32_t));
    if (fresh._nodeNrm)
        std::memcpy(fresh._nodeNrm, geo._nodeNrm, static_cast<size_t>(nn) * sizeof(float3));
    fresh._numVert = nv;
    fresh._numPoly = np;

    const ZNQDynData& d = geo._dyn;
    if (d._numVertUsed >= 0)
        KFUZZ_CHECK(d._numVertUsed == fresh._DynGetNumVertUsed());
    if (d._numPolyIllegal >= 0)
        KFUZZ_CHECK(d._numPolyIllegal == fresh._DynGetNumPolyIllegal());
    if (d._numPolyTris >= 0)
    {
        KFUZZ_CHECK(d._numPolyTris == fresh._DynGetNumPolyTris());
        KFUZZ_CHECK(d._numPolyQuads == fresh._DynGetNumPolyQuads());
        KFUZZ_CHECK(d._numPolyFivePlus == fresh._DynGetNumPolyFivePlus());
        KFUZZ_CHECK(d._numPolyTwoMinus == fresh._DynGetNumPolyTwoMinus());
    }
    if (d._vertAdjVertNum)
        KFUZZ_CHECK(SameArray(d._vertAdjVertNum, fresh._DynGetVertAdjVertNum(), nv));
    if (d._numEdges >= 0)
    {
        KFUZZ_CHECK(d._numEdges == fresh._DynGetNumEdges());
        KFUZZ_CHECK(SameArray(d._edges, fresh._DynGetEdges(), 2 * static_cast<int64_t>(d._numEdges)));
    }
    if (d._edgeAdjPolyNum)
        KFUZZ_CHECK(SameArray(d._edgeAdjPolyNum, fresh._DynGetEdgeAdjPolyNum(), d._numEdges));
    if (d._vertAdjPolyNum)
        KFUZZ_CHECK(SameArray(d._vertAdjPolyNum, fresh._DynGetVertAdjPolyNum(), nv));
    if (d._polyVIndOffset)
        KFUZZ_CHECK(SameArray(d._polyVIndOffset, fresh._DynGetPolyVIndOffset(), np));
    if (d._polyEInd)
        KFUZZ_CHECK(SameArray(d._polyEInd, fresh._DynGetPolyEInd(), nn));
    if (d._polyFlags)
        KFUZZ_CHECK(SameArray(d._polyFlags, fresh._DynGetPolyFlags(), np));
    if (d._polyNrm)
        KFUZZ_CHECK(SameArray(d._polyNrm, fresh._DynGetPolyNrm(), np));
    if (d._polyAreas)
        KFUZZ_CHECK(SameArray(d._polyAreas, fresh._DynGetPolyAreas(), np));
    fresh.Clear();
    KFUZZ_CHECK(fresh._memUsed == 0);
}

// ---------------------------------------------------------------------------
// Operations

NodeSettings DecodeSettings(Bytes& in)
{
    NodeSettings s;
    std::memset(&s, 0, sizeof s);
    const uint8_t on = in.U8();
    const uint8_t on2 = in.U8();
    s.motionScale = Amount(in);
    s.blurNormals = Iterations(in);
    s.blurMotions = Iterations(in);
    s.blurColors = Iterations(in);
    s.blurUvws = Iterations(in);
    s.fixDoubleEdges = on & 1;
    s.fixNonManifoldEdges = on & 2;
    s.closeHoles = on & 4;
    s.invertPolygons = on & 8;
    s.quadrangulate = on & 16;
    s.disconnectPolygons = on & 32;
    s.push = (on & 64) ? Amount(in) : 0.0f;
    s.thickness = (on & 128) ? Amount(in) : 0.0f;
    s.triangulate = on2 % 4; // 3: any other value
    s.smoothIterations = Iterations(in);
    s.postBlurNormals = Iterations(in);
    return s;
}

// A polygon list of up to 16 entries, some outside the polygon range.
std::vector<int32_t> PolygonList(Bytes& in, int32_t numPoly)
{
    std::vector<int32_t> list(in.U8() % 17);
    for (int32_t& p : list)
        p = static_cast<int32_t>(in.U16() % static_cast<uint32_t>(numPoly + 2)) - 1;
    return list;
}

int32_t RunBlurVertexData(ZNQGeometry& geo, Bytes& in)
{
    static const int32_t kTypes[] = {0, 2, 7, 14, 15, 1, -1, 3};
    const int32_t type = kTypes[in.U8() % 8];
    size_t elemSize = 16;
    switch (type)
    {
    case 0: elemSize = 12; break;
    case 2: elemSize = 16; break;
    case 7: elemSize = 2; break;
    case 14: elemSize = 4; break;
    case 15: elemSize = 8; break;
    default: break;
    }
    const int32_t count = geo._numVert + static_cast<int32_t>(in.U8() % 3) - 1; // -1, 0 or +1 off
    std::vector<uint8_t> buffer(elemSize * static_cast<size_t>(count > 0 ? count : 0) + 1);
    for (size_t i = 0; i < buffer.size(); ++i)
        buffer[i] = static_cast<uint8_t>(i * 37 + 11);
    std::vector<float> weights(static_cast<size_t>(geo._numVert > 0 ? geo._numVert : 0) + 1);
    for (size_t i = 0; i < weights.size(); ++i)
        weights[i] = Special(static_cast<uint8_t>(i)) + 0.5f;
    const bool withWeights = in.Bit();
    const float strength = Strength(in);
    const int32_t iterations = Iterations(in);
    void* data = in.Bit() ? nullptr : buffer.data();
    return geo.BlurVertexData(strength, withWeights ? weights.data() : nullptr, iterations, data, count, type);
}

int32_t RunGetter(ZNQGeometry& geo, uint8_t which)
{
    switch (which % 24)
    {
    case 0: geo._DynGetNumVertUnused(); break;
    case 1: geo._DynGetNumPolyIllegal(); break;
    case 2: geo._DynGetNumPolyTwoMinus(); break;
    case 3: geo._DynGetOctree(); break;
    case 4: geo._DynGetVertAdjEdgeArr(); break;
    case 5: geo._DynGetEdgeAdjPolyArr(); break;
    case 6: geo._DynGetVertAdjVertArr(); break;
    case 7: geo._DynGetVertAdjPolyArr(); break;
    case 8: geo._DynGetVertAvrgDistToAdjVert(); break;
    case 9: geo._DynGetVertBLVertIdx(); break;
    case 10: geo._DynGetVertIID(); break;
    case 11: geo._DynGetVertICtr(); break;
    case 12: geo._DynGetVertIArea(); break;
    case 13: geo._DynGetVertIOctree(); break;
    case 14: geo._DynGetPolyNodeFlags(); break;
    case 15: geo._DynGetPolyVIndOffset(); break;
    case 16: geo._DynGetPolyEInd(); break;
    case 17: geo._DynGetPolyFlags(); break;
    case 18: geo._DynGetPolyAreas(); break;
    case 19: geo._DynGetPolyNrm(); break;
    case 20: geo._DynGetVertNrm(); break;
    case 21: geo._DynGetVertUvw(); break;
    case 22: geo._DynGetVertCol(); break;
    default: geo._DynRelease(static_cast<int32_t>(1u << (which % 27))); break;
    }
    return 0;
}

// One operation chosen by the input. legal: every index was in range before.
int32_t RunOne(ZNQGeometry& geo, Bytes& in, bool legal)
{
    const uint8_t op = in.U8();
    switch (op % 24)
    {
    case 0: return RunBlurVertexData(geo, in);
    case 1: { const float s = Strength(in); return geo.BlurNormals(s, Iterations(in)); }
    case 2: { const float s = Strength(in); return geo.BlurMotions(s, Iterations(in)); }
    case 3: { const float s = Strength(in); return geo.BlurColors(s, Iterations(in)); }
    case 4: { const float s = Strength(in); return geo.BlurUvws(s, Iterations(in)); }
    case 5: { const float s = Strength(in); return geo.SimpleSmooth(s, Iterations(in)); }
    case 6: return geo.FillZeroNodeNormals();
    case 7: return geo.FixEdges((op & 0x20) != 0, (op & 0x40) != 0);
    case 8: { const float e = Amount(in); return geo.CloseHoles(e, in.U8()); }
    case 9: geo.InvertPolygons((op & 0x20) != 0); return 0;
    case 10: { const float a = Amount(in); return geo.Quadrangulate(a, Amount(in)); }
    case 11:
    {
        const float d = Amount(in);
        return geo.Push(d, (op & 0x20) != 0, Iterations(in));
    }
    case 12:
    {
        const float inner = Amount(in);
        const float outer = Amount(in);
        const int32_t it = Iterations(in);
        const int32_t innerScale = in.U8() % 6;
        return geo.Thickness(inner, outer, (op & 0x20) != 0, it, innerScale, in.U8() % 6);
    }
    case 13:
    {
        if (op & 0x20)
            return geo.Triangulate(nullptr, static_cast<int32_t>(in.U8()) - 128, (op & 0x40) != 0);
        const std::vector<int32_t> list = PolygonList(in, geo._numPoly);
        return geo.Triangulate(list.data(), static_cast<int32_t>(list.size()), (op & 0x40) != 0);
    }
    case 14: return geo.TriangulateFivePlus();
    case 15: return geo.TriangulateConcave();
    case 16: return geo.DisconnectPolygons();
    case 17: return CleanUp(geo);
    case 18:
    {
        if (op & 0x80)
            return DeletePolygons(geo, nullptr, in.U8() % 3, (op & 0x40) != 0);
        const std::vector<int32_t> list = PolygonList(in, geo._numPoly);
        return DeletePolygons(geo, list.data(), static_cast<int32_t>(list.size()), (op & 0x40) != 0);
    }
    case 19:
        // Documented precondition: every index in range (CleanUp's order).
        return legal ? DeleteUnusedVertices(geo) : 0;
    case 20: geo.ScaleMotionVectors(Amount(in)); return 0;
    case 21:
        // From here on allocations past a small budget are refused.
        geo._memLimitOn = 1;
        geo._memLimit = geo._memUsed + static_cast<int64_t>(in.U16()) * 8;
        return 0;
    default: return RunGetter(geo, in.U8());
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Bytes in(data, size);
    const uint8_t mode = in.U8();

    ZNQGeometry geo;
    geo.Init();
    if (!DecodeMesh(in, geo))
    {
        geo.Clear();
        KFUZZ_CHECK(geo._memUsed == 0);
        return 0;
    }

    int32_t rc = 0;
    if (mode & 1)
    {
        // As after a load: illegal polygons and unused vertices removed.
        rc = CleanUp(geo);
        KFUZZ_CHECK(rc == 0 || rc == 10 || rc == 118);
        // Without vertices the clean-up has nothing to measure polygons
        // against and leaves them (no reader produces that state).
        if (rc == 0 && geo._numVert > 0)
            KFUZZ_CHECK(IndicesInRange(geo));
    }

    if (rc == 0 && (mode & 2))
    {
        const NodeSettings settings = DecodeSettings(in);
        // Without vertices every operation does nothing, so polygons of any
        // size (even without corners) stay as they are.
        const bool legal = geo._numVert > 0 && IndicesInRange(geo);
        rc = RunPostProcessingChain(geo, settings);
        KFUZZ_CHECK(IsOpCode(rc));
        if (rc == 0)
        {
            CheckShape(geo);
            if (legal)
            {
                KFUZZ_CHECK(IndicesInRange(geo));
                // Polygons of five or more corners never reach the host.
                for (int32_t p = 0; p < geo._numPoly; ++p)
                {
                    KFUZZ_CHECK(geo._polyNumVert[p] <= 4);
                    if (settings.triangulate == kTriangulateAll)
                        KFUZZ_CHECK(geo._polyNumVert[p] == 3);
                }
                if (settings.disconnectPolygons && geo._numPoly > 0)
                    KFUZZ_CHECK(geo._numVert == geo.NumNodes());
            }
            CheckCacheFresh(geo);
        }
    }
    else if (rc == 0)
    {
        const int numOps = 1 + in.U8() % 8;
        for (int i = 0; i < numOps && rc == 0; ++i)
        {
            const bool legal = IndicesInRange(geo);
            rc = RunOne(geo, in, legal);
            KFUZZ_CHECK(IsOpCode(rc));
            if (rc != 0)
                break;
            CheckShape(geo);
            if (legal)
                KFUZZ_CHECK(IndicesInRange(geo));
            CheckCacheFresh(geo);
        }
    }

    geo.Clear();
    KFUZZ_CHECK(geo._memUsed == 0);
    return 0;
}
