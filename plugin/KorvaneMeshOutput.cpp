// Host mesh output: the finished geometry as the mesh of the node's output.
#include <cstdint>

#include <maya/MColor.h>
#include <maya/MColorArray.h>
#include <maya/MFloatArray.h>
#include <maya/MFloatPointArray.h>
#include <maya/MFnMesh.h>
#include <maya/MGlobal.h>
#include <maya/MIntArray.h>
#include <maya/MVectorArray.h>

#include "geometry/ZNQGeometry.h"
#include "plugin/KorvaneNode.h"

namespace {

// Host arrays are indexed with unsigned int and mesh sizes are int.
constexpr int64_t kMaxHostLength = 0x7fffffff;

void WriteVertexNormals(ZNQGeometry& geometry, MFnMesh& meshFn, int32_t numVert)
{
    MVectorArray normals;
    MIntArray vertexIds;
    const unsigned int n = static_cast<unsigned int>(numVert);
    if (normals.setLength(n).error() || vertexIds.setLength(n).error())
    {
        MGlobal::displayError("[Korvane] failed to resize arrays for the vertex normals.");
        return;
    }
    // One normal per vertex, the mean of its node normals.
    const float3* vertNrm = geometry._DynGetVertNrm();
    if (!vertNrm)
    {
        MGlobal::displayError("[Korvane] failed to get the source vertex normals.");
        return;
    }
    for (unsigned int i = 0; i < n; ++i)
    {
        MVector& v = normals[i];
        v.x = vertNrm[i].x;
        v.y = vertNrm[i].y;
        v.z = vertNrm[i].z;
        vertexIds[i] = static_cast<int>(i);
    }
    if (meshFn.setVertexNormals(normals, vertexIds, MSpace::kObject).error())
        MGlobal::displayError("[Korvane] failed to assign the vertex normals.");
}

void WriteVertexColors(ZNQGeometry& geometry, MFnMesh& meshFn, int32_t numVert)
{
    const float4* vertCol = geometry._DynGetVertCol();
    if (!vertCol)
    {
        MGlobal::displayError("[Korvane] failed to get the vertex colors from geo.");
        return;
    }
    MIntArray vertexIds;
    MColorArray colors;
    const unsigned int n = static_cast<unsigned int>(numVert);
    if (vertexIds.setLength(n).error() || colors.setLength(n).error())
    {
        MGlobal::displayError("[Korvane] failed to resize arrays for the vertex colors.");
        return;
    }
    for (unsigned int i = 0; i < n; ++i)
    {
        vertexIds[i] = static_cast<int>(i);
        colors[i].set(MColor::kRGB, vertCol[i].x, vertCol[i].y, vertCol[i].z, vertCol[i].w);
    }
    if (meshFn.setVertexColors(colors, vertexIds).error())
        MGlobal::displayError("[Korvane] failed to set vertex colors.");
}

// One UV per node in the default UV set; w is not passed on.
void WriteUvs(const ZNQGeometry& geometry, MFnMesh& meshFn, int64_t numNodes)
{
    MFloatArray u;
    MFloatArray v;
    const unsigned int n = static_cast<unsigned int>(numNodes);
    if (u.setLength(n).error() || v.setLength(n).error())
    {
        MGlobal::displayError("[Korvane] failed to resize arrays for the UVs.");
        return;
    }
    const float3* uvw = geometry._nodeUvw;
    for (unsigned int j = 0; j < n; ++j)
    {
        u[j] = uvw[j].x;
        v[j] = uvw[j].y;
    }
    if (meshFn.setUVs(u, v).error())
    {
        MGlobal::displayError("[Korvane] failed to set the UVs.");
        return;
    }
    u.clear();
    v.clear();

    MIntArray uvCounts;
    MIntArray uvIds;
    const unsigned int numPoly = static_cast<unsigned int>(geometry._numPoly);
    if (uvCounts.setLength(numPoly).error() || uvIds.setLength(n).error())
    {
        MGlobal::displayError("[Korvane] failed to resize arrays for the UV mapping.");
        return;
    }
    for (unsigned int i = 0; i < numPoly; ++i)
        uvCounts[i] = geometry._polyNumVert[i];
    for (unsigned int j = 0; j < n; ++j)
        uvIds[j] = static_cast<int>(j);
    if (meshFn.assignUVs(uvCounts, uvIds).error())
        MGlobal::displayError("[Korvane] failed to assign the UVs.");
}

} // namespace

void KorvaneWriteHostMesh(ZNQGeometry& geometry, MFnMesh& meshFn, MObject& meshData,
                          bool setOnlyVertices, MStatus& status)
{
    // Without positions, polygons or an index list the geometry holds nothing
    // the host could show; treat each missing array as an empty count.
    const int32_t numVert = geometry._vertPos && geometry._numVert > 0 ? geometry._numVert : 0;
    const int32_t numPoly =
        geometry._polyNumVert && geometry._polyVInd && geometry._numPoly > 0 ? geometry._numPoly : 0;
    const int64_t numNodes = numPoly > 0 ? geometry.NumNodes() : 0;

    // Sizes: every vertex always; all polygons, or only the first one.
    const bool firstOnly = setOnlyVertices && numPoly > 0;
    const int64_t countLength = firstOnly ? 1 : numPoly;
    const int64_t connectLength = firstOnly ? geometry._polyNumVert[0] : numNodes;

    MFloatPointArray points;
    MIntArray counts;
    MIntArray connects;
    if (connectLength > kMaxHostLength || points.setLength(static_cast<unsigned int>(numVert)).error() ||
        counts.setLength(static_cast<unsigned int>(countLength)).error() ||
        connects.setLength(static_cast<unsigned int>(connectLength)).error())
    {
        MGlobal::displayError("[Korvane] failed to resize an array.");
        status = MStatus::kInsufficientMemory;
        return;
    }

    const float3* pos = geometry._vertPos;
    for (int32_t i = 0; i < numVert; ++i)
        points.set(static_cast<unsigned int>(i), pos[i].x, pos[i].y, pos[i].z, 0.0f);
    for (int64_t i = 0; i < countLength; ++i)
        counts[static_cast<unsigned int>(i)] = geometry._polyNumVert[i];
    for (int64_t j = 0; j < connectLength; ++j)
        connects[static_cast<unsigned int>(j)] = geometry._polyVInd[j];

    meshFn.create(numVert, static_cast<int>(counts.length()), points, counts, connects, meshData,
                  &status);

    if (setOnlyVertices)
        return;

    // The optional data are independent: a failure is shown and the next one
    // still runs. A mesh without vertices (or nodes) has nothing to carry.
    if (geometry._nodeNrm && numVert > 0)
        WriteVertexNormals(geometry, meshFn, numVert);
    if (geometry._nodeCol && numVert > 0)
        WriteVertexColors(geometry, meshFn, numVert);
    if (geometry._nodeUvw && numNodes > 0)
        WriteUvs(geometry, meshFn, numNodes);
}
