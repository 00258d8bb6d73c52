#include "plugin/KorvaneEvaluate.h"

#include <new>

#include "formats/ZNQFormats.h"
#include "geometry/ZNQGeometry.h"

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

int32_t KorvaneLoadAndProcess(ZNQGeometry& geometry, const NodeSettings& settings, const char* path,
                              ZNQLoadPlace* place)
{
    int32_t rc = LoadFromFile(geometry, path, settings.loadNormals, settings.loadMotions,
                              settings.loadColors, settings.loadUvws, nullptr, nullptr, nullptr,
                              settings.useGroups ? settings.groupNames : nullptr,
                              settings.invertGroups, place);
    if (rc != 0)
    {
        geometry.Clear();
        return rc;
    }

    // Sub-frame position: along the motion vectors as loaded, before the
    // chain scales them.
    const float offset = settings.fractionStrength * settings.fraction;
    if (offset != 0.0f && geometry._vertMotion && geometry._vertPos)
    {
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

    rc = RunPostProcessingChain(geometry, settings);
    if (rc != 0)
        geometry.Clear();
    return rc;
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
    }
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
