// Fuzz target: the format dispatch, LoadFromFile, as the node calls it, and
// the extension test on arbitrary names.
//
// Input: byte 0 load options (bit 0 normals, 1 motions, 2 colours, 3 UVWs,
// 4 group filter on, 5 invert it, 6 user-data selections), byte 1 the file
// name's extension (below 0x80: one of a fixed list of known, differently
// cased and unknown extensions; otherwise a length of 1 to 15 characters
// taken from the input, mapped to name-safe characters), bytes 2-3 the
// filter length L, L bytes of filter text, the rest is the file. The same
// bytes, as a C string, also go through FormatFromExtension.
//
// After a successful load the derived data the pipeline asks for are built,
// so that every file's mesh also goes through the topology builders. Loaded
// at 1, 2 and 7 threads (kfuzz::LoadAtThreadCounts); the outcomes and the
// vertex normals, UVWs, colours and polygon areas are compared.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <string>

#include "errors/ZNQError.h"
#include "formats/ZNQFormats.h"
#include "fuzz/FuzzSupport.h"

namespace
{

const char* const kExtensions[] = {
    ".znq", ".drs2", ".obj", ".bin", ".ZNQ", ".Drs2", ".OBJ", ".Bin", ".txt", "",
    ".drs2x", ".znq.bak", ".", ".o", ".objx", ".bi",
};
constexpr size_t kNumExtensions = sizeof(kExtensions) / sizeof(kExtensions[0]);

char NameSafe(uint8_t b)
{
    static const char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789._-";
    return kChars[b % (sizeof(kChars) - 1)];
}

// The derived data the node asks for first, as bytes: vertex normals,
// UVWs and colours, polygon areas (each may be refused by the one-byte
// limits; then only the code counts).
void DerivedBytes(ZNQGeometry& g, std::vector<uint8_t>& out)
{
    auto add = [&out](const void* p, int64_t bytes) {
        out.push_back(p ? 1 : 0);
        if (p && bytes > 0)
            out.insert(out.end(), static_cast<const uint8_t*>(p), static_cast<const uint8_t*>(p) + bytes);
    };
    const int64_t nv = g._numVert;
    add(g._DynGetVertNrm(), 12 * nv);
    add(g._DynGetVertUvw(), 12 * nv);
    add(g._DynGetVertCol(), 16 * nv);
    add(g._DynGetPolyAreas(), 4 * int64_t(g._numPoly));
    g._DynRelease(kDynAll);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The extension test on the raw input as a name.
    {
        const std::string name(reinterpret_cast<const char*>(data), size);
        const int32_t format = FormatFromExtension(name.c_str());
        KFUZZ_CHECK(format == kFormatUnknown || format == kFormatDrs2 || format == kFormatObj ||
                    format == kFormatRealFlowBin || format == kFormatZnq);
    }

    kfuzz::Bytes in(data, size);
    const uint8_t load = in.U8();
    const uint8_t extChoice = in.U8();
    std::string extension;
    if (extChoice < 0x80)
    {
        extension = kExtensions[extChoice % kNumExtensions];
    }
    else
    {
        const size_t length = 1 + (extChoice & 0x0F) % 15;
        extension = ".";
        for (size_t i = 1; i < length; ++i)
            extension += NameSafe(in.U8());
    }
    size_t filterSize = 0;
    const uint8_t* filterBytes = in.Take(in.U16(), filterSize);
    const std::string filter(reinterpret_cast<const char*>(filterBytes), filterSize);
    size_t fileSize = 0;
    const uint8_t* content = in.Rest(fileSize);

    // One scratch file per extension seen in this process.
    static std::map<std::string, std::unique_ptr<kfuzz::ScratchFile>> files;
    if (files.size() > 64)
        files.clear(); // random extensions: keep the open files few
    std::unique_ptr<kfuzz::ScratchFile>& slot = files[extension];
    if (!slot)
        slot.reset(new kfuzz::ScratchFile(extension.c_str()));
    const kfuzz::ScratchFile& file = *slot;
    if (!file.Write(content, fileSize))
        return 0;

    const uint8_t sel[4] = {1, 1, 1, 1};
    const bool user = (load & 64) != 0;
    ZNQGeometry geo;
    geo.Init();
    // Where and why: always asked for, so every failure path's note is run.
    ZNQLoadPlace place;
    bool first = true; // the 1-thread load comes first; its place is checked below
    const int32_t rc = kfuzz::LoadAtThreadCounts(
        geo, data, size,
        [&](ZNQGeometry& g, ZNQLoadPlace* where) {
            const int32_t code = LoadFromFile(g, file.Path(), load & 1, load & 2, load & 4, load & 8,
                                              user ? sel : nullptr, user ? sel : nullptr, user ? sel : nullptr,
                                              (load & 16) ? filter.c_str() : nullptr, load & 32, where);
            if (first)
                place = *where;
            first = false;
            return code;
        },
        &DerivedBytes);
    KFUZZ_CHECK(std::memchr(place.reason, '\0', sizeof place.reason) != nullptr);
    KFUZZ_CHECK(std::memchr(place.section, '\0', sizeof place.section) != nullptr);
    KFUZZ_CHECK(rc != 0 || !place.Known());
    char placeText[256];
    KFUZZ_CHECK(PlaceFormat(place, placeText, sizeof placeText) < sizeof placeText);
    if (rc == ZNQ_ERR_UNKNOWN_EXTENSION)
    {
        KFUZZ_CHECK(FormatFromExtension(file.Path()) == kFormatUnknown);
        KFUZZ_CHECK(geo._vertPos == nullptr && geo._memUsed == 0);
        return 0;
    }
    KFUZZ_CHECK(FormatFromExtension(file.Path()) != kFormatUnknown);

    if (rc == 0)
    {
        // What the node's output and the operations ask for first. Each may
        // fail only by the one-byte limits; none may crash.
        geo._DynGetVertNrm();
        geo._DynGetVertUvw();
        geo._DynGetVertCol();
        geo._DynGetEdgeAdjPolyNum();
        geo._DynGetPolyFlags();
        geo._DynGetPolyAreas();
        geo._DynRelease(kDynAll);
    }
    kfuzz::CheckLoadResult(geo, rc, fileSize);
    return 0;
}
