// The conversion core of `korvane convert`.
#include "KorvaneConvert.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "WriteDrs2.h"
#include "WriteObj.h"
#include "WritePly.h"
#include "WriteRealFlowBin.h"
#include "WriteZnq.h"
#include "errors/ZNQError.h"
#include "formats/ZNQFormats.h"
#include "geometry/ZNQGeometry.h"

namespace korvane {

namespace {

std::string LowerExtension(const std::string& path)
{
    std::string ext = std::filesystem::path(path).extension().string();
    for (char& c : ext)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

void Append(std::string& list, const char* item)
{
    if (!list.empty())
        list += ", ";
    list += item;
}

// True when every node of each vertex carries the same value (bitwise), so a
// per-vertex copy keeps them all.
template <typename T>
bool UniformPerVertex(const ZNQGeometry& g, const T* perNode)
{
    const int64_t nodes = g.NumNodes();
    std::vector<int64_t> first(static_cast<size_t>(g._numVert), -1);
    for (int64_t k = 0; k < nodes; ++k)
    {
        const int32_t v = g._polyVInd[k];
        if (v < 0 || v >= g._numVert)
            continue;
        int64_t& f = first[static_cast<size_t>(v)];
        if (f < 0)
            f = k;
        else if (std::memcmp(&perNode[f], &perNode[k], sizeof(T)) != 0)
            return false;
    }
    return true;
}

// True when every value is a half float already (converting it changes nothing).
bool AllHalf(const float* v, int64_t count)
{
    for (int64_t i = 0; i < count; ++i)
    {
        const float back = static_cast<float>(half(v[i]));
        if (std::memcmp(&back, &v[i], sizeof(float)) != 0)
            return false;
    }
    return true;
}

bool AllTriangles(const ZNQGeometry& g)
{
    for (int32_t p = 0; p < g._numPoly; ++p)
        if (g._polyNumVert[p] != 3)
            return false;
    return true;
}

// Lists what target drops or changes of g.
void Losses(const ZNQGeometry& g, ConvertTarget target, std::string& dropped, std::string& changed)
{
    const int64_t nodes = g.NumNodes();
    const bool nrm = g._nodeNrm != nullptr, mot = g._vertMotion != nullptr, col = g._nodeCol != nullptr,
               uvw = g._nodeUvw != nullptr;
    switch (target)
    {
    case ConvertTarget::kZnq:
        if (nrm && !AllHalf(&g._nodeNrm[0].x, 3 * nodes))
            Append(changed, "normals (half floats)");
        if (mot && !AllHalf(&g._vertMotion[0].x, 3 * int64_t(g._numVert)))
            Append(changed, "motions (half floats)");
        if (col && !AllHalf(&g._nodeCol[0].x, 4 * nodes))
            Append(changed, "colors (half floats)");
        break;
    case ConvertTarget::kDrs2Binary:
    case ConvertTarget::kDrs2Ascii:
        if (nrm && !UniformPerVertex(g, g._nodeNrm))
            Append(changed, "normals (one per vertex)");
        if (col && target == ConvertTarget::kDrs2Binary)
            Append(changed, "colors (16-bit codes)");
        else if (col && !UniformPerVertex(g, g._nodeCol))
            Append(changed, "colors (one per vertex)");
        if (uvw)
            Append(dropped, "uvws");
        break;
    case ConvertTarget::kRealFlowBin:
        if (nrm)
            Append(dropped, "normals");
        if (col)
            Append(dropped, "colors");
        if (uvw && !UniformPerVertex(g, g._nodeUvw))
            Append(changed, "uvws (one per vertex)");
        break;
    case ConvertTarget::kObj:
        if (mot)
            Append(dropped, "motions");
        if (col)
            Append(dropped, "colors");
        break;
    case ConvertTarget::kPly:
        if (nrm && !UniformPerVertex(g, g._nodeNrm))
            Append(changed, "normals (one per vertex)");
        if (col && !UniformPerVertex(g, g._nodeCol))
            Append(changed, "colors (one per vertex)");
        if (uvw)
        {
            bool w = false;
            for (int64_t k = 0; k < nodes && !w; ++k)
                w = g._nodeUvw[k].z != 0.0f;
            if (w || !UniformPerVertex(g, g._nodeUvw))
                Append(changed, w ? "uvws (s, t only)" : "uvws (one per vertex)");
        }
        break;
    case ConvertTarget::kUnknown: break;
    }
}

std::string Canonical(const std::string& path)
{
    std::error_code ec;
    std::filesystem::path p = std::filesystem::weakly_canonical(path, ec);
    if (ec)
        p = std::filesystem::absolute(path, ec).lexically_normal();
    return p.string();
}

bool SamePath(const std::string& a, const std::string& b)
{
    std::error_code ec;
    if (std::filesystem::equivalent(a, b, ec))
        return true;
    return Canonical(a) == Canonical(b);
}

// Writes g as target to path. 0 on success, else a short reason in why.
bool Write(const ZNQGeometry& g, ConvertTarget target, const std::string& path, std::string& why)
{
    int32_t rc = 0;
    switch (target)
    {
    case ConvertTarget::kZnq:
        if (!WriteZnq(g, path.c_str()))
            why = "the .znq writer refused the mesh or could not write the file";
        return why.empty();
    case ConvertTarget::kDrs2Binary:
    case ConvertTarget::kDrs2Ascii:
    {
        Drs2WriteOptions o;
        o.binary = target == ConvertTarget::kDrs2Binary;
        // Widths that hold every count and index.
        int32_t maxIndex = 0;
        for (int64_t k = 0; k < g.NumNodes(); ++k)
            maxIndex = std::max(maxIndex, g._polyVInd[k]);
        o.indexWidth = maxIndex < 256 ? 1 : maxIndex < 65536 ? 2 : 4;
        o.countWidth = 1;
        if (!WriteDrs2(g, path.c_str(), o))
            why = "the .drs2 writer refused the mesh or could not write the file";
        return why.empty();
    }
    case ConvertTarget::kRealFlowBin:
        if (!AllTriangles(g))
        {
            why = "RealFlow .bin holds triangles only; the mesh has other polygons";
            return false;
        }
        rc = WriteRealFlowBin(g, path.c_str(), RealFlowBinWriteOptions());
        break;
    case ConvertTarget::kObj:
    {
        ObjWriteOptions o;
        o.uvwComponents = 3;
        rc = WriteObj(g, path.c_str(), o);
        break;
    }
    case ConvertTarget::kPly:
        rc = WritePly(g, path.c_str());
        break;
    case ConvertTarget::kUnknown:
        why = "no writer for this extension";
        return false;
    }
    if (rc)
    {
        char msg[kZNQErrorMessageMaxLen];
        why = ZNQErrorMessage(rc, msg, false, nullptr);
        return false;
    }
    return true;
}

} // namespace

ConvertTarget ConvertTargetOf(const std::string& path, bool ascii)
{
    const std::string ext = LowerExtension(path);
    if (ext == ".znq")
        return ConvertTarget::kZnq;
    if (ext == ".drs2")
        return ascii ? ConvertTarget::kDrs2Ascii : ConvertTarget::kDrs2Binary;
    if (ext == ".bin")
        return ConvertTarget::kRealFlowBin;
    if (ext == ".obj")
        return ConvertTarget::kObj;
    if (ext == ".ply")
        return ConvertTarget::kPly;
    return ConvertTarget::kUnknown;
}

std::vector<std::string> ProtectedPaths(const std::vector<std::string>& paths)
{
    std::vector<std::string> out;
    out.reserve(paths.size());
    for (const std::string& p : paths)
        out.push_back(Canonical(p));
    std::sort(out.begin(), out.end());
    return out;
}

const char* ConvertTargetList() { return ".znq, .drs2 (--ascii for ascii), .bin, .obj, .ply"; }

ConvertOutcome ConvertFile(const ConvertRequest& r)
{
    ConvertOutcome out;
    const ConvertTarget target = ConvertTargetOf(r.output, r.ascii);
    if (target == ConvertTarget::kUnknown)
    {
        out.status = ConvertOutcome::kRefused;
        out.message = std::string("no writer for '") + r.output + "' (extensions: " + ConvertTargetList() + ")";
        return out;
    }
    bool isInput = SamePath(r.input, r.output);
    if (r.protectedPaths && !isInput)
        isInput = std::binary_search(r.protectedPaths->begin(), r.protectedPaths->end(), Canonical(r.output));
    if (isInput)
    {
        out.status = ConvertOutcome::kRefused;
        out.message = std::string("'") + r.output + "' is an input; it is never overwritten";
        return out;
    }

    ZNQGeometry g;
    g.Init(0);
    out.loadError = LoadFromFile(g, r.input.c_str(), r.normals, r.motions, r.colors, r.uvws, nullptr, nullptr,
                                 nullptr, r.groups, r.invertGroups, &out.place);
    if (out.loadError)
    {
        out.status = ConvertOutcome::kLoadFailed;
        char msg[kZNQErrorMessageMaxLen];
        out.message = ZNQErrorMessage(out.loadError, msg, true, nullptr);
        g.Clear();
        return out;
    }
    Losses(g, target, out.dropped, out.changed);

    // A temporary name beside the output, renamed into place: an interrupted
    // run leaves no half file under the output's name.
    namespace fs = std::filesystem;
    const fs::path final = fs::path(r.output);
    fs::path temp = final;
    temp.replace_filename(final.stem().string() + ".korvane-part" + final.extension().string());
    std::error_code ec;
    if (!final.parent_path().empty())
        fs::create_directories(final.parent_path(), ec);
    std::string why;
    const bool ok = Write(g, target, temp.string(), why);
    g.Clear();
    if (ok)
        fs::rename(temp, final, ec); // replaces an earlier output
    if (!ok || ec)
    {
        fs::remove(temp, ec);
        out.status = ConvertOutcome::kWriteFailed;
        out.message = ok ? "cannot rename the written file into place" : why;
        return out;
    }
    return out;
}

} // namespace korvane
