// RealFlow binary mesh reader (.bin).
//
// Layout, all little-endian:
//   u32 0xDADADADA, u32 version (>= 3), then chunks, each a u32 code:
//   0xCCCCCCCC vertex chunk    i32 V, V x (f32 c, f32 b, f32 a), i32 F, F x 3 i32
//   0xCCCCCC00 texture chunk   i32 K, per vertex (K-1) x 4 bytes, then f32 u, v, w
//   0xCCCCCC11 velocity chunk  V x (f32 c, f32 b, f32 a)
//   anything else              end of the data
// RealFlow stores positions and velocities with their components reversed:
// the bytes of (1, 2, 3) in the file are the point x = 3, y = 2, z = 1.
//
// The file size is taken once after opening; every count is checked against
// the bytes that are left BEFORE anything is allocated, so a short hostile file
// claiming billions of vertices fails with the read error it would reach
// anyway, without asking for gigabytes first. Each array is then read with one
// FileRead straight into its final place.
#include "formats/ZNQFormats.h"

#include "errors/ZNQError.h"
#include "formats/ZNQReaderUtil.h"
#include "geometry/ZNQParallel.h"

#include <cstdint>
#include <cstring>

namespace {

constexpr uint32_t kMagic = 0xDADADADAu;
constexpr uint32_t kChunkVertex = 0xCCCCCCCCu;
constexpr uint32_t kChunkTexture = 0xCCCCCC00u;
constexpr uint32_t kChunkVelocity = 0xCCCCCC11u;
constexpr int64_t kTextureBlock = 1048576; // bytes of interleaved texture records per read

using znq_reader::InFile;

// (a, b, c) as stored becomes x = c, y = b, z = a; in fixed ranges.
void ReverseComponents(float3* v, int64_t count)
{
    znqpar::ForEachRange(count, [v](int64_t first, int64_t end) {
        for (int64_t i = first; i < end; ++i)
        {
            const float a = v[i].x;
            v[i].x = v[i].z;
            v[i].z = a;
        }
    });
}

// Drops what an earlier vertex chunk left: a new vertex chunk replaces the
// mesh, and texture coordinates or velocities read for the old one no longer
// fit it.
void DropMesh(ZNQGeometry& geometry)
{
    geometry._MemFree(geometry._vertPos);
    geometry._MemFree(geometry._vertMotion);
    geometry._MemFree(geometry._polyNumVert);
    geometry._MemFree(geometry._polyVInd);
    geometry._MemFree(geometry._nodeUvw);
    geometry._numVert = 0;
    geometry._numPoly = 0;
}

// The vertex chunk after its code. done is set when V = 0 ends the read.
int32_t ReadVertexChunk(ZNQGeometry& geometry, InFile& in, bool& done)
{
    DropMesh(geometry);
    int32_t numVert;
    if (!in.ReadI32(numVert))
        return ZNQ_ERR_LOAD_READ;
    if (numVert == 0)
    {
        // An empty mesh ends the whole read; nothing after it is looked at.
        geometry._vertPos = geometry._MemAllocArr<float3>(1, true);
        done = true;
        return geometry._vertPos ? ZNQ_OK : ZNQ_ERR_LOAD_MEMORY;
    }
    if (numVert < 0)
    {
        PlaceAtOffset(in.place, FileTell(in.f) - 4, in.section, "negative count %d", numVert);
        return ZNQ_ERR_LOAD_MEMORY; // no block for a negative count
    }
    if (!in.Holds(numVert, 12))
        return ZNQ_ERR_LOAD_READ;
    geometry._vertPos = geometry._MemAllocArr<float3>(static_cast<size_t>(numVert), false);
    if (!geometry._vertPos)
        return ZNQ_ERR_LOAD_MEMORY;
    if (!in.ReadBytes(geometry._vertPos, 12 * static_cast<int64_t>(numVert)))
        return ZNQ_ERR_LOAD_READ;
    ReverseComponents(geometry._vertPos, numVert);
    geometry._numVert = numVert;

    int32_t numTri;
    if (!in.ReadI32(numTri))
        return ZNQ_ERR_LOAD_READ;
    if (numTri < 0)
    {
        PlaceAtOffset(in.place, FileTell(in.f) - 4, in.section, "negative count %d", numTri);
        return ZNQ_ERR_MEMORY; // no block for a negative count
    }
    if (!in.Holds(numTri, 12))
        return ZNQ_ERR_LOAD_READ;
    // 10, not 127: a refused polygon array has always reported the core's memory code.
    geometry._polyNumVert = geometry._MemAllocArr<uint8_t>(static_cast<size_t>(numTri), false);
    if (!geometry._polyNumVert)
        return ZNQ_ERR_MEMORY;
    std::memset(geometry._polyNumVert, 3, static_cast<size_t>(numTri));
    geometry._polyVInd = geometry._MemAllocArr<int32_t>(3 * static_cast<size_t>(numTri), false);
    if (!geometry._polyVInd)
        return ZNQ_ERR_MEMORY;
    geometry._numPoly = numTri;
    if (!in.ReadBytes(geometry._polyVInd, 12 * static_cast<int64_t>(numTri)))
        return ZNQ_ERR_LOAD_READ;
    return ZNQ_OK;
}

// The texture chunk after its code: per vertex K-1 values to skip, then u, v, w.
int32_t ReadTextureChunk(ZNQGeometry& geometry, InFile& in, bool loadUvws)
{
    int32_t fluids;
    if (!in.ReadI32(fluids))
        return ZNQ_ERR_LOAD_READ;
    const int64_t numVert = geometry._numVert;
    const int64_t skip = fluids > 1 ? 4 * (static_cast<int64_t>(fluids) - 1) : 0;
    const int64_t record = skip + 12;
    // Every record must be in the file: otherwise the read of some vertex's
    // coordinates would come up short.
    if (!in.Holds(numVert, record))
        return ZNQ_ERR_LOAD_READ;
    if (!loadUvws)
        return in.Skip(numVert * record) ? ZNQ_OK : ZNQ_ERR_LOAD_READ;

    ZNQScopedArray<float3> perVert(geometry, static_cast<size_t>(numVert), false);
    if (!perVert.ptr)
        return ZNQ_ERR_MEMORY;
    if (skip == 0)
    {
        if (!in.ReadBytes(perVert.ptr, 12 * numVert))
            return ZNQ_ERR_LOAD_READ;
    }
    else if (record <= kTextureBlock)
    {
        // Interleaved records: read whole blocks and pick the coordinates.
        const int64_t perBlock = kTextureBlock / record;
        const int64_t blockVerts = perBlock < numVert ? perBlock : numVert;
        ZNQScopedArray<unsigned char> block(geometry, static_cast<size_t>(blockVerts * record), false);
        if (!block.ptr)
            return ZNQ_ERR_MEMORY;
        for (int64_t i = 0; i < numVert; i += blockVerts)
        {
            const int64_t n = (numVert - i) < blockVerts ? (numVert - i) : blockVerts;
            if (!in.ReadBytes(block.ptr, n * record))
                return ZNQ_ERR_LOAD_READ;
            float3* to = perVert.ptr + i;
            const unsigned char* from = block.ptr + skip;
            znqpar::ForEachRange(n, [=](int64_t first, int64_t end) {
                for (int64_t j = first; j < end; ++j)
                    std::memcpy(&to[j], from + j * record, 12);
            });
        }
    }
    else
    {
        for (int64_t i = 0; i < numVert; ++i)
            if (!in.Skip(skip) || !in.ReadBytes(&perVert.ptr[i], 12))
                return ZNQ_ERR_LOAD_READ;
    }

    // Expand to the nodes: node k takes the coordinates of the vertex its
    // index names. An index outside the vertices reads nothing and gets
    // (0, 0, 0); the clean-up removes its triangle afterwards.
    const int64_t numNodes = 3 * static_cast<int64_t>(geometry._numPoly);
    float3* nodeUvw = geometry._MemAllocArr<float3>(static_cast<size_t>(numNodes), false);
    if (!nodeUvw)
        return ZNQ_ERR_MEMORY;
    const uint32_t limit = static_cast<uint32_t>(numVert);
    const int32_t* vind = geometry._polyVInd;
    const float3* uvw = perVert.ptr;
    znqpar::ForEachRange(numNodes, [=](int64_t first, int64_t end) {
        for (int64_t k = first; k < end; ++k)
        {
            const uint32_t v = static_cast<uint32_t>(vind[k]);
            nodeUvw[k] = v < limit ? uvw[v] : float3{0.0f, 0.0f, 0.0f};
        }
    });
    geometry._MemFree(geometry._nodeUvw); // a later chunk replaces an earlier one
    geometry._nodeUvw = nodeUvw;
    return ZNQ_OK;
}

// The velocity chunk after its code.
int32_t ReadVelocityChunk(ZNQGeometry& geometry, InFile& in, bool loadMotions)
{
    const int64_t numVert = geometry._numVert;
    if (!in.Holds(numVert, 12))
        return ZNQ_ERR_LOAD_READ;
    if (!loadMotions)
        return in.Skip(12 * numVert) ? ZNQ_OK : ZNQ_ERR_LOAD_READ;
    float3* motion = geometry._MemAllocArr<float3>(static_cast<size_t>(numVert), false);
    if (!motion)
        return ZNQ_ERR_LOAD_MEMORY;
    if (!in.ReadBytes(motion, 12 * numVert))
    {
        geometry._MemFree(motion);
        return ZNQ_ERR_LOAD_READ;
    }
    ReverseComponents(motion, numVert);
    geometry._MemFree(geometry._vertMotion);
    geometry._vertMotion = motion;
    return ZNQ_OK;
}

int32_t ReadChunks(ZNQGeometry& geometry, InFile& in, bool loadMotions, bool loadUvws)
{
    uint32_t magic = 0, version = 0;
    if (!in.ReadU32(magic) || !in.ReadU32(version) || magic != kMagic || version < 3)
    {
        PlaceReset(in.place); // a short read here is just "not this format"
        if (magic != kMagic)
            PlaceAtOffset(in.place, 0, in.section, "no RealFlow mesh header");
        else
            PlaceAtOffset(in.place, 4, in.section, "version %u, 3 or later expected", version);
        return ZNQ_ERR_UNKNOWN_FORMAT;
    }

    bool haveVertices = false;
    for (;;)
    {
        uint32_t code;
        in.section = "chunk code";
        if (!in.ReadU32(code))
            return ZNQ_ERR_LOAD_READ;
        int32_t rc;
        if (code == kChunkVertex)
        {
            in.section = "vertex chunk";
            haveVertices = true;
            bool done = false;
            rc = ReadVertexChunk(geometry, in, done);
            if (rc || done)
                return rc;
        }
        else if (code == kChunkTexture || code == kChunkVelocity)
        {
            if (!haveVertices)
            {
                PlaceAtOffset(in.place, FileTell(in.f) - 4, in.section, "chunk before the vertex chunk");
                return ZNQ_ERR_UNKNOWN_FORMAT;
            }
            in.section = code == kChunkTexture ? "texture chunk" : "velocity chunk";
            rc = code == kChunkTexture ? ReadTextureChunk(geometry, in, loadUvws)
                                       : ReadVelocityChunk(geometry, in, loadMotions);
            if (rc)
                return rc;
        }
        else
        {
            if (!haveVertices)
                PlaceAtOffset(in.place, FileTell(in.f) - 4, in.section, "chunk code 0x%08X, no vertex chunk before it",
                              code);
            return haveVertices ? ZNQ_OK : ZNQ_ERR_UNKNOWN_FORMAT;
        }
    }
}

} // namespace

int32_t ReadRealFlowBin(ZNQGeometry& geometry, const char* path, bool loadMotions, bool loadUvws,
                        ZNQLoadPlace* place)
{
    // A stream that cannot seek cannot be measured: a read error here.
    return znq_reader::ReadWithCleanUp(geometry, path, place, ZNQ_ERR_LOAD_READ, [&](InFile& in) {
        return ReadChunks(geometry, in, loadMotions, loadUvws);
    });
}
