#include "plugin/KorvaneEvaluate.h"

#include <cstring>
#include <new>

#include "errors/ZNQError.h"
#include "formats/ZNQFormats.h"
#include "geometry/ZNQGeometry.h"
#include "plugin/KorvaneFrames.h"

ZNQGeometry* KorvaneNewGeometry()
{
    ZNQGeometry* geometry = new (std::nothrow) ZNQGeometry();
    if (geometry)
        geometry->Init(0);
    return geometry;
}

void KorvaneDeleteGeometry(ZNQGeometry* geometry)
{
    if (!geometry)
        return;
    geometry->Clear();
    delete geometry;
}

void KorvaneClearGeometry(ZNQGeometry& geometry)
{
    geometry.Clear();
}

namespace {

int32_t Load(ZNQGeometry& geometry, const NodeSettings& settings, const char* path, ZNQLoadPlace* place = nullptr)
{
    return LoadFromFile(geometry, path, settings.loadNormals, settings.loadMotions, settings.loadColors,
                        settings.loadUvws, nullptr, nullptr, nullptr,
                        settings.useGroups ? settings.groupNames : nullptr, settings.invertGroups, place);
}

// Moves the vertices by offset along their motion vectors as loaded.
void OffsetAlongMotions(ZNQGeometry& geometry, float offset)
{
    if (offset == 0.0f || !geometry._vertMotion || !geometry._vertPos)
        return;
    float3* pos = geometry._vertPos;
    const float3* motion = geometry._vertMotion;
    for (int32_t i = 0; i < geometry._numVert; ++i)
    {
        pos[i].x += offset * motion[i].x;
        pos[i].y += offset * motion[i].y;
        pos[i].z += offset * motion[i].z;
    }
    geometry._DynRelease(kDynAll); // anything derived from the old positions
}

bool SameTopology(const ZNQGeometry& a, const ZNQGeometry& b)
{
    if (a._numVert != b._numVert || a._numPoly != b._numPoly || !a._vertPos || !b._vertPos)
        return false;
    if (a._numPoly == 0)
        return true;
    if (!a._polyNumVert || !b._polyNumVert || !a._polyVInd || !b._polyVInd)
        return false;
    if (std::memcmp(a._polyNumVert, b._polyNumVert, static_cast<size_t>(a._numPoly) * sizeof(a._polyNumVert[0])) != 0)
        return false;
    const int64_t nodes = a.NumNodes();
    return nodes == b.NumNodes() &&
           std::memcmp(a._polyVInd, b._polyVInd, static_cast<size_t>(nodes) * sizeof(a._polyVInd[0])) == 0;
}

// Interpolate: positions a + weight x (b - a) when the partner loads with
// the same mesh. False (geometry untouched) otherwise.
bool BlendTowards(ZNQGeometry& geometry, const NodeSettings& settings, const char* partnerPath, float weight)
{
    ZNQGeometry* partner = KorvaneNewGeometry();
    if (!partner)
        return false;
    NodeSettings plain = settings;
    plain.loadNormals = plain.loadMotions = plain.loadColors = plain.loadUvws = false;
    bool blended = false;
    if (Load(*partner, plain, partnerPath) == 0 && SameTopology(geometry, *partner))
    {
        float3* pos = geometry._vertPos;
        const float3* to = partner->_vertPos;
        for (int32_t i = 0; i < geometry._numVert; ++i)
        {
            pos[i].x += weight * (to[i].x - pos[i].x);
            pos[i].y += weight * (to[i].y - pos[i].y);
            pos[i].z += weight * (to[i].z - pos[i].z);
        }
        geometry._DynRelease(kDynAll);
        blended = true;
    }
    KorvaneDeleteGeometry(partner);
    return blended;
}

} // namespace

int32_t KorvaneLoadAndProcess(ZNQGeometry& geometry, const NodeSettings& settings, const char* path,
                              ZNQLoadPlace* place)
{
    int32_t rc = Load(geometry, settings, path, place);
    if (rc != 0)
    {
        geometry.Clear();
        return rc;
    }

    // Sub-frame position: along the motion vectors as loaded, before the
    // chain scales them.
    OffsetAlongMotions(geometry, settings.fractionStrength * settings.fraction);

    rc = RunPostProcessingChain(geometry, settings);
    if (rc != 0)
        geometry.Clear();
    return rc;
}

int32_t KorvaneLoadPicked(ZNQGeometry& geometry, const NodeSettings& settings, const FramePick& pick,
                          const char* path, const char* partnerPath, ZNQLoadPlace* place)
{
    int32_t rc = Load(geometry, settings, path, place);
    if (rc != 0)
    {
        geometry.Clear();
        return rc;
    }
    const bool blended = pick.hasPartner && partnerPath && partnerPath[0] &&
                         BlendTowards(geometry, settings, partnerPath, pick.partnerWeight);
    if (!blended)
        OffsetAlongMotions(geometry, pick.offset);

    rc = RunPostProcessingChain(geometry, settings);
    if (rc != 0)
        geometry.Clear();
    return rc;
}

KorvaneFileContents KorvaneProbeFile(const char* path)
{
    KorvaneFileContents c = {};
    ZNQGeometry* geometry = KorvaneNewGeometry();
    if (!geometry)
    {
        c.error = ZNQ_ERR_MEMORY;
        return c;
    }
    c.error = LoadFromFile(*geometry, path, true, true, true, true, nullptr, nullptr, nullptr, nullptr, false);
    if (c.error == 0)
    {
        c.normals = geometry->_nodeNrm != nullptr;
        c.motions = geometry->_vertMotion != nullptr;
        c.uvws = geometry->_nodeUvw != nullptr;
        c.colors = geometry->_nodeCol != nullptr;
        c.numVert = geometry->_numVert;
        c.numPoly = geometry->_numPoly;
    }
    KorvaneDeleteGeometry(geometry);
    return c;
}

KorvaneMeshView KorvaneViewOf(const ZNQGeometry& geometry)
{
    KorvaneMeshView view = {};
    if (!geometry._vertPos || geometry._numVert <= 0)
        return view;
    view.numVert = geometry._numVert;
    view.vertPos = &geometry._vertPos[0].x;
    if (geometry._polyNumVert && geometry._polyVInd && geometry._numPoly > 0)
    {
        view.numPoly = geometry._numPoly;
        view.polyNumVert = geometry._polyNumVert;
        view.polyVInd = geometry._polyVInd;
        view.numNodes = geometry.NumNodes();
        view.nodeUvw = geometry._nodeUvw ? &geometry._nodeUvw[0].x : nullptr;
        view.nodeNrm = geometry._nodeNrm ? &geometry._nodeNrm[0].x : nullptr;
    }
    view.vertMotion = geometry._vertMotion ? &geometry._vertMotion[0].x : nullptr;
    view.hasNodeNormals = geometry._nodeNrm != nullptr;
    view.hasNodeColors = geometry._nodeCol != nullptr;
    return view;
}

// float3 and float4 are plain records of 3 and 4 floats without padding, so
// an array of them reads as a flat float array.
static_assert(sizeof(float3) == 3 * sizeof(float), "float3 is 3 packed floats");
static_assert(sizeof(float4) == 4 * sizeof(float), "float4 is 4 packed floats");

const float* KorvaneVertexNormals(ZNQGeometry& geometry)
{
    const float3* normals = geometry._DynGetVertNrm();
    return normals ? &normals[0].x : nullptr;
}

const float* KorvaneVertexColors(ZNQGeometry& geometry)
{
    const float4* colors = geometry._DynGetVertCol();
    return colors ? &colors[0].x : nullptr;
}
