// Shared helpers of the .obj / RealFlow / dispatch tests: a scratch directory,
// files from bytes or text, and a geometry that clears itself.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include "formats/ZNQFormats.h"
#include "geometry/ZNQGeometry.h"

namespace readers_b {

// One geometry per test, created as the node creates its own and cleared at
// the end so the books must balance.
struct Geo
{
    ZNQGeometry g;
    Geo() { g.Init(0); }
    ~Geo() { g.Clear(); }
    ZNQGeometry* operator->() { return &g; }
    operator ZNQGeometry&() { return g; }
};

inline std::string ScratchDir()
{
    static std::string dir;
    if (dir.empty())
    {
        dir = (std::filesystem::temp_directory_path() /
               ("korvane_readers_b_" + std::to_string(static_cast<long>(getpid()))))
                  .string();
        std::filesystem::create_directories(dir);
    }
    return dir;
}

inline std::string WriteFile(const std::string& name, const void* data, size_t bytes)
{
    const std::string path = ScratchDir() + "/" + name;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f)
    {
        if (bytes)
            std::fwrite(data, 1, bytes, f);
        std::fclose(f);
    }
    return path;
}
inline std::string WriteText(const std::string& name, const std::string& text)
{
    return WriteFile(name, text.data(), text.size());
}
inline std::string WriteBytes(const std::string& name, const std::vector<uint8_t>& bytes)
{
    return WriteFile(name, bytes.data(), bytes.size());
}

inline bool IsEmpty(const ZNQGeometry& g)
{
    return !g._vertPos && g._numVert == 0 && g._numPoly == 0 && !g._polyNumVert && !g._polyVInd &&
           !g._nodeNrm && !g._nodeUvw && !g._nodeCol && !g._vertMotion;
}

inline uint32_t Bits(float v)
{
    uint32_t b;
    std::memcpy(&b, &v, 4);
    return b;
}

// Little-endian byte sequence builder for hand-made binary files.
struct Bytes
{
    std::vector<uint8_t> b;
    Bytes& u32(uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            b.push_back(static_cast<uint8_t>(v >> (8 * i)));
        return *this;
    }
    Bytes& i32(int32_t v) { return u32(static_cast<uint32_t>(v)); }
    Bytes& f32(float v)
    {
        uint32_t u;
        std::memcpy(&u, &v, 4);
        return u32(u);
    }
    Bytes& f3(float a, float b2, float c) { return f32(a).f32(b2).f32(c); }
};

} // namespace readers_b
