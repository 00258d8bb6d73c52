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

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define KORVANE_DRS2_SSE2 1
#else
#define KORVANE_DRS2_SSE2 0
#endif

using znq_reader::InFile;

namespace
{

// ---------------------------------------------------------------------------
// Tokens: whitespace-separated words read from the stream through a block
// buffer, each into a fixed 64-character buffer.

const size_t kTokenCap = 64; // 63 characters + NUL

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
    explicit TokenReader(FILE* f) : _f(f) {}

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
    size_t _pos = 0;
    size_t _len = 0;
    int64_t _bufOffset = 0;
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
int32_t InstallPolygons(ZNQGeometry& geo, const int32_t* values, int64_t numValues, int32_t numPoly,
                        int64_t numNodes)
{
    geo._polyNumVert = geo._MemAllocArr<uint8_t>(static_cast<size_t>(numPoly), false);
    if (!geo._polyNumVert)
        return ZNQ_ERR_MEMORY;
    geo._polyVInd = geo._MemAllocArr<int32_t>(static_cast<size_t>(numNodes), false);
    if (!geo._polyVInd)
        return ZNQ_ERR_MEMORY;
    geo._numPoly = numPoly;
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
    if (!f || offset < 0 || FileSeek(f, 0, 0) != 0)
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

// Notes reason at the line of the last token read.
void NoteAtToken(ZNQLoadPlace* place, FILE* f, const TokenReader& tr, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 4, 5)))
#endif
    ;
void NoteAtToken(ZNQLoadPlace* place, FILE* f, const TokenReader& tr, const char* format, ...)
{
    if (!place || place->Known())
        return;
    char reason[sizeof place->reason];
    va_list args;
    va_start(args, format);
    std::vsnprintf(reason, sizeof reason, format, args);
    va_end(args);
    PlaceAtLine(place, LineOfOffset(f, tr.Offset()), "%s", reason);
}

class AsciiReader
{
public:
    AsciiReader(ZNQGeometry& geo, InFile& in, TokenReader& tr) : _geo(geo), _in(in), _tr(tr) {}

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
        NoteAtToken(_in.place, _in.f, _tr, format, args...);
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

    ZNQGeometry& _geo;
    InFile& _in;
    TokenReader& _tr;
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

// Outcome of the first pass over the polygon records.
struct RecordScan
{
    int32_t rc = ZNQ_OK;
    int64_t end = 0;      // bytes taken by the records
    int64_t numNodes = 0;
    int32_t numPoly = 0;
};

// First pass: checks every record against T and the bytes read, and counts.
// The widths are template arguments, so that each of the nine layouts gets a
// loop of its own with constant-size loads.
template <int32_t kCountWidth, int32_t kIndexWidth>
RecordScan ScanRecords(const unsigned char* raw, int64_t got, int64_t numValues)
{
    RecordScan out;
    int64_t off = 0, read = 0, numNodes = 0;
    int32_t numPoly = 0;
    while (read < numValues)
    {
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
        if (!_in.ReadI32(count))
            return ZNQ_ERR_UNKNOWN_FORMAT;
        if ((rc = CheckItemCount(count, numVert)) != 0)
        {
            if (_in.place)
                PlaceAtOffset(_in.place, FileTell(_in.f) - 4, _in.section,
                              "count %d, 0 or the vertex count %d expected", count, numVert);
            return rc;
        }
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

        // Motion vectors.
        _in.section = "motion vectors";
        if (!_in.ReadI32(count))
            return ZNQ_ERR_UNKNOWN_FORMAT;
        if ((rc = CheckItemCount(count, numVert)) != 0)
        {
            if (_in.place)
                PlaceAtOffset(_in.place, FileTell(_in.f) - 4, _in.section,
                              "count %d, 0 or the vertex count %d expected", count, numVert);
            return rc;
        }
        if (count > 0)
        {
            if (!loadMotions)
            {
                if (!_in.Skip(12 * int64_t(count)))
                    return ZNQ_ERR_LOAD_READ;
            }
            else
            {
                if (!_in.Holds(count, 12))
                    return ZNQ_ERR_LOAD_READ;
                _geo._vertMotion = _geo._MemAllocArr<float3>(static_cast<size_t>(count), false);
                if (!_geo._vertMotion)
                    return ZNQ_ERR_LOAD_MEMORY;
                if (!_in.ReadBytes(_geo._vertMotion, int64_t(count) * 12))
                    return ZNQ_ERR_LOAD_READ;
            }
        }

        // Normals.
        _in.section = "normals";
        if (!_in.ReadI32(count))
            return ZNQ_ERR_UNKNOWN_FORMAT;
        if ((rc = CheckItemCount(count, numVert)) != 0)
        {
            if (_in.place)
                PlaceAtOffset(_in.place, FileTell(_in.f) - 4, _in.section,
                              "count %d, 0 or the vertex count %d expected", count, numVert);
            return rc;
        }
        if (count > 0)
        {
            if (!loadNormals)
            {
                if (!_in.Skip(12 * int64_t(count)))
                    return ZNQ_ERR_LOAD_READ;
            }
            else
            {
                if (!_in.Holds(count, 12))
                    return ZNQ_ERR_LOAD_READ;
                _vertNrm = _geo._MemAllocArr<float3>(static_cast<size_t>(count), false);
                if (!_vertNrm)
                    return ZNQ_ERR_LOAD_MEMORY;
                if (!_in.ReadBytes(_vertNrm, int64_t(count) * 12))
                    return ZNQ_ERR_LOAD_READ;
            }
        }
        return WriteNodeData();
    }

private:
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
            static_cast<int64_t>(FileRead(block.ptr, 1, static_cast<size_t>(blockBytes), _in.f));
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
        WithWidths(countWidth, indexWidth, [&](auto cw, auto iw) {
            FillRecords<decltype(cw)::value, decltype(iw)::value>(raw, scan.numPoly, _geo._polyNumVert,
                                                                  _geo._polyVInd);
        });
        return FileSeek(_in.f, start + scan.end, 0) == 0 ? ZNQ_OK : ZNQ_ERR_LOAD_READ;
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
            for (int64_t k = 0; k < numNodes; ++k)
                DecodeColour(static_cast<uint32_t>(vind[k]), limit, col[k]);
        }
        else
        {
            for (int64_t k = 0; k < numNodes; ++k)
            {
                const uint32_t v = static_cast<uint32_t>(vind[k]);
                DecodeColour(v, limit, col[k]);
                nrm[k] = v < limit ? vertNrm[v] : float3{0.0f, 0.0f, 0.0f};
            }
        }
        _geo._nodeCol = col;
        _geo._nodeNrm = nrm;
        return ZNQ_OK;
    }

    // Colour of vertex v (zeros when v >= limit): code times step plus
    // minimum, rounded after the multiply and after the add.
    inline void DecodeColour(uint32_t v, uint32_t limit, float4& out) const
    {
#if KORVANE_DRS2_SSE2
        // Four lanes at a time: a 16-bit code converts to float exactly.
        __m128 c4 = _mm_setzero_ps();
        if (v < limit)
        {
            const uint16_t* at = _codes + 4 * static_cast<int64_t>(v);
            const __m128i c = _mm_unpacklo_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(at)),
                                                 _mm_setzero_si128());
            c4 = _mm_add_ps(_mm_mul_ps(_mm_cvtepi32_ps(c), _mm_set1_ps(_colScale)), _mm_set1_ps(_colMin));
        }
        _mm_storeu_ps(&out.x, c4);
#else
        float4 c4{0.0f, 0.0f, 0.0f, 0.0f};
        if (v < limit)
        {
            const uint16_t* c = _codes + 4 * static_cast<int64_t>(v);
            c4.x = static_cast<float>(c[0]) * _colScale + _colMin;
            c4.y = static_cast<float>(c[1]) * _colScale + _colMin;
            c4.z = static_cast<float>(c[2]) * _colScale + _colMin;
            c4.w = static_cast<float>(c[3]) * _colScale + _colMin;
        }
        out = c4;
#endif
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

int32_t ReadDrs2File(ZNQGeometry& geo, InFile& in, bool loadNormals, bool loadMotions,
                     bool loadColors)
{
    TokenReader tr(in.f);
    bool isBinary = false;
    int32_t rc = ReadHeader(tr, isBinary);
    if (rc)
    {
        NoteAtToken(in.place, in.f, tr, "no .drs2 header (\"Drosil2-File-Format <year> asc|bin format\")");
        return rc;
    }
    if (!isBinary)
    {
        rc = AsciiReader(geo, in, tr).Read(loadNormals, loadMotions, loadColors);
        if (rc)
            NoteAtToken(in.place, in.f, tr, "%s", rc == ZNQ_ERR_UNKNOWN_FORMAT ? "unexpected data" : "read failed");
        return rc;
    }
    // The binary blocks start two bytes (CR LF) after "format".
    if (FileSeek(in.f, tr.Offset() + 2, 0) != 0)
        return ZNQ_ERR_LOAD_READ;
    rc = BinaryReader(geo, in).Read(loadNormals, loadMotions, loadColors);
    in.NoteFailure(rc);
    return rc;
}

} // namespace

int32_t ReadDrs2(ZNQGeometry& geometry, const char* path, bool loadNormals, bool loadMotions,
                 bool loadColors, ZNQLoadPlace* place)
{
    geometry.Clear();
    PlaceReset(place);
    int32_t rc;
    {
        InFile in;
        const int opened = in.Open(path);
        if (opened == 1)
            return ZNQ_ERR_LOAD_OPEN;
        if (opened != 0)
            rc = ZNQ_ERR_LOAD_READ; // not a seekable file
        else
        {
            in.place = place;
            rc = ReadDrs2File(geometry, in, loadNormals, loadMotions, loadColors);
        }
    } // closes the file
    if (rc == ZNQ_OK)
        rc = CleanUp(geometry);
    if (rc != ZNQ_OK)
        geometry.Clear();
    else
        PlaceReset(place);
    return rc;
}
