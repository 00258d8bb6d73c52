#include "WritePly.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "errors/ZNQError.h"

namespace {

void Put(std::string& out, const void* p, size_t n) { out.append(static_cast<const char*>(p), n); }

// Per-vertex copy of per-node values: the first node of each vertex wins.
template <typename T>
std::vector<T> PerVertex(const ZNQGeometry& g, const T* perNode)
{
    std::vector<T> v(static_cast<size_t>(g._numVert), T{});
    std::vector<char> seen(static_cast<size_t>(g._numVert), 0);
    const int64_t nodes = g.NumNodes();
    for (int64_t k = 0; k < nodes; ++k)
    {
        const int32_t i = g._polyVInd[k];
        if (!seen[static_cast<size_t>(i)])
        {
            seen[static_cast<size_t>(i)] = 1;
            v[static_cast<size_t>(i)] = perNode[k];
        }
    }
    return v;
}

// The four components as bytes: clamped to [0, 1] (NaN as 0), times 255,
// rounded half away from zero.
void PutColorBytes(std::string& out, const float4& c)
{
    for (float x : {c.x, c.y, c.z, c.w})
    {
        x = std::isnan(x) ? 0.0f : (x < 0.0f ? 0.0f : (x > 1.0f ? 1.0f : x));
        out += static_cast<char>(static_cast<unsigned char>(std::lround(x * 255.0f)));
    }
}

} // namespace

int32_t WritePlyToString(const ZNQGeometry& g, std::string& out, const PlyWriteOptions& o)
{
    if (!g._vertPos || g._numVert < (o.allowEmpty ? 0 : 1) || g._numPoly < 0 || (g._numPoly > 0 && (!g._polyNumVert || !g._polyVInd)))
        return ZNQ_ERR_SAVE_INVALID_GEOMETRY;
    const int64_t nodes = g.NumNodes();
    for (int64_t k = 0; k < nodes; ++k)
        if (g._polyVInd[k] < 0 || g._polyVInd[k] >= g._numVert)
            return ZNQ_ERR_SAVE_INVALID_GEOMETRY;
    const bool nrm = g._nodeNrm && nodes > 0, col = g._nodeCol && nodes > 0, uvw = g._nodeUvw && nodes > 0 && o.writeUvws,
               mot = g._vertMotion != nullptr;
    std::vector<float3> n, t;
    std::vector<float4> c;
    if (nrm)
        n = PerVertex(g, g._nodeNrm);
    if (col)
        c = PerVertex(g, g._nodeCol);
    if (uvw)
        t = PerVertex(g, g._nodeUvw);

    out += "ply\nformat binary_little_endian 1.0\ncomment ";
    out += o.comment ? o.comment : "";
    out += "\n";
    out += "element vertex " + std::to_string(g._numVert) + "\n";
    out += "property float x\nproperty float y\nproperty float z\n";
    if (nrm)
        out += "property float nx\nproperty float ny\nproperty float nz\n";
    if (col && o.colorsAsBytes)
        out += "property uchar red\nproperty uchar green\nproperty uchar blue\nproperty uchar alpha\n";
    else if (col)
        out += "property float red\nproperty float green\nproperty float blue\nproperty float alpha\n";
    if (uvw)
        out += "property float s\nproperty float t\n";
    if (mot)
        out += "property float vx\nproperty float vy\nproperty float vz\n";
    out += "element face " + std::to_string(g._numPoly) + "\n";
    out += "property list uchar int vertex_indices\nend_header\n";
    for (int32_t i = 0; i < g._numVert; ++i)
    {
        Put(out, &g._vertPos[i], 12);
        if (nrm)
            Put(out, &n[static_cast<size_t>(i)], 12);
        if (col && o.colorsAsBytes)
            PutColorBytes(out, c[static_cast<size_t>(i)]);
        else if (col)
            Put(out, &c[static_cast<size_t>(i)], 16);
        if (uvw)
            Put(out, &t[static_cast<size_t>(i)], 8);
        if (mot)
            Put(out, &g._vertMotion[i], 12);
    }
    int64_t node = 0;
    for (int32_t p = 0; p < g._numPoly; ++p)
    {
        const uint8_t count = g._polyNumVert[p];
        Put(out, &count, 1);
        Put(out, &g._polyVInd[node], 4 * static_cast<size_t>(count));
        node += count;
    }
    return ZNQ_OK;
}

int32_t WritePly(const ZNQGeometry& geometry, const char* path, const PlyWriteOptions& options)
{
    std::string bytes;
    const int32_t rc = WritePlyToString(geometry, bytes, options);
    if (rc)
        return rc;
    FILE* f = path ? std::fopen(path, "wb") : nullptr;
    if (!f)
        return ZNQ_ERR_SAVE_OPEN;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return (std::fclose(f) == 0 && ok) ? ZNQ_OK : ZNQ_ERR_SAVE_WRITE;
}
