#include "WriteObj.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <vector>

#include "errors/ZNQError.h"

namespace {

void AppendFloat(std::string& out, float v)
{
    char buf[48];
    const std::to_chars_result r = std::to_chars(buf, buf + sizeof(buf), v, std::chars_format::general, 9);
    out.append(buf, r.ptr);
}

void AppendInt(std::string& out, int64_t v)
{
    char buf[24];
    const std::to_chars_result r = std::to_chars(buf, buf + sizeof(buf), v);
    out.append(buf, r.ptr);
}

// True when every node of every vertex carries the same value; first[v] is
// then the first node naming vertex v (-1 for none).
bool SharedPerVertex(const ZNQGeometry& g, const float3* nodeData, std::vector<int64_t>& first)
{
    first.assign(static_cast<size_t>(g._numVert), -1);
    int64_t k = 0;
    for (int32_t p = 0; p < g._numPoly; ++p)
        for (int c = 0; c < g._polyNumVert[p]; ++c, ++k)
        {
            const int32_t v = g._polyVInd[k];
            if (first[v] < 0)
                first[v] = k;
            else if (std::memcmp(&nodeData[first[v]], &nodeData[k], sizeof(float3)) != 0)
                return false;
        }
    return true;
}

} // namespace

int32_t WriteObjToString(const ZNQGeometry& g, const ObjWriteOptions& o, std::string& out)
{
    if (!g._vertPos || g._numVert < 0 || g._numPoly < 0 || (g._numPoly > 0 && (!g._polyNumVert || !g._polyVInd)))
        return ZNQ_ERR_SAVE_INVALID_GEOMETRY;
    const int64_t numNodes = g.NumNodes();
    for (int64_t k = 0; k < numNodes; ++k)
        if (g._polyVInd[k] < 0 || g._polyVInd[k] >= g._numVert)
            return ZNQ_ERR_SAVE_INVALID_GEOMETRY;
    if (o.polyGroup)
        for (int32_t p = 0; p < g._numPoly; ++p)
            if (o.polyGroup[p] >= o.numGroups || (o.polyGroup[p] >= 0 && !o.groupNames))
                return ZNQ_ERR_SAVE_INVALID_GEOMETRY;

    const char* br = o.lineBreak ? o.lineBreak : "\n";
    const int comps = o.uvwComponents < 0 ? 0 : (o.uvwComponents > 3 ? 3 : o.uvwComponents);
    const bool hasUvw = g._nodeUvw && comps > 0;
    const bool hasNrm = g._nodeNrm && o.writeNormals;
    out.reserve(out.size() + static_cast<size_t>(g._numVert) * 40 + static_cast<size_t>(numNodes) * 24);

    if (o.comment)
    {
        out += "# ";
        out += o.comment;
        out += br;
    }
    for (int32_t v = 0; v < g._numVert; ++v)
    {
        out += "v ";
        AppendFloat(out, g._vertPos[v].x);
        out += ' ';
        AppendFloat(out, g._vertPos[v].y);
        out += ' ';
        AppendFloat(out, g._vertPos[v].z);
        out += br;
    }

    // Texture coordinates and normals: per vertex when that loses nothing.
    std::vector<int64_t> first;
    bool uvwShared = false, nrmShared = false;
    if (hasUvw)
    {
        uvwShared = o.shareByVertex && !o.uvwsPerNode && SharedPerVertex(g, g._nodeUvw, first);
        const int64_t n = uvwShared ? g._numVert : numNodes;
        for (int64_t i = 0; i < n; ++i)
        {
            const int64_t src = uvwShared ? first[static_cast<size_t>(i)] : i;
            const float3 t = src >= 0 ? g._nodeUvw[src] : float3{0.0f, 0.0f, 0.0f};
            const float* c = &t.x;
            out += "vt";
            for (int j = 0; j < comps; ++j)
            {
                out += ' ';
                AppendFloat(out, c[j]);
            }
            out += br;
        }
    }
    if (hasNrm)
    {
        nrmShared = o.shareByVertex && SharedPerVertex(g, g._nodeNrm, first);
        const int64_t n = nrmShared ? g._numVert : numNodes;
        for (int64_t i = 0; i < n; ++i)
        {
            const int64_t src = nrmShared ? first[static_cast<size_t>(i)] : i;
            const float3 t = src >= 0 ? g._nodeNrm[src] : float3{0.0f, 1.0f, 0.0f};
            out += "vn ";
            AppendFloat(out, t.x);
            out += ' ';
            AppendFloat(out, t.y);
            out += ' ';
            AppendFloat(out, t.z);
            out += br;
        }
    }

    int32_t lastGroup = -1;
    int64_t k = 0;
    for (int32_t p = 0; p < g._numPoly; ++p)
    {
        if (o.polyGroup && o.polyGroup[p] >= 0 && o.polyGroup[p] != lastGroup)
        {
            lastGroup = o.polyGroup[p];
            out += "g ";
            out += o.groupNames[lastGroup];
            out += br;
        }
        out += o.pointStatements ? "p" : "f";
        for (int c = 0; c < g._polyNumVert[p]; ++c, ++k)
        {
            const int32_t v = g._polyVInd[k];
            out += ' ';
            AppendInt(out, int64_t(v) + 1);
            if (hasUvw || hasNrm)
            {
                out += '/';
                if (hasUvw)
                    AppendInt(out, (uvwShared ? int64_t(v) : k) + 1);
                if (hasNrm)
                {
                    out += '/';
                    AppendInt(out, (nrmShared ? int64_t(v) : k) + 1);
                }
            }
        }
        out += br;
    }
    return ZNQ_OK;
}

int32_t WriteObj(const ZNQGeometry& geometry, const char* path, const ObjWriteOptions& options)
{
    std::string text;
    const int32_t rc = WriteObjToString(geometry, options, text);
    if (rc)
        return rc;
    FILE* f = path ? std::fopen(path, "wb") : nullptr;
    if (!f)
        return ZNQ_ERR_SAVE_OPEN;
    const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    return (std::fclose(f) == 0 && ok) ? ZNQ_OK : ZNQ_ERR_SAVE_WRITE;
}
