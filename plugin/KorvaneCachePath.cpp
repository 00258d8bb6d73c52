#include "plugin/KorvaneCachePath.h"

#include <cmath>
#include <cstdio>
#include <cstring>

const char* CacheExtensionOfFormat(int32_t format)
{
    switch (format)
    {
    case 0:
    case 1: return ".drs2";
    case 2: return ".obj";
    case 3: return ".bin";
    case 4: return ".znq";
    default: return "";
    }
}

char* ComposeCachePath(const char* directory, const char* pattern, const char* extension,
                       int32_t frame, char* out, char separator)
{
    if (!out || out == directory || out == pattern || out == extension)
        return nullptr;
    out[0] = '\0';
    if (!directory || !pattern || !extension)
        return out;

    // The joined text before the frame number goes in, with the same limit
    // as the final path. snprintf reports the length it wanted, so a cut is
    // seen and refused rather than passed on as a wrong file name.
    char composed[kCachePathSize];
    const bool needsDot = extension[0] != '\0' && extension[0] != '.';
    const int length = std::snprintf(composed, sizeof(composed), needsDot ? "%s%c%s.%s" : "%s%c%s%s",
                                     directory, separator, pattern, extension);
    if (length < 0 || length >= kCachePathSize)
        return nullptr;
    return ExpandFramePattern(composed, frame, out, separator);
}

char* ExpandFramePattern(const char* pattern, int32_t frame, char* out, char separator)
{
    if (!out || out == pattern)
        return nullptr;
    out[0] = '\0';
    if (!pattern)
        return out;

    const size_t patternLength = std::strlen(pattern);
    if (patternLength >= static_cast<size_t>(kCachePathSize))
        return nullptr;

    const char* run = std::strchr(pattern, '#');
    if (!run)
    {
        std::memcpy(out, pattern, patternLength + 1);
    }
    else
    {
        size_t width = 0;
        while (run[width] == '#')
            ++width;
        // width < kCachePathSize here, so it fits the int of "%0*d".
        const int length = std::snprintf(out, kCachePathSize, "%.*s%0*d%s",
                                         static_cast<int>(run - pattern), pattern,
                                         static_cast<int>(width), static_cast<int>(frame), run + width);
        if (length < 0 || length >= kCachePathSize)
        {
            out[0] = '\0';
            return nullptr;
        }
    }

    for (char* c = out; *c; ++c)
        if (*c == '/')
            *c = separator;
    return out;
}

void FrameOfIndexValue(float value, int16_t indexMode, float fractionStrength, int32_t& frame,
                       float& fraction)
{
    double rounded;
    if (indexMode == 1)
        rounded = std::floor(value);
    else if (indexMode == 2)
        rounded = std::ceil(value);
    else
    {
        // Halves away from zero: truncate v + 0.5 above zero, v - 0.5 else.
        const double v = value;
        rounded = std::trunc(v > 0.0 ? v + 0.5 : v - 0.5);
    }
    if (std::isnan(rounded))
        frame = 0;
    else if (rounded >= 2147483647.0)
        frame = INT32_MAX;
    else if (rounded <= -2147483648.0)
        frame = INT32_MIN;
    else
        frame = static_cast<int32_t>(rounded);

    fraction = 0.0f;
    if (fractionStrength != 0.0f)
        fraction = value - static_cast<float>(frame);
}
