#include "KorvaneArgs.h"

#include <cstdio>
#include <cstdlib>

#include "preview/KorvanePreview.h"

bool ParseSize(const char* text, int& width, int& height)
{
    char* end = nullptr;
    const long w = std::strtol(text, &end, 10);
    if (end == text || (*end != 'x' && *end != 'X'))
        return false;
    const char* hs = end + 1;
    const long h = std::strtol(hs, &end, 10);
    if (end == hs || *end != '\0' || w < 1 || h < 1 || w > kPreviewMaxSide || h > kPreviewMaxSide)
        return false;
    width = static_cast<int>(w);
    height = static_cast<int>(h);
    return true;
}

std::string PictureSizeError()
{
    return "bad picture size (WxH, 1 to " + std::to_string(kPreviewMaxSide) + " each)";
}

int ReportUsageError(const char* command, const char* usage, const char* what, const char* arg)
{
    if (arg)
        std::fprintf(stderr, "korvane %s: %s '%s'\n", command, what, arg);
    else
        std::fprintf(stderr, "korvane %s: %s\n", command, what);
    std::fputs(usage, stderr);
    return 2;
}
