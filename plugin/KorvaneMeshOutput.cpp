// Host mesh output: the finished geometry as the mesh of the node's output.
#include <cstdint>
#include <cstring>

#include <maya/MColor.h>
#include <maya/MColorArray.h>
#include <maya/MFloatArray.h>
#include <maya/MFloatPoint.h>
#include <maya/MFloatPointArray.h>
#include <maya/MFnMesh.h>
#include <maya/MGlobal.h>
#include <maya/MIntArray.h>
#include <maya/MString.h>
#include <maya/MVectorArray.h>

#include "geometry/ZNQParallel.h"
#include "plugin/KorvaneEvaluate.h"
#include "plugin/KorvaneNode.h"

namespace {

// Host arrays are indexed with unsigned int and mesh sizes are int.
constexpr int64_t kMaxHostLength = 0x7fffffff;

// The elements of a host array sized to n, as one plain block, or null when
// the host does not hand them out contiguously (or n is 0). The host's arrays
// are contiguous, so the conversion writes them in one pass instead of one
// call per element; the element-wise fallback gives the same result.
template <class Array>
auto Block(Array& array, unsigned int n) -> decltype(&array[0])
{
    if (n == 0)
        return nullptr;
    auto* first = &array[0];
    return &array[n - 1] == first + (n - 1) ? first : nullptr;
}

// The host's int arrays from the geometry's: corner counts widened, the
// index list copied as it is; in fixed ranges on the run time's threads.
void CopyCounts(const uint8_t* counts, int* out, int64_t n)
{
    znqpar::ForEachRange(n, [&](int64_t first, int64_t end) {
        for (int64_t i = first; i < end; ++i)
            out[i] = counts[i];
    });
}

void CopyIndices(const int32_t* indices, int* out, int64_t n)
{
    static_assert(sizeof(int) == sizeof(int32_t), "the host's ints are the index list as it is");
    znqpar::ForEachRange(n, [&](int64_t first, int64_t end) {
        std::memcpy(out + first, indices + first, sizeof(int) * static_cast<size_t>(end - first));
    });
}

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
    const float* vertNrm = KorvaneVertexNormals(geometry);
    if (!vertNrm)
    {
        MGlobal::displayError("[Korvane] failed to get the source vertex normals.");
        return;
    }
    MVector* nrmBlock = Block(normals, n);
    int* idBlock = Block(vertexIds, n);
    if (nrmBlock && idBlock)
    {
        znqpar::ForEachRange(n, [&](int64_t first, int64_t end) {
            for (int64_t i = first; i < end; ++i)
            {
                nrmBlock[i].x = vertNrm[3 * i];
                nrmBlock[i].y = vertNrm[3 * i + 1];
                nrmBlock[i].z = vertNrm[3 * i + 2];
                idBlock[i] = static_cast<int>(i);
            }
        });
    }
    else
    {
        for (unsigned int i = 0; i < n; ++i)
        {
            MVector& v = normals[i];
            v.x = vertNrm[3 * i];
            v.y = vertNrm[3 * i + 1];
            v.z = vertNrm[3 * i + 2];
            vertexIds[i] = static_cast<int>(i);
        }
    }
    if (meshFn.setVertexNormals(normals, vertexIds, MSpace::kObject).error())
        MGlobal::displayError("[Korvane] failed to assign the vertex normals.");
}

void WriteVertexColors(ZNQGeometry& geometry, MFnMesh& meshFn, int32_t numVert)
{
    const float* vertCol = KorvaneVertexColors(geometry);
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
    // MColor::set with kRGB stores the four values as they are.
    MColor* colBlock = Block(colors, n);
    int* idBlock = Block(vertexIds, n);
    if (colBlock && idBlock)
    {
        znqpar::ForEachRange(n, [&](int64_t first, int64_t end) {
            for (int64_t i = first; i < end; ++i)
            {
                idBlock[i] = static_cast<int>(i);
                const float* c = vertCol + 4 * i;
                colBlock[i].r = c[0];
                colBlock[i].g = c[1];
                colBlock[i].b = c[2];
                colBlock[i].a = c[3];
            }
        });
    }
    else
    {
        for (unsigned int i = 0; i < n; ++i)
        {
            vertexIds[i] = static_cast<int>(i);
            const float* c = vertCol + 4 * i;
            colors[i].set(MColor::kRGB, c[0], c[1], c[2], c[3]);
        }
    }
    if (meshFn.setVertexColors(colors, vertexIds).error())
        MGlobal::displayError("[Korvane] failed to set vertex colors.");
}

// One normal per corner, the node normals as they are: the cache's hard
// edges survive, where the per-vertex mean would round them off.
void WriteCornerNormals(const KorvaneMeshView& mesh, MFnMesh& meshFn)
{
    MVectorArray normals;
    MIntArray faceIds;
    MIntArray vertexIds;
    const unsigned int n = static_cast<unsigned int>(mesh.numNodes);
    if (normals.setLength(n).error() || faceIds.setLength(n).error() || vertexIds.setLength(n).error())
    {
        MGlobal::displayError("[Korvane] failed to resize arrays for the corner normals.");
        return;
    }
    const float* nrm = mesh.nodeNrm;
    unsigned int j = 0;
    for (int32_t p = 0; p < mesh.numPoly; ++p)
    {
        const unsigned int end = j + mesh.polyNumVert[p];
        for (; j < end; ++j)
        {
            MVector& v = normals[j];
            v.x = nrm[3 * static_cast<size_t>(j)];
            v.y = nrm[3 * static_cast<size_t>(j) + 1];
            v.z = nrm[3 * static_cast<size_t>(j) + 2];
            faceIds[j] = static_cast<int>(p);
            vertexIds[j] = mesh.polyVInd[j];
        }
    }
    if (meshFn.setFaceVertexNormals(normals, faceIds, vertexIds, MSpace::kObject).error())
        MGlobal::displayError("[Korvane] failed to assign the corner normals.");
}

// The motion vectors as a colour set of their own, one colour per vertex
// (every corner of a vertex shares it), for renderers that blur from
// per-vertex velocities. The current colour set stays the one the vertex
// colours went to, so the viewport keeps showing the cache's own colours.
void WriteMotionColorSet(const KorvaneMeshView& mesh, MFnMesh& meshFn, const NodeSettings& settings,
                         float motionFactor)
{
    const MString name(settings.motionColorSet);
    MStatus st;
    const MString current = meshFn.currentColorSetName(kMFnMeshInstanceUnspecified, &st);
    meshFn.createColorSetWithNameDataMesh(name, false, MFnMesh::kRGB, &st);
    if (st.error())
    {
        MGlobal::displayError(MString("[Korvane] failed to create the motion color set \"") + name + "\".");
        return;
    }
    MColorArray colors;
    MIntArray colorIds;
    const unsigned int numVert = static_cast<unsigned int>(mesh.numVert);
    const unsigned int numNodes = static_cast<unsigned int>(mesh.numNodes);
    if (colors.setLength(numVert).error() || colorIds.setLength(numNodes).error())
    {
        MGlobal::displayError("[Korvane] failed to resize arrays for the motion color set.");
        return;
    }
    // Per frame as the chain left them, or per second at the scene's rate;
    // a held frame does not move (factor 0), a cache played backwards moves
    // the other way (factor -1).
    const bool held = motionFactor == 0.0f;
    float scale = motionFactor;
    if (settings.motionUnit == kMotionUnitPerSecond)
        scale *= settings.framesPerSecond;
    const float* motion = mesh.vertMotion;
    for (unsigned int i = 0; i < numVert; ++i)
    {
        MColor& c = colors[i];
        if (held)
            c.r = c.g = c.b = 0.0f; // +0, whatever the sign of the vector
        else
        {
            c.r = scale * motion[3 * static_cast<size_t>(i)];
            c.g = scale * motion[3 * static_cast<size_t>(i) + 1];
            c.b = scale * motion[3 * static_cast<size_t>(i) + 2];
        }
        c.a = 1.0f;
    }
    int* idBlock = Block(colorIds, numNodes);
    static_assert(sizeof(int) == sizeof(int32_t), "colour ids are the index list as it is");
    if (idBlock)
        CopyIndices(mesh.polyVInd, idBlock, numNodes);
    else
    {
        for (unsigned int j = 0; j < numNodes; ++j)
            colorIds[j] = mesh.polyVInd[j];
    }
    if (meshFn.setColors(colors, &name, MFnMesh::kRGB).error() || meshFn.assignColors(colorIds, &name).error())
        MGlobal::displayError(MString("[Korvane] failed to set the motion color set \"") + name + "\".");
    if (current.length() > 0)
        meshFn.setCurrentColorSetName(current);
}

// One UV per node in the default UV set; w is not passed on.
void WriteUvs(const KorvaneMeshView& mesh, MFnMesh& meshFn)
{
    MFloatArray u;
    MFloatArray v;
    const unsigned int n = static_cast<unsigned int>(mesh.numNodes);
    if (u.setLength(n).error() || v.setLength(n).error())
    {
        MGlobal::displayError("[Korvane] failed to resize arrays for the UVs.");
        return;
    }
    const float* uvw = mesh.nodeUvw;
    float* uBlock = Block(u, n);
    float* vBlock = Block(v, n);
    if (uBlock && vBlock)
    {
        znqpar::ForEachRange(n, [&](int64_t first, int64_t end) {
            for (int64_t j = first; j < end; ++j)
            {
                uBlock[j] = uvw[3 * j];
                vBlock[j] = uvw[3 * j + 1];
            }
        });
    }
    else
    {
        for (unsigned int j = 0; j < n; ++j)
        {
            u[j] = uvw[3 * j];
            v[j] = uvw[3 * j + 1];
        }
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
    const unsigned int numPoly = static_cast<unsigned int>(mesh.numPoly);
    if (uvCounts.setLength(numPoly).error() || uvIds.setLength(n).error())
    {
        MGlobal::displayError("[Korvane] failed to resize arrays for the UV mapping.");
        return;
    }
    int* countBlock = Block(uvCounts, numPoly);
    int* uvIdBlock = Block(uvIds, n);
    if (countBlock && uvIdBlock)
    {
        CopyCounts(mesh.polyNumVert, countBlock, numPoly);
        znqpar::ForEachRange(n, [&](int64_t first, int64_t end) {
            for (int64_t j = first; j < end; ++j)
                uvIdBlock[j] = static_cast<int>(j);
        });
    }
    else
    {
        for (unsigned int i = 0; i < numPoly; ++i)
            uvCounts[i] = mesh.polyNumVert[i];
        for (unsigned int j = 0; j < n; ++j)
            uvIds[j] = static_cast<int>(j);
    }
    if (meshFn.assignUVs(uvCounts, uvIds).error())
        MGlobal::displayError("[Korvane] failed to assign the UVs.");
}

} // namespace

void KorvaneWriteHostMesh(ZNQGeometry& geometry, MFnMesh& meshFn, MObject& meshData,
                          const NodeSettings& settings, float motionFactor, MStatus& status)
{
    const bool setOnlyVertices = settings.setOnlyVertices;
    const KorvaneMeshView mesh = KorvaneViewOf(geometry);

    // Sizes: every vertex always; all polygons, or only the first one.
    const bool firstOnly = setOnlyVertices && mesh.numPoly > 0;
    const int64_t countLength = firstOnly ? 1 : mesh.numPoly;
    const int64_t connectLength = firstOnly ? mesh.polyNumVert[0] : mesh.numNodes;

    MFloatPointArray points;
    MIntArray counts;
    MIntArray connects;
    if (connectLength > kMaxHostLength ||
        points.setLength(static_cast<unsigned int>(mesh.numVert)).error() ||
        counts.setLength(static_cast<unsigned int>(countLength)).error() ||
        connects.setLength(static_cast<unsigned int>(connectLength)).error())
    {
        MGlobal::displayError("[Korvane] failed to resize an array.");
        status = MStatus::kInsufficientMemory;
        return;
    }

    const float* pos = mesh.vertPos;
    const unsigned int numVert = static_cast<unsigned int>(mesh.numVert);
    const unsigned int numCounts = static_cast<unsigned int>(countLength);
    const unsigned int numConnects = static_cast<unsigned int>(connectLength);
    MFloatPoint* pointBlock = Block(points, numVert);
    if (pointBlock)
    {
        znqpar::ForEachRange(numVert, [&](int64_t first, int64_t end) {
            for (int64_t i = first; i < end; ++i)
            {
                pointBlock[i].x = pos[3 * i];
                pointBlock[i].y = pos[3 * i + 1];
                pointBlock[i].z = pos[3 * i + 2];
                pointBlock[i].w = 0.0f;
            }
        });
    }
    else
    {
        for (unsigned int i = 0; i < numVert; ++i)
            points.set(i, pos[3 * i], pos[3 * i + 1], pos[3 * i + 2], 0.0f);
    }
    int* countBlock = Block(counts, numCounts);
    if (countBlock)
        CopyCounts(mesh.polyNumVert, countBlock, numCounts);
    else
    {
        for (unsigned int i = 0; i < numCounts; ++i)
            counts[i] = mesh.polyNumVert[i];
    }
    int* connectBlock = Block(connects, numConnects);
    static_assert(sizeof(int) == sizeof(int32_t), "connects are the index list as it is");
    if (connectBlock)
        CopyIndices(mesh.polyVInd, connectBlock, numConnects);
    else
    {
        for (unsigned int j = 0; j < numConnects; ++j)
            connects[j] = mesh.polyVInd[j];
    }

    meshFn.create(mesh.numVert, static_cast<int>(counts.length()), points, counts, connects, meshData,
                  &status);

    if (setOnlyVertices)
        return;

    // The optional data are independent: a failure is shown and the next one
    // still runs. A mesh without vertices (or nodes) has nothing to carry.
    if (settings.normalsPerCorner && mesh.nodeNrm && mesh.numNodes > 0)
        WriteCornerNormals(mesh, meshFn);
    else if (mesh.hasNodeNormals && mesh.numVert > 0)
        WriteVertexNormals(geometry, meshFn, mesh.numVert);
    if (mesh.hasNodeColors && mesh.numVert > 0)
        WriteVertexColors(geometry, meshFn, mesh.numVert);
    if (mesh.nodeUvw && mesh.numNodes > 0)
        WriteUvs(mesh, meshFn);
    if (settings.motionColorSet[0] != '\0' && mesh.vertMotion && mesh.numNodes > 0)
        WriteMotionColorSet(mesh, meshFn, settings, motionFactor);
}
