// Fuzz target: the .drs2 reader, ascii and binary.
//
// Input: byte 0 selects the optional items (bit 0 normals, 1 motions,
// 2 colours), the rest is the file. Loaded at 1, 2 and 7 threads
// (kfuzz::LoadAtThreadCounts), the outcomes compared.
#include <cstddef>
#include <cstdint>

#include "formats/ZNQFormats.h"
#include "fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static kfuzz::ScratchFile file(".drs2");
    kfuzz::Bytes in(data, size);
    const uint8_t load = in.U8();
    size_t fileSize = 0;
    const uint8_t* content = in.Rest(fileSize);
    if (!file.Write(content, fileSize))
        return 0;

    ZNQGeometry geo;
    geo.Init();
    const int32_t rc = kfuzz::LoadAtThreadCounts(geo, data, size, [&](ZNQGeometry& g, ZNQLoadPlace* place) {
        return ReadDrs2(g, file.Path(), load & 1, load & 2, load & 4, place);
    });
    kfuzz::CheckLoadResult(geo, rc, fileSize);
    return 0;
}
