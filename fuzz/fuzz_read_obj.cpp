// Fuzz target: the Wavefront .obj reader with its group filter.
//
// Input: byte 0 (bit 0 normals, bit 1 UVWs, bit 2 invert the filter, bit 3
// no filter at all), bytes 1-2 the filter length L (little-endian, so filters
// longer than the reader's 2048-character buffer occur), L bytes of filter
// text (cut at a NUL, as a C string is), the rest is the file.
// Loaded at 1, 2 and 7 threads (kfuzz::LoadAtThreadCounts), the outcomes
// compared.
#include <cstddef>
#include <cstdint>
#include <string>

#include "formats/ZNQFormats.h"
#include "formats/ZNQReadObjChunked.h"
#include "fuzz/FuzzSupport.h"

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
    // Chunks of kFuzzChunk bytes: at 2 and 7 threads a small input is cut
    // into many chunks (1 thread reads it in one walk).
    const ObjChunking chunking = {0, kfuzz::kFuzzChunk};
    const int32_t rc = kfuzz::LoadAtThreadCounts(geo, data, size, [&](ZNQGeometry& g, ZNQLoadPlace* place) {
        return ReadObjChunked(g, file.Path(), load & 1, load & 2, (load & 8) ? nullptr : filter.c_str(), load & 4,
                              place, chunking);
    });
    kfuzz::CheckLoadResult(geo, rc, fileSize);
    return 0;
}
