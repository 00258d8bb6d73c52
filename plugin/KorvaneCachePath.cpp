#include "plugin/KorvaneCachePath.h"

#include <climits>
#include <cmath>
#include <cstdint>
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
    // A printf or $F mark counts only inside the pattern, never in the
    // directory (whose text may hold a '%' or '$' of its own).
    const size_t patternStart = std::strlen(directory) + 1;
    return ExpandFrameMark(composed, patternStart, frame, out, separator);
}

namespace {

bool IsNameChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// One or two decimal digits at s as a width of 1 to 99; 0 when there are none.
// *used: how many characters they take.
int32_t SmallWidth(const char* s, size_t* used)
{
    int32_t width = 0;
    size_t n = 0;
    while (n < 2 && s[n] >= '0' && s[n] <= '9')
    {
        width = width * 10 + (s[n] - '0');
        ++n;
    }
    *used = n;
    return width;
}

} // namespace

FrameToken FindFrameToken(const char* text, size_t searchFrom)
{
    FrameToken token = {false, 0, 0, 0};
    if (!text)
        return token;
    if (const char* run = std::strchr(text, '#'))
    {
        size_t width = 0;
        while (run[width] == '#')
            ++width;
        const size_t capped = width < static_cast<size_t>(INT32_MAX) ? width : static_cast<size_t>(INT32_MAX);
        token = {true, static_cast<size_t>(run - text), width, static_cast<int32_t>(capped)};
        return token;
    }
    const size_t length = std::strlen(text);
    for (size_t i = searchFrom; i < length; ++i)
    {
        const char* p = text + i;
        if (p[0] == '%')
        {
            // "%d" or "%0Nd".
            if (p[1] == 'd')
                return {true, i, 2, 1};
            if (p[1] == '0')
            {
                size_t used = 0;
                const int32_t width = SmallWidth(p + 2, &used);
                if (used > 0 && width > 0 && p[2 + used] == 'd')
                    return {true, i, 3 + used, width};
            }
        }
        else if (p[0] == '$' && p[1] == 'F')
        {
            size_t used = 0;
            const int32_t width = SmallWidth(p + 2, &used);
            if (IsNameChar(p[2 + used]))
                continue; // $FF, $Frame, $F123: some other variable
            if (used > 0 && width == 0)
                continue;
            return {true, i, 2 + used, used > 0 ? width : 1};
        }
    }
    return token;
}

char* ExpandFramePattern(const char* pattern, int32_t frame, char* out, char separator)
{
    return ExpandFrameMark(pattern, 0, frame, out, separator);
}

char* ExpandFrameMark(const char* pattern, size_t searchFrom, int32_t frame, char* out, char separator)
{
    if (!out || out == pattern)
        return nullptr;
    out[0] = '\0';
    if (!pattern)
        return out;

    const size_t patternLength = std::strlen(pattern);
    if (patternLength >= static_cast<size_t>(kCachePathSize))
        return nullptr;

    const FrameToken token = FindFrameToken(pattern, searchFrom);
    if (!token.found)
    {
        std::memcpy(out, pattern, patternLength + 1);
    }
    else
    {
        // The token lies inside a text shorter than kCachePathSize, so both
        // its offset and its width fit the ints of "%.*s%0*d".
        const int length = std::snprintf(out, kCachePathSize, "%.*s%0*d%s",
                                         static_cast<int>(token.start), pattern,
                                         static_cast<int>(token.width), static_cast<int>(frame),
                                         pattern + token.start + token.length);
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
