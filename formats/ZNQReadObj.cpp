// Wavefront .obj reader with a group filter.
//
// The whole file is read into one zero-padded buffer and scanned in place with
// pointer loops; no token is copied and nothing is allocated per line.
//
//   pass 1   every line: count "v ", "vt ", "vn " and face statements and the
//            corner references of every face, and note the first and last line
//            of each statement kind;
//   pass 2.. one pass per kind over its own span of lines fills positions,
//            normals, texture coordinates and finally the polygons.
//
// Statements are recognised only at the very start of a line with one space
// after the keyword. Lines are separated by any run of CR and LF.
//
// Real values: a value is a whitespace-delimited token that must be followed by
// a whitespace character (so a statement on the last line needs a final line
// break). Its number is what the C library's strtod makes of the token's start
// (leading sign, decimal or hex, inf, nan; nothing convertible gives 0, and
// characters after the number are ignored, as with atof), rounded from double to
// float. Plain decimal tokens go through fast_float, which gives the same
// correctly rounded double; every other form goes to strtod itself.
//
// Index values: an optional sign, then digits; reading stops at the first other
// character (atoi-like, but saturating, so huge numbers are simply out of range).
#include "formats/ZNQFormats.h"

#include "errors/ZNQError.h"

#include <fast_float/fast_float.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#if defined(_MSC_VER)
#include <intrin.h>
#endif

namespace {

constexpr size_t kReadBlock = 1048576; // file read in 1 MiB blocks
constexpr size_t kPadding = 16;        // zero bytes after the text (word-wise scans)
constexpr int32_t kMaxFilterNames = 128;
constexpr int64_t kIndexCap = 1000000000000LL; // saturation of index parsing

// ---------------------------------------------------------------------------
// Character classes. Whitespace as the text helpers define it.

inline bool IsBlank(char c) // whitespace that does not end a line
{
    return c == ' ' || c == '\t' || c == '\v' || c == '\f';
}
inline bool EndsLine(char c)
{
    return c == '\n' || c == '\r' || c == '\0';
}
inline bool EndsToken(char c)
{
    return IsBlank(c) || EndsLine(c);
}

#if defined(__BYTE_ORDER__) && defined(__ORDER_BIG_ENDIAN__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
inline const char* FindLineEnd(const char* p)
{
    while (!EndsLine(*p))
        ++p;
    return p;
}
#else
inline unsigned LowestSetByte(uint64_t m)
{
#if defined(_MSC_VER)
    unsigned long i;
    _BitScanForward64(&i, m);
    return static_cast<unsigned>(i) >> 3;
#else
    return static_cast<unsigned>(__builtin_ctzll(m)) >> 3;
#endif
}

// First LF, CR or NUL at or after p, eight bytes at a time. For each of the
// three byte values, (y - 0x01..) & ~y & 0x80.. flags the bytes of y that are
// zero; flags above the lowest true one may be false, so the lowest flag of the
// union is always the first real match. Needs 8 readable bytes from any p at or
// before the terminating NUL: the buffer carries kPadding zero bytes.
inline const char* FindLineEnd(const char* p)
{
    constexpr uint64_t kOnes = 0x0101010101010101ULL;
    constexpr uint64_t kHighs = 0x8080808080808080ULL;
    for (;; p += 8)
    {
        uint64_t x;
        std::memcpy(&x, p, 8);
        const uint64_t lf = x ^ (kOnes * '\n');
        const uint64_t cr = x ^ (kOnes * '\r');
        const uint64_t m =
            (((x - kOnes) & ~x) | ((lf - kOnes) & ~lf) | ((cr - kOnes) & ~cr)) & kHighs;
        if (m)
            return p + LowestSetByte(m);
    }
}
#endif

inline const char* SkipBreaks(const char* p)
{
    while (*p == '\n' || *p == '\r')
        ++p;
    return p;
}

// ---------------------------------------------------------------------------
// Numbers.

// Converts the number at the start of p (p is not whitespace) as strtod does;
// returns the end of the converted characters, p itself (and d = 0) when
// nothing converts. end: the terminating NUL of the text.
inline const char* ConvertReal(const char* p, const char* end, double& d)
{
    const char* s = p;
    if (*s == '+')
        ++s;
    else if (*s == '-')
        ++s;
    const bool digitOrDot = (*s >= '0' && *s <= '9') || *s == '.';
    const bool hex = s[0] == '0' && (s[1] == 'x' || s[1] == 'X');
    if (digitOrDot && !hex)
    {
        // fast_float takes no leading '+'; strtod does, and a second sign after
        // it is not a number. The sign was checked above.
        const char* start = (*p == '+') ? p + 1 : p;
        const fast_float::from_chars_result r = fast_float::from_chars(start, end, d);
        if (r.ptr != start && (r.ec == std::errc() || r.ec == std::errc::result_out_of_range))
            return r.ptr;
        d = 0.0; // "." or "-." : no digits, no conversion
        return p;
    }
    // Rare forms (hex, inf, nan, garbage): the C library decides. It never
    // reads past the token, which ends at whitespace or the NUL.
    char* e = nullptr;
    d = std::strtod(p, &e);
    return e;
}

// Reads the next value of a statement line. On success out holds it and
// cursor sits on the whitespace after it. False when the line has no further
// token, or its token runs into the end of the text without whitespace after
// it; cursor then sits on the line end or the NUL.
inline bool NextValue(const char*& cursor, const char* end, float& out)
{
    const char* p = cursor;
    while (IsBlank(*p))
        ++p;
    if (EndsLine(*p))
    {
        cursor = p;
        return false;
    }
    double d = 0.0;
    const char* q = ConvertReal(p, end, d);
    while (!EndsToken(*q)) // characters after the number are ignored
        ++q;
    cursor = q;
    if (*q == '\0')
        return false;
    out = static_cast<float>(d);
    return true;
}

// Index of a corner reference part; advances p past sign and digits.
inline int64_t ParseIndex(const char*& p)
{
    bool negative = false;
    if (*p == '+' || *p == '-')
    {
        negative = *p == '-';
        ++p;
    }
    int64_t v = 0;
    while (static_cast<unsigned>(*p - '0') < 10u)
    {
        if (v < kIndexCap)
            v = v * 10 + (*p - '0');
        ++p;
    }
    return negative ? -v : v;
}

inline void SkipToSlashOrTokenEnd(const char*& p)
{
    while (*p != '/' && !EndsToken(*p))
        ++p;
}

// ---------------------------------------------------------------------------
// Lines.

enum LineKind
{
    kLineOther,
    kLineV,
    kLineVt,
    kLineVn,
    kLineFace, // "f " and "p "
    kLineGroup,
};

inline LineKind Classify(const char* line)
{
    switch (line[0])
    {
    case 'v':
        if (line[1] == ' ')
            return kLineV;
        if (line[1] == 't' && line[2] == ' ')
            return kLineVt;
        if (line[1] == 'n' && line[2] == ' ')
            return kLineVn;
        return kLineOther;
    case 'f':
    case 'p':
        return line[1] == ' ' ? kLineFace : kLineOther;
    case 'g':
        return line[1] == ' ' ? kLineGroup : kLineOther;
    default:
        return kLineOther;
    }
}

// First and last line of one statement kind, and how many there are.
struct Span
{
    const char* first = nullptr;
    const char* last = nullptr;
    int64_t count = 0;

    void Note(const char* line)
    {
        if (!first)
            first = line;
        last = line;
        ++count;
    }
};

// Walks the lines from span.first to span.last; fn(line, kind) returns where
// its handling of the line stopped (any point before the line end), or null to
// stop the walk.
template <typename Fn>
bool WalkSpan(const char* first, const char* last, Fn fn)
{
    for (const char* line = first;;)
    {
        const char* stop = fn(line, Classify(line));
        if (!stop)
            return false;
        if (line == last)
            return true;
        line = SkipBreaks(FindLineEnd(stop));
    }
}

// ---------------------------------------------------------------------------
// Group filter: names point into the caller's string, so a filter of any
// length needs no copy and cannot overflow anything.

struct GroupFilter
{
    const char* name[kMaxFilterNames];
    size_t len[kMaxFilterNames];
    int32_t count = 0;

    void Split(const char* s)
    {
        count = 0;
        if (!s)
            return;
        while (*s && count < kMaxFilterNames)
        {
            const char* e = s;
            while (*e && *e != ';')
                ++e;
            if (e > s)
            {
                name[count] = s;
                len[count] = static_cast<size_t>(e - s);
                ++count;
            }
            s = *e ? e + 1 : e;
        }
    }

    bool Has(const char* token, size_t n) const
    {
        for (int32_t i = 0; i < count; ++i)
            if (len[i] == n && std::memcmp(name[i], token, n) == 0)
                return true;
        return false;
    }

    // True when any name of the group statement's list (from p) is a filter
    // name. end receives the end of the scanned part of the line.
    bool MatchesLine(const char* p, const char** end) const
    {
        bool match = false;
        for (;;)
        {
            while (IsBlank(*p))
                ++p;
            if (EndsLine(*p))
                break;
            const char* t = p;
            while (!EndsToken(*p))
                ++p;
            if (!match && Has(t, static_cast<size_t>(p - t)))
                match = true;
        }
        *end = p;
        return match;
    }
};

// A temporary block of the counted allocator that starts empty and is given
// back on every exit.
template <typename T>
struct TempArray
{
    ZNQGeometry& geo;
    T* ptr = nullptr;
    explicit TempArray(ZNQGeometry& g) : geo(g) {}
    ~TempArray() { geo._MemFree(ptr); }
    TempArray(const TempArray&) = delete;
    TempArray& operator=(const TempArray&) = delete;
    bool Alloc(size_t count, bool zeroed)
    {
        ptr = geo._MemAllocArr<T>(count, zeroed);
        return ptr != nullptr;
    }
};

// True when count elements of elemSize bytes can be asked for in one block.
inline bool FitsBlock(int64_t count, size_t elemSize)
{
    return count >= 0 && static_cast<uint64_t>(count) <= (SIZE_MAX - kPadding) / elemSize;
}

// ---------------------------------------------------------------------------

// Reads the file into a zero-padded block owned by text. 0 or a code.
int32_t LoadText(ZNQGeometry& geometry, const char* path, TempArray<char>& text,
                 int64_t& length)
{
    FILE* f = FileOpen(path, "rb");
    if (!f)
        return ZNQ_ERR_LOAD_OPEN;
    int32_t rc = ZNQ_OK;
    length = -1;
    if (FileSeek(f, 0, 2) == 0)
        length = FileTell(f);
    if (length < 0 || FileSeek(f, 0, 0) != 0)
        rc = ZNQ_ERR_READ;
    // A stream that reports a size but yields nothing (a directory, on some
    // systems) is a read error, not a request for a huge buffer.
    if (!rc && length > 0)
    {
        char probe;
        if (FileRead(&probe, 1, 1, f) != 1 || FileSeek(f, 0, 0) != 0)
            rc = ZNQ_ERR_READ;
    }
    if (!rc && !FitsBlock(length, 1))
        rc = ZNQ_ERR_LOAD_MEMORY;
    if (!rc)
    {
        if (!text.Alloc(static_cast<size_t>(length) + kPadding, true))
            rc = ZNQ_ERR_LOAD_MEMORY;
    }
    if (!rc)
    {
        size_t done = 0;
        const size_t total = static_cast<size_t>(length);
        while (done < total)
        {
            const size_t n = (total - done) < kReadBlock ? (total - done) : kReadBlock;
            if (FileRead(text.ptr + done, 1, n, f) != n)
            {
                rc = ZNQ_ERR_READ;
                break;
            }
            done += n;
        }
        if (rc)
            geometry._MemFree(text.ptr);
    }
    FileClose(f);
    return rc;
}

int32_t ReadObjText(ZNQGeometry& geometry, const char* path, bool loadNormals, bool loadUvws,
                    const GroupFilter& filter, bool objGroupsInvert)
{
    TempArray<char> text(geometry);
    int64_t length = 0;
    int32_t rc = LoadText(geometry, path, text, length);
    if (rc)
        return rc;
    // The text ends at the first NUL byte; the padding guarantees one.
    const char* const begin = text.ptr;
    const char* const end = begin + std::strlen(begin);

    // ---- Pass 1: count statements and face corners, note the spans.
    Span spanV, spanVt, spanVn, spanF;
    int64_t numNodes = 0;
    int64_t maxCorners = 0;
    const char* lastGroupBeforeFaces = nullptr;
    for (const char* line = SkipBreaks(begin); *line;)
    {
        const char* stop = line;
        switch (Classify(line))
        {
        case kLineV: spanV.Note(line); break;
        case kLineVt: spanVt.Note(line); break;
        case kLineVn: spanVn.Note(line); break;
        case kLineGroup:
            if (!spanF.first)
                lastGroupBeforeFaces = line;
            break;
        case kLineFace:
        {
            spanF.Note(line);
            const char* p = line + 2;
            int64_t n = 0;
            for (;;)
            {
                while (IsBlank(*p))
                    ++p;
                if (EndsLine(*p))
                    break;
                ++n;
                while (!EndsToken(*p))
                    ++p;
            }
            numNodes += n;
            if (n > maxCorners)
                maxCorners = n;
            stop = p;
            break;
        }
        default: break;
        }
        line = SkipBreaks(FindLineEnd(stop));
    }

    const int64_t numV = spanV.count;
    const bool takeUvws = loadUvws && spanVt.count > 0;
    const bool takeNormals = loadNormals && spanVn.count > 0;

    // No vertex: an empty mesh; faces are not looked at.
    if (numV == 0)
    {
        geometry._vertPos = geometry._MemAllocArr<float3>(1, true);
        return geometry._vertPos ? ZNQ_OK : ZNQ_ERR_LOAD_MEMORY;
    }
    // Counts beyond int32 cannot be held by the geometry.
    if (numV > INT32_MAX || spanF.count > INT32_MAX || numNodes > INT32_MAX)
        return ZNQ_ERR_LOAD_MEMORY;

    // ---- Positions.
    geometry._vertPos = geometry._MemAllocArr<float3>(static_cast<size_t>(numV), false);
    if (!geometry._vertPos)
        return ZNQ_ERR_LOAD_MEMORY;
    geometry._numVert = static_cast<int32_t>(numV);
    {
        float3* out = geometry._vertPos;
        const bool ok = WalkSpan(spanV.first, spanV.last, [&](const char* line, LineKind kind) -> const char* {
            if (kind != kLineV)
                return line;
            const char* p = line + 2;
            if (!NextValue(p, end, out->x) || !NextValue(p, end, out->y) || !NextValue(p, end, out->z))
                return nullptr;
            ++out;
            return p;
        });
        if (!ok)
            return ZNQ_ERR_UNKNOWN_FORMAT;
    }

    // ---- Normals into a temporary list.
    TempArray<float3> normals(geometry);
    if (takeNormals)
    {
        if (!normals.Alloc(static_cast<size_t>(spanVn.count), false))
            return ZNQ_ERR_LOAD_MEMORY;
        float3* out = normals.ptr;
        const bool ok = WalkSpan(spanVn.first, spanVn.last, [&](const char* line, LineKind kind) -> const char* {
            if (kind != kLineVn)
                return line;
            const char* p = line + 3;
            if (!NextValue(p, end, out->x) || !NextValue(p, end, out->y) || !NextValue(p, end, out->z))
                return nullptr;
            ++out;
            return p;
        });
        if (!ok)
            return ZNQ_ERR_UNKNOWN_FORMAT;
    }

    // ---- Texture coordinates into a temporary list. The first "vt "
    // statement fixes the component count C (1 to 3) of the file; its line
    // must end with a line break. Every statement then gives its first C
    // values; components beyond C stay 0.
    TempArray<float3> uvws(geometry);
    if (takeUvws)
    {
        if (!uvws.Alloc(static_cast<size_t>(spanVt.count), true))
            return ZNQ_ERR_LOAD_MEMORY;
        int comps = 0;
        const char* p = spanVt.first + 3;
        float scratch;
        while (NextValue(p, end, scratch))
            if (++comps > 3)
                return ZNQ_ERR_UNKNOWN_FORMAT;
        if (comps == 0 || *p == '\0')
            return ZNQ_ERR_UNKNOWN_FORMAT;

        float3* out = uvws.ptr;
        const bool ok = WalkSpan(spanVt.first, spanVt.last, [&](const char* line, LineKind kind) -> const char* {
            if (kind != kLineVt)
                return line;
            const char* q = line + 3;
            float* dst = &out->x;
            for (int c = 0; c < comps; ++c)
                if (!NextValue(q, end, dst[c]))
                    return nullptr;
            ++out;
            return q;
        });
        if (!ok)
            return ZNQ_ERR_UNKNOWN_FORMAT;
    }

    // ---- No face: vertices only (the clean-up removes them as unused).
    if (spanF.count == 0)
        return ZNQ_OK;
    if (maxCorners > 255)
        return ZNQ_ERR_POLYGON_TOO_LARGE;

    const int32_t numPoly = static_cast<int32_t>(spanF.count);
    const size_t nodes = static_cast<size_t>(numNodes);
    if (takeUvws)
    {
        geometry._nodeUvw = geometry._MemAllocArr<float3>(nodes, false);
        if (!geometry._nodeUvw)
            return ZNQ_ERR_LOAD_MEMORY;
    }
    if (takeNormals)
    {
        geometry._nodeNrm = geometry._MemAllocArr<float3>(nodes, false);
        if (!geometry._nodeNrm)
            return ZNQ_ERR_LOAD_MEMORY;
    }
    TempArray<int32_t> outside(geometry); // polygons outside the filter
    if (filter.count > 0 && !outside.Alloc(static_cast<size_t>(numPoly), false))
        return ZNQ_ERR_LOAD_MEMORY;
    geometry._polyNumVert = geometry._MemAllocArr<uint8_t>(static_cast<size_t>(numPoly), false);
    geometry._polyVInd = geometry._MemAllocArr<int32_t>(nodes, false);
    if (!geometry._polyNumVert || !geometry._polyVInd)
        return ZNQ_ERR_MEMORY;
    geometry._numPoly = numPoly;

    // ---- Face pass. Group statements before the first face count too: the
    // walk starts at the last of them, so the state at the first face is that
    // of the group it belongs to. Before any group statement a polygon is
    // inside the filter.
    const char* faceStart = spanF.first;
    if (filter.count > 0 && lastGroupBeforeFaces)
        faceStart = lastGroupBeforeFaces;
    const int64_t numT = spanVt.count;
    const int64_t numN = spanVn.count;
    const float3 noUvw = {0.0f, 0.0f, 0.0f};
    const float3 noNormal = {0.0f, 1.0f, 0.0f};
    int32_t poly = 0;
    int64_t node = 0;
    int32_t numOutside = 0;
    bool inside = true;
    uint8_t* polyNumVert = geometry._polyNumVert;
    int32_t* polyVInd = geometry._polyVInd;
    float3* nodeUvw = geometry._nodeUvw;
    float3* nodeNrm = geometry._nodeNrm;
    const float3* vt = uvws.ptr;
    const float3* vn = normals.ptr;

    const bool ok = WalkSpan(faceStart, spanF.last, [&](const char* line, LineKind kind) -> const char* {
        if (kind == kLineGroup)
        {
            if (filter.count <= 0)
                return line;
            const char* stop;
            inside = filter.MatchesLine(line + 2, &stop);
            return stop;
        }
        if (kind != kLineFace)
            return line;
        if (poly >= numPoly)
            return nullptr; // cannot happen: pass 1 counted the same lines
        const char* p = line + 2;
        int32_t n = 0;
        for (;;)
        {
            while (IsBlank(*p))
                ++p;
            if (EndsLine(*p))
                break;
            if (node + n >= numNodes)
                return nullptr;
            const int64_t k = node + n;
            const int64_t vi = ParseIndex(p);
            if (vi < 1 || vi > numV)
                return nullptr;
            polyVInd[k] = static_cast<int32_t>(vi - 1);
            SkipToSlashOrTokenEnd(p);
            bool hasT = false, hasN = false;
            int64_t ti = 0, ni = 0;
            if (*p == '/')
            {
                ++p;
                hasT = true;
                ti = ParseIndex(p);
                SkipToSlashOrTokenEnd(p);
                if (*p == '/')
                {
                    ++p;
                    hasN = true;
                    ni = ParseIndex(p);
                }
                while (!EndsToken(*p))
                    ++p;
            }
            if (nodeUvw)
            {
                if (hasT)
                {
                    if (ti < 1 || ti > numT)
                        return nullptr; // also the empty part of v//n
                    nodeUvw[k] = vt[ti - 1];
                }
                else
                    nodeUvw[k] = noUvw;
            }
            if (nodeNrm)
            {
                if (hasN)
                {
                    if (ni < 1 || ni > numN)
                        return nullptr;
                    nodeNrm[k] = vn[ni - 1];
                }
                else
                    nodeNrm[k] = noNormal;
            }
            ++n;
        }
        polyNumVert[poly] = static_cast<uint8_t>(n);
        if (filter.count > 0 && !inside)
            outside.ptr[numOutside++] = poly;
        ++poly;
        node += n;
        return p;
    });
    if (!ok || poly != numPoly || node != numNodes)
        return ZNQ_ERR_UNKNOWN_FORMAT;

    // The text and the lists are no longer needed; give them back before the
    // polygon deletion allocates its new arrays.
    geometry._MemFree(text.ptr);
    geometry._MemFree(normals.ptr);
    geometry._MemFree(uvws.ptr);

    if (filter.count > 0)
        return DeletePolygons(geometry, outside.ptr, numOutside, objGroupsInvert);
    return ZNQ_OK;
}

} // namespace

int32_t ReadObj(ZNQGeometry& geometry, const char* path, bool loadNormals, bool loadUvws,
                const char* objGroups, bool objGroupsInvert)
{
    geometry.Clear();
    GroupFilter filter;
    filter.Split(objGroups);
    int32_t rc = ReadObjText(geometry, path, loadNormals, loadUvws, filter, objGroupsInvert);
    if (!rc)
        rc = CleanUp(geometry);
    if (rc)
        geometry.Clear();
    return rc;
}
