// korvane sample DIR [--frames N] [--tris T]
// Writes a small animated sample cache, DIR/Fluid.0001.znq .. Fluid.NNNN.znq,
// with motion vectors, per-node normals, colours and UVWs. Exit status: 0
// success, 1 a file could not be written, 2 usage error.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#if defined(_WIN32)
#include <direct.h>
#else
#include <sys/stat.h>
#endif

#include "SampleMesh.h"
#include "WriteZnq.h"

namespace
{

void SampleUsage(FILE* f)
{
    std::fprintf(f, "usage: korvane sample DIR [--frames N] [--tris T]\n"
                    "  writes DIR/Fluid.0001.znq .. (default 5 frames of about 4000 triangles)\n");
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
bool MakeDirs(const std::string& dir)
{
    for (size_t i = 1; i <= dir.size(); ++i)
    {
        if (i < dir.size() && dir[i] != '/' && dir[i] != '\\')
            continue;
        const std::string part = dir.substr(0, i);
#if defined(_WIN32)
        const int rc = _mkdir(part.c_str());
#else
        const int rc = mkdir(part.c_str(), 0777);
#endif
        if (rc != 0 && errno != EEXIST)
            return false;
    }
#if defined(_WIN32)
    struct _stat st;
    return _stat(dir.c_str(), &st) == 0 && (st.st_mode & _S_IFDIR);
#else
    struct stat st;
    return stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
#endif
}

} // namespace

int KorvaneSampleMain(int argc, char** argv)
{
    // argv[0] is "sample".
    const char* dir = nullptr;
    long frames = 5, tris = 4000;
    for (int i = 1; i < argc; ++i)
    {
        const char* a = argv[i];
        if (!std::strcmp(a, "-h") || !std::strcmp(a, "--help"))
        {
            SampleUsage(stdout);
            return 0;
        }
        if (!std::strcmp(a, "--frames"))
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
