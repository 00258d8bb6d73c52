// Read-ahead of the next frame in the direction of play (see KorvanePrefetch.h).
#include "plugin/KorvanePrefetch.h"

#include <cstdlib>
#include <cstring>
#include <limits>

#include "formats/ZNQPrefetch.h"
#include "plugin/KorvaneCachePath.h"

void KorvaneNotePlayedFrame(const NodeSettings& settings, KorvanePlayHint& hint)
{
    if (!settings.active)
        return;
    if (hint.seen && settings.frame != hint.frame)
    {
        const int64_t move = int64_t(settings.frame) - int64_t(hint.frame);
        const bool rhythm = move == hint.lastMove && move >= -kMaxPlayStep && move <= kMaxPlayStep;
        if (move == 1 || move == -1 || rhythm)
            hint.step = static_cast<int32_t>(move);
        // Kept for the next comparison; a long jump can never match one.
        hint.lastMove = move >= -kMaxPlayStep && move <= kMaxPlayStep ? static_cast<int32_t>(move) : 0;
    }
    hint.seen = true;
    hint.frame = settings.frame;
}

bool KorvaneNextFramePath(const NodeSettings& settings, const char* directory, int32_t loadedFrame,
                          const KorvanePlayHint& hint, char* out)
{
    if (!settings.active || !directory || !out)
        return false;
    const int64_t nextFrame = int64_t(settings.frame) + hint.step;
    if (nextFrame > std::numeric_limits<int32_t>::max() || nextFrame < std::numeric_limits<int32_t>::min())
        return false;
    // The next evaluation's own decision, without the missing-frame policy
    // (which looks at files) and without an Interpolate partner.
    NodeSettings next = settings;
    next.frame = static_cast<int32_t>(nextFrame);
    next.fraction = 0.0f;
    next.missingFrames = kMissingError;
    FramePick pick;
    char path[kCachePathSize];
    if (ResolveFrame(next, directory, pick, path, nullptr) != kResolveLoad || pick.frame == loadedFrame)
        return false;
    std::memcpy(out, path, std::strlen(path) + 1);
    return true;
}

bool KorvaneReadAheadEnabled()
{
    const char* v = std::getenv("KORVANE_READ_AHEAD");
    return !v || !(std::strcmp(v, "0") == 0 || std::strcmp(v, "off") == 0);
}

namespace
{

// Copies path (null: none) into a hint's field, or empties the field when it
// does not fit.
void NotePath(char (&field)[kCachePathSize], const char* path)
{
    const size_t length = path ? std::strlen(path) : 0;
    if (length >= kCachePathSize)
        field[0] = '\0';
    else
        std::memcpy(field, path ? path : "", length + 1);
}

} // namespace

bool KorvanePrefetchNextFrame(const NodeSettings& settings, const char* directory, int32_t loadedFrame,
                              const char* loadedPath, KorvanePlayHint& hint)
{
    NotePath(hint.loadedPath, loadedPath);
    char path[kCachePathSize];
    const bool asked = KorvaneReadAheadEnabled() &&
                       KorvaneNextFramePath(settings, directory, loadedFrame, hint, path) &&
                       FilePrefetch(path, &hint, loadedPath);
    NotePath(hint.askedPath, asked ? path : nullptr);
    return asked;
}

bool KorvaneLoadIsInPlay(const char* path, const KorvanePlayHint& hint)
{
    return path && path[0] && (std::strcmp(path, hint.askedPath) == 0 || std::strcmp(path, hint.loadedPath) == 0);
}

void KorvaneEndReadAhead(const KorvanePlayHint& hint, const char* loadingPath)
{
    FilePrefetchCancel(&hint, loadingPath);
}
