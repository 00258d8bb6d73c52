// Quadrangulate: merges pairs of adjacent triangles into quads where the
// result is close to a planar rectangle.
//
// Quadrangulate(maxNormalAngle, maxCornerDeviation), both in degrees
//   Two passes over the triangles in polygon order, with a corner tolerance of
//   half of maxCornerDeviation first and all of it second, so the best-shaped
//   pairs are merged before the looser ones. Each pass visits every vertex p
//   once (through the first unmerged triangle that holds it) and tries the
//   pairs (R, S) of p's triangles, R before S. A pair qualifies when R and S
//   share an edge through p and run along it in opposite directions; with
//   the edge a -> b in R's direction (S runs b -> a), r and s the third
//   vertices, the quad is (b, r, a, s), which keeps R's winding.
//   - Corner test: at r, s, a and b the deviation |90 deg - corner angle| must
//     not exceed the pass tolerance. Normal test: the angle between R's and
//     S's normals must not exceed maxNormalAngle. A NaN angle fails a test.
//   - Of the first two accepted pairs of p, the second wins only with a
//     strictly lower score (mean corner deviation).
//   - Quad nodes take the node data of R's nodes at b, r, a and S's node at s.
//   - The kept polygons stay in order, the quads follow in emission order.
//   Only triangles with three distinct, valid vertex indices take part; any
//   other polygon is kept as it is.
//   A pair's tests depend only on the two triangles' vertices, so piles of
//   copies (non-manifold edges) are tested once per distinct pair of shapes:
//   a vertex whose triangles found no partner skips later copies of them,
//   and a partner shape that failed is not tested again for the same
//   triangle. At a vertex of more than 32 triangles the partners of R are
//   looked up through R's two neighbours of p (sorted keys) instead of
//   trying every later triangle. The result is the same as testing every
//   pair.
//   Nothing happens (0) without positions or vertices, with fewer than two
//   polygons or two triangles, maxNormalAngle < 0 or NaN, a NaN corner
//   deviation, or when no vertex is shared by two triangles; derived data are
//   then kept. Otherwise they are released (full mask), also after an error.
//   Arrays changed: _polyNumVert, _polyVInd, _nodeNrm, _nodeUvw, _nodeCol,
//   _numPoly. Codes: 10 (memory; the polygons stay as they were).
#include <algorithm>
#include <cmath>
#include <cstring>

#include "geometry/ZNQGeometry.h"
#include "meshops/ZNQMeshOpsUtil.h"

using namespace znq_ops;

namespace
{

constexpr float kDegToRad = 0.017453292f;
constexpr float kHalfPi = 1.5707963f;

enum : uint8_t
{
    kPolyOther = 0,  // not a mergeable triangle
    kPolyTri = 1,    // triangle, not merged
    kPolyMerged = 2, // merged into a quad
};

// Angle between u and v in radians; 0 when either is (nearly) zero.
inline float AngleBetween(const float3& u, const float3& v)
{
    const float prod = std::sqrt(Dot(u, u)) * std::sqrt(Dot(v, v));
    if (prod < kTinyLength)
        return 0.0f;
    float c = Dot(u, v) / prod;
    if (c > 1.0f)
        c = 1.0f;
    else if (c < -1.0f)
        c = -1.0f;
    return std::acos(c);
}

// Deviation from a right angle of the corner at c between p1 and p2.
inline float CornerDeviation(const float3& c, const float3& p1, const float3& p2)
{
    return std::fabs(kHalfPi - AngleBetween(Sub(p1, c), Sub(p2, c)));
}

// A few triangle shapes around one vertex, each as its vertices after and
// before that vertex. Remembers the first kSize; later ones are not kept
// (the memo only ever saves work).
struct ShapeMemo
{
    static constexpr int32_t kSize = 8;
    int32_t next[kSize];
    int32_t prev[kSize];
    int32_t count = 0;

    bool Has(int32_t n, int32_t p) const
    {
        for (int32_t i = 0; i < count; ++i)
            if (next[i] == n && prev[i] == p)
                return true;
        return false;
    }
    void Add(int32_t n, int32_t p)
    {
        if (count < kSize)
        {
            next[count] = n;
            prev[count] = p;
            ++count;
        }
    }
};

// Above this many triangles at a vertex, partners are looked up by key
// instead of trying every later triangle of the vertex.
constexpr int32_t kCrowded = 32;

// A reference's neighbour vertex and its place in the vertex's list, ordered
// by vertex, then place.
inline uint64_t Key(int32_t vertex, int32_t place)
{
    return (static_cast<uint64_t>(static_cast<uint32_t>(vertex)) << 32) | static_cast<uint32_t>(place);
}
inline int32_t Place(uint64_t key)
{
    return static_cast<int32_t>(key & 0xFFFFFFFFu);
}

struct Candidate
{
    int32_t r, s;           // polygons R and S
    int32_t ra, rb, rr, ss; // corner (0..2) of a, b, r in R and of s in S
    int32_t va, vb, vr, vs; // the vertices a, b, r, s
    float score;
};

} // namespace

int32_t ZNQGeometry::Quadrangulate(float maxNormalAngle, float maxCornerDeviation)
{
    if (!_vertPos || _numVert < 1 || _numPoly < 2 || !(maxNormalAngle >= 0.0f) ||
        std::isnan(maxCornerDeviation))
        return ZNQ_OK;
    const int32_t numTris = _DynGetNumPolyTris();
    if (numTris < 2)
        return ZNQ_OK;

    const float normalTol = maxNormalAngle * kDegToRad;
    const float cornerTol = maxCornerDeviation * kDegToRad;
    const int64_t numNodes = NumNodes();
    auto fail = [&](int32_t code) {
        _DynRelease(kDynAll);
        return code;
    };
    if (numNodes > INT32_MAX)
        return fail(ZNQ_ERR_MEMORY);

    // ---- Per-vertex triangle lists: count, prefix, fill. ----
    ZNQScopedArray<uint8_t> state(*this, static_cast<size_t>(_numPoly), false);
    ZNQScopedArray<int32_t> polyOff(*this, static_cast<size_t>(_numPoly), false);
    ZNQScopedArray<int32_t> triStart(*this, static_cast<size_t>(_numVert) + 1, true);
    if (!state.ptr || !polyOff.ptr || !triStart.ptr)
        return fail(ZNQ_ERR_MEMORY);
    int32_t numRefs = 0;
    {
        int32_t off = 0;
        for (int32_t p = 0; p < _numPoly; ++p)
        {
            polyOff[p] = off;
            const int32_t n = _polyNumVert[p];
            state[p] = kPolyOther;
            if (n == 3)
            {
                const int32_t* t = _polyVInd + off;
                if (InRange(t[0], _numVert) && InRange(t[1], _numVert) && InRange(t[2], _numVert) &&
                    t[0] != t[1] && t[1] != t[2] && t[0] != t[2])
                {
                    state[p] = kPolyTri;
                    ++triStart[t[0] + 1];
                    ++triStart[t[1] + 1];
                    ++triStart[t[2] + 1];
                    numRefs += 3;
                }
            }
            off += n;
        }
    }
    bool shared = false;
    int32_t maxCount = 0;
    for (int32_t v = 0; v < _numVert; ++v)
    {
        shared |= triStart[v + 1] >= 2;
        maxCount = std::max(maxCount, triStart[v + 1]);
        triStart[v + 1] += triStart[v];
    }
    if (!shared)
        return ZNQ_OK; // nothing changes: derived data stay valid

    ZNQScopedArray<int32_t> triRefs(*this, static_cast<size_t>(numRefs), false);
    ZNQScopedArray<int32_t> fill(*this, static_cast<size_t>(_numVert), false);
    ZNQScopedArray<uint8_t> visited(*this, static_cast<size_t>(_numVert), false);
    // An emitted quad is kept as its four source nodes (R's at b, r, a and
    // S's at s); vertex indices and node data are gathered from them in the
    // rebuild, so no node data are copied twice.
    const size_t maxQuads = static_cast<size_t>(numTris / 2);
    ZNQScopedArray<int32_t> quadSrc(*this, maxQuads * 4, false);
    if (!triRefs.ptr || !fill.ptr || !visited.ptr || !quadSrc.ptr)
        return fail(ZNQ_ERR_MEMORY);
    // Per reference: the triangle's vertices after and before the list's
    // vertex, so that pairs without a shared edge are passed over with two
    // comparisons.
    ZNQScopedArray<int32_t> refNext(*this, static_cast<size_t>(numRefs), false);
    ZNQScopedArray<int32_t> refPrev(*this, static_cast<size_t>(numRefs), false);
    // At a vertex of many triangles, R's partners are found through its
    // neighbours: the list's references keyed by (vertex before the list's
    // vertex, place) and by (vertex after it, place), sorted.
    const size_t keyCount = maxCount > kCrowded ? static_cast<size_t>(maxCount) : 0;
    ZNQScopedArray<uint64_t> byPrev(*this, keyCount, false);
    ZNQScopedArray<uint64_t> byNext(*this, keyCount, false);
    if (!refNext.ptr || !refPrev.ptr || (keyCount && (!byPrev.ptr || !byNext.ptr)))
        return fail(ZNQ_ERR_MEMORY);
    std::memcpy(fill.ptr, triStart.ptr, static_cast<size_t>(_numVert) * sizeof(int32_t));
    for (int32_t p = 0; p < _numPoly; ++p)
    {
        if (state[p] != kPolyTri)
            continue;
        const int32_t* t = _polyVInd + polyOff[p];
        for (int32_t k = 0; k < 3; ++k)
        {
            const int32_t at = fill[t[k]]++;
            triRefs[at] = p;
            refNext[at] = t[k == 2 ? 0 : k + 1];
            refPrev[at] = t[k == 0 ? 2 : k - 1];
        }
    }

    // Builds the candidate for R and S at vertex p; false when they do not
    // share an edge through p in opposite directions or fail a test.
    auto tryPair = [&](int32_t rPoly, int32_t sPoly, int32_t p, float tol, Candidate& c) {
        const int32_t* R = _polyVInd + polyOff[rPoly];
        const int32_t* S = _polyVInd + polyOff[sPoly];
        const int32_t i = R[0] == p ? 0 : (R[1] == p ? 1 : 2);
        const int32_t j = S[0] == p ? 0 : (S[1] == p ? 1 : 2);
        const int32_t iNext = i == 2 ? 0 : i + 1, iPrev = i == 0 ? 2 : i - 1;
        const int32_t jNext = j == 2 ? 0 : j + 1, jPrev = j == 0 ? 2 : j - 1;
        if (R[iNext] == S[jPrev])
        {
            // R runs p -> R[iNext], S runs S[jPrev] -> p.
            c.ra = i, c.rb = iNext, c.rr = iPrev, c.ss = jNext;
        }
        else if (R[iPrev] == S[jNext])
        {
            // R runs R[iPrev] -> p, S runs p -> S[jNext].
            c.ra = iPrev, c.rb = i, c.rr = iNext, c.ss = jPrev;
        }
        else
            return false;
        c.r = rPoly;
        c.s = sPoly;
        c.va = R[c.ra];
        c.vb = R[c.rb];
        c.vr = R[c.rr];
        c.vs = S[c.ss];
        if (c.vr == c.vs)
            return false; // the same triangle twice, wound both ways
        const float3& pa = _vertPos[c.va];
        const float3& pb = _vertPos[c.vb];
        const float3& pr = _vertPos[c.vr];
        const float3& ps = _vertPos[c.vs];
        const float d0 = CornerDeviation(pr, pa, pb);
        if (!(d0 <= tol))
            return false;
        const float d1 = CornerDeviation(ps, pa, pb);
        if (!(d1 <= tol))
            return false;
        const float d2 = CornerDeviation(pa, ps, pr);
        if (!(d2 <= tol))
            return false;
        const float d3 = CornerDeviation(pb, ps, pr);
        if (!(d3 <= tol))
            return false;
        c.score = (d0 + d1 + d2 + d3) * 0.25f;
        const float3 nR = Cross(Sub(pa, pr), Sub(pb, pr));
        const float3 nS = Cross(Sub(pb, ps), Sub(pa, ps));
        return AngleBetween(nR, nS) <= normalTol;
    };

    // ---- Two passes: strict corner tolerance, then the full one. ----
    int32_t numMerges = 0;
    for (int32_t pass = 0; pass < 2; ++pass)
    {
        const float tol = pass == 0 ? cornerTol * 0.5f : cornerTol;
        std::memset(visited.ptr, 0, static_cast<size_t>(_numVert));
        for (int32_t poly = 0; poly < _numPoly; ++poly)
        {
            if (state[poly] != kPolyTri)
                continue;
            const int32_t* t = _polyVInd + polyOff[poly];
            for (int32_t corner = 0; corner < 3; ++corner)
            {
                const int32_t p = t[corner];
                if (visited[p])
                    continue;
                visited[p] = 1;
                const int32_t* list = triRefs.ptr + triStart[p];
                const int32_t* next = refNext.ptr + triStart[p];
                const int32_t* prev = refPrev.ptr + triStart[p];
                const int32_t cnt = triStart[p + 1] - triStart[p];
                Candidate cand[2];
                int32_t found = 0;
                ShapeMemo lonely; // shapes of R that found no partner here
                const bool crowded = cnt > kCrowded;
                if (crowded)
                {
                    for (int32_t y = 0; y < cnt; ++y)
                    {
                        byPrev[y] = Key(prev[y], y);
                        byNext[y] = Key(next[y], y);
                    }
                    std::sort(byPrev.ptr, byPrev.ptr + cnt);
                    std::sort(byNext.ptr, byNext.ptr + cnt);
                }
                for (int32_t x = 0; x < cnt && found < 2; ++x)
                {
                    if (state[list[x]] != kPolyTri || lonely.Has(next[x], prev[x]))
                        continue;
                    // A later copy of R sees a subset of R's partners: when R
                    // finds none, neither does the copy.
                    const int32_t foundBefore = found;
                    ShapeMemo failed; // partner shapes that failed with R
                    auto consider = [&](int32_t y) {
                        if (state[list[y]] != kPolyTri || failed.Has(next[y], prev[y]))
                            return;
                        if (tryPair(list[x], list[y], p, tol, cand[found]))
                            ++found;
                        else
                            failed.Add(next[y], prev[y]);
                    };
                    if (!crowded)
                    {
                        for (int32_t y = x + 1; y < cnt && found < 2; ++y)
                            if (next[y] == prev[x] || prev[y] == next[x]) // a shared edge through p
                                consider(y);
                    }
                    else
                    {
                        // The partners after x in place order: those whose
                        // vertex before p is R's after, merged with those
                        // whose vertex after p is R's before.
                        const uint64_t* a = std::lower_bound(byPrev.ptr, byPrev.ptr + cnt, Key(next[x], x + 1));
                        const uint64_t* aEnd = std::lower_bound(a, static_cast<const uint64_t*>(byPrev.ptr + cnt), Key(next[x], cnt));
                        const uint64_t* b = std::lower_bound(byNext.ptr, byNext.ptr + cnt, Key(prev[x], x + 1));
                        const uint64_t* bEnd = std::lower_bound(b, static_cast<const uint64_t*>(byNext.ptr + cnt), Key(prev[x], cnt));
                        while ((a < aEnd || b < bEnd) && found < 2)
                        {
                            const int32_t ya = a < aEnd ? Place(*a) : cnt;
                            const int32_t yb = b < bEnd ? Place(*b) : cnt;
                            const int32_t y = std::min(ya, yb);
                            a += ya == y;
                            b += yb == y;
                            consider(y);
                        }
                    }
                    if (found == foundBefore)
                        lonely.Add(next[x], prev[x]);
                }
                if (found == 0)
                    continue;
                const Candidate& c = (found == 2 && cand[1].score < cand[0].score) ? cand[1] : cand[0];
                int32_t* q = quadSrc.ptr + static_cast<size_t>(numMerges) * 4;
                q[0] = polyOff[c.r] + c.rb;
                q[1] = polyOff[c.r] + c.rr;
                q[2] = polyOff[c.r] + c.ra;
                q[3] = polyOff[c.s] + c.ss;
                state[c.r] = kPolyMerged;
                state[c.s] = kPolyMerged;
                ++numMerges;
            }
        }
    }
    if (numMerges == 0)
        return fail(ZNQ_OK);

    // ---- Rebuild: kept polygons in order, then the quads. ----
    const size_t newPolys = static_cast<size_t>(_numPoly - numMerges);
    const size_t newNodes = static_cast<size_t>(numNodes - 2 * static_cast<int64_t>(numMerges));
    znq_ops::NewPolygonArrays fresh(*this);
    if (!fresh.Alloc(*this, static_cast<int64_t>(newPolys), static_cast<int64_t>(newNodes)))
        return fail(ZNQ_ERR_MEMORY);
    size_t dp = 0, dn = 0;
    for (int32_t p = 0; p < _numPoly; ++p)
    {
        if (state[p] == kPolyMerged)
            continue;
        const size_t n = _polyNumVert[p];
        const size_t sn = static_cast<size_t>(polyOff[p]);
        fresh.num[dp++] = static_cast<uint8_t>(n);
        std::memcpy(fresh.vInd.ptr + dn, _polyVInd + sn, n * sizeof(int32_t));
        CopyNodeData(*this, dn, sn, n, fresh.nrm.ptr, fresh.uvw.ptr, fresh.col.ptr);
        dn += n;
    }
    const size_t quadNodes = static_cast<size_t>(numMerges) * 4;
    std::memset(fresh.num.ptr + dp, 4, static_cast<size_t>(numMerges));
    for (size_t k = 0; k < quadNodes; ++k)
        fresh.vInd[dn + k] = _polyVInd[quadSrc[k]];
    if (_nodeNrm)
        for (size_t k = 0; k < quadNodes; ++k)
            fresh.nrm[dn + k] = _nodeNrm[quadSrc[k]];
    if (_nodeUvw)
        for (size_t k = 0; k < quadNodes; ++k)
            fresh.uvw[dn + k] = _nodeUvw[quadSrc[k]];
    if (_nodeCol)
        for (size_t k = 0; k < quadNodes; ++k)
            fresh.col[dn + k] = _nodeCol[quadSrc[k]];

    fresh.SwapInto(*this, static_cast<int32_t>(newPolys));
    return ZNQ_OK;
}
