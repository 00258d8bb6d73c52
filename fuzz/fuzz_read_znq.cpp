// Fuzz target: the .znq reader.
//
// Input: byte 0 selects the optional items (bit 0 normals, 1 motions,
// 2 colours, 3 UVWs), byte 1 the user-data channels (bit 0 the four-component
// channel, bits 1-2 the three-component ones, bits 3-6 the one-component
// ones; bit 7 passes no selection at all), the rest is the file.
// Loaded at 1, 2 and 7 threads (kfuzz::LoadAtThreadCounts), the outcomes
// compared.
#include <cstddef>
#include <cstdint>

#include "formats/ZNQFormats.h"
#include "fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static kfuzz::ScratchFile file(".znq");
    kfuzz::Bytes in(data, size);
    const uint8_t load = in.U8();
    const uint8_t user = in.U8();
    size_t fileSize = 0;
    const uint8_t* content = in.Rest(fileSize);
    if (!file.Write(content, fileSize))
        return 0;

    const uint8_t user4[1] = {static_cast<uint8_t>(user & 1)};
    const uint8_t user3[2] = {static_cast<uint8_t>(user & 2), static_cast<uint8_t>(user & 4)};
    const uint8_t user1[4] = {static_cast<uint8_t>(user & 8), static_cast<uint8_t>(user & 16),
                              static_cast<uint8_t>(user & 32), static_cast<uint8_t>(user & 64)};
    const bool noUser = (user & 128) != 0;

    ZNQGeometry geo;
    geo.Init();
    const int32_t rc = kfuzz::LoadAtThreadCounts(geo, data, size, [&](ZNQGeometry& g, ZNQLoadPlace* place) {
        return ReadZnq(g, file.Path(), load & 1, load & 2, load & 4, load & 8, noUser ? nullptr : user4,
                       noUser ? nullptr : user3, noUser ? nullptr : user1, place);
    });
    kfuzz::CheckLoadResult(geo, rc, fileSize);
    return 0;
}
