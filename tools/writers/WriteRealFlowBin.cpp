#include "WriteRealFlowBin.h"

#include <cstdio>
#include <cstring>

#include "errors/ZNQError.h"

namespace {

void Put(std::vector<uint8_t>& out, const void* data, size_t bytes)
{
    const uint8_t* b = static_cast<const uint8_t*>(data);
    out.insert(out.end(), b, b + bytes);
}
void PutU32(std::vector<uint8_t>& out, uint32_t v)
{
    Put(out, &v, 4); // little-endian host
}
void PutI32(std::vector<uint8_t>& out, int32_t v)
{
    Put(out, &v, 4);
}
// x, y, z as RealFlow stores them: z, y, x.
void PutReversed(std::vector<uint8_t>& out, const float3& v)
{
    const float r[3] = {v.z, v.y, v.x};
    Put(out, r, 12);
}

} // namespace

int32_t WriteRealFlowBinToBuffer(const ZNQGeometry& g, const RealFlowBinWriteOptions& o,
                                 std::vector<uint8_t>& out)
{
    if (!g._vertPos || g._numVert < 0 || g._numPoly < 0 || (g._numPoly > 0 && (!g._polyNumVert || !g._polyVInd)))
        return ZNQ_ERR_SAVE_INVALID_GEOMETRY;
    for (int32_t p = 0; p < g._numPoly; ++p)
        if (g._polyNumVert[p] != 3)
            return ZNQ_ERR_SAVE_INVALID_GEOMETRY;

    PutU32(out, 0xDADADADAu);
    PutU32(out, o.version);
    PutU32(out, 0xCCCCCCCCu);
    PutI32(out, g._numVert);
    for (int32_t v = 0; v < g._numVert; ++v)
        PutReversed(out, g._vertPos[v]);
    PutI32(out, g._numPoly);
    if (g._numPoly > 0)
        Put(out, g._polyVInd, 12 * static_cast<size_t>(g._numPoly));

    auto texture = [&]() {
        if (!o.writeUvws || !g._nodeUvw)
            return;
        std::vector<float3> perVert(static_cast<size_t>(g._numVert), float3{0.0f, 0.0f, 0.0f});
        const int64_t nodes = 3 * static_cast<int64_t>(g._numPoly);
        for (int64_t k = 0; k < nodes; ++k)
        {
            const int32_t v = g._polyVInd[k];
            if (v >= 0 && v < g._numVert)
                perVert[static_cast<size_t>(v)] = g._nodeUvw[k];
        }
        PutU32(out, 0xCCCCCC00u);
        PutI32(out, o.fluidCount);
        const uint8_t filler[4] = {0xEE, 0xEE, 0xEE, 0xEE};
        for (int32_t v = 0; v < g._numVert; ++v)
        {
            for (int32_t f = 1; f < o.fluidCount; ++f)
                Put(out, filler, 4);
            Put(out, &perVert[static_cast<size_t>(v)], 12);
        }
    };
    auto velocity = [&]() {
        if (!o.writeMotions || !g._vertMotion)
            return;
        PutU32(out, 0xCCCCCC11u);
        for (int32_t v = 0; v < g._numVert; ++v)
            PutReversed(out, g._vertMotion[v]);
    };
    if (o.velocityFirst)
    {
        velocity();
        texture();
    }
    else
    {
        texture();
        velocity();
    }
    if (o.writeEndCode)
        PutU32(out, 0);
    return ZNQ_OK;
}

int32_t WriteRealFlowBin(const ZNQGeometry& geometry, const char* path,
                         const RealFlowBinWriteOptions& options)
{
    std::vector<uint8_t> bytes;
    const int32_t rc = WriteRealFlowBinToBuffer(geometry, options, bytes);
    if (rc)
        return rc;
    FILE* f = path ? std::fopen(path, "wb") : nullptr;
    if (!f)
        return ZNQ_ERR_SAVE_OPEN;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return (std::fclose(f) == 0 && ok) ? ZNQ_OK : ZNQ_ERR_SAVE_WRITE;
}
