// MFnMesh of the stand-in host: polygon meshes held in mesh data objects,
// with per-vertex and per-corner normals, colour sets and UV sets.
#include "HostInternal.h"

#include <maya/MColorArray.h>
#include <maya/MFloatArray.h>
#include <maya/MFloatPointArray.h>
#include <maya/MFnMesh.h>
#include <maya/MIntArray.h>
#include <maya/MVectorArray.h>

#include <new>

using namespace khost_impl;

KHOST_FNSET(MFnMesh, MFn::kMesh)

namespace
{
void Set(MStatus* st, MStatus::MStatusCode c)
{
    if (st)
        *st = c;
}

MeshGeom* GeomOf(const MFnMesh& fn, MStatus* st)
{
    Obj* o = KHostAccess::fnObj(fn);
    if (!o || o->fnType != MFn::kMeshData)
    {
        Set(st, MS::kInvalidParameter);
        return nullptr;
    }
    Set(st, MS::kSuccess);
    return &static_cast<MeshDataObj*>(o)->mesh;
}

// A geometry that has been created (set-up calls need one).
MeshGeom* CreatedGeom(const MFnMesh& fn, MStatus* st)
{
    MeshGeom* g = GeomOf(fn, st);
    if (g && !g->created)
    {
        Set(st, MS::kFailure);
        return nullptr;
    }
    return g;
}

MeshGeom::UVSet* FindUVSet(MeshGeom& g, const MString* name)
{
    if (!name)
        return &g.uvSets[(size_t)g.currentUVSet];
    for (MeshGeom::UVSet& s : g.uvSets)
        if (s.name == name->asChar())
            return &s;
    return nullptr;
}

MeshGeom::ColorSet* CurrentColorSet(MeshGeom& g)
{
    if (g.currentColorSet < 0)
    {
        MeshGeom::ColorSet cs;
        cs.name = "colorSet1";
        g.colorSets.push_back(cs);
        g.currentColorSet = (int)g.colorSets.size() - 1;
    }
    MeshGeom::ColorSet& cs = g.colorSets[(size_t)g.currentColorSet];
    if (cs.rgba.size() != (size_t)g.numVertices * 4)
        cs.rgba.assign((size_t)g.numVertices * 4, -1.0f);
    return &cs;
}

// Builds a new geometry from the create arguments; false with *st on bad input.
// The arrays are read through their storage: a mesh of a million polygons
// would otherwise cost millions of calls.
bool BuildGeom(MeshGeom& g, int numVertices, int numPolygons, const MFloatPointArray& pts, const MIntArray& counts,
               const MIntArray& connects, MStatus* st)
{
    if (numVertices < 0 || numPolygons < 0 || pts.length() < (unsigned int)numVertices ||
        counts.length() < (unsigned int)numPolygons)
    {
        Set(st, MS::kInvalidParameter);
        return false;
    }
    const int* countData = KHostAccess::elements(counts);
    unsigned long long corners = 0;
    for (int p = 0; p < numPolygons; ++p)
    {
        if (countData[p] < 3)
        {
            Set(st, MS::kInvalidParameter);
            return false;
        }
        corners += (unsigned long long)countData[p];
    }
    if (corners > connects.length())
    {
        Set(st, MS::kInvalidParameter);
        return false;
    }
    const int* connectData = KHostAccess::elements(connects);
    for (unsigned long long c = 0; c < corners; ++c)
    {
        const int vi = connectData[c];
        if (vi < 0 || vi >= numVertices)
        {
            Set(st, MS::kInvalidParameter);
            return false;
        }
    }
    g.created = true;
    g.numVertices = numVertices;
    g.numPolygons = numPolygons;
    g.points.resize((size_t)numVertices * 3);
    const auto* pointData = KHostAccess::elements(pts);
    for (int i = 0; i < numVertices; ++i)
    {
        g.points[(size_t)i * 3 + 0] = pointData[i].x;
        g.points[(size_t)i * 3 + 1] = pointData[i].y;
        g.points[(size_t)i * 3 + 2] = pointData[i].z;
    }
    g.counts.assign(countData, countData + numPolygons);
    g.connects.assign(connectData, connectData + corners);
    return true;
}

} // namespace

// The mesh is made in the given mesh data object (what a node's compute
// passes); the stand-in makes no mesh nodes this way.
MObject MFnMesh::create(int nv, int np, const MFloatPointArray& pts, const MIntArray& counts,
                        const MIntArray& connects, MObject owner, MStatus* st)
{
    Obj* o = KHostAccess::get(owner);
    if (!o || o->fnType != MFn::kMeshData)
    {
        Set(st, MS::kInvalidParameter);
        return MObject();
    }
    MeshGeom fresh;
    if (!BuildGeom(fresh, nv, np, pts, counts, connects, st))
        return MObject();
    static_cast<MeshDataObj*>(o)->mesh = std::move(fresh);
    KHostAccess::fnAttach(*this, o);
    Set(st, MS::kSuccess);
    return owner;
}

MStatus MFnMesh::setVertexNormals(MVectorArray& normals, MIntArray& vertexList, MSpace::Space)
{
    MStatus st;
    MeshGeom* g = CreatedGeom(*this, &st);
    if (!g)
        return st;
    if (normals.length() != vertexList.length())
        return MS::kInvalidParameter;
    const unsigned int n = vertexList.length();
    const int* ids = KHostAccess::elements(vertexList);
    const MVector* in = KHostAccess::elements(normals);
    for (unsigned int i = 0; i < n; ++i)
        if (ids[i] < 0 || ids[i] >= g->numVertices)
            return MS::kInvalidParameter;
    if (g->normals.size() != (size_t)g->numVertices * 3)
    {
        g->normals.assign((size_t)g->numVertices * 3, 0.0f);
        g->normalSet.assign((size_t)g->numVertices, 0);
    }
    for (unsigned int i = 0; i < n; ++i)
    {
        size_t vi = (size_t)ids[i];
        g->normals[vi * 3] = (float)in[i].x;
        g->normals[vi * 3 + 1] = (float)in[i].y;
        g->normals[vi * 3 + 2] = (float)in[i].z;
        g->normalSet[vi] = 1;
    }
    g->hasNormals = g->hasNormals || vertexList.length() > 0;
    return MS::kSuccess;
}

namespace
{
MeshGeom::ColorSet* FindColorSet(MeshGeom& g, const MString* name)
{
    if (!name)
        return CurrentColorSet(g);
    for (MeshGeom::ColorSet& s : g.colorSets)
        if (s.name == name->asChar())
            return &s;
    return nullptr;
}
} // namespace

MStatus MFnMesh::setFaceVertexNormals(MVectorArray& normals, MIntArray& faceList, MIntArray& vertexList,
                                      MSpace::Space)
{
    MStatus st;
    MeshGeom* g = CreatedGeom(*this, &st);
    if (!g)
        return st;
    const unsigned int n = normals.length();
    if (faceList.length() != n || vertexList.length() != n)
        return MS::kInvalidParameter;
    // Where each polygon's corners start in connects.
    std::vector<size_t> first((size_t)g->numPolygons + 1, 0);
    for (int p = 0; p < g->numPolygons; ++p)
        first[(size_t)p + 1] = first[(size_t)p] + (size_t)g->counts[(size_t)p];
    const int* faces = KHostAccess::elements(faceList);
    const int* verts = KHostAccess::elements(vertexList);
    const MVector* in = KHostAccess::elements(normals);
    // Every pair must name a corner: the whole call is refused otherwise.
    std::vector<size_t> corner(n);
    for (unsigned int i = 0; i < n; ++i)
    {
        const int f = faces[i];
        if (f < 0 || f >= g->numPolygons)
            return MS::kInvalidParameter;
        size_t c = first[(size_t)f];
        while (c < first[(size_t)f + 1] && g->connects[c] != verts[i])
            ++c;
        if (c == first[(size_t)f + 1])
            return MS::kInvalidParameter;
        corner[i] = c;
    }
    if (g->fvNormals.size() != g->connects.size() * 3)
    {
        g->fvNormals.assign(g->connects.size() * 3, 0.0f);
        g->fvNormalSet.assign(g->connects.size(), 0);
    }
    for (unsigned int i = 0; i < n; ++i)
    {
        g->fvNormals[corner[i] * 3] = (float)in[i].x;
        g->fvNormals[corner[i] * 3 + 1] = (float)in[i].y;
        g->fvNormals[corner[i] * 3 + 2] = (float)in[i].z;
        g->fvNormalSet[corner[i]] = 1;
    }
    g->hasFaceVertexNormals = g->hasFaceVertexNormals || n > 0;
    return MS::kSuccess;
}

MString MFnMesh::createColorSetWithNameDataMesh(const MString& colorSetName, bool, MColorRepresentation rep,
                                                MStatus* st)
{
    MeshGeom* g = GeomOf(*this, st);
    if (!g)
        return MString();
    // A data mesh gets colour sets once it has been created; names are unique.
    if (!g->created || colorSetName.length() == 0 || (rep != kAlpha && rep != kRGB && rep != kRGBA) ||
        FindColorSet(*g, &colorSetName))
    {
        Set(st, MS::kFailure);
        return MString();
    }
    MeshGeom::ColorSet cs;
    cs.name = colorSetName.asChar();
    g->colorSets.push_back(cs);
    if (g->currentColorSet < 0)
        g->currentColorSet = (int)g->colorSets.size() - 1;
    Set(st, MS::kSuccess);
    return colorSetName;
}

MStatus MFnMesh::setCurrentColorSetName(const MString& setName, MDGModifier*, MSelectionList*)
{
    MStatus st;
    MeshGeom* g = CreatedGeom(*this, &st);
    if (!g)
        return st;
    for (size_t i = 0; i < g->colorSets.size(); ++i)
        if (g->colorSets[i].name == setName.asChar())
        {
            g->currentColorSet = (int)i;
            return MS::kSuccess;
        }
    return MS::kInvalidParameter;
}

MString MFnMesh::currentColorSetName(int, MStatus* st) const
{
    MeshGeom* g = GeomOf(*this, st);
    if (!g || g->currentColorSet < 0)
        return MString();
    return MString(g->colorSets[(size_t)g->currentColorSet].name.c_str());
}

MStatus MFnMesh::setColors(const MColorArray& colors, const MString* colorSet, MColorRepresentation rep)
{
    MStatus st;
    MeshGeom* g = CreatedGeom(*this, &st);
    if (!g)
        return st;
    if (rep != kAlpha && rep != kRGB && rep != kRGBA)
        return MS::kInvalidParameter;
    MeshGeom::ColorSet* cs = FindColorSet(*g, colorSet);
    if (!cs)
        return MS::kInvalidParameter;
    cs->pool.resize((size_t)colors.length() * 4);
    for (unsigned int i = 0; i < colors.length(); ++i)
    {
        cs->pool[(size_t)i * 4] = rep == kAlpha ? 1.0f : colors[i].r;
        cs->pool[(size_t)i * 4 + 1] = rep == kAlpha ? 1.0f : colors[i].g;
        cs->pool[(size_t)i * 4 + 2] = rep == kAlpha ? 1.0f : colors[i].b;
        cs->pool[(size_t)i * 4 + 3] = rep == kRGB ? 1.0f : colors[i].a;
    }
    // Assignments to colours no longer there are dropped.
    for (int id : cs->assigned)
        if (id >= (int)colors.length())
        {
            cs->assigned.clear();
            break;
        }
    return MS::kSuccess;
}

MStatus MFnMesh::assignColors(const MIntArray& colorIds, const MString* colorSet)
{
    MStatus st;
    MeshGeom* g = CreatedGeom(*this, &st);
    if (!g)
        return st;
    MeshGeom::ColorSet* cs = FindColorSet(*g, colorSet);
    if (!cs || colorIds.length() != g->connects.size())
        return MS::kInvalidParameter;
    const int* ids = KHostAccess::elements(colorIds);
    const int poolSize = (int)(cs->pool.size() / 4);
    for (unsigned int i = 0; i < colorIds.length(); ++i)
        if (ids[i] < -1 || ids[i] >= poolSize)
            return MS::kInvalidParameter;
    cs->assigned.assign(ids, ids + colorIds.length());
    return MS::kSuccess;
}

MStatus MFnMesh::setVertexColors(MColorArray& colors, MIntArray& vertexList, MDGModifier*)
{
    MStatus st;
    MeshGeom* g = CreatedGeom(*this, &st);
    if (!g)
        return st;
    if (colors.length() != vertexList.length())
        return MS::kInvalidParameter;
    const unsigned int n = vertexList.length();
    const int* ids = KHostAccess::elements(vertexList);
    const MColor* colorData = KHostAccess::elements(colors);
    for (unsigned int i = 0; i < n; ++i)
        if (ids[i] < 0 || ids[i] >= g->numVertices)
            return MS::kInvalidParameter;
    MeshGeom::ColorSet* cs = CurrentColorSet(*g);
    for (unsigned int i = 0; i < n; ++i)
    {
        const MColor& in = colorData[i];
        float* c = &cs->rgba[(size_t)ids[i] * 4];
        c[0] = in.r, c[1] = in.g, c[2] = in.b, c[3] = in.a;
    }
    cs->hasVertexColors = cs->hasVertexColors || n > 0;
    return MS::kSuccess;
}

MStatus MFnMesh::setUVs(const MFloatArray& u, const MFloatArray& v, const MString* uvSet)
{
    MStatus st;
    MeshGeom* g = CreatedGeom(*this, &st);
    if (!g)
        return st;
    MeshGeom::UVSet* s = FindUVSet(*g, uvSet);
    if (!s || u.length() != v.length())
        return MS::kInvalidParameter;
    const float* uData = KHostAccess::elements(u);
    const float* vData = KHostAccess::elements(v);
    s->u.assign(uData, uData + u.length());
    s->v.assign(vData, vData + v.length());
    // An assignment that refers to UVs no longer there is dropped.
    for (int id : s->ids)
        if (id >= (int)u.length())
        {
            s->counts.clear();
            s->ids.clear();
            break;
        }
    return MS::kSuccess;
}
MStatus MFnMesh::assignUVs(const MIntArray& uvCounts, const MIntArray& uvIds, const MString* uvSet)
{
    MStatus st;
    MeshGeom* g = CreatedGeom(*this, &st);
    if (!g)
        return st;
    MeshGeom::UVSet* s = FindUVSet(*g, uvSet);
    if (!s || uvCounts.length() != (unsigned int)g->numPolygons)
        return MS::kInvalidParameter;
    const int* countData = KHostAccess::elements(uvCounts);
    const int* idData = KHostAccess::elements(uvIds);
    unsigned long long total = 0;
    for (int p = 0; p < g->numPolygons; ++p)
    {
        int c = countData[p];
        if (c != 0 && c != g->counts[(size_t)p])
            return MS::kInvalidParameter;
        total += (unsigned long long)c;
    }
    if (total != uvIds.length())
        return MS::kInvalidParameter;
    for (unsigned int i = 0; i < uvIds.length(); ++i)
        if (idData[i] < 0 || idData[i] >= (int)s->u.size())
            return MS::kInvalidParameter;
    s->counts.assign(countData, countData + g->numPolygons);
    s->ids.assign(idData, idData + uvIds.length());
    return MS::kSuccess;
}

void khost_impl::Snapshot(const MeshGeom& g, khost::MeshSnapshot* out)
{
    khost::MeshSnapshot& m = *out;
    m = khost::MeshSnapshot();
    m.numVertices = g.numVertices;
    m.numPolygons = g.numPolygons;
    m.points = g.points;
    m.counts = g.counts;
    m.connects = g.connects;
    m.hasNormals = g.hasNormals;
    if (g.hasNormals)
    {
        m.normals = g.normals;
        m.normalSet = g.normalSet;
    }
    if (g.currentColorSet >= 0)
    {
        const MeshGeom::ColorSet& cs = g.colorSets[(size_t)g.currentColorSet];
        m.colorSet = cs.name;
        m.hasColors = cs.hasVertexColors;
        if (cs.hasVertexColors)
            m.colors = cs.rgba;
    }
    m.hasFaceVertexNormals = g.hasFaceVertexNormals;
    if (g.hasFaceVertexNormals)
    {
        m.faceVertexNormals = g.fvNormals;
        m.faceVertexNormalSet = g.fvNormalSet;
    }
    for (size_t i = 0; i < g.colorSets.size(); ++i)
    {
        const MeshGeom::ColorSet& cs = g.colorSets[i];
        khost::ColorSetSnapshot set;
        set.name = cs.name;
        set.current = (int)i == g.currentColorSet;
        set.hasVertexColors = cs.hasVertexColors;
        // Per vertex: its own colour, else that of its first assigned corner.
        set.colors.assign((size_t)g.numVertices * 4, -1.0f);
        if (cs.rgba.size() == set.colors.size())
            set.colors = cs.rgba;
        std::vector<unsigned char> taken((size_t)g.numVertices, 0);
        for (size_t c = 0; c < cs.assigned.size() && c < g.connects.size(); ++c)
        {
            const int vi = g.connects[c];
            const int id = cs.assigned[c];
            if (id < 0 || taken[(size_t)vi] || (cs.hasVertexColors && cs.rgba[(size_t)vi * 4] != -1.0f))
                continue;
            taken[(size_t)vi] = 1;
            for (int k = 0; k < 4; ++k)
                set.colors[(size_t)vi * 4 + (size_t)k] = cs.pool[(size_t)id * 4 + (size_t)k];
        }
        m.colorSets.push_back(std::move(set));
    }
    const MeshGeom::UVSet& uv = g.uvSets[(size_t)g.currentUVSet];
    m.uvSet = uv.name;
    m.hasUVs = !uv.u.empty() || !uv.ids.empty();
    if (m.hasUVs)
    {
        m.u = uv.u;
        m.v = uv.v;
        m.uvCounts = uv.counts.empty() ? std::vector<int>(g.counts.size(), 0) : uv.counts;
        m.uvIds = uv.ids;
    }
}
