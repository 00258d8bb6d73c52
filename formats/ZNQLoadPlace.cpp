// Where and why a load failed.
#include "formats/ZNQLoadPlace.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

void PlaceReset(ZNQLoadPlace* place)
{
    if (place)
        *place = ZNQLoadPlace{};
}

namespace
{

// Writes the reason; an empty one becomes "?", so that the place counts as
// known and later notes leave it alone.
void SetReason(ZNQLoadPlace& place, const char* format, va_list args)
{
    if (format)
        std::vsnprintf(place.reason, sizeof place.reason, format, args);
    if (!place.Known())
        place.reason[0] = '?', place.reason[1] = '\0';
}

} // namespace

void PlaceAtLine(ZNQLoadPlace* place, int64_t line, const char* format, ...)
{
    if (!place || place->Known())
        return;
    place->line = line > 0 ? line : 0;
    va_list args;
    va_start(args, format);
    SetReason(*place, format, args);
    va_end(args);
}

void PlaceAtOffset(ZNQLoadPlace* place, int64_t offset, const char* section, const char* format, ...)
{
    if (!place || place->Known())
        return;
    place->offset = offset >= 0 ? offset : -1;
    std::snprintf(place->section, sizeof place->section, "%s", section ? section : "");
    va_list args;
    va_start(args, format);
    SetReason(*place, format, args);
    va_end(args);
}

size_t PlaceWhere(const ZNQLoadPlace& place, char* buffer, size_t size)
{
    if (!buffer || size == 0)
        return 0;
    buffer[0] = '\0';
    int n = 0;
    if (place.line > 0)
        n = std::snprintf(buffer, size, "line %lld", static_cast<long long>(place.line));
    else if (place.offset >= 0 && place.section[0])
        n = std::snprintf(buffer, size, "byte %lld (%s)", static_cast<long long>(place.offset),
                          place.section);
    else if (place.offset >= 0)
        n = std::snprintf(buffer, size, "byte %lld", static_cast<long long>(place.offset));
    else if (place.section[0])
        n = std::snprintf(buffer, size, "%s", place.section);
    if (n < 0)
        return 0;
    return static_cast<size_t>(n) < size ? static_cast<size_t>(n) : size - 1;
}

size_t PlaceFormat(const ZNQLoadPlace& place, char* buffer, size_t size)
{
    if (!buffer || size == 0)
        return 0;
    buffer[0] = '\0';
    if (!place.Known())
        return 0;
    size_t n = PlaceWhere(place, buffer, size);
    if (place.reason[0])
    {
        const int m = std::snprintf(buffer + n, size - n, "%s%s", n ? ": " : "", place.reason);
        if (m > 0)
            n += static_cast<size_t>(m);
    }
    return n < size ? n : size - 1;
}

int64_t PlaceLineOf(const char* begin, const char* pos)
{
    if (!begin || !pos || pos < begin)
        return 0;
    int64_t line = 1;
    for (const char* p = begin; p < pos; ++p)
    {
        if (*p == '\n')
            ++line;
        else if (*p == '\r' && p[1] != '\n')
            ++line;
    }
    return line;
}
