// Format dispatch: the one entry into the cache readers.
#include "formats/ZNQFormats.h"

#include "errors/ZNQError.h"

#include <cstring>

int32_t FormatFromExtension(const char* path)
{
    if (!path)
        return kFormatUnknown;
    // The extension runs from the last '.' of the whole path, directory
    // separators included, so "cache.v2/frame" has the extension ".v2/frame".
    const char* dot = std::strrchr(path, '.');
    if (!dot)
        return kFormatUnknown;
    const size_t len = std::strlen(dot);
    if (len >= 16)
        return kFormatUnknown;
    char ext[32];
    std::memcpy(ext, dot, len + 1);
    StrToLower(ext);
    if (!std::strcmp(ext, ".drs2"))
        return kFormatDrs2;
    if (!std::strcmp(ext, ".obj"))
        return kFormatObj;
    if (!std::strcmp(ext, ".bin"))
        return kFormatRealFlowBin;
    if (!std::strcmp(ext, ".znq"))
        return kFormatZnq;
    return kFormatUnknown;
}

int32_t LoadFromFile(ZNQGeometry& geometry, const char* path, bool loadNormals, bool loadMotions,
                     bool loadColors, bool loadUvws, const uint8_t* userData4,
                     const uint8_t* userData3, const uint8_t* userData1, const char* objGroups,
                     bool objGroupsInvert, ZNQLoadPlace* place)
{
    geometry.Clear();
    PlaceReset(place);
    if (!path)
        return ZNQ_ERR_ILLEGAL_PARAMETER;
    // Existence first: a missing file is "not found" whatever its name.
    if (!FileExists(path))
        return ZNQ_ERR_FILE_NOT_FOUND;

    int32_t rc;
    switch (FormatFromExtension(path))
    {
    case kFormatDrs2:
        rc = ReadDrs2(geometry, path, loadNormals, loadMotions, loadColors, place);
        break;
    case kFormatObj:
        rc = ReadObj(geometry, path, loadNormals, loadUvws, objGroups, objGroupsInvert, place);
        break;
    case kFormatRealFlowBin:
        rc = ReadRealFlowBin(geometry, path, loadMotions, loadUvws, place);
        break;
    case kFormatZnq:
        rc = ReadZnq(geometry, path, loadNormals, loadMotions, loadColors, loadUvws, userData4,
                     userData3, userData1, place);
        break;
    default:
        rc = ZNQ_ERR_UNKNOWN_EXTENSION;
        break;
    }
    // The readers end with the clean-up already; this run finds nothing to
    // remove unless a reader left something behind.
    if (!rc)
        rc = CleanUp(geometry);
    if (rc)
        geometry.Clear();
    return rc;
}
