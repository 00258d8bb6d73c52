// Reader of .znq, Korvane's binary chunk cache format.
//
// Layout (little-endian):
//   24 bytes   "    ZNQ-File-Format    " + NUL   (first 23 bytes compared)
//   chunks     u32 type, 24-byte name, u32 payload size, payload
//   24 bytes   "   >> END OF FILE <<   " + NUL   (first 23 bytes compared)
//
// The mesh chunk (positions, corner counts, 16- or 32-bit indices) is always
// read; optional chunks (normals, motions, colours, UVWs, user data) only when
// selected, the first chunk of an item winning. Per-vertex normals, colours and
// UVWs become per-node data on reading. Every count is checked against the
// bytes left in the file before its array is allocated.
#include <cstring>

#include "errors/ZNQError.h"
#include "formats/ZNQFormats.h"
#include "formats/ZNQReaderUtil.h"

using znq_reader::InFile;

namespace
{

const char kZnqHeader[] = "    ZNQ-File-Format    ";
const char kZnqTrailer[] = "   >> END OF FILE <<   ";
static_assert(sizeof(kZnqHeader) == 24 && sizeof(kZnqTrailer) == 24, "23 characters + NUL");

enum : uint32_t
{
    kChunkMesh = 0x0ABC0001u,
    kChunkNrmVert = 0xDA7A0001u,
    kChunkNrmNode = 0xDA7A0011u,
    kChunkMotVert = 0xDA7A0002u,
    kChunkColVert = 0xDA7A0003u,
    kChunkColNode = 0xDA7A0013u,
    kChunkUvwVert = 0xDA7A0004u,
    kChunkUvwNode = 0xDA7A0014u,
    kChunkUser4 = 0xDA7A0100u,
    kChunkUser3 = 0xDA7A0200u, // + channel 0..1
    kChunkUser1 = 0xDA7A0300u, // + channel 0..3
    kChunkPrescan = 0xE5100000u,
};

// Negative counts, a bad index width and optional data before the mesh have
// no code of their own: they are reported as "unknown error.".
const int32_t kErrZnqStructure = -1;

struct ChunkHead
{
    uint32_t type;
    uint32_t size;
};

// Reads type, name (ignored) and payload size.
bool ReadChunkHead(InFile& in, ChunkHead& head)
{
    unsigned char raw[32];
    if (!in.ReadBytes(raw, 32))
        return false;
    std::memcpy(&head.type, raw, 4);
    std::memcpy(&head.size, raw + 28, 4);
    return true;
}

// Forward over a payload. Bytes that are not in the file count as a short
// read (128), as the trailer test right after would find; a seek the stream
// refuses is 129.
int32_t SkipPayload(InFile& in, int64_t bytes)
{
    if (bytes > in.Remaining())
    {
        if (in.place)
            PlaceAtOffset(in.place, FileTell(in.f), in.section, "payload of %lld bytes past the end of the file",
                          static_cast<long long>(bytes));
        return ZNQ_ERR_LOAD_READ;
    }
    if (bytes > 0 && FileSeek(in.f, bytes, SEEK_CUR) != 0)
        return ZNQ_ERR_LOAD_SEEK;
    return ZNQ_OK;
}

// Reads the next 24 bytes: atEnd when they are the trailer, otherwise steps
// back so that they are read again as the next chunk head.
int32_t TestTrailer(InFile& in, bool& atEnd)
{
    char buf[24];
    atEnd = false;
    if (!in.ReadBytes(buf, 24))
        return ZNQ_ERR_LOAD_READ;
    if (std::memcmp(buf, kZnqTrailer, 23) == 0)
    {
        atEnd = true;
        return ZNQ_OK;
    }
    return FileSeek(in.f, -24, SEEK_CUR) == 0 ? ZNQ_OK : ZNQ_ERR_LOAD_SEEK;
}

// Walks the chunk heads up to the trailer (or a non-zero pre-scan value) so
// that a file with a broken chunk chain fails before anything is allocated.
int32_t Prescan(InFile& in)
{
    for (;;)
    {
        ChunkHead head;
        if (!ReadChunkHead(in, head))
            return ZNQ_ERR_LOAD_READ;
        uint32_t value = 0;
        int64_t rest = head.size;
        if (head.type == kChunkPrescan && head.size >= 4)
        {
            if (!in.ReadU32(value))
                return ZNQ_ERR_LOAD_READ;
            rest -= 4;
        }
        // Always continue at the end of the payload, as the main pass does.
        int32_t rc = SkipPayload(in, rest);
        if (rc)
            return rc;
        if (value != 0)
            return ZNQ_OK;
        bool atEnd;
        rc = TestTrailer(in, atEnd);
        if (rc || atEnd)
            return rc;
    }
}

// Mesh chunk. A second mesh chunk replaces the whole first mesh, including
// any optional data read for it (those counts would no longer match).
// done is set when V = 0: the read ends there with an empty mesh.
int32_t ReadMeshChunk(ZNQGeometry& geo, InFile& in, int64_t& numNodes, bool& done)
{
    if (geo._vertPos || geo._polyNumVert)
        geo.Clear();
    numNodes = 0;

    int32_t numVert;
    if (!in.ReadI32(numVert))
        return ZNQ_ERR_LOAD_READ;
    if (numVert < 0)
    {
        in.NoteCount(numVert);
        return kErrZnqStructure;
    }
    if (numVert == 0)
    {
        geo._vertPos = geo._MemAllocArr<float3>(1, true);
        if (!geo._vertPos)
            return ZNQ_ERR_LOAD_MEMORY;
        done = true;
        return ZNQ_OK;
    }
    if (!in.Holds(numVert, 12))
        return ZNQ_ERR_LOAD_READ;
    geo._vertPos = geo._MemAllocArr<float3>(static_cast<size_t>(numVert), false);
    if (!geo._vertPos)
        return ZNQ_ERR_LOAD_MEMORY;
    geo._numVert = numVert;
    if (!in.ReadBytes(geo._vertPos, int64_t(numVert) * 12))
        return ZNQ_ERR_LOAD_READ;

    int32_t numPoly;
    if (!in.ReadI32(numPoly))
        return ZNQ_ERR_LOAD_READ;
    if (numPoly < 0)
    {
        in.NoteCount(numPoly);
        return kErrZnqStructure;
    }
    if (!in.Holds(numPoly, 1))
        return ZNQ_ERR_LOAD_READ;
    geo._polyNumVert = geo._MemAllocArr<uint8_t>(static_cast<size_t>(numPoly), false);
    if (!geo._polyNumVert)
        return ZNQ_ERR_LOAD_MEMORY;
    geo._numPoly = numPoly;
    if (!in.ReadBytes(geo._polyNumVert, numPoly))
        return ZNQ_ERR_LOAD_READ;

    int32_t width;
    if (!in.ReadI32(width))
        return ZNQ_ERR_LOAD_READ;
    if (width != 2 && width != 4)
    {
        if (in.place)
            PlaceAtOffset(in.place, FileTell(in.f) - 4, in.section, "index width %d, 2 or 4 expected", width);
        return kErrZnqStructure;
    }

    // The node count: an integer sum, the same in any order.
    int64_t nodes = 0;
    const uint8_t* counts = geo._polyNumVert;
    const int32_t ranges = znqpar::RangesFor(numPoly);
#pragma omp parallel for schedule(static, 1) reduction(+ : nodes) num_threads(ranges) if (ranges > 1)
    for (int32_t r = 0; r < ranges; ++r)
        nodes += znqpar::SumCounts(counts, znqpar::RangeStart(numPoly, ranges, r),
                                   znqpar::RangeStart(numPoly, ranges, r + 1));
    if (!in.Holds(nodes, width))
        return ZNQ_ERR_LOAD_READ;
    geo._polyVInd = geo._MemAllocArr<int32_t>(static_cast<size_t>(nodes), false);
    if (!geo._polyVInd)
        return ZNQ_ERR_LOAD_MEMORY;
    if (width == 4)
    {
        if (!in.ReadBytes(geo._polyVInd, nodes * 4))
            return ZNQ_ERR_LOAD_READ;
    }
    else
    {
        // 16-bit indices go to the back half of the index array and are
        // widened, without sign, in place.
        if (!in.ReadBytes(reinterpret_cast<unsigned char*>(geo._polyVInd) + 2 * nodes, 2 * nodes))
            return ZNQ_ERR_LOAD_READ;
        znq_reader::WidenInPlace<int32_t>(geo._polyVInd, nodes,
                                          [](uint16_t v) { return static_cast<int32_t>(v); });
    }
    numNodes = nodes;
    return ZNQ_OK;
}

// The optional items by slot.
enum ItemSlot
{
    kSlotNrm,
    kSlotMot,
    kSlotCol,
    kSlotUvw,
    kSlotUser4,
    kSlotUser3,     // + channel 0..1
    kSlotUser1 = kSlotUser3 + 2, // + channel 0..3
};

// One optional item: where it goes, how the file stores it.
struct OptionalItem
{
    int slot;
    int comps;          // floats per element
    bool isHalf;        // f16 in the file, else 32-bit values
    bool storedPerNode; // the geometry keeps it per node
    bool filePerNode;   // the chunk holds one element per node
    bool selected;
};

bool HoldsItem(const ZNQGeometry& geo, int slot)
{
    switch (slot)
    {
    case kSlotNrm: return geo._nodeNrm != nullptr;
    case kSlotMot: return geo._vertMotion != nullptr;
    case kSlotCol: return geo._nodeCol != nullptr;
    case kSlotUvw: return geo._nodeUvw != nullptr;
    case kSlotUser4: return geo._vertUser4 != nullptr;
    default: break;
    }
    if (slot < kSlotUser1)
        return geo._vertUser3[slot - kSlotUser3] != nullptr;
    return geo._vertUser1[slot - kSlotUser1] != nullptr;
}

void InstallItem(ZNQGeometry& geo, int slot, float* values)
{
    switch (slot)
    {
    case kSlotNrm: geo._nodeNrm = reinterpret_cast<float3*>(values); return;
    case kSlotMot: geo._vertMotion = reinterpret_cast<float3*>(values); return;
    case kSlotCol: geo._nodeCol = reinterpret_cast<float4*>(values); return;
    case kSlotUvw: geo._nodeUvw = reinterpret_cast<float3*>(values); return;
    case kSlotUser4: geo._vertUser4 = reinterpret_cast<float4*>(values); return;
    default: break;
    }
    if (slot < kSlotUser1)
        geo._vertUser3[slot - kSlotUser3] = reinterpret_cast<float3*>(values);
    else
        geo._vertUser1[slot - kSlotUser1] = values;
}

// Classifies a chunk type; false for the mesh, pre-scan and unknown types.
// select: loadNormals, loadMotions, loadColors, loadUvws.
bool DescribeChunk(uint32_t type, const bool select[4], const uint8_t* userData4,
                   const uint8_t* userData3, const uint8_t* userData1, OptionalItem& item)
{
    auto set = [&](int slot, int comps, bool isHalf, bool perNode, bool filePerNode, bool sel) {
        item = {slot, comps, isHalf, perNode, filePerNode, sel};
        return true;
    };
    switch (type)
    {
    case kChunkNrmVert: return set(kSlotNrm, 3, true, true, false, select[0]);
    case kChunkNrmNode: return set(kSlotNrm, 3, true, true, true, select[0]);
    case kChunkMotVert: return set(kSlotMot, 3, true, false, false, select[1]);
    case kChunkColVert: return set(kSlotCol, 4, true, true, false, select[2]);
    case kChunkColNode: return set(kSlotCol, 4, true, true, true, select[2]);
    case kChunkUvwVert: return set(kSlotUvw, 3, false, true, false, select[3]);
    case kChunkUvwNode: return set(kSlotUvw, 3, false, true, true, select[3]);
    case kChunkUser4: return set(kSlotUser4, 4, false, false, false, userData4 && userData4[0]);
    default: break;
    }
    // User data: two 3-component and four 1-component channels.
    if (type - kChunkUser3 < 2u)
    {
        const uint32_t k = type - kChunkUser3;
        return set(kSlotUser3 + int(k), 3, false, false, false, userData3 && userData3[k]);
    }
    if (type - kChunkUser1 < 4u)
    {
        const uint32_t k = type - kChunkUser1;
        return set(kSlotUser1 + int(k), 1, false, false, false, userData1 && userData1[k]);
    }
    return false;
}

int32_t ReadOptionalChunk(ZNQGeometry& geo, InFile& in, const OptionalItem& item, int64_t numNodes)
{
    const bool hasMesh = geo._vertPos && geo._numVert > 0;
    const bool needsNodes = item.storedPerNode || item.filePerNode;
    if (!hasMesh || (needsNodes && (!geo._polyNumVert || !geo._polyVInd)))
    {
        in.Note("optional data before the mesh");
        return kErrZnqStructure;
    }

    int32_t count;
    if (!in.ReadI32(count))
        return ZNQ_ERR_LOAD_READ;
    const int64_t expected = item.filePerNode ? numNodes : geo._numVert;
    if (count != expected)
    {
        if (in.place)
            PlaceAtOffset(in.place, FileTell(in.f) - 4, in.section, "count %d, %lld expected", count,
                          static_cast<long long>(expected));
        return ZNQ_ERR_LOAD_USERDATA_COUNT;
    }

    const int64_t valueBytes = item.isHalf ? 2 : 4;
    const int64_t values = int64_t(count) * item.comps;
    if (!in.Holds(values, valueBytes))
        return ZNQ_ERR_LOAD_READ;

    const int64_t outElems = item.storedPerNode ? numNodes : geo._numVert;
    ZNQScopedArray<float> out(geo, static_cast<size_t>(outElems * item.comps), false);
    if (!out.ptr)
        return ZNQ_ERR_LOAD_MEMORY;

    if (item.filePerNode || !item.storedPerNode)
    {
        // One element in the file per element in memory: read in bulk.
        const bool ok = item.isHalf ? znq_reader::ReadHalfsAsFloats(in, out.ptr, values)
                                    : in.ReadBytes(out.ptr, values * 4);
        if (!ok)
            return ZNQ_ERR_LOAD_READ;
    }
    else
    {
        // Per-vertex values expanded to nodes: read the raw block, then gather.
        ZNQScopedArray<unsigned char> raw(geo, static_cast<size_t>(values * valueBytes), false);
        if (!raw.ptr)
            return ZNQ_ERR_LOAD_MEMORY;
        if (!in.ReadBytes(raw.ptr, values * valueBytes))
            return ZNQ_ERR_LOAD_READ;
        if (item.isHalf)
        {
            znq_reader::GatherHalfsToNodes(reinterpret_cast<const uint16_t*>(raw.ptr), item.comps,
                                           geo._numVert, geo._polyVInd, numNodes, out.ptr);
        }
        else
        {
            // Only UVWs come as 32-bit per-vertex values to be expanded.
            znq_reader::GatherToNodes(reinterpret_cast<const float3*>(raw.ptr), geo._numVert,
                                      geo._polyVInd, numNodes, reinterpret_cast<float3*>(out.ptr));
        }
    }
    InstallItem(geo, item.slot, out.release());
    return ZNQ_OK;
}

// The name of a chunk type, as the notes of a failure say it.
const char* ChunkName(uint32_t type)
{
    switch (type)
    {
    case kChunkMesh: return "mesh chunk";
    case kChunkNrmVert:
    case kChunkNrmNode: return "normals chunk";
    case kChunkMotVert: return "motions chunk";
    case kChunkColVert:
    case kChunkColNode: return "colors chunk";
    case kChunkUvwVert:
    case kChunkUvwNode: return "uvws chunk";
    case kChunkPrescan: return "pre-scan chunk";
    default: break;
    }
    if ((type & 0xFFFFFF00u) == kChunkUser4 || (type & 0xFFFFFF00u) == kChunkUser3 ||
        (type & 0xFFFFFF00u) == kChunkUser1)
        return "user data chunk";
    return "unknown chunk";
}

int32_t ReadZnqFile(ZNQGeometry& geo, InFile& in, const bool select[4], const uint8_t* userData4,
                    const uint8_t* userData3, const uint8_t* userData1)
{
    char header[24];
    if (!in.ReadBytes(header, 24))
        return ZNQ_ERR_LOAD_READ;
    if (std::memcmp(header, kZnqHeader, 23) != 0)
    {
        if (in.place)
            PlaceAtOffset(in.place, 0, in.section, "no .znq header");
        return ZNQ_ERR_UNKNOWN_FORMAT;
    }

    in.section = "chunk chain";
    int32_t rc = Prescan(in);
    if (rc)
        return rc;
    if (FileSeek(in.f, 24, SEEK_SET) != 0)
        return ZNQ_ERR_LOAD_SEEK;

    int64_t numNodes = 0;
    for (;;)
    {
        ChunkHead head;
        in.section = "chunk head";
        if (!ReadChunkHead(in, head))
            return ZNQ_ERR_LOAD_READ;

        in.section = ChunkName(head.type);
        if (head.type == kChunkMesh)
        {
            bool done = false;
            rc = ReadMeshChunk(geo, in, numNodes, done);
            if (rc || done)
                return rc;
        }
        else
        {
            OptionalItem item{};
            const bool known =
                DescribeChunk(head.type, select, userData4, userData3, userData1, item);
            if (known && item.selected && !HoldsItem(geo, item.slot))
                rc = ReadOptionalChunk(geo, in, item, numNodes);
            else
                rc = SkipPayload(in, head.size); // unknown, pre-scan, deselected or held
            if (rc)
                return rc;
        }

        bool atEnd;
        in.section = "trailer";
        rc = TestTrailer(in, atEnd);
        if (rc || atEnd)
            return rc;
    }
}

} // namespace

int32_t ReadZnq(ZNQGeometry& geometry, const char* path, bool loadNormals, bool loadMotions,
                bool loadColors, bool loadUvws, const uint8_t* userData4, const uint8_t* userData3,
                const uint8_t* userData1, ZNQLoadPlace* place)
{
    const bool select[4] = {loadNormals, loadMotions, loadColors, loadUvws};
    return znq_reader::ReadWithCleanUp(geometry, path, place, ZNQ_ERR_LOAD_SEEK, [&](InFile& in) {
        const int32_t rc = ReadZnqFile(geometry, in, select, userData4, userData3, userData1);
        in.NoteFailure(rc);
        return rc;
    });
}
