#include "WritePly.h"

#include <cstdio>
#include <cstring>
#include <vector>

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

} // namespace

int32_t WritePlyToString(const ZNQGeometry& g, std::string& out)
{
    if (!g._vertPos || g._numVert <= 0 || g._numPoly < 0 || (g._numPoly > 0 && (!g._polyNumVert || !g._polyVInd)))
        return 131;
    const int64_t nodes = g.NumNodes();
    for (int64_t k = 0; k < nodes; ++k)
        if (g._polyVInd[k] < 0 || g._polyVInd[k] >= g._numVert)
            return 131;
    const bool nrm = g._nodeNrm && nodes > 0, col = g._nodeCol && nodes > 0, uvw = g._nodeUvw && nodes > 0,
               mot = g._vertMotion != nullptr;
    std::vector<float3> n, t;
    std::vector<float4> c;
    if (nrm)
        n = PerVertex(g, g._nodeNrm);
    if (col)
        c = PerVertex(g, g._nodeCol);
    if (uvw)
        t = PerVertex(g, g._nodeUvw);

    out += "ply\nformat binary_little_endian 1.0\ncomment written by korvane\n";
    out += "element vertex " + std::to_string(g._numVert) + "\n";
    out += "property float x\nproperty float y\nproperty float z\n";
    if (nrm)
        out += "property float nx\nproperty float ny\nproperty float nz\n";
    if (col)
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
        if (col)
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
    return 0;
}

int32_t WritePly(const ZNQGeometry& geometry, const char* path)
{
    std::string bytes;
    const int32_t rc = WritePlyToString(geometry, bytes);
    if (rc)
        return rc;
    FILE* f = path ? std::fopen(path, "wb") : nullptr;
    if (!f)
        return 132;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return (std::fclose(f) == 0 && ok) ? 0 : 134;
}
