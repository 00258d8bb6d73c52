// File and text helpers shared by the cache readers and the format dispatch.
//
// Every helper answers a null argument with a fixed failure value, so a reader
// can chain calls and test one result. Offsets are 64-bit on every platform.

// 64-bit off_t for fseeko/ftello on 32-bit POSIX systems; must precede <cstdio>.
#if !defined(_WIN32) && !defined(_FILE_OFFSET_BITS)
#define _FILE_OFFSET_BITS 64
#endif

#include "formats/ZNQFormats.h"
#include "formats/ZNQReaderUtil.h"

#include <cstdio>
#include <cstring>

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <windows.h>
#else
#include <cerrno>
#include <sys/types.h>
#include <unistd.h>
#endif

// ---------------------------------------------------------------------------
// Files

FILE* FileOpen(const char* path, const char* mode)
{
    if (!path || !mode)
        return nullptr;
#if defined(_WIN32)
    // Other processes (the simulation still writing the cache, a second Maya)
    // may read and write the file while we hold it open; a file we only read
    // may also be deleted or renamed meanwhile (a cache cleared or rewritten
    // while a frame is read or read ahead).
    if (std::strcmp(mode, "rb") == 0)
    {
        const HANDLE h = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            return nullptr;
        const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_RDONLY | _O_BINARY);
        if (fd < 0)
        {
            CloseHandle(h);
            return nullptr;
        }
        FILE* f = _fdopen(fd, "rb");
        if (!f)
            _close(fd); // closes the handle too
        return f;
    }
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

namespace znq_reader
{
namespace
{
// Reads bytes [from, to) of the stream's file (stream position start) into
// dst, on the calling thread; the bytes read. POSIX: positioned reads on the
// stream's own descriptor, which leave its offset alone. Windows: the part's
// own stream, opened on the file's path at its first use and kept
// (positioned reads on one synchronous handle would take turns, and on a
// file server every open is a round trip); 0 when there is none.
int64_t ReadPartAt(FILE* stream, PartStreams* streams, int32_t part, char* dst, int64_t from, int64_t to,
                   int64_t start)
{
    int64_t at = from;
#if defined(_WIN32)
    (void)stream;
    if (!streams || !streams->path)
        return 0;
    FILE*& own = streams->own[part];
    if (!own)
        own = FileOpen(streams->path, "rb");
    if (!own)
        return 0;
    if (FileSeek(own, start + from, SEEK_SET) == 0)
        at += static_cast<int64_t>(std::fread(dst + from, 1, static_cast<size_t>(to - from), own));
#else
    (void)streams;
    (void)part;
    const int fd = fileno(stream);
    while (at < to)
    {
        const ssize_t n = pread(fd, dst + at, static_cast<size_t>(to - at), static_cast<off_t>(start + at));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        at += n;
    }
#endif
    return at - from;
}
} // namespace

PartStreams::~PartStreams()
{
    for (FILE*& f : own)
    {
        FileClose(f);
        f = nullptr;
    }
}

size_t ReadBlock(void* buffer, size_t bytes, FILE* stream, PartStreams* streams, int64_t parallelBytes)
{
    if (!buffer || !stream)
        return 0;
    const int32_t threads = omp_get_max_threads();
    const int64_t total = static_cast<int64_t>(bytes);
    if (threads < 2 || parallelBytes <= 0 || total < parallelBytes || total < 2)
        return std::fread(buffer, 1, bytes, stream);
    // The stream's position (what it has buffered is taken into account):
    // the parts read the file's bytes from there on at explicit offsets, and
    // the stream is set after them at the end.
    const int64_t start = FileTell(stream);
    if (start < 0)
        return std::fread(buffer, 1, bytes, stream);

    constexpr int32_t kMaxParts = kMaxReadParts;
    int64_t parts = total / (parallelBytes / 2 > 0 ? parallelBytes / 2 : 1);
    if (parts > threads)
        parts = threads;
    if (parts > kMaxParts)
        parts = kMaxParts;
    if (parts < 2)
        parts = 2;
    int64_t bound[kMaxParts + 1];
    int64_t got[kMaxParts] = {};
    for (int32_t r = 0; r <= parts; ++r)
        bound[r] = znqpar::RangeStart(total, static_cast<int32_t>(parts), r);
    char* const dst = static_cast<char*>(buffer);
#pragma omp parallel for schedule(static, 1) num_threads(static_cast<int>(parts))
    for (int32_t r = 0; r < static_cast<int32_t>(parts); ++r)
        got[r] = ReadPartAt(stream, streams, r, dst, bound[r], bound[r + 1], start);

    // The count fread would give: the bytes read without a gap from the
    // start; a part that could not be read on its own (no stream of its own)
    // is read here, on this stream.
    int64_t done = 0;
    for (int32_t r = 0; r < static_cast<int32_t>(parts); ++r)
    {
        const int64_t want = bound[r + 1] - bound[r];
        if (got[r] == 0 && FileSeek(stream, start + bound[r], SEEK_SET) == 0)
            got[r] = static_cast<int64_t>(std::fread(dst + bound[r], 1, static_cast<size_t>(want), stream));
        done += got[r];
        if (got[r] < want)
            break;
    }
    if (FileSeek(stream, start + done, SEEK_SET) != 0)
        return 0;
    return static_cast<size_t>(done);
}
} // namespace znq_reader

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
