// Writer of .znq chunk files. Layout: 24-byte header text, chunks (u32 type,
// 24-byte NUL-padded name, u32 payload size, payload), 24-byte trailer text;
// all numbers little-endian.
#include "WriteZnq.h"

#include <cstdio>
#include <cstring>

#include <Imath/half.h>

namespace
{

const char kHeader[24] = "    ZNQ-File-Format    ";
const char kTrailer[24] = "   >> END OF FILE <<   ";

struct Bytes
{
    std::vector<uint8_t>& out;
    void Put(const void* p, size_t n)
    {
        const uint8_t* b = static_cast<const uint8_t*>(p);
        out.insert(out.end(), b, b + n);
    }
    void U32(uint32_t v) { Put(&v, 4); }
    void I32(int32_t v) { Put(&v, 4); }
    void Half(float f)
    {
        const uint16_t bits = half(f).bits();
        Put(&bits, 2);
    }
    // Starts a chunk; returns the offset of its size field for EndChunk.
    size_t BeginChunk(uint32_t type, const char* name)
    {
        U32(type);
        char padded[24] = {};
        std::strncpy(padded, name, 23);
        Put(padded, 24);
        const size_t at = out.size();
        U32(0);
        return at;
    }
    void EndChunk(size_t sizeAt)
    {
        const uint32_t size = static_cast<uint32_t>(out.size() - sizeAt - 4);
        std::memcpy(out.data() + sizeAt, &size, 4);
    }
};

// Per-vertex values from per-node ones: the first node naming a vertex wins.
std::vector<float> PerVertex(const ZNQGeometry& geo, const float* nodeValues, int comps,
                             int64_t numNodes)
{
    std::vector<float> out(static_cast<size_t>(geo._numVert) * comps, 0.0f);
    std::vector<uint8_t> seen(static_cast<size_t>(geo._numVert), 0);
    for (int64_t k = 0; k < numNodes; ++k)
    {
        const int32_t v = geo._polyVInd[k];
        if (v < 0 || v >= geo._numVert || seen[static_cast<size_t>(v)])
            continue;
        seen[static_cast<size_t>(v)] = 1;
        std::memcpy(&out[static_cast<size_t>(v) * comps], nodeValues + k * comps,
                    sizeof(float) * comps);
    }
    return out;
}

// An optional chunk: count, then count x comps values, half or 32-bit.
void PutDataChunk(Bytes& w, uint32_t type, const char* name, const float* values, int64_t count,
                  int comps, bool asHalf)
{
    const size_t at = w.BeginChunk(type, name);
    w.I32(static_cast<int32_t>(count));
    const int64_t n = count * comps;
    if (asHalf)
        for (int64_t i = 0; i < n; ++i)
            w.Half(values[i]);
    else
        w.Put(values, static_cast<size_t>(n) * 4);
    w.EndChunk(at);
}

} // namespace

bool WriteZnqToMemory(const ZNQGeometry& geo, const ZnqWriteOptions& opt, std::vector<uint8_t>& out)
{
    out.clear();
    if (!geo._vertPos || geo._numVert < 0 || geo._numPoly < 0 ||
        (geo._numPoly > 0 && (!geo._polyNumVert || !geo._polyVInd)))
        return false;
    int64_t numNodes = 0;
    for (int32_t p = 0; p < geo._numPoly; ++p)
        numNodes += geo._polyNumVert[p];
    if (numNodes > INT32_MAX)
        return false;
    if (opt.indices16)
        for (int64_t k = 0; k < numNodes; ++k)
            if (geo._polyVInd[k] < 0 || geo._polyVInd[k] > 65535)
                return false;

    Bytes w{out};
    w.Put(kHeader, 24);
    if (opt.prescan)
    {
        const size_t at = w.BeginChunk(0xE5100000u, "Prescan");
        w.U32(opt.prescanValue);
        w.EndChunk(at);
    }

    // Mesh.
    size_t at = w.BeginChunk(0x0ABC0001u, "Mesh");
    w.I32(geo._numVert);
    if (geo._numVert > 0)
    {
        w.Put(geo._vertPos, static_cast<size_t>(geo._numVert) * 12);
        w.I32(geo._numPoly);
        w.Put(geo._polyNumVert, static_cast<size_t>(geo._numPoly));
        w.I32(opt.indices16 ? 2 : 4);
        if (opt.indices16)
        {
            for (int64_t k = 0; k < numNodes; ++k)
            {
                const uint16_t v = static_cast<uint16_t>(geo._polyVInd[k]);
                w.Put(&v, 2);
            }
        }
        else
            w.Put(geo._polyVInd, static_cast<size_t>(numNodes) * 4);
    }
    w.EndChunk(at);

    const int32_t nv = geo._numVert;
    if (nv > 0)
    {
        // Node items, per node or reduced to per vertex.
        auto nodeItem = [&](const float* values, bool perVertex, int comps, bool asHalf,
                            uint32_t typeVert, uint32_t typeNode, const char* name) {
            if (!values)
                return;
            if (perVertex)
            {
                const std::vector<float> pv = PerVertex(geo, values, comps, numNodes);
                PutDataChunk(w, typeVert, name, pv.data(), nv, comps, asHalf);
            }
            else
                PutDataChunk(w, typeNode, name, values, numNodes, comps, asHalf);
        };
        if (opt.normals)
            nodeItem(geo._nodeNrm ? &geo._nodeNrm[0].x : nullptr, opt.normalsPerVertex, 3, true,
                     0xDA7A0001u, 0xDA7A0011u, "Normals");
        if (opt.motions && geo._vertMotion)
            PutDataChunk(w, 0xDA7A0002u, "Motions", &geo._vertMotion[0].x, nv, 3, true);
        if (opt.colors)
            nodeItem(geo._nodeCol ? &geo._nodeCol[0].x : nullptr, opt.colorsPerVertex, 4, true,
                     0xDA7A0003u, 0xDA7A0013u, "Colors");
        if (opt.uvws)
            nodeItem(geo._nodeUvw ? &geo._nodeUvw[0].x : nullptr, opt.uvwsPerVertex, 3, false,
                     0xDA7A0004u, 0xDA7A0014u, "UVWs");
        if (opt.userData)
        {
            if (geo._vertUser4)
                PutDataChunk(w, 0xDA7A0100u, "User4", &geo._vertUser4[0].x, nv, 4, false);
            for (uint32_t k = 0; k < 2; ++k)
                if (geo._vertUser3[k])
                    PutDataChunk(w, 0xDA7A0200u + k, "User3", &geo._vertUser3[k][0].x, nv, 3, false);
            for (uint32_t k = 0; k < 4; ++k)
                if (geo._vertUser1[k])
                    PutDataChunk(w, 0xDA7A0300u + k, "User1", geo._vertUser1[k], nv, 1, false);
        }
    }
    w.Put(kTrailer, 24);
    return true;
}

bool WriteZnq(const ZNQGeometry& geo, const char* path, const ZnqWriteOptions& opt)
{
    std::vector<uint8_t> bytes;
    if (!path || !WriteZnqToMemory(geo, opt, bytes))
        return false;
    FILE* f = std::fopen(path, "wb");
    if (!f)
        return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return (std::fclose(f) == 0) && ok;
}
