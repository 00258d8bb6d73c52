// Fuzz target: the Wavefront .obj reader with its group filter.
//
// Input: byte 0 (bit 0 normals, bit 1 UVWs, bit 2 invert the filter, bit 3
// no filter at all), bytes 1-2 the filter length L (little-endian, so filters
// longer than the reader's 2048-character buffer occur), L bytes of filter
// text (cut at a NUL, as a C string is), the rest is the file.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "formats/ZNQFormats.h"
#include "formats/ZNQReadObjChunked.h"
#include "fuzz/FuzzSupport.h"

namespace
{

bool SameBytes(const void* a, const void* b, size_t n)
{
    if (!a || !b)
        return a == b;
    return std::memcmp(a, b, n) == 0;
}

// The chunked parse (chunks of 7 bytes, on the run time's threads; the
// one-thread walk when it has one) gives the same code, place and arrays.
void CheckChunked(const ZNQGeometry& ref, int32_t rc, const ZNQLoadPlace& place, const char* path, uint8_t load,
                  const char* filter)
{
    ZNQGeometry geo;
    geo.Init();
    ZNQLoadPlace at;
    const ObjChunking chunking = {0, 7};
    const int32_t rc2 = ReadObjChunked(geo, path, load & 1, load & 2, filter, load & 4, &at, chunking);
    KFUZZ_CHECK(rc2 == rc);
    KFUZZ_CHECK(at.line == place.line && std::strcmp(at.reason, place.reason) == 0);
    KFUZZ_CHECK(geo._numVert == ref._numVert && geo._numPoly == ref._numPoly);
    const size_t nodes = static_cast<size_t>(ref.NumNodes());
    KFUZZ_CHECK(SameBytes(geo._vertPos, ref._vertPos, sizeof(float3) * static_cast<size_t>(ref._numVert)));
    KFUZZ_CHECK(SameBytes(geo._polyNumVert, ref._polyNumVert, static_cast<size_t>(ref._numPoly)));
    KFUZZ_CHECK(SameBytes(geo._polyVInd, ref._polyVInd, sizeof(int32_t) * nodes));
    KFUZZ_CHECK(SameBytes(geo._nodeUvw, ref._nodeUvw, sizeof(float3) * nodes));
    KFUZZ_CHECK(SameBytes(geo._nodeNrm, ref._nodeNrm, sizeof(float3) * nodes));
    geo.Clear();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static kfuzz::ScratchFile file(".obj");
    kfuzz::Bytes in(data, size);
    const uint8_t load = in.U8();
    size_t filterSize = 0;
    const uint8_t* filterBytes = in.Take(in.U16(), filterSize);
    const std::string filter(reinterpret_cast<const char*>(filterBytes), filterSize);
    size_t fileSize = 0;
    const uint8_t* content = in.Rest(fileSize);
    if (!file.Write(content, fileSize))
        return 0;

    ZNQGeometry geo;
    geo.Init();
    ZNQLoadPlace place;
    const char* groups = (load & 8) ? nullptr : filter.c_str();
    const int32_t rc = ReadObj(geo, file.Path(), load & 1, load & 2, groups, load & 4, &place);
    CheckChunked(geo, rc, place, file.Path(), load, groups); // before the check clears geo
    kfuzz::CheckLoadResult(geo, rc, fileSize);
    return 0;
}
