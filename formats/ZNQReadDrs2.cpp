// Reader of .drs2, Korvane's ascii and binary mesh cache format.
//
// Both variants start with the text header "Drosil2-File-Format <year> asc|bin
// format". The ascii variant continues with keywords and numbers:
//
//   AmountOfVertices V          then V x (x y z)
//   AmountOfPolygonValues T     then records "n i0 .. in-1" until T values
//   AmountOfVertexColors C      C = 0 or V; then C x (r g b a)
//   AmountOfMotionVectors M     M = 0 or V; then M x (x y z)
//   AmountOfNormalVectors N     N = 0 or V; then N x (x y z)
//
// The binary variant skips the two line-break bytes after "format" and holds
// the same sections as little-endian blocks: i32 V, V x 3 f32, i32 T, i32
// count width, i32 index width (1, 2 or 4 bytes each), the records, i32 C,
// [f32 min, f32 max, C x 4 u16 quantised as min + code * (max - min) / 65000],
// i32 M, M x 3 f32, i32 N, N x 3 f32.
//
// Colours and normals are per vertex in the file and become per-node data.
// Every count is checked against what the rest of the file can hold before
// its array is allocated.
#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <type_traits>

#include "errors/ZNQError.h"
#include "formats/ZNQFormats.h"
#include "formats/ZNQReaderUtil.h"
#include "geometry/ZNQParallel.h"

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define KORVANE_DRS2_SSE2 1
#else
#define KORVANE_DRS2_SSE2 0
#endif

using znq_reader::g_drs2ChunkBytes;
using znq_reader::InFile;
using znq_reader::g_parallelReadBytes;
using znq_reader::ReadBlock;

namespace
{

// ---------------------------------------------------------------------------
// Tokens: whitespace-separated words read from the stream through a block
// buffer, each into a fixed 64-character buffer.

const size_t kTokenCap = 64; // 63 characters + NUL

// The ascii text could not be taken into memory (ReadAscii).
const int32_t kNotInMemory = INT32_MIN;

inline bool IsSpaceChar(char c)
{
    // ' ', '\t', '\n', '\v', '\f' and '\r' as bits of one mask.
    constexpr uint64_t kSpaces = (uint64_t(1) << ' ') | (uint64_t(1) << '\t') | (uint64_t(1) << '\n') |
                                 (uint64_t(1) << '\v') | (uint64_t(1) << '\f') | (uint64_t(1) << '\r');
    const unsigned char u = static_cast<unsigned char>(c);
    return u <= ' ' && ((kSpaces >> u) & 1u);
}

class TokenReader
{
public:
    // base: the file offset of the stream's current position.
    explicit TokenReader(FILE* f, int64_t base = 0) : _f(f), _bufOffset(base) {}

    enum Result
    {
        kEnd = 0,    // the file ended before a token
        kToken = 1,  // tok holds the token
        kBad = -1,   // longer than 63 characters or holding a NUL byte
    };

    Result Next(char* tok)
    {
        size_t len;
        return Next(tok, len);
    }

    // The same, with the token's length in len.
    Result Next(char* tok, size_t& len)
    {
        for (;;)
        {
            if (_pos == _len && !Fill())
                return kEnd;
            if (!IsSpaceChar(_buf[_pos]))
                break;
            ++_pos;
        }
        size_t n = 0;
        bool bad = false;
        for (;;)
        {
            if (_pos == _len && !Fill())
                break;
            // The buffered part of the token: find its end, then copy what
            // fits. A NUL byte or a 64th character makes the token bad.
            size_t p = _pos;
            const size_t end = _len;
            while (p < end && !IsSpaceChar(_buf[p]))
                ++p;
            const size_t run = p - _pos;
            const size_t room = kTokenCap - 1 - n;
            const size_t take = run < room ? run : room;
            bad = bad || run > room || std::memchr(_buf + _pos, '\0', run) != nullptr;
            std::memcpy(tok + n, _buf + _pos, take);
            n += take;
            _pos = p;
            if (p < end)
                break;
        }
        tok[n] = '\0';
        len = n;
        return bad ? kBad : kToken;
    }

    // File offset of the first character not yet consumed.
    int64_t Offset() const { return _bufOffset + static_cast<int64_t>(_pos); }

private:
    bool Fill()
    {
        _bufOffset += static_cast<int64_t>(_len);
        _pos = 0;
        _len = FileRead(_buf, 1, sizeof(_buf), _f);
        return _len > 0;
    }

    FILE* _f;
    int64_t _bufOffset;
    size_t _pos = 0;
    size_t _len = 0;
    char _buf[16384];
};

// A decimal integer filling the whole token, with optional sign; values
// beyond the int64 range saturate (they are refused as too large later).
bool ParseInt(const char* s, int64_t& value)
{
    bool negative = false;
    if (*s == '+' || *s == '-')
        negative = *s++ == '-';
    if (*s < '0' || *s > '9')
        return false;
    int64_t v = 0;
    for (; *s >= '0' && *s <= '9'; ++s)
    {
        const int d = *s - '0';
        v = (v > (INT64_MAX - d) / 10) ? INT64_MAX : v * 10 + d;
    }
    if (*s)
        return false;
    value = negative ? -v : v;
    return true;
}

// A real number filling the whole token, independent of the C locale.
// Beyond the float range: an infinity on overflow and zero on underflow, as
// the C library gives.
// len: the token's length.
bool ParseFloat(const char* s, size_t len, float& value)
{
    const char* end = s + len;
    if (*s == '+' && (s[1] == '+' || s[1] == '-'))
        return false;
    if (*s == '+')
        ++s; // from_chars takes no plus sign
    const auto r = std::from_chars(s, end, value);
    if (r.ec == std::errc() && r.ptr == end)
        return true;
    if (r.ec != std::errc::result_out_of_range || r.ptr != end)
        return false;
    double d;
    const auto rd = std::from_chars(s, end, d);
    if (rd.ec == std::errc() && rd.ptr == end)
    {
        value = static_cast<float>(d);
        return true;
    }
    // Out of double range too: the exponent's sign tells overflow from
    // underflow; without an exponent, a leading "0" or "." means underflow.
    const bool negative = *s == '-';
    const char* digits = negative ? s + 1 : s;
    const char* e = std::strpbrk(digits, "eE");
    const bool underflow = e ? e[1] == '-' : (*digits == '0' || *digits == '.');
    value = underflow ? 0.0f : HUGE_VALF;
    if (negative)
        value = -value;
    return true;
}

// ---------------------------------------------------------------------------
// Shared by both variants.

// Expands per-vertex values to new node arrays; code on a refused allocation.
template <typename T>
int32_t ExpandToNodes(ZNQGeometry& geo, const T* perVert, T*& nodeField, int32_t memCode)
{
    const int64_t numNodes = geo.NumNodes();
    T* nodes = geo._MemAllocArr<T>(static_cast<size_t>(numNodes), false);
    if (!nodes)
        return memCode;
    znq_reader::GatherToNodes(perVert, geo._numVert, geo._polyVInd, numNodes, nodes);
    nodeField = nodes;
    return ZNQ_OK;
}

// The counts C, M and N must be 0 or V.
int32_t CheckItemCount(int64_t count, int32_t numVert)
{
    if (count < 0)
        return ZNQ_ERR_UNKNOWN_FORMAT;
    if (count != 0 && count != numVert)
        return ZNQ_ERR_LOAD_USERDATA_COUNT;
    return ZNQ_OK;
}

// Polygon records collected into a temporary of T values become the corner
// counts and the index array. Values: n, i0 .. in-1, n, ...
// touch: map the index array's pages on all threads first (the parallel
// path), so that only the copy below is serial.
int32_t InstallPolygons(ZNQGeometry& geo, const int32_t* values, int64_t numValues, int32_t numPoly,
                        int64_t numNodes, bool touch = false)
{
    // 10, not 127: a refused polygon array has always reported the core's memory code.
    geo._polyNumVert = geo._MemAllocArr<uint8_t>(static_cast<size_t>(numPoly), false);
    if (!geo._polyNumVert)
        return ZNQ_ERR_MEMORY;
    geo._polyVInd = geo._MemAllocArr<int32_t>(static_cast<size_t>(numNodes), false);
    if (!geo._polyVInd)
        return ZNQ_ERR_MEMORY;
    geo._numPoly = numPoly;
    if (touch)
        znq_reader::TouchPages(geo._polyVInd, numNodes * 4);
    int64_t node = 0;
    int32_t p = 0;
    for (int64_t i = 0; i < numValues;)
    {
        const int32_t n = values[i++];
        geo._polyNumVert[p++] = static_cast<uint8_t>(n);
        std::memcpy(geo._polyVInd + node, values + i, static_cast<size_t>(n) * 4);
        node += n;
        i += n;
    }
    return ZNQ_OK;
}

// ---------------------------------------------------------------------------
// Ascii variant.

// The 1-based line of byte offset of an open text file, counted by reading
// it again from the start: only ever done after a failure, so the token loop
// does not pay for line counting. Moves the stream.
int64_t LineOfOffset(FILE* f, int64_t offset)
{
    if (!f || offset < 0 || FileSeek(f, 0, SEEK_SET) != 0)
        return 0;
    char buf[16384];
    int64_t line = 1, done = 0;
    char prev = '\0';
    while (done < offset)
    {
        const int64_t want = offset - done < int64_t(sizeof buf) ? offset - done : int64_t(sizeof buf);
        const size_t got = FileRead(buf, 1, static_cast<size_t>(want), f);
        if (got == 0)
            break;
        for (size_t i = 0; i < got; ++i)
        {
            if (buf[i] == '\n')
                line += prev == '\r' ? 0 : 1;
            else if (buf[i] == '\r')
                ++line;
            prev = buf[i];
        }
        done += static_cast<int64_t>(got);
    }
    return line;
}

// Notes a printf-style reason at the line of byte offset (first failure
// only).
void NoteAtOffset(ZNQLoadPlace* place, FILE* f, int64_t offset, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 4, 5)))
#endif
    ;
void NoteAtOffset(ZNQLoadPlace* place, FILE* f, int64_t offset, const char* format, ...)
{
    if (!place || place->Known())
        return;
    char reason[sizeof place->reason];
    va_list args;
    va_start(args, format);
    std::vsnprintf(reason, sizeof reason, format, args);
    va_end(args);
    PlaceAtLine(place, LineOfOffset(f, offset), "%s", reason);
}

// ---------------------------------------------------------------------------
// Ascii text held in memory, for the parse on several threads.
//
// The text after the header is cut into chunks of about g_drs2ChunkBytes,
// each cut moved on to just after the next line break, so that no token
// straddles a cut; the cuts depend only on the text. A first parallel pass
// counts the tokens of every chunk, and prefix sums give each chunk the
// file-order index of its first token. The file's structure is a sequence of
// runs of tokens whose lengths the counts before them give (V x 3 reals, T
// polygon values, ...), so every run is parsed chunk by chunk in parallel,
// each token into the slot its index names. A failing token is remembered by
// its index, the smallest index wins, and its text and place are found again
// by a serial scan: the code, the message and the line are those of the
// one-thread reader, which stops at the first failure in file order.

// The next token of [p, end): its first character in s, p just after it.
// False when only whitespace is left.
inline bool ScanToken(const char*& p, const char* end, const char*& s)
{
    while (p < end && IsSpaceChar(*p))
        ++p;
    if (p == end)
        return false;
    s = p;
    while (p < end && !IsSpaceChar(*p))
        ++p;
    return true;
}

// Copies the token [s, e) into tok (kTokenCap bytes) as the stream reader
// does: at most 63 characters, kBad when longer or holding a NUL byte.
inline TokenReader::Result CopyToken(const char* s, const char* e, char* tok, size_t& len)
{
    const size_t n = static_cast<size_t>(e - s);
    if (n > kTokenCap - 1)
    {
        std::memcpy(tok, s, kTokenCap - 1);
        tok[kTokenCap - 1] = '\0';
        len = kTokenCap - 1;
        return TokenReader::kBad;
    }
    // Tokens are short: one inline pass copies and looks for a NUL byte.
    bool nul = false;
    for (size_t i = 0; i < n; ++i)
    {
        tok[i] = s[i];
        nul |= s[i] == '\0';
    }
    tok[n] = '\0';
    len = n;
    return nul ? TokenReader::kBad : TokenReader::kToken;
}

// The chunks of a text and the tokens before each.
struct TextChunks
{
    const char* text = nullptr; // the whole file
    int64_t size = 0;           // bytes of text
    int32_t count = 0;
    const int64_t* cut = nullptr;       // count + 1 byte offsets
    const int64_t* tokBefore = nullptr; // count + 1: tokens in the chunks before
    int64_t Tokens() const { return tokBefore[count]; }
    // The chunk holding token t (t < Tokens()).
    int32_t ChunkOf(int64_t t) const
    {
        int32_t lo = 0, hi = count; // tokBefore[lo] <= t < tokBefore[hi]
        while (hi - lo > 1)
        {
            const int32_t mid = lo + (hi - lo) / 2;
            if (tokBefore[mid] <= t)
                lo = mid;
            else
                hi = mid;
        }
        return lo;
    }
    // Token t again, by a scan of its chunk: copied into tok; end is the
    // offset just after it.
    TokenReader::Result TokenAt(int64_t t, char* tok, int64_t& end) const
    {
        const int32_t c = ChunkOf(t);
        const char* p = text + cut[c];
        const char* e = text + cut[c + 1];
        const char* s = p;
        for (int64_t i = tokBefore[c]; i <= t; ++i)
            ScanToken(p, e, s);
        end = p - text;
        size_t len;
        return CopyToken(s, p, tok, len);
    }
};

// Token cursor over a TextChunks text; the same interface as TokenReader,
// plus the index of the next token.
class MemTokens
{
public:
    MemTokens(const TextChunks& chunks, int64_t start)
        : _chunks(chunks), _p(chunks.text + start), _end(chunks.text + chunks.size)
    {
    }

    TokenReader::Result Next(char* tok)
    {
        size_t len;
        return Next(tok, len);
    }
    TokenReader::Result Next(char* tok, size_t& len)
    {
        const char* s;
        if (!ScanToken(_p, _end, s))
            return TokenReader::kEnd;
        ++_index;
        return CopyToken(s, _p, tok, len);
    }
    int64_t Offset() const { return _p - _chunks.text; }
    int64_t Index() const { return _index; }
    const TextChunks& Chunks() const { return _chunks; }
    // Moves past count tokens whose last one ends at byte end.
    void Advance(int64_t count, int64_t end)
    {
        _index += count;
        _p = _chunks.text + end;
    }

private:
    const TextChunks& _chunks;
    const char* _p;
    const char* _end;
    int64_t _index = 0;
};

// Where a parallel run of tokens stopped.
struct RunOutcome
{
    int64_t bad = INT64_MAX; // index of the first token that failed, or INT64_MAX
    int64_t lastEnd = -1;    // byte offset after the run's last token
};

// Parses tokens first .. first+count-1 (those present) in parallel, chunk by
// chunk: parse(tok, len, i) for the i-th token of the run; false marks a
// failure, and a chunk stops at its first one. bad is scratch of
// chunks.count entries.
template <typename Parse>
RunOutcome ParseRun(const TextChunks& chunks, int64_t first, int64_t count, int64_t* bad, const Parse& parse)
{
    RunOutcome out;
    const int64_t stop = first + count;
    const int64_t last = (stop < chunks.Tokens() ? stop : chunks.Tokens()) - 1;
    if (count <= 0 || last < first)
        return out;
    const int32_t c0 = chunks.ChunkOf(first);
    const int32_t c1 = chunks.ChunkOf(last);
    int64_t lastEnd = -1;
#pragma omp parallel for schedule(dynamic, 1) if (c1 > c0)
    for (int32_t c = c0; c <= c1; ++c)
    {
        bad[c] = INT64_MAX;
        const char* p = chunks.text + chunks.cut[c];
        const char* e = chunks.text + chunks.cut[c + 1];
        const char* s;
        int64_t t = chunks.tokBefore[c];
        while (t < first && ScanToken(p, e, s))
            ++t;
        char tok[kTokenCap];
        for (; t < stop && ScanToken(p, e, s); ++t)
        {
            size_t len;
            if (CopyToken(s, p, tok, len) != TokenReader::kToken || !parse(tok, len, t - first))
            {
                bad[c] = t;
                break;
            }
            if (t == stop - 1)
                lastEnd = p - chunks.text; // one chunk holds the last token
        }
    }
    for (int32_t c = c0; c <= c1; ++c)
        if (bad[c] < out.bad)
            out.bad = bad[c];
    out.lastEnd = lastEnd;
    return out;
}

// Tokens in [p, p + n) that start there: characters after whitespace, the
// text taken to follow whitespace. Counted 16 bytes at a time where SSE2 is
// there: a byte is whitespace when it is ' ' or 9..13, and each mask of
// starts is popcounted.
int64_t CountTokenStarts(const char* p, int64_t n)
{
    int64_t count = 0, i = 0;
    uint32_t prevSpace = 1;
#if KORVANE_DRS2_SSE2
    const __m128i k32 = _mm_set1_epi8(32), k9 = _mm_set1_epi8(9), k4 = _mm_set1_epi8(4);
    for (; i + 16 <= n; i += 16)
    {
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        const __m128i d = _mm_sub_epi8(c, k9); // 9..13 become 0..4
        const __m128i space =
            _mm_or_si128(_mm_cmpeq_epi8(c, k32), _mm_cmpeq_epi8(_mm_min_epu8(d, k4), d));
        const uint32_t sp = static_cast<uint32_t>(_mm_movemask_epi8(space));
        const uint32_t starts = ~sp & ((sp << 1) | prevSpace) & 0xFFFFu;
        uint32_t x = starts - ((starts >> 1) & 0x5555u); // popcount of 16 bits, inline
        x = (x & 0x3333u) + ((x >> 2) & 0x3333u);
        x = (x + (x >> 4)) & 0x0F0Fu;
        count += static_cast<int64_t>((x + (x >> 8)) & 0x1Fu);
        prevSpace = (sp >> 15) & 1u;
    }
#endif
    for (; i < n; ++i)
    {
        const uint32_t space = IsSpaceChar(p[i]) ? 1u : 0u;
        count += prevSpace & (space ^ 1u);
        prevSpace = space;
    }
    return count;
}

// Cuts [start, size) of text into chunks and counts their tokens. The two
// tables (count + 1 entries each) come from the geometry's budget; false
// when refused.
class ChunkTable
{
public:
    ChunkTable(ZNQGeometry& geo, const char* text, int64_t size, int64_t start)
        : _count(static_cast<int32_t>((size - start + g_drs2ChunkBytes - 1) / g_drs2ChunkBytes)),
          _table(geo, 3 * (static_cast<size_t>(_count) + 1), false)
    {
        if (!_table.ptr)
            return;
        int64_t* cut = _table.ptr;
        int64_t* tokBefore = cut + _count + 1;
        cut[0] = start;
        for (int32_t c = 1; c < _count; ++c)
        {
            int64_t at = start + int64_t(c) * g_drs2ChunkBytes;
            if (at < cut[c - 1])
                at = cut[c - 1];
            // Just after the next line feed or lone carriage return.
            while (at < size && text[at] != '\n' && !(text[at] == '\r' && (at + 1 == size || text[at + 1] != '\n')))
                ++at;
            cut[c] = at < size ? at + 1 : size;
        }
        cut[_count] = size;
#pragma omp parallel for schedule(dynamic, 1)
        for (int32_t c = 0; c < _count; ++c)
        {
            // Token starts: a character after whitespace, counted without
            // branches (a chunk starts after a line break, chunk 0 on the
            // whitespace after the header).
            tokBefore[c + 1] = CountTokenStarts(text + cut[c], cut[c + 1] - cut[c]);
        }
        tokBefore[0] = 0;
        for (int32_t c = 0; c < _count; ++c)
            tokBefore[c + 1] += tokBefore[c];
        _chunks.text = text;
        _chunks.size = size;
        _chunks.count = _count;
        _chunks.cut = cut;
        _chunks.tokBefore = tokBefore;
    }
    bool Ok() const { return _table.ptr != nullptr; }
    const TextChunks& Chunks() const { return _chunks; }
    // Scratch of one entry per chunk.
    int64_t* Scratch() { return _table.ptr + 2 * (static_cast<size_t>(_count) + 1); }

private:
    int32_t _count;
    ZNQScopedArray<int64_t> _table;
    TextChunks _chunks;
};

// Reads the ascii sections after the header. Tokens is TokenReader (one
// thread, the text streamed through a block buffer) or MemTokens (the text
// in memory, its runs parsed on several threads); both give the same
// geometry, codes and notes.
template <typename Tokens>
class AsciiReader
{
    static constexpr bool kParallel = std::is_same<Tokens, MemTokens>::value;

public:
    // scratch: one entry per chunk (MemTokens only).
    AsciiReader(ZNQGeometry& geo, InFile& in, Tokens& tr, int64_t* scratch = nullptr)
        : _geo(geo), _in(in), _tr(tr), _scratch(scratch)
    {
    }

    int32_t Read(bool loadNormals, bool loadMotions, bool loadColors)
    {
        int64_t numVert;
        int32_t rc = ReadCount("amountofvertices", numVert);
        if (rc)
            return rc;
        if (numVert == 0)
            return AllocEmptyMesh();
        // Each value needs at least one character and a separator.
        if (numVert > INT32_MAX || !TextHolds(numVert * 3))
            return PastEnd(numVert);
        _geo._vertPos = _geo._MemAllocArr<float3>(static_cast<size_t>(numVert), false);
        if (!_geo._vertPos)
            return ZNQ_ERR_LOAD_MEMORY;
        _geo._numVert = static_cast<int32_t>(numVert);
        _what = "vertices";
        if (!ReadFloats(&_geo._vertPos[0].x, numVert * 3))
            return ZNQ_ERR_LOAD_READ;

        if ((rc = ReadPolygons()) != 0)
            return rc;

        // Colours.
        int64_t count;
        if ((rc = ReadItemCount("amountofvertexcolors", count)) != 0)
            return rc;
        _what = "colors";
        if (count > 0)
        {
            if (!loadColors)
            {
                if (!ReadFloats(nullptr, count * 4))
                    return ZNQ_ERR_LOAD_READ;
            }
            else
            {
                ZNQScopedArray<float4> col(_geo, static_cast<size_t>(count), false);
                if (!col.ptr)
                    return ZNQ_ERR_LOAD_MEMORY;
                if (!ReadFloats(&col.ptr[0].x, count * 4))
                    return ZNQ_ERR_LOAD_READ;
                if ((rc = ExpandToNodes(_geo, col.ptr, _geo._nodeCol, ZNQ_ERR_MEMORY)) != 0)
                    return rc;
            }
        }

        // Motion vectors, per vertex as in the file.
        if ((rc = ReadItemCount("amountofmotionvectors", count)) != 0)
            return rc;
        _what = "motion vectors";
        if (count > 0)
        {
            if (!loadMotions)
            {
                if (!ReadFloats(nullptr, count * 3))
                    return ZNQ_ERR_LOAD_READ;
            }
            else
            {
                _geo._vertMotion = _geo._MemAllocArr<float3>(static_cast<size_t>(count), false);
                if (!_geo._vertMotion)
                    return ZNQ_ERR_LOAD_MEMORY;
                if (!ReadFloats(&_geo._vertMotion[0].x, count * 3))
                    return ZNQ_ERR_LOAD_READ;
            }
        }

        // Normals.
        if ((rc = ReadItemCount("amountofnormalvectors", count)) != 0)
            return rc;
        _what = "normals";
        if (count > 0)
        {
            if (!loadNormals)
                return ReadFloats(nullptr, count * 3) ? ZNQ_OK : ZNQ_ERR_LOAD_READ;
            ZNQScopedArray<float3> nrm(_geo, static_cast<size_t>(count), false);
            if (!nrm.ptr)
                return ZNQ_ERR_LOAD_MEMORY;
            if (!ReadFloats(&nrm.ptr[0].x, count * 3))
                return ZNQ_ERR_LOAD_READ;
            return ExpandToNodes(_geo, nrm.ptr, _geo._nodeNrm, ZNQ_ERR_MEMORY);
        }
        return ZNQ_OK;
    }

private:
    // The room for values numbers in the rest of the text: each takes at
    // least one character plus a separator (the very last may end the file).
    bool TextHolds(int64_t values) const
    {
        return values <= 0 || 2 * values - 1 <= _in.size - _tr.Offset();
    }

    // A keyword (any case) and its count; a wrong or missing keyword, a
    // missing or malformed count or a negative one: 50.
    int32_t ReadCount(const char* keyword, int64_t& count)
    {
        char tok[kTokenCap];
        TokenReader::Result r = _tr.Next(tok);
        if (r != TokenReader::kToken || std::strcmp(StrToLower(tok), keyword) != 0)
        {
            if (r == TokenReader::kEnd)
                Note("the file ends before '%s'", keyword);
            else
                Note("'%s' expected, '%.40s' found", keyword, r == TokenReader::kToken ? tok : "?");
            return ZNQ_ERR_UNKNOWN_FORMAT;
        }
        r = _tr.Next(tok);
        if (r != TokenReader::kToken || !ParseInt(tok, count) || count < 0)
        {
            if (r == TokenReader::kEnd)
                Note("the file ends before the count of '%s'", keyword);
            else
                Note("count of '%s': '%.40s' is not a count", keyword, r == TokenReader::kToken ? tok : "?");
            return ZNQ_ERR_UNKNOWN_FORMAT;
        }
        return ZNQ_OK;
    }

    // ReadCount, then the count must be 0 or the vertex count.
    int32_t ReadItemCount(const char* keyword, int64_t& count)
    {
        int32_t rc = ReadCount(keyword, count);
        if (!rc && (rc = CheckItemCount(count, _geo._numVert)) != 0)
            Note("'%s' %lld, 0 or the vertex count %d expected", keyword, static_cast<long long>(count),
                 _geo._numVert);
        return rc;
    }

    // Notes reason at the line of the last token (first failure only).
    template <typename... Args>
    void Note(const char* format, Args... args)
    {
        NoteAtOffset(_in.place, _in.f, _tr.Offset(), format, args...);
    }

    // A count whose values cannot fit in the rest of the file.
    int32_t PastEnd(int64_t count)
    {
        Note("count %lld past the end of the file", static_cast<long long>(count));
        return ZNQ_ERR_LOAD_READ;
    }

    // count reals into dst, or parsed and dropped for a null dst.
    bool ReadFloats(float* dst, int64_t count)
    {
        if constexpr (kParallel)
            return ReadFloatsInRuns(dst, count);
        char tok[kTokenCap];
        float v;
        for (int64_t i = 0; i < count; ++i)
        {
            size_t len;
            const TokenReader::Result r = _tr.Next(tok, len);
            if (r != TokenReader::kToken || !ParseFloat(tok, len, v))
            {
                if (r == TokenReader::kEnd)
                    Note("%s: %lld values expected, %lld found", _what, static_cast<long long>(count),
                         static_cast<long long>(i));
                else
                    Note("%s: '%.40s' is not a number", _what, r == TokenReader::kToken ? tok : "?");
                return false;
            }
            if (dst)
                dst[i] = v;
        }
        return true;
    }

    // ReadFloats on several threads.
    bool ReadFloatsInRuns(float* dst, int64_t count)
    {
        if (count <= 0)
            return true;
        const TextChunks& ch = _tr.Chunks();
        const int64_t first = _tr.Index();
        const RunOutcome run = ParseRun(ch, first, count, _scratch, [dst](const char* tok, size_t len, int64_t i) {
            float v;
            if (!ParseFloat(tok, len, v))
                return false;
            if (dst)
                dst[i] = v;
            return true;
        });
        if (run.bad != INT64_MAX)
        {
            char tok[kTokenCap];
            int64_t end;
            const TokenReader::Result r = ch.TokenAt(run.bad, tok, end);
            NoteAtOffset(_in.place, _in.f, end, "%s: '%.40s' is not a number", _what,
                         r == TokenReader::kToken ? tok : "?");
            return false;
        }
        if (ch.Tokens() < first + count)
        {
            NoteAtOffset(_in.place, _in.f, ch.size, "%s: %lld values expected, %lld found", _what,
                         static_cast<long long>(count), static_cast<long long>(ch.Tokens() - first));
            return false;
        }
        _tr.Advance(count, run.lastEnd);
        return true;
    }

    int32_t AllocEmptyMesh()
    {
        _geo._vertPos = _geo._MemAllocArr<float3>(1, true);
        return _geo._vertPos ? ZNQ_OK : ZNQ_ERR_LOAD_MEMORY;
    }

    int32_t ReadPolygons()
    {
        int64_t numValues;
        int32_t rc = ReadCount("amountofpolygonvalues", numValues);
        if (rc)
            return rc;
        if (numValues > INT32_MAX || !TextHolds(numValues))
            return PastEnd(numValues);
        ZNQScopedArray<int32_t> values(_geo, static_cast<size_t>(numValues), false);
        if (!values.ptr)
            return ZNQ_ERR_LOAD_MEMORY;
        if constexpr (kParallel)
            return ReadPolygonsInRuns(values.ptr, numValues);

        char tok[kTokenCap];
        int64_t read = 0, numNodes = 0;
        int32_t numPoly = 0;
        while (read < numValues)
        {
            int64_t n;
            if (_tr.Next(tok) != TokenReader::kToken || !ParseInt(tok, n))
            {
                Note("polygon values: %lld expected, %lld found", static_cast<long long>(numValues),
                     static_cast<long long>(read));
                return ZNQ_ERR_LOAD_READ;
            }
            if (n < 0 || n > 255)
            {
                Note("polygon of %lld corners, 0 to 255 are read", static_cast<long long>(n));
                return ZNQ_ERR_POLYGON_TOO_LARGE;
            }
            // A record running past T: the count and the records disagree.
            if (read + 1 + n > numValues)
            {
                Note("polygon of %lld corners runs past the %lld polygon values", static_cast<long long>(n),
                     static_cast<long long>(numValues));
                return ZNQ_ERR_UNKNOWN_FORMAT;
            }
            values[static_cast<size_t>(read++)] = static_cast<int32_t>(n);
            for (int64_t i = 0; i < n; ++i)
            {
                int64_t index;
                const TokenReader::Result r = _tr.Next(tok);
                if (r != TokenReader::kToken || !ParseInt(tok, index))
                {
                    if (r == TokenReader::kEnd)
                        Note("polygon values: %lld expected, %lld found", static_cast<long long>(numValues),
                             static_cast<long long>(read));
                    else
                        Note("polygon values: '%.40s' is not an index", r == TokenReader::kToken ? tok : "?");
                    return ZNQ_ERR_LOAD_READ;
                }
                // Indices beyond 32 bits are out of range like -1; the
                // clean-up removes their polygons.
                values[static_cast<size_t>(read++)] =
                    (index < INT32_MIN || index > INT32_MAX) ? -1 : static_cast<int32_t>(index);
            }
            ++numPoly;
            numNodes += n;
        }
        return InstallPolygons(_geo, values.ptr, numValues, numPoly, numNodes);
    }

    // The polygon values on several threads: every value parsed in parallel
    // as an integer (beyond 32 bits: -1), then one serial walk over the
    // records checks the counts in file order, interleaved with the first
    // failed value as the one-thread reader meets them.
    int32_t ReadPolygonsInRuns(int32_t* values, int64_t numValues)
    {
        const TextChunks& ch = _tr.Chunks();
        const int64_t first = _tr.Index();
        const RunOutcome run =
            ParseRun(ch, first, numValues, _scratch, [values](const char* tok, size_t, int64_t i) {
                int64_t v;
                if (!ParseInt(tok, v))
                    return false;
                values[i] = (v < INT32_MIN || v > INT32_MAX) ? -1 : static_cast<int32_t>(v);
                return true;
            });
        // The first value that failed or is missing, counted in the run.
        const int64_t missing = ch.Tokens() - first;
        const int64_t failed = run.bad != INT64_MAX ? run.bad - first : missing;
        // Byte offset after value i of the run, and its text.
        char tok[kTokenCap];
        auto endOf = [&](int64_t i, TokenReader::Result* r) {
            int64_t end = ch.size;
            const TokenReader::Result got = i < missing ? ch.TokenAt(first + i, tok, end) : TokenReader::kEnd;
            if (r)
                *r = got;
            return end;
        };

        int64_t read = 0, numNodes = 0;
        int32_t numPoly = 0;
        while (read < numValues)
        {
            if (read == failed)
            {
                NoteAtOffset(_in.place, _in.f, endOf(read, nullptr), "polygon values: %lld expected, %lld found",
                             static_cast<long long>(numValues), static_cast<long long>(read));
                return ZNQ_ERR_LOAD_READ;
            }
            int64_t n = values[read];
            if (n < 0 || n > 255)
            {
                const int64_t end = endOf(read, nullptr);
                if (n == -1)
                    ParseInt(tok, n); // the count as written, perhaps beyond 32 bits
                NoteAtOffset(_in.place, _in.f, end, "polygon of %lld corners, 0 to 255 are read",
                             static_cast<long long>(n));
                return ZNQ_ERR_POLYGON_TOO_LARGE;
            }
            if (read + 1 + n > numValues)
            {
                NoteAtOffset(_in.place, _in.f, endOf(read, nullptr),
                             "polygon of %lld corners runs past the %lld polygon values", static_cast<long long>(n),
                             static_cast<long long>(numValues));
                return ZNQ_ERR_UNKNOWN_FORMAT;
            }
            if (failed > read && failed <= read + n)
            {
                TokenReader::Result r;
                const int64_t end = endOf(failed, &r);
                if (r == TokenReader::kEnd)
                    NoteAtOffset(_in.place, _in.f, end, "polygon values: %lld expected, %lld found",
                                 static_cast<long long>(numValues), static_cast<long long>(failed));
                else
                    NoteAtOffset(_in.place, _in.f, end, "polygon values: '%.40s' is not an index",
                                 r == TokenReader::kToken ? tok : "?");
                return ZNQ_ERR_LOAD_READ;
            }
            read += 1 + n;
            ++numPoly;
            numNodes += n;
        }
        if (numValues > 0)
            _tr.Advance(numValues, run.lastEnd);
        return InstallPolygons(_geo, values, numValues, numPoly, numNodes, true);
    }

    ZNQGeometry& _geo;
    InFile& _in;
    Tokens& _tr;
    int64_t* _scratch;
    const char* _what = "vertices"; // the values being read, for the notes
};

// ---------------------------------------------------------------------------
// Binary variant.

inline int64_t LoadWidth(const unsigned char* p, int32_t width)
{
    switch (width)
    {
    case 1: return p[0];
    case 2:
    {
        uint16_t v;
        std::memcpy(&v, p, 2);
        return v;
    }
    default:
    {
        int32_t v;
        std::memcpy(&v, p, 4);
        return v;
    }
    }
}

// Outcome of the first pass over the polygon records. The pass also marks
// every step-th polygon (byte and node where its record starts), so that the
// second pass can start at the marks on several threads. The marks depend
// only on the records: at most kMarks, the step doubling when they run out.
constexpr int32_t kMarks = 64;
struct RecordScan
{
    int32_t rc = ZNQ_OK;
    int64_t end = 0;      // bytes taken by the records
    int64_t numNodes = 0;
    int32_t numPoly = 0;
    // The first step: 4096 polygons for ranges of 32768 elements (smaller
    // when the fuzz targets lower the range size).
    int32_t step = static_cast<int32_t>(znqpar::g_minPerRange >= 16 ? znqpar::g_minPerRange / 8 : 2);
    int32_t marks = 0;
    int64_t markByte[kMarks];
    int64_t markNode[kMarks];
};

// Records the first pass takes at once in a run of one size.
constexpr int32_t kRun = 8;

// First pass: checks every record against T and the bytes read, and counts.
// The widths are template arguments, so that each of the nine layouts gets a
// loop of its own with constant-size loads.
template <int32_t kCountWidth, int32_t kIndexWidth>
RecordScan ScanRecords(const unsigned char* raw, int64_t got, int64_t numValues)
{
    RecordScan out;
    int64_t off = 0, read = 0, numNodes = 0;
    int32_t numPoly = 0;
    int64_t nextMark = 0;
    while (read < numValues)
    {
        if (numPoly == nextMark)
        {
            if (out.marks == kMarks)
            {
                for (int32_t m = 0; m < kMarks / 2; ++m)
                {
                    out.markByte[m] = out.markByte[2 * m];
                    out.markNode[m] = out.markNode[2 * m];
                }
                out.marks = kMarks / 2;
                out.step *= 2;
            }
            if (numPoly == int64_t(out.marks) * out.step)
            {
                out.markByte[out.marks] = off;
                out.markNode[out.marks] = numNodes;
                ++out.marks;
            }
            nextMark = int64_t(out.marks) * out.step;
        }
        if (off + kCountWidth > got)
        {
            out.rc = ZNQ_ERR_LOAD_READ;
            return out;
        }
        const int64_t n = LoadWidth(raw + off, kCountWidth);
        if (n < 0 || n > 255)
        {
            out.rc = ZNQ_ERR_POLYGON_TOO_LARGE;
            return out;
        }
        if (read + 1 + n > numValues)
        {
            out.rc = ZNQ_ERR_UNKNOWN_FORMAT; // a record running past T
            return out;
        }
        off += kCountWidth;
        if (off + n * kIndexWidth > got)
        {
            out.rc = ZNQ_ERR_LOAD_READ;
            return out;
        }
        off += n * kIndexWidth;
        read += 1 + n;
        numNodes += n;
        ++numPoly;

        // A run of records of this size (a triangle mesh is one run): the
        // counts of the next kRun records are read where this size puts
        // them, loads that do not wait for each other, and the run is taken
        // at once when every count matches and it ends within the bytes, T
        // and the next mark. Anything else takes the checks above.
        const int64_t stride = kCountWidth + n * kIndexWidth;
        while (numPoly + kRun <= nextMark && off + kRun * stride <= got && read + kRun * (1 + n) <= numValues)
        {
            bool same = true;
            for (int32_t j = 0; j < kRun; ++j)
                same &= LoadWidth(raw + off + j * stride, kCountWidth) == n;
            if (!same)
                break;
            off += kRun * stride;
            read += kRun * (1 + n);
            numNodes += kRun * n;
            numPoly += kRun;
        }
    }
    out.end = off;
    out.numNodes = numNodes;
    out.numPoly = numPoly;
    return out;
}

// Second pass over records the first pass has checked: corner counts and
// indices into the geometry's arrays. Triangles and quads of 4-byte indices
// copy with fixed sizes.
template <int32_t kCountWidth, int32_t kIndexWidth>
void FillRecords(const unsigned char* p, int32_t numPoly, uint8_t* counts, int32_t* vind)
{
    for (int32_t poly = 0; poly < numPoly; ++poly)
    {
        const int32_t n = static_cast<int32_t>(LoadWidth(p, kCountWidth));
        p += kCountWidth;
        counts[poly] = static_cast<uint8_t>(n);
        if constexpr (kIndexWidth == 4)
        {
            if (n == 3)
                std::memcpy(vind, p, 12);
            else if (n == 4)
                std::memcpy(vind, p, 16);
            else
                std::memcpy(vind, p, static_cast<size_t>(n) * 4);
        }
        else
        {
            for (int32_t i = 0; i < n; ++i)
                vind[i] = static_cast<int32_t>(LoadWidth(p + int64_t(i) * kIndexWidth, kIndexWidth));
        }
        p += int64_t(n) * kIndexWidth;
        vind += n;
    }
}

// Calls fn with the two widths (1, 2 or 4 bytes each) as integral constants.
template <typename Fn>
auto WithWidths(int32_t countWidth, int32_t indexWidth, Fn&& fn)
{
    auto byIndex = [&](auto countTag) {
        constexpr int32_t cw = decltype(countTag)::value;
        switch (indexWidth)
        {
        case 1: return fn(std::integral_constant<int32_t, cw>{}, std::integral_constant<int32_t, 1>{});
        case 2: return fn(std::integral_constant<int32_t, cw>{}, std::integral_constant<int32_t, 2>{});
        default: return fn(std::integral_constant<int32_t, cw>{}, std::integral_constant<int32_t, 4>{});
        }
    };
    switch (countWidth)
    {
    case 1: return byIndex(std::integral_constant<int32_t, 1>{});
    case 2: return byIndex(std::integral_constant<int32_t, 2>{});
    default: return byIndex(std::integral_constant<int32_t, 4>{});
    }
}

// Colour of vertex v (zeros when v >= limit): code times step plus minimum,
// rounded after the multiply and after the add.
struct Decoder
{
    const uint16_t* codes;
    float scale;
    float minimum;
    uint32_t limit;

    inline void operator()(uint32_t v, float4& out) const
    {
#if KORVANE_DRS2_SSE2
        // Four lanes at a time: a 16-bit code converts to float exactly.
        __m128 c4 = _mm_setzero_ps();
        if (v < limit)
        {
            const uint16_t* at = codes + 4 * static_cast<int64_t>(v);
            const __m128i c = _mm_unpacklo_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(at)),
                                                 _mm_setzero_si128());
            c4 = _mm_add_ps(_mm_mul_ps(_mm_cvtepi32_ps(c), _mm_set1_ps(scale)), _mm_set1_ps(minimum));
        }
        _mm_storeu_ps(&out.x, c4);
#else
        float4 c4{0.0f, 0.0f, 0.0f, 0.0f};
        if (v < limit)
        {
            const uint16_t* c = codes + 4 * static_cast<int64_t>(v);
            c4.x = static_cast<float>(c[0]) * scale + minimum;
            c4.y = static_cast<float>(c[1]) * scale + minimum;
            c4.z = static_cast<float>(c[2]) * scale + minimum;
            c4.w = static_cast<float>(c[3]) * scale + minimum;
        }
        out = c4;
#endif
    }
};

class BinaryReader
{
public:
    BinaryReader(ZNQGeometry& geo, InFile& in) : _geo(geo), _in(in) {}
    ~BinaryReader()
    {
        _geo._MemFree(_codes);
        _geo._MemFree(_vertNrm);
    }
    BinaryReader(const BinaryReader&) = delete;
    BinaryReader& operator=(const BinaryReader&) = delete;

    int32_t Read(bool loadNormals, bool loadMotions, bool loadColors)
    {
        int32_t numVert = 0;
        _in.section = "vertices";
        if (!_in.ReadI32(numVert) || numVert < 0)
        {
            if (numVert < 0)
                _in.NoteCount(numVert);
            return ZNQ_ERR_UNKNOWN_FORMAT;
        }
        if (numVert == 0)
        {
            _geo._vertPos = _geo._MemAllocArr<float3>(1, true);
            return _geo._vertPos ? ZNQ_OK : ZNQ_ERR_LOAD_MEMORY;
        }
        if (!_in.Holds(numVert, 12))
            return ZNQ_ERR_LOAD_READ;
        _geo._vertPos = _geo._MemAllocArr<float3>(static_cast<size_t>(numVert), false);
        if (!_geo._vertPos)
            return ZNQ_ERR_LOAD_MEMORY;
        _geo._numVert = numVert;
        if (!_in.ReadBytes(_geo._vertPos, int64_t(numVert) * 12))
            return ZNQ_ERR_LOAD_READ;

        _in.section = "polygons";
        int32_t rc = ReadPolygons();
        if (rc)
            return rc;

        // Colours: range, then 4 quantised components per vertex.
        _in.section = "colors";
        int32_t count;
        if ((rc = ReadItemCount(numVert, count)) != 0)
            return rc;
        if (count > 0)
        {
            if (!loadColors)
            {
                if (!_in.Skip(8 + 8 * int64_t(count)))
                    return ZNQ_ERR_LOAD_READ;
            }
            else if ((rc = ReadColors(count)) != 0)
                return rc;
        }

        _in.section = "motion vectors";
        if ((rc = ReadItemCount(numVert, count)) != 0 || (rc = ReadVectors(count, loadMotions, _geo._vertMotion)) != 0)
            return rc;
        _in.section = "normals";
        if ((rc = ReadItemCount(numVert, count)) != 0 || (rc = ReadVectors(count, loadNormals, _vertNrm)) != 0)
            return rc;
        return WriteNodeData();
    }

private:
    // The count of an optional item, 0 or the vertex count; noted when not.
    int32_t ReadItemCount(int32_t numVert, int32_t& count)
    {
        if (!_in.ReadI32(count))
            return ZNQ_ERR_UNKNOWN_FORMAT;
        const int32_t rc = CheckItemCount(count, numVert);
        if (rc && _in.place)
            PlaceAtOffset(_in.place, FileTell(_in.f) - 4, _in.section, "count %d, 0 or the vertex count %d expected",
                          count, numVert);
        return rc;
    }

    // count vectors (3 f32 each) into a new array dst, or skipped when not
    // loaded.
    int32_t ReadVectors(int32_t count, bool load, float3*& dst)
    {
        if (count <= 0)
            return ZNQ_OK;
        if (!load)
            return _in.Skip(12 * int64_t(count)) ? ZNQ_OK : ZNQ_ERR_LOAD_READ;
        if (!_in.Holds(count, 12))
            return ZNQ_ERR_LOAD_READ;
        dst = _geo._MemAllocArr<float3>(static_cast<size_t>(count), false);
        if (!dst)
            return ZNQ_ERR_LOAD_MEMORY;
        return _in.ReadBytes(dst, int64_t(count) * 12) ? ZNQ_OK : ZNQ_ERR_LOAD_READ;
    }

    // The records are read as one block (at most what the rest of the file
    // holds), checked and counted in a first pass and copied in a second;
    // the stream then continues right after the last record.
    int32_t ReadPolygons()
    {
        int32_t numValues = 0, countWidth = 0, indexWidth = 0;
        if (!_in.ReadI32(numValues) || numValues < 0)
        {
            if (numValues < 0)
                _in.NoteCount(numValues);
            return ZNQ_ERR_UNKNOWN_FORMAT;
        }
        if (!_in.ReadI32(countWidth) || !_in.ReadI32(indexWidth))
            return ZNQ_ERR_UNKNOWN_FORMAT;
        auto validWidth = [](int32_t w) { return w == 1 || w == 2 || w == 4; };
        if (!validWidth(countWidth) || !validWidth(indexWidth))
        {
            if (_in.place)
                PlaceAtOffset(_in.place, FileTell(_in.f) - 8, _in.section,
                              "count width %d and index width %d, 1, 2 or 4 expected", countWidth, indexWidth);
            return ZNQ_ERR_UNKNOWN_FORMAT;
        }

        const int64_t minWidth = countWidth < indexWidth ? countWidth : indexWidth;
        const int64_t maxWidth = countWidth < indexWidth ? indexWidth : countWidth;
        if (!_in.Holds(numValues, minWidth))
            return ZNQ_ERR_LOAD_READ;
        const int64_t start = FileTell(_in.f);
        if (start < 0)
            return ZNQ_ERR_LOAD_READ;
        int64_t blockBytes = int64_t(numValues) * maxWidth;
        if (blockBytes > _in.size - start)
            blockBytes = _in.size - start;
        ZNQScopedArray<unsigned char> block(_geo, static_cast<size_t>(blockBytes), false);
        if (!block.ptr)
            return ZNQ_ERR_LOAD_MEMORY;
        const int64_t got =
            static_cast<int64_t>(ReadBlock(block.ptr, static_cast<size_t>(blockBytes), _in.f, &_in.parts,
                                           g_parallelReadBytes));
        const unsigned char* raw = block.ptr;

        // Pass 1: check and count.
        const RecordScan scan = WithWidths(countWidth, indexWidth, [&](auto cw, auto iw) {
            return ScanRecords<decltype(cw)::value, decltype(iw)::value>(raw, got, numValues);
        });
        if (scan.rc != ZNQ_OK)
        {
            if (_in.place)
                PlaceAtOffset(_in.place, start, _in.section, "%s",
                              scan.rc == ZNQ_ERR_POLYGON_TOO_LARGE ? "a polygon of more than 255 corners"
                              : scan.rc == ZNQ_ERR_UNKNOWN_FORMAT ? "a polygon runs past the polygon values"
                                                                  : "the polygon values run past the end of the file");
            return scan.rc;
        }

        // Pass 2: fill.
        _geo._polyNumVert = _geo._MemAllocArr<uint8_t>(static_cast<size_t>(scan.numPoly), false);
        if (!_geo._polyNumVert)
            return ZNQ_ERR_MEMORY;
        _geo._polyVInd = _geo._MemAllocArr<int32_t>(static_cast<size_t>(scan.numNodes), false);
        if (!_geo._polyVInd)
            return ZNQ_ERR_MEMORY;
        _geo._numPoly = scan.numPoly;
        // From the marks on several threads (each part writes its own
        // polygons and nodes), or in one go.
        uint8_t* counts = _geo._polyNumVert;
        int32_t* vind = _geo._polyVInd;
        const bool split = scan.marks > 1 && znqpar::RangesFor(scan.numPoly) > 1;
        WithWidths(countWidth, indexWidth, [&](auto cw, auto iw) {
            constexpr int32_t kCw = decltype(cw)::value, kIw = decltype(iw)::value;
            if (!split)
            {
                FillRecords<kCw, kIw>(raw, scan.numPoly, counts, vind);
                return;
            }
#pragma omp parallel for schedule(dynamic, 1)
            for (int32_t m = 0; m < scan.marks; ++m)
            {
                const int32_t firstPoly = m * scan.step;
                const int32_t endPoly = m + 1 < scan.marks ? firstPoly + scan.step : scan.numPoly;
                FillRecords<kCw, kIw>(raw + scan.markByte[m], endPoly - firstPoly, counts + firstPoly,
                                      vind + scan.markNode[m]);
            }
        });
        return FileSeek(_in.f, start + scan.end, SEEK_SET) == 0 ? ZNQ_OK : ZNQ_ERR_LOAD_READ;
    }

    int32_t ReadColors(int32_t count)
    {
        float range[2];
        if (!_in.ReadBytes(range, 8))
            return ZNQ_ERR_LOAD_READ;
        if (!_in.Holds(count, 8))
            return ZNQ_ERR_LOAD_READ;
        // The 16-bit codes stay per vertex; each node decodes the codes of
        // the vertex its index names (WriteNodeData), so no per-vertex float
        // copy is made.
        const int64_t values = int64_t(count) * 4;
        _codes = _geo._MemAllocArr<uint16_t>(static_cast<size_t>(values), false);
        if (!_codes)
            return ZNQ_ERR_LOAD_MEMORY;
        if (!_in.ReadBytes(_codes, 2 * values))
            return ZNQ_ERR_LOAD_READ;
        // The step is (max - min) / 65000 in double, rounded to float; codes
        // above 65000 decode beyond the maximum.
        _colMin = range[0];
        _colScale = static_cast<float>(static_cast<double>(range[1] - range[0]) / 65000.0);
        return ZNQ_OK;
    }

    // Node colours from the held codes and node normals from the held
    // normals (either may be absent), in one pass over the nodes. An index
    // outside the vertices reads nothing and gives zeros; the clean-up
    // removes its polygon afterwards.
    int32_t WriteNodeData()
    {
        if (!_codes && !_vertNrm)
            return ZNQ_OK;
        const int64_t numNodes = _geo.NumNodes();
        float4* col = nullptr;
        float3* nrm = nullptr;
        if ((_codes && !(col = _geo._MemAllocArr<float4>(static_cast<size_t>(numNodes), false))) ||
            (_vertNrm && !(nrm = _geo._MemAllocArr<float3>(static_cast<size_t>(numNodes), false))))
        {
            _geo._MemFree(col);
            return ZNQ_ERR_LOAD_MEMORY;
        }
        const uint32_t limit = static_cast<uint32_t>(_geo._numVert);
        const int32_t* vind = _geo._polyVInd;
        const float3* vertNrm = _vertNrm;
        if (!col)
        {
            znq_reader::GatherToNodes(vertNrm, _geo._numVert, vind, numNodes, nrm);
        }
        else if (!nrm)
        {
            znqpar::ForEachRange(numNodes, [&](int64_t first, int64_t end) {
                const Decoder decode{_codes, _colScale, _colMin, limit};
                const int32_t* const ids = vind;
                float4* const colOut = col;
                for (int64_t k = first; k < end; ++k)
                    decode(static_cast<uint32_t>(ids[k]), colOut[k]);
            });
        }
        else
        {
            znqpar::ForEachRange(numNodes, [&](int64_t first, int64_t end) {
                // Locals, so that the stores cannot be taken to change them.
                const Decoder decode{_codes, _colScale, _colMin, limit};
                const int32_t* const ids = vind;
                const float3* const from = vertNrm;
                float4* const colOut = col;
                float3* const nrmOut = nrm;
                for (int64_t k = first; k < end; ++k)
                {
                    const uint32_t v = static_cast<uint32_t>(ids[k]);
                    decode(v, colOut[k]);
                    nrmOut[k] = v < decode.limit ? from[v] : float3{0.0f, 0.0f, 0.0f};
                }
            });
        }
        _geo._nodeCol = col;
        _geo._nodeNrm = nrm;
        return ZNQ_OK;
    }

    ZNQGeometry& _geo;
    InFile& _in;
    // Colour codes and normals held per vertex until the node arrays are
    // written.
    uint16_t* _codes = nullptr;
    float3* _vertNrm = nullptr;
    float _colMin = 0.0f;
    float _colScale = 0.0f;
};

// Header "Drosil2-File-Format <year> asc|bin format". 0 with isBinary set, or 50.
int32_t ReadHeader(TokenReader& tr, bool& isBinary)
{
    char tok[kTokenCap];
    if (tr.Next(tok) != TokenReader::kToken || std::strcmp(tok, "Drosil2-File-Format") != 0)
        return ZNQ_ERR_UNKNOWN_FORMAT;
    int64_t year;
    if (tr.Next(tok) != TokenReader::kToken || !ParseInt(tok, year) || year <= 1971)
        return ZNQ_ERR_UNKNOWN_FORMAT;
    if (tr.Next(tok) != TokenReader::kToken)
        return ZNQ_ERR_UNKNOWN_FORMAT;
    StrToLower(tok);
    if (std::strcmp(tok, "asc") == 0)
        isBinary = false;
    else if (std::strcmp(tok, "bin") == 0)
        isBinary = true;
    else
        return ZNQ_ERR_UNKNOWN_FORMAT;
    if (tr.Next(tok) != TokenReader::kToken || std::strcmp(StrToLower(tok), "format") != 0)
        return ZNQ_ERR_UNKNOWN_FORMAT;
    return ZNQ_OK;
}

// The ascii sections from byte start on: on several threads from the text
// in memory when there are threads and text enough, else streamed.
int32_t ReadAscii(ZNQGeometry& geo, InFile& in, int64_t start, bool loadNormals, bool loadMotions,
                  bool loadColors)
{
    if (omp_get_max_threads() > 1 && in.size - start >= 2 * g_drs2ChunkBytes)
    {
        int32_t rc = kNotInMemory;
        {
            ZNQScopedArray<char> text(geo, static_cast<size_t>(in.size), false);
            int64_t got = 0;
            if (text.ptr && FileSeek(in.f, 0, SEEK_SET) == 0)
            {
                // The block's fresh pages are mapped on first touch: touched
                // in ranges on all threads first, the read below only copies.
                znq_reader::TouchPages(text.ptr, in.size);
                got = static_cast<int64_t>(
                    ReadBlock(text.ptr, static_cast<size_t>(in.size), in.f, &in.parts, g_parallelReadBytes));
            }
            if (got > start)
            {
                ChunkTable table(geo, text.ptr, got, start);
                if (table.Ok())
                {
                    MemTokens tokens(table.Chunks(), start);
                    rc = AsciiReader<MemTokens>(geo, in, tokens, table.Scratch())
                             .Read(loadNormals, loadMotions, loadColors);
                    if (rc)
                        NoteAtOffset(in.place, in.f, tokens.Offset(), "%s",
                                     rc == ZNQ_ERR_UNKNOWN_FORMAT ? "unexpected data" : "read failed");
                }
            }
        }
        // A refused block of the parallel path (the text itself, its tables,
        // or an array the text would have shared the budget with): the
        // one-thread reader decides, from the start.
        if (rc != kNotInMemory && rc != ZNQ_ERR_LOAD_MEMORY && rc != ZNQ_ERR_MEMORY)
            return rc;
        geo.Clear();
        PlaceReset(in.place);
    }
    if (FileSeek(in.f, start, SEEK_SET) != 0)
        return ZNQ_ERR_LOAD_READ;
    TokenReader tr(in.f, start);
    const int32_t rc = AsciiReader<TokenReader>(geo, in, tr).Read(loadNormals, loadMotions, loadColors);
    if (rc)
        NoteAtOffset(in.place, in.f, tr.Offset(), "%s", rc == ZNQ_ERR_UNKNOWN_FORMAT ? "unexpected data" : "read failed");
    return rc;
}

int32_t ReadDrs2File(ZNQGeometry& geo, InFile& in, bool loadNormals, bool loadMotions,
                     bool loadColors)
{
    TokenReader tr(in.f);
    bool isBinary = false;
    int32_t rc = ReadHeader(tr, isBinary);
    if (rc)
    {
        NoteAtOffset(in.place, in.f, tr.Offset(), "no .drs2 header (\"Drosil2-File-Format <year> asc|bin format\")");
        return rc;
    }
    if (!isBinary)
        return ReadAscii(geo, in, tr.Offset(), loadNormals, loadMotions, loadColors);
    // The binary blocks start two bytes (CR LF) after "format".
    if (FileSeek(in.f, tr.Offset() + 2, SEEK_SET) != 0)
        return ZNQ_ERR_LOAD_READ;
    rc = BinaryReader(geo, in).Read(loadNormals, loadMotions, loadColors);
    in.NoteFailure(rc);
    return rc;
}

} // namespace

int32_t ReadDrs2(ZNQGeometry& geometry, const char* path, bool loadNormals, bool loadMotions,
                 bool loadColors, ZNQLoadPlace* place)
{
    // A file that cannot seek is a read error here.
    return znq_reader::ReadWithCleanUp(geometry, path, place, ZNQ_ERR_LOAD_READ, [&](InFile& in) {
        return ReadDrs2File(geometry, in, loadNormals, loadMotions, loadColors);
    });
}
