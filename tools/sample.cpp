// korvane sample DIR [--frames N] [--tris T] [--holes] [--rough]
// Writes a small animated sample cache, DIR/Fluid.0001.znq .. Fluid.NNNN.znq,
// with motion vectors, per-node normals, colours and UVWs; --holes cuts three
// round holes into the surface (for trying Close Holes), --rough makes the
// surface bumpy (for trying Simple Smooth). Exit status: 0 success, 1 a file
// could not be written, 2 usage error.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <filesystem>

#include "SampleMesh.h"
#include "WriteZnq.h"

namespace
{

void SampleUsage(FILE* f)
{
    std::fprintf(f, "usage: korvane sample DIR [--frames N] [--tris T] [--holes] [--rough]\n"
                    "  writes DIR/Fluid.0001.znq .. (default 5 frames of about 4000 triangles);\n"
                    "  --holes cuts three round holes into the surface, --rough makes it bumpy\n");
}

bool ParsePositive(const char* s, long maxValue, long& out)
{
    if (!s || !*s)
        return false;
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(s, &end, 10);
    if (errno || *end || v < 1 || v > maxValue)
        return false;
    out = v;
    return true;
}

// Creates dir and its missing parents; true when it exists afterwards.
// (std::filesystem knows drive letters, UNC names and both separators.)
bool MakeDirs(const std::string& dir)
{
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    return std::filesystem::is_directory(dir, ec);
}

// Removes every polygon that touches a vertex inside one of three caps of
// the blob (seen from its centre), leaving three round, separate holes. The
// per-node arrays are compacted with the polygons; vertices that no polygon
// uses any more stay in the file (the load's clean-up drops them).
void PunchHoles(ZNQGeometry& g)
{
    if (!g._vertPos || !g._polyNumVert || !g._polyVInd || g._numVert < 1)
        return;
    float centre[3] = {0.0f, 0.0f, 0.0f};
    for (int32_t v = 0; v < g._numVert; ++v)
    {
        centre[0] += g._vertPos[v].x;
        centre[1] += g._vertPos[v].y;
        centre[2] += g._vertPos[v].z;
    }
    for (float& c : centre)
        c /= static_cast<float>(g._numVert);
    // Hole directions and the cosine of their angular radius: two on the
    // side the previews look at, one underneath.
    static const float kHoles[3][4] = {
        {0.62f, 0.25f, 0.74f, 0.955f}, {0.80f, -0.35f, -0.10f, 0.97f}, {-0.30f, -0.45f, 0.84f, 0.975f}};
    auto inHole = [&](int32_t v) {
        if (v < 0 || v >= g._numVert)
            return false;
        const float d[3] = {g._vertPos[v].x - centre[0], g._vertPos[v].y - centre[1], g._vertPos[v].z - centre[2]};
        const float len = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
        if (!(len > 0.0f))
            return false;
        for (const float* h : kHoles)
        {
            const float hl = std::sqrt(h[0] * h[0] + h[1] * h[1] + h[2] * h[2]);
            if ((d[0] * h[0] + d[1] * h[1] + d[2] * h[2]) / (len * hl) > h[3])
                return true;
        }
        return false;
    };
    int64_t read = 0, write = 0;
    int32_t kept = 0;
    for (int32_t p = 0; p < g._numPoly; ++p)
    {
        const int n = g._polyNumVert[p];
        bool drop = false;
        for (int k = 0; k < n && !drop; ++k)
            drop = inHole(g._polyVInd[read + k]);
        if (!drop)
        {
            for (int k = 0; k < n; ++k, ++write)
            {
                g._polyVInd[write] = g._polyVInd[read + k];
                if (g._nodeNrm)
                    g._nodeNrm[write] = g._nodeNrm[read + k];
                if (g._nodeUvw)
                    g._nodeUvw[write] = g._nodeUvw[read + k];
                if (g._nodeCol)
                    g._nodeCol[write] = g._nodeCol[read + k];
            }
            g._polyNumVert[kept++] = static_cast<uint8_t>(n);
        }
        read += n;
    }
    g._numPoly = kept;
    g._DynRelease(-1);
}

// Moves every vertex towards or away from the blob's centre by up to 4 % of
// its distance, by a hash of its number: the same bumps in every frame.
// Normals and motion vectors stay those of the smooth surface.
void Roughen(ZNQGeometry& g)
{
    if (!g._vertPos || g._numVert < 1)
        return;
    float centre[3] = {0.0f, 0.0f, 0.0f};
    for (int32_t v = 0; v < g._numVert; ++v)
    {
        centre[0] += g._vertPos[v].x;
        centre[1] += g._vertPos[v].y;
        centre[2] += g._vertPos[v].z;
    }
    for (float& c : centre)
        c /= static_cast<float>(g._numVert);
    for (int32_t v = 0; v < g._numVert; ++v)
    {
        uint32_t h = static_cast<uint32_t>(v) * 0x9E3779B1u;
        h ^= h >> 16;
        h *= 0x85EBCA6Bu;
        h ^= h >> 13;
        const float scale = 1.0f + 0.04f * (static_cast<float>(h & 0xFFFFu) / 32767.5f - 1.0f);
        g._vertPos[v].x = centre[0] + (g._vertPos[v].x - centre[0]) * scale;
        g._vertPos[v].y = centre[1] + (g._vertPos[v].y - centre[1]) * scale;
        g._vertPos[v].z = centre[2] + (g._vertPos[v].z - centre[2]) * scale;
    }
    g._DynRelease(-1);
}

} // namespace

int KorvaneSampleMain(int argc, char** argv)
{
    // argv[0] is "sample".
    const char* dir = nullptr;
    long frames = 5, tris = 4000;
    bool holes = false, rough = false;
    for (int i = 1; i < argc; ++i)
    {
        const char* a = argv[i];
        if (!std::strcmp(a, "-h") || !std::strcmp(a, "--help"))
        {
            SampleUsage(stdout);
            return 0;
        }
        if (!std::strcmp(a, "--holes"))
            holes = true;
        else if (!std::strcmp(a, "--rough"))
            rough = true;
        else if (!std::strcmp(a, "--frames"))
        {
            if (!ParsePositive(i + 1 < argc ? argv[++i] : nullptr, 9999, frames))
            {
                std::fprintf(stderr, "korvane sample: --frames needs a number from 1 to 9999\n");
                return 2;
            }
        }
        else if (!std::strcmp(a, "--tris"))
        {
            if (!ParsePositive(i + 1 < argc ? argv[++i] : nullptr, 20000000, tris))
            {
                std::fprintf(stderr, "korvane sample: --tris needs a number from 1 to 20000000\n");
                return 2;
            }
        }
        else if (a[0] == '-' && a[1] != '\0')
        {
            std::fprintf(stderr, "korvane sample: unknown option '%s'\n", a);
            SampleUsage(stderr);
            return 2;
        }
        else if (!dir)
            dir = a;
        else
        {
            std::fprintf(stderr, "korvane sample: more than one directory given\n");
            return 2;
        }
    }
    if (!dir || !*dir)
    {
        SampleUsage(stderr);
        return 2;
    }
    if (!MakeDirs(dir))
    {
        std::fprintf(stderr, "korvane sample: cannot create directory '%s': %s\n", dir,
                     std::strerror(errno));
        return 1;
    }

    ZNQGeometry geo;
    geo.Init(0);
    std::string base(dir);
    if (base.back() != '/' && base.back() != '\\')
        base += '/';
    int status = 0;
    for (long f = 1; f <= frames; ++f)
    {
        char name[32];
        std::snprintf(name, sizeof(name), "Fluid.%04ld.znq", f);
        const std::string path = base + name;
        if (!MakeSampleMesh(geo, static_cast<int32_t>(tris), static_cast<float>(f)))
        {
            std::fprintf(stderr, "korvane sample: out of memory building frame %ld\n", f);
            status = 1;
            break;
        }
        if (rough)
            Roughen(geo);
        if (holes)
            PunchHoles(geo);
        ZnqWriteOptions opt;
        opt.indices16 = geo._numVert <= 65536;
        opt.prescan = true;
        if (!WriteZnq(geo, path.c_str(), opt))
        {
            std::fprintf(stderr, "korvane sample: cannot write '%s'\n", path.c_str());
            status = 1;
            break;
        }
        std::printf("wrote %s (%d vertices, %d triangles)\n", path.c_str(), geo._numVert,
                    geo._numPoly);
    }
    geo.Clear();
    return status;
}
