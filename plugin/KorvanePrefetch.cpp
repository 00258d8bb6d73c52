// Read-ahead of the next frame in the direction of play (see KorvanePrefetch.h).
#include "plugin/KorvanePrefetch.h"

#include <cstdlib>
#include <cstring>
#include <limits>

#include "formats/ZNQPrefetch.h"
#include "plugin/KorvaneCachePath.h"

bool KorvaneNextFramePath(const NodeSettings& settings, KorvanePlayHint& hint, char* out)
{
    if (!settings.active || !out)
        return false;
    const int32_t frame = settings.frame;
    if (hint.seen && frame != hint.frame)
        hint.step = frame > hint.frame ? 1 : -1;
    hint.seen = true;
    hint.frame = frame;
    if ((hint.step > 0 && frame == std::numeric_limits<int32_t>::max()) ||
        (hint.step < 0 && frame == std::numeric_limits<int32_t>::min()))
        return false;
    char path[kCachePathSize];
    if (!ComposeCachePath(settings.path, settings.name, CacheExtensionOfFormat(settings.format),
                          frame + hint.step, path))
        return false;
    for (int32_t i = 0; i < kCachePathSize; ++i)
        if ((out[i] = path[i]) == '\0')
            break;
    return true;
}

bool KorvaneReadAheadEnabled()
{
    const char* v = std::getenv("KORVANE_READ_AHEAD");
    return !v || !(std::strcmp(v, "0") == 0 || std::strcmp(v, "off") == 0);
}

bool KorvanePrefetchNextFrame(const NodeSettings& settings, KorvanePlayHint& hint)
{
    char path[kCachePathSize];
    return KorvaneNextFramePath(settings, hint, path) && KorvaneReadAheadEnabled() &&
           FilePrefetch(path);
}
