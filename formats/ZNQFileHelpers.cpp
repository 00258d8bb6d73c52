// File and text helpers shared by the cache readers and the format dispatch.
//
// Every helper answers a null argument with a fixed failure value, so a reader
// can chain calls and test one result. Offsets are 64-bit on every platform.

// 64-bit off_t for fseeko/ftello on 32-bit POSIX systems; must precede <cstdio>.
#if !defined(_WIN32) && !defined(_FILE_OFFSET_BITS)
#define _FILE_OFFSET_BITS 64
#endif

#include "formats/ZNQFormats.h"

#include <cstdio>

#if defined(_WIN32)
#include <share.h>
#else
#include <sys/types.h>
#endif

// ---------------------------------------------------------------------------
// Files

FILE* FileOpen(const char* path, const char* mode)
{
    if (!path || !mode)
        return nullptr;
#if defined(_WIN32)
    // Other processes (the simulation still writing the cache, a second Maya)
    // may read and write the file while we hold it open.
    return _fsopen(path, mode, _SH_DENYNO);
#else
    return std::fopen(path, mode);
#endif
}

int FileClose(FILE* stream)
{
    if (!stream)
        return -1;
    return std::fclose(stream);
}

int FileSeek(FILE* stream, int64_t offset, int origin)
{
    if (!stream)
        return -1;
    int whence;
    switch (origin)
    {
    case SEEK_SET:
    case SEEK_CUR:
    case SEEK_END: whence = origin; break;
    default: return 1; // not an origin: a failed seek
    }
#if defined(_WIN32)
    return _fseeki64(stream, offset, whence);
#else
    return fseeko(stream, static_cast<off_t>(offset), whence);
#endif
}

int64_t FileTell(FILE* stream)
{
    if (!stream)
        return -1;
#if defined(_WIN32)
    return static_cast<int64_t>(_ftelli64(stream));
#else
    return static_cast<int64_t>(ftello(stream));
#endif
}

size_t FileRead(void* buffer, size_t elementSize, size_t count, FILE* stream)
{
    if (!buffer || !stream)
        return 0;
    return std::fread(buffer, elementSize, count, stream);
}

bool FileExists(const char* path)
{
    FILE* f = FileOpen(path, "rb");
    if (!f)
        return false;
    FileClose(f);
    return true;
}

// ---------------------------------------------------------------------------
// Text. Only the six C whitespace characters count, independent of locale.

static inline bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

static inline bool IsLineBreak(char c)
{
    return c == '\n' || c == '\r';
}

char* StrToLower(char* s)
{
    if (!s)
        return nullptr;
    for (char* p = s; *p; ++p)
        if (*p >= 'A' && *p <= 'Z')
            *p = static_cast<char>(*p - 'A' + 'a');
    return s;
}

const char* FindWhitespace(const char* s)
{
    if (!s)
        return nullptr;
    for (; *s; ++s)
        if (IsSpace(*s))
            return s;
    return nullptr;
}

const char* SkipWhitespace(const char* s)
{
    if (!s)
        return nullptr;
    while (IsSpace(*s))
        ++s;
    return *s ? s : nullptr;
}

const char* NextLine(const char* s)
{
    if (!s)
        return nullptr;
    while (*s && !IsLineBreak(*s))
        ++s;
    while (IsLineBreak(*s))
        ++s;
    return *s ? s : nullptr;
}

const char* LineEnd(const char* s)
{
    if (!s)
        return nullptr;
    while (*s && !IsLineBreak(*s))
        ++s;
    return s;
}
