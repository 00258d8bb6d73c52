// Wavefront .obj reader with a group filter.
//
// The whole file is read into one zero-padded buffer and scanned in place with
// pointer loops; no token is copied and nothing is allocated per line. On one
// thread (or for a small file) two walks read it: every line, then the lines
// from the first face to the last (ParseSerial). With more threads a large
// file is parsed in chunks cut at line breaks (ParseChunked), to the same bits
// and the same first failure.
//
// Statements are recognised only at the very start of a line with one space
// after the keyword. Lines are separated by any run of CR and LF. A UTF-8 byte
// order mark at the start of the file is skipped.
//
// Real values: a value is a number that must be followed by a whitespace
// character (so a statement on the last line needs a final line break). Its
// number is what the C library's strtod makes of the token's start (leading
// sign, decimal or hex, inf, nan), rounded from double to float. A token that
// strtod does not convert to its end is no value: "1.#INF" (old Windows
// exporters' infinity) and "3.1+e2" leave the statement a value short. Plain decimal tokens go through fast_float, which gives the same
// correctly rounded double; every other form goes to strtod itself.
//
// Index values: an optional sign, then digits; reading stops at the first other
// character (atoi-like, but saturating, so huge numbers are simply out of range).
#include "formats/ZNQFormats.h"
#include "formats/ZNQReadObjChunked.h"
#include "formats/ZNQReaderUtil.h"

#include "errors/ZNQError.h"
#include "geometry/ZNQParallel.h"

#include <fast_float/fast_float.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include <omp.h>

#if defined(_MSC_VER)
#include <intrin.h>
#endif
#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

// The value reader is called once per value from a few places; it stays
// inlined into each, so the values of a statement line are read without a
// call per value.
#if defined(__GNUC__) || defined(__clang__)
#define KORVANE_OBJ_INLINE inline __attribute__((always_inline))
#elif defined(_MSC_VER)
#define KORVANE_OBJ_INLINE __forceinline
#else
#define KORVANE_OBJ_INLINE inline
#endif

namespace {

constexpr size_t kPadding = 32;        // zero bytes after the text (word and block scans)
constexpr size_t kFrontPadding = 16;   // zero bytes before it (words read back from a number's end)
constexpr int32_t kMaxFilterNames = 128;
constexpr int64_t kIndexCap = 1000000000000000000LL; // saturation of index parsing

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

// Counts the tokens from p to the end of the line, byte by byte, on top of
// n; afterBlank: the byte before p is a blank. Returns the line end.
inline const char* CountTokensBytewise(const char* p, bool afterBlank, int64_t n, int64_t& count)
{
    for (; !EndsLine(*p); ++p)
    {
        if (IsBlank(*p))
            afterBlank = true;
        else if (afterBlank)
        {
            ++n;
            afterBlank = false;
        }
    }
    count = n;
    return p;
}

#if defined(__BYTE_ORDER__) && defined(__ORDER_BIG_ENDIAN__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
inline const char* FindLineEnd(const char* p)
{
    while (!EndsLine(*p))
        ++p;
    return p;
}
inline const char* CountTokens(const char* p, int64_t& count)
{
    return CountTokensBytewise(p, true, 0, count);
}
#else
[[maybe_unused]] inline unsigned LowestSetBit(unsigned m)
{
#if defined(_MSC_VER)
    unsigned long i;
    _BitScanForward(&i, m);
    return static_cast<unsigned>(i);
#else
    return static_cast<unsigned>(__builtin_ctz(m));
#endif
}
// Set bits of the low 16 bits of m.
[[maybe_unused]] inline int CountBits16(unsigned m)
{
    m = m - ((m >> 1) & 0x5555u);
    m = (m & 0x3333u) + ((m >> 2) & 0x3333u);
    m = (m + (m >> 4)) & 0x0F0Fu;
    return static_cast<int>((m + (m >> 8)) & 0x1Fu);
}
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
// before the terminating NUL: the buffer carries kPadding zero bytes. The
// word-wise scans serve hosts without SSE2 (unused where SSE2 is present).
[[maybe_unused]] inline const char* FindLineEndWords(const char* p)
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
// Bytes below 0x21 flagged exactly (high bit of each byte): no carries cross
// bytes, since (x & 0x7F) + 0x5F never exceeds 0xFF.
inline uint64_t FlagBelow21(uint64_t x)
{
    constexpr uint64_t kLow7 = 0x7F7F7F7F7F7F7F7FULL;
    return ~(((x & kLow7) + 0x5F5F5F5F5F5F5F5FULL) | x) & 0x8080808080808080ULL;
}
// Bytes equal to ' ' flagged exactly.
inline uint64_t FlagSpace(uint64_t x)
{
    constexpr uint64_t kLow7 = 0x7F7F7F7F7F7F7F7FULL;
    const uint64_t t = x ^ 0x2020202020202020ULL;
    return ~(((t & kLow7) + kLow7) | t) & 0x8080808080808080ULL;
}

// Number of flagged bytes (flags in the high bits only): the multiply sums
// the eight 0/1 bytes into the top byte, without needing a popcount
// instruction.
inline int CountFlags(uint64_t m)
{
    return static_cast<int>(((m >> 7) * 0x0101010101010101ULL) >> 56);
}

// Counts the whitespace-separated tokens from p (the character before p is a
// blank) to the end of the line; returns the line end. Eight bytes at a time
// while the only byte below 0x21 is the space: a token starts at every
// non-space byte that follows a space. A word with any other low byte (line
// end, tab, control character) finishes the line byte by byte.
[[maybe_unused]] inline const char* CountTokensWords(const char* p, int64_t& count)
{
    int64_t n = 0;
    uint64_t carry = 0x80; // the byte before p is a blank
    for (;; p += 8)
    {
        uint64_t x;
        std::memcpy(&x, p, 8);
        const uint64_t space = FlagSpace(x);
        if (FlagBelow21(x) & ~space)
            break;
        const uint64_t starts = ~space & 0x8080808080808080ULL & ((space << 8) | carry);
        n += CountFlags(starts);
        carry = (space >> 56) & 0x80;
    }
    return CountTokensBytewise(p, carry != 0, n, count);
}

#if defined(__SSE2__) || defined(_M_X64)
// The same two scans sixteen bytes at a time (SSE2 is part of every x86-64).
// The text's kPadding zero bytes make 16 bytes readable from any p at or
// before its terminating NUL.
inline const char* FindLineEnd(const char* p)
{
    // Most calls start at the line end itself (the statement handlers stop
    // there): a byte test the processor predicts, so the next line's walk
    // need not wait for the vector scan's result.
    if (*p == '\n')
        return p;
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i nul = _mm_setzero_si128();
    for (;; p += 16)
    {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(x, lf), _mm_cmpeq_epi8(x, cr)),
                                         _mm_cmpeq_epi8(x, nul));
        const unsigned m = static_cast<unsigned>(_mm_movemask_epi8(hit));
        if (m)
            return p + LowestSetBit(m);
    }
}
// Token starts of a 16-byte block: non-space bytes after a space, while the
// only byte below 0x21 is the space; the block with any other such byte
// (line end, tab, control character) is counted up to that byte and the
// line finished byte by byte from there.
inline const char* CountTokens(const char* p, int64_t& count)
{
    const __m128i space = _mm_set1_epi8(' ');
    int64_t n = 0;
    unsigned carry = 1; // the byte before p is a blank
    for (;; p += 16)
    {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const unsigned sp = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(x, space)));
        const unsigned low = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_max_epu8(x, space), space)));
        const unsigned starts = ~sp & ((sp << 1) | carry) & 0xFFFFu;
        const unsigned other = low & ~sp;
        if (other)
        {
            const unsigned at = LowestSetBit(other);
            n += CountBits16(starts & ((1u << at) - 1u));
            const bool afterBlank = at == 0 ? carry != 0 : ((sp >> (at - 1)) & 1u) != 0;
            return CountTokensBytewise(p + at, afterBlank, n, count);
        }
        n += CountBits16(starts);
        carry = (sp >> 15) & 1u;
    }
}
#else
inline const char* FindLineEnd(const char* p)
{
    if (*p == '\n') // as above: the common call at the line end itself
        return p;
    return FindLineEndWords(p);
}
inline const char* CountTokens(const char* p, int64_t& count)
{
    return CountTokensWords(p, count);
}
#endif
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
// Exact powers of ten: every one up to 1e22 is a double without rounding.
constexpr double kExactPow10[23] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                    1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                    1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

#if !(defined(__BYTE_ORDER__) && defined(__ORDER_BIG_ENDIAN__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__)
constexpr bool kWordDigits = true;
// The leading digits of the eight bytes at s (s has eight readable bytes:
// the text carries kPadding zero bytes after its end): their number n, 0 to
// 8, and value. A byte is a digit when its high nibble is 3 and its low
// nibble plus 6 stays below 16; the n digits go to the top bytes, zeros
// below, and are combined pairwise.
inline unsigned LeadingDigits8(const char* s, uint64_t& value)
{
    constexpr uint64_t kHighNibbles = 0xF0F0F0F0F0F0F0F0ULL;
    constexpr uint64_t kLow7 = 0x7F7F7F7F7F7F7F7FULL;
    uint64_t x;
    std::memcpy(&x, s, 8);
    const uint64_t bad = ((x & kHighNibbles) ^ 0x3030303030303030ULL) |
                         (((x & 0x0F0F0F0F0F0F0F0FULL) + 0x0606060606060606ULL) & kHighNibbles);
    const uint64_t nonDigit = (((bad & kLow7) + kLow7) | bad) & 0x8080808080808080ULL;
    const unsigned n = nonDigit ? LowestSetByte(nonDigit) : 8u;
    if (n == 0)
    {
        value = 0;
        return 0;
    }
    uint64_t v = (x - 0x3030303030303030ULL) << (8 * (8 - n));
    v = (v * 10) + (v >> 8);
    v = (((v & 0x000000FF000000FFULL) * (100 + (1000000ULL << 32))) +
         (((v >> 16) & 0x000000FF000000FFULL) * (1 + (10000ULL << 32)))) >>
        32;
    value = v & 0xFFFFFFFFULL;
    return n;
}
#else
constexpr bool kWordDigits = false;
inline unsigned LeadingDigits8(const char*, uint64_t& value)
{
    value = 0;
    return 0;
}
#endif

// Appends the run of digits at s to m: s moves past it, digits counts them.
// More than 19 digits make m meaningless (unsigned wrap), which the caller
// checks by the count.
inline void AppendDigits(const char*& s, uint64_t& m, int& digits)
{
    while (static_cast<unsigned>(*s - '0') < 10u)
    {
        m = m * 10 + static_cast<unsigned>(*s - '0');
        ++s;
        ++digits;
    }
}

// AppendDigits for the digits after the point, eight at a time while the
// next eight bytes are all digits (the text has padding after its end), the
// rest byte by byte: the same m, s and digits. Exported reals carry 6 to 9
// digits after the point, so one word step usually takes most of them in
// about a third of the byte loop's instructions. A byte is a digit when its
// high nibble is 3 before and after adding 6; a carry out of a byte of 0xFA
// or more can only fail the byte above it, so the test of all eight is exact.
inline void AppendFractionDigits(const char*& s, uint64_t& m, int& digits)
{
    if (kWordDigits)
    {
        constexpr uint64_t kHighNibbles = 0xF0F0F0F0F0F0F0F0ULL;
        constexpr uint64_t kZeros = 0x3030303030303030ULL;
        for (;;)
        {
            uint64_t x;
            std::memcpy(&x, s, 8);
            if (((x & kHighNibbles) ^ kZeros) | (((x + 0x0606060606060606ULL) & kHighNibbles) ^ kZeros))
                break;
            uint64_t v = x - kZeros;
            v = (v * 10) + (v >> 8);
            v = (((v & 0x000000FF000000FFULL) * (100 + (1000000ULL << 32))) +
                 (((v >> 16) & 0x000000FF000000FFULL) * (1 + (10000ULL << 32)))) >>
                32;
            m = m * 100000000ULL + (v & 0xFFFFFFFFULL);
            s += 8;
            digits += 8;
        }
    }
    AppendDigits(s, m, digits);
}

// The common short decimal forms, [+-]digits[.digits][(e|E)[+-]digits], with
// at most 2^53 as the digits' integer value and a decimal exponent of at most
// 22 either way: the integer and the power are exact doubles, so one IEEE
// multiplication or division gives the correctly rounded value, the same as
// strtod's. Returns the end of the number, or null for every other form
// (which the general path then converts).
inline const char* ConvertShortDecimal(const char* p, double& d)
{
    const char* s = p;
    const bool negative = *s == '-';
    if (*s == '+' || *s == '-')
        ++s;
    if (s[0] == '0' && (s[1] == 'x' || s[1] == 'X'))
        return nullptr; // hexadecimal
    uint64_t m = 0;
    int digits = 0;
    AppendDigits(s, m, digits);
    if (digits > 19)
        return nullptr;
    int fraction = 0;
    if (*s == '.')
    {
        ++s;
        AppendFractionDigits(s, m, fraction);
        digits += fraction;
    }
    if (digits == 0 || digits > 19 || m > (uint64_t(1) << 53))
        return nullptr;
    int power = -fraction;
    if (*s == 'e' || *s == 'E')
    {
        const char* e = s + 1;
        const bool expNegative = *e == '-';
        if (*e == '+' || *e == '-')
            ++e;
        int exp = 0;
        int expDigits = 0;
        while (static_cast<unsigned>(*e - '0') < 10u)
        {
            exp = exp * 10 + (*e - '0');
            ++e;
            if (++expDigits > 4)
                return nullptr;
        }
        if (expDigits == 0)
            return nullptr;
        power += expNegative ? -exp : exp;
        s = e;
    }
    if (power < -22 || power > 22)
        return nullptr;
    double v = static_cast<double>(m);
    v = power < 0 ? v / kExactPow10[-power] : v * kExactPow10[power];
    d = negative ? -v : v;
    return s;
}

#if defined(__SSE2__) || defined(_M_X64)
constexpr bool kBlockCorners = true;
// Masks of the top k bytes of a word, k = 0 to 8.
constexpr uint64_t kTopBytes[9] = {0,
                                   0xFF00000000000000ULL,
                                   0xFFFF000000000000ULL,
                                   0xFFFFFF0000000000ULL,
                                   0xFFFFFFFF00000000ULL,
                                   0xFFFFFFFFFF000000ULL,
                                   0xFFFFFFFFFFFF0000ULL,
                                   0xFFFFFFFFFFFFFF00ULL,
                                   0xFFFFFFFFFFFFFFFFULL};
// The value of the k decimal digits (k = 0 to 8) that end just before e:
// the eight bytes before e are read as one word (the text has kFrontPadding
// readable bytes before its start), the bytes before the digits are masked
// off before '0' is taken away (so no borrow reaches a digit), and the eight
// digit bytes are combined pairwise in three multiplications.
inline uint64_t DigitsBefore(const char* e, unsigned k)
{
    uint64_t x;
    std::memcpy(&x, e - 8, 8);
    const uint64_t keep = kTopBytes[k];
    x = (x & keep) - (0x3030303030303030ULL & keep);
    x = (x * 10) + (x >> 8);
    x = (((x & 0x000000FF000000FFULL) * (100 + (1000000ULL << 32))) +
         (((x >> 16) & 0x000000FF000000FFULL) * (1 + (10000ULL << 32)))) >>
        32;
    return x & 0xFFFFFFFFULL;
}

#endif

inline const char* ConvertReal(const char* p, const char* end, double& d)
{
    if (const char* q = ConvertShortDecimal(p, d))
        return q;
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
    if (e == p)
        d = 0.0; // no conversion: zero, as the C standard has it (msvcrt gives -0 for "-")
    return e;
}

// Outcome of reading one value of a statement line.
enum ValueRead
{
    kValueRead,  // a number followed by whitespace
    kValueNone,  // the line has no further token
    kValueGlued, // the number is followed by other text ("1.#INF", "3.1+e2"), or
                 // nothing converts ("abc"): not a value
    kValueCut,   // the number runs into the end of the text without a line break
};

// Reads the next value of a statement line. On kValueRead out holds it and
// cursor sits on the whitespace after it; otherwise cursor sits on the start
// of the offending token (kValueGlued, kValueCut) or on the line end.
KORVANE_OBJ_INLINE ValueRead NextValue(const char*& cursor, const char* end, float& out)
{
    const char* p = cursor;
    while (IsBlank(*p))
        ++p;
    cursor = p;
    if (EndsLine(*p))
        return kValueNone;
    double d = 0.0;
    const char* q = ConvertReal(p, end, d);
    if (q == p || !EndsToken(*q))
        return kValueGlued;
    if (*q == '\0')
        return kValueCut;
    cursor = q;
    out = static_cast<float>(d);
    return kValueRead;
}

// Reads n values into dst; the outcome of the first one that is not read.
// found (optional) receives the number of values read.
inline ValueRead NextValues(const char*& cursor, const char* end, float* dst, int n,
                            int* found = nullptr)
{
    for (int i = 0; i < n; ++i)
    {
        const ValueRead r = NextValue(cursor, end, dst[i]);
        if (r != kValueRead)
        {
            if (found)
                *found = i;
            return r;
        }
    }
    if (found)
        *found = n;
    return kValueRead;
}

// Notes why a statement's values were not read, at the line of at.
void NoteValues(ZNQLoadPlace* place, const char* begin, const char* at, const char* what,
                ValueRead r, int expected, int found)
{
    if (!place)
        return;
    const int64_t line = PlaceLineOf(begin, at);
    if (r == kValueGlued)
    {
        int len = 0;
        while (len < 24 && !EndsToken(at[len]))
            ++len;
        PlaceAtLine(place, line, "%s: '%.*s' is not a number", what, len, at);
    }
    else if (r == kValueCut)
        PlaceAtLine(place, line, "%s: the last value needs a line break after it", what);
    else
        PlaceAtLine(place, line, "%s: %d values expected, %d found", what, expected, found);
}

// Notes a corner index that is out of its list's range 1..count.
void NoteIndex(ZNQLoadPlace* place, const char* begin, const char* line, const char* what,
               int64_t index, int64_t count)
{
    if (!place)
        return;
    const int64_t at = PlaceLineOf(begin, line);
    if (index < 0)
        PlaceAtLine(place, at, "negative index %lld: relative indices are not read",
                    static_cast<long long>(index));
    else
        PlaceAtLine(place, at, "%s index %lld out of range 1..%lld", what,
                    static_cast<long long>(index), static_cast<long long>(count));
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
    // Up to seven digits in one word read.
    if (kWordDigits)
    {
        uint64_t v;
        const unsigned n = LeadingDigits8(p, v);
        if (n < 8)
        {
            p += n;
            const int64_t value = static_cast<int64_t>(v);
            return negative ? -value : value;
        }
    }
    // Unsigned accumulation wraps harmlessly; more than 18 digits saturate.
    const char* digits = p;
    uint64_t v = 0;
    while (static_cast<unsigned>(*p - '0') < 10u)
    {
        v = v * 10 + static_cast<unsigned>(*p - '0');
        ++p;
    }
    const int64_t value = (p - digits > 18) ? kIndexCap : static_cast<int64_t>(v);
    return negative ? -value : value;
}

inline void SkipToSlashOrTokenEnd(const char*& p)
{
    while (*p != '/' && !EndsToken(*p))
        ++p;
}

// One corner reference at p, field by field as written: the vertex index, then
// after a slash the texture index, after a second slash the normal index;
// text after a field's digits up to the next slash or the token's end is
// skipped. p moves to the token's end.
inline void ParseCorner(const char*& p, int64_t& vi, int64_t& ti, int64_t& ni, bool& hasT, bool& hasN)
{
    vi = ParseIndex(p);
    SkipToSlashOrTokenEnd(p);
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
}

#if defined(__SSE2__) || defined(_M_X64)
inline unsigned LowestSetBit64(uint64_t m)
{
#if defined(_MSC_VER)
    unsigned long i;
    _BitScanForward64(&i, m);
    return static_cast<unsigned>(i);
#else
    return static_cast<unsigned>(__builtin_ctzll(m));
#endif
}

// The two common corner forms, a/b/c and a alone (1 to 8 digits each, the
// token ended by whitespace or the NUL), as ParseCorner reads them. The 32
// bytes at p are classified once (digits, slashes); the field lengths follow
// from the masks, and the three values are read as words ending at each
// field's end, independently of one another. ParseCorner walks the token
// byte by byte and reads each field only after the one before it is done.
// Returns the token's end, or null for every other form (ParseCorner then
// reads it). fields: 1 or 3.
inline const char* ReadCornerBlock(const char* p, int64_t& vi, int64_t& ti, int64_t& ni, int& fields)
{
    const __m128i zero = _mm_set1_epi8('0');
    const __m128i nine = _mm_set1_epi8(9);
    const __m128i slash = _mm_set1_epi8('/');
    const __m128i x0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i x1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
    const __m128i d0 = _mm_sub_epi8(x0, zero);
    const __m128i d1 = _mm_sub_epi8(x1, zero);
    const uint64_t digit =
        static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(d0, nine), d0))) |
        (static_cast<uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(d1, nine), d1))))
         << 16);
    const uint64_t slashes = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(x0, slash))) |
                             (static_cast<uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(x1, slash))))
                              << 16);
    const uint64_t other = ~digit; // bits 32 and up set: every scan below ends
    const unsigned a = LowestSetBit64(other);
    if (a - 1u > 7u)
        return nullptr;
    if (!((slashes >> a) & 1u))
    {
        if (!EndsToken(p[a]))
            return nullptr;
        vi = static_cast<int64_t>(DigitsBefore(p + a, a));
        fields = 1;
        return p + a;
    }
    const unsigned b = LowestSetBit64(other >> (a + 1));
    const unsigned bEnd = a + 1 + b;
    if (b - 1u > 7u || !((slashes >> bEnd) & 1u))
        return nullptr;
    const unsigned c = LowestSetBit64(other >> (bEnd + 1));
    const unsigned cEnd = bEnd + 1 + c;
    if (c - 1u > 7u || !EndsToken(p[cEnd]))
        return nullptr;
    vi = static_cast<int64_t>(DigitsBefore(p + a, a));
    ti = static_cast<int64_t>(DigitsBefore(p + bEnd, b));
    ni = static_cast<int64_t>(DigitsBefore(p + cEnd, c));
    fields = 3;
    return p + cEnd;
}
#else
constexpr bool kBlockCorners = false;
inline const char* ReadCornerBlock(const char*, int64_t&, int64_t&, int64_t&, int&)
{
    return nullptr;
}
#endif

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

// A list of float3 in one counted block that doubles when full, for the
// statements whose number is not known before they are read.
struct GrowList
{
    ZNQGeometry& geo;
    float3* ptr = nullptr;
    int64_t count = 0;
    int64_t capacity = 0;
    explicit GrowList(ZNQGeometry& g) : geo(g) {}
    ~GrowList() { geo._MemFree(ptr); }
    GrowList(const GrowList&) = delete;
    GrowList& operator=(const GrowList&) = delete;

    // Room for one more element, or null when the allocator refuses.
    float3* Add()
    {
        if (count == capacity)
        {
            const int64_t grown = capacity ? 2 * capacity : 4096;
            if (static_cast<uint64_t>(grown) > SIZE_MAX / sizeof(float3))
                return nullptr;
            float3* bigger = geo._MemAllocArr<float3>(static_cast<size_t>(grown), false);
            if (!bigger)
                return nullptr;
            if (count)
                std::memcpy(bigger, ptr, static_cast<size_t>(count) * sizeof(float3));
            geo._MemFree(ptr);
            ptr = bigger;
            capacity = grown;
        }
        return &ptr[count++];
    }
    void Release()
    {
        geo._MemFree(ptr);
        count = capacity = 0;
    }
};

// True when count elements of elemSize bytes can be asked for in one block.
inline bool FitsBlock(int64_t count, size_t elemSize)
{
    return count >= 0 && static_cast<uint64_t>(count) <= (SIZE_MAX - kPadding - kFrontPadding) / elemSize;
}

// ---------------------------------------------------------------------------

// Reads the file into a block owned by text, kFrontPadding bytes in, with zero
// padding on both sides. 0 or a code. With several threads a text of at
// least parallelBytes (0: any) is read in parts on them (ReadBlock: the copy
// out of the system's cache is a good part of a load); the same bytes and
// the same codes either way.
int32_t LoadText(ZNQGeometry& geometry, const char* path, ZNQScopedArray<char>& text,
                 int64_t& length, int64_t parallelBytes, int32_t threads)
{
    FILE* f = FileOpen(path, "rb");
    if (!f)
        return ZNQ_ERR_LOAD_OPEN;
    int32_t rc = ZNQ_OK;
    length = -1;
    if (FileSeek(f, 0, SEEK_END) == 0)
        length = FileTell(f);
    if (length < 0 || FileSeek(f, 0, SEEK_SET) != 0)
        rc = ZNQ_ERR_READ;
    // A stream that reports a size but yields nothing (a directory, on some
    // systems) is a read error, not a request for a huge buffer.
    if (!rc && length > 0)
    {
        char probe;
        if (FileRead(&probe, 1, 1, f) != 1 || FileSeek(f, 0, SEEK_SET) != 0)
            rc = ZNQ_ERR_READ;
    }
    if (!rc && !FitsBlock(length, 1))
        rc = ZNQ_ERR_LOAD_MEMORY;
    if (!rc)
    {
        // Only the padding needs zeros: the read fills the rest.
        if (!text.Alloc(true, length + static_cast<int64_t>(kFrontPadding + kPadding)))
            rc = ZNQ_ERR_LOAD_MEMORY;
        else
        {
            std::memset(text.ptr, 0, kFrontPadding);
            std::memset(text.ptr + kFrontPadding + length, 0, kPadding);
        }
    }
    // Parts of whole blocks, read by their own streams: a part that cannot
    // get one is read below through f; the first failing part's code holds.
    if (!rc)
    {
        znq_reader::PartStreams streams;
        streams.path = path;
        const int64_t readInParts =
            threads > 1 && !geometry._memLimitOn ? (parallelBytes > 0 ? parallelBytes : 1) : 0;
        if (znq_reader::ReadBlock(text.ptr + kFrontPadding, static_cast<size_t>(length), f, &streams,
                                  readInParts) != static_cast<size_t>(length))
        {
            rc = ZNQ_ERR_READ;
            geometry._MemFree(text.ptr);
        }
    }
    FileClose(f);
    return rc;
}

// ---------------------------------------------------------------------------
// Statement handlers, shared by the one-thread walk and the chunked one.
// Failures are noted at place with lines counted from lineBase (the start of
// the text, or of a chunk whose line count is added afterwards).

// The three values of a "v " or "vn " statement (what: "vertex", "normal").
// p: the start of the values; on return where reading stopped.
inline bool ReadXyz(const char*& p, const char* end, float3& dst, const char* what, ZNQLoadPlace* place,
                    const char* lineBase)
{
    int found = 0;
    const ValueRead r = NextValues(p, end, &dst.x, 3, &found);
    if (r == kValueRead)
        return true;
    NoteValues(place, lineBase, p, what, r, 3, found);
    return false;
}

// The component count (1 to 3) of the file's texture coordinates, from its
// first "vt " statement at line: its number of values; its line must end
// with a line break. 0 after noting why there is none.
int UvwComponents(const char* line, const char* end, ZNQLoadPlace* place, const char* lineBase)
{
    const char* p = line + 3;
    int comps = 0;
    float scratch;
    ValueRead r = kValueRead;
    while (comps <= 3 && (r = NextValue(p, end, scratch)) == kValueRead)
        ++comps;
    if (comps >= 1 && comps <= 3 && *p != '\0' && r != kValueGlued && r != kValueCut)
        return comps;
    const int64_t at = PlaceLineOf(lineBase, line);
    if (r == kValueGlued || r == kValueCut)
        NoteValues(place, lineBase, p, "texture coordinate", r, 0, 0);
    else if (*p == '\0')
        PlaceAtLine(place, at, "texture coordinate: the line needs a line break after it");
    else
        PlaceAtLine(place, at, "texture coordinate: %d values found, 1 to 3 expected", comps);
    return 0;
}

// The first comps values of a "vt " statement (p: after the keyword), the
// components beyond comps 0.
inline bool ReadUvw(const char*& p, const char* end, float3& dst, int comps, ZNQLoadPlace* place,
                    const char* lineBase)
{
    dst = float3{0.0f, 0.0f, 0.0f};
    int found = 0;
    const ValueRead r = NextValues(p, end, &dst.x, comps, &found);
    if (r == kValueRead)
        return true;
    NoteValues(place, lineBase, p, "texture coordinate", r, comps, found);
    return false;
}

// Where the corners of face statements go and what they may refer to.
struct FaceTarget
{
    int32_t* polyVInd;
    float3* nodeUvw;   // null: texture coordinates not taken
    float3* nodeNrm;   // null: normals not taken
    const float3* vt;  // the file's texture coordinates
    const float3* vn;  // the file's normals
    int64_t numV, numT, numN;
};

// The corner references of the face statement at line, into nodes node,
// node + 1, ... (room of them at most); n receives their count. Returns where
// reading stopped, or null after noting an index out of range.
inline const char* ReadFace(const FaceTarget& t, const char* line, int64_t node, int64_t room, int32_t& n,
                            ZNQLoadPlace* place, const char* lineBase)
{
    static const float3 noUvw = {0.0f, 0.0f, 0.0f};
    static const float3 noNormal = {0.0f, 1.0f, 0.0f};
    const char* p = line + 2;
    n = 0;
    for (;;)
    {
        while (IsBlank(*p))
            ++p;
        if (EndsLine(*p))
            return p;
        if (n >= room)
            return nullptr;
        const int64_t k = node + n;
        int64_t vi = 0, ti = 0, ni = 0;
        bool hasT = false, hasN = false;
        int fields = 0;
        if (const char* q = kBlockCorners ? ReadCornerBlock(p, vi, ti, ni, fields) : nullptr)
        {
            p = q;
            hasT = hasN = fields == 3;
        }
        else
            ParseCorner(p, vi, ti, ni, hasT, hasN);
        if (vi < 1 || vi > t.numV)
        {
            NoteIndex(place, lineBase, line, "vertex", vi, t.numV);
            return nullptr;
        }
        t.polyVInd[k] = static_cast<int32_t>(vi - 1);
        if (t.nodeUvw)
        {
            if (hasT)
            {
                if (ti < 1 || ti > t.numT)
                {
                    // also the empty part of v//n
                    if (ti == 0 && place)
                        PlaceAtLine(place, PlaceLineOf(lineBase, line),
                                    "corner without texture index (v//n) while texture coordinates are read");
                    NoteIndex(place, lineBase, line, "texture", ti, t.numT);
                    return nullptr;
                }
                t.nodeUvw[k] = t.vt[ti - 1];
            }
            else
                t.nodeUvw[k] = noUvw;
        }
        if (t.nodeNrm)
        {
            if (hasN)
            {
                if (ni < 1 || ni > t.numN)
                {
                    NoteIndex(place, lineBase, line, "normal", ni, t.numN);
                    return nullptr;
                }
                t.nodeNrm[k] = t.vn[ni - 1];
            }
            else
                t.nodeNrm[k] = noNormal;
        }
        ++n;
    }
}

// The text of a file: [begin, end) with its NUL and padding after end; first
// is the first byte after a byte order mark.
struct ObjText
{
    const char* begin;
    const char* end;
    const char* first;
};

// The arrays of numPoly faces with numNodes corners, in this order: node
// UVWs and normals when taken, the list of faces outside the group filter
// when it is on, then the corner counts and indices (_numPoly set). 0, or
// the code of the first refused array.
int32_t AllocFaceArrays(ZNQGeometry& geometry, int32_t numPoly, int64_t numNodes, bool takeUvws, bool takeNormals,
                        bool filterOn, ZNQScopedArray<int32_t>& outside)
{
    const size_t nodes = static_cast<size_t>(numNodes);
    if (takeUvws && !(geometry._nodeUvw = geometry._MemAllocArr<float3>(nodes, false)))
        return ZNQ_ERR_LOAD_MEMORY;
    if (takeNormals && !(geometry._nodeNrm = geometry._MemAllocArr<float3>(nodes, false)))
        return ZNQ_ERR_LOAD_MEMORY;
    if (filterOn && !outside.Alloc(true, numPoly))
        return ZNQ_ERR_LOAD_MEMORY;
    // 10, not 127: a refused polygon array has always reported the core's memory code.
    geometry._polyNumVert = geometry._MemAllocArr<uint8_t>(static_cast<size_t>(numPoly), false);
    geometry._polyVInd = geometry._MemAllocArr<int32_t>(nodes, false);
    if (!geometry._polyNumVert || !geometry._polyVInd)
        return ZNQ_ERR_MEMORY;
    geometry._numPoly = numPoly;
    return ZNQ_OK;
}

// ---------------------------------------------------------------------------
// One thread: two walks over the text.
//
//   pass 1   every line: parse "v ", "vn " and "vt " statements into lists that
//            grow by doubling (amortised, a few allocations in all), count the
//            face statements and their corner references, note where the
//            faces start and end;
//   pass 2   the lines from the first to the last face: polygons, node UVWs
//            and node normals, written straight into arrays of final size.

int32_t ParseSerial(ZNQGeometry& geometry, const ObjText& text, bool loadNormals, bool loadUvws,
                    const GroupFilter& filter, ZNQScopedArray<int32_t>& outside, int32_t& numOutside,
                    ZNQLoadPlace* place)
{
    const char* const begin = text.begin;
    const char* const end = text.end;

    // ---- Pass 1. Errors in normals and texture coordinates only count once
    // the file is known to have vertices.
    GrowList positions(geometry), normals(geometry), uvws(geometry);
    Span spanF;
    int64_t numT = 0, numN = 0;
    int64_t numNodes = 0;
    int64_t maxCorners = 0;
    int comps = 0; // texture components, fixed by the first "vt " statement
    bool badNormal = false, badUvw = false;
    // Failures of normals and texture coordinates are kept aside until they
    // are known to fail the read.
    ZNQLoadPlace normalPlace, uvwPlace;
    const char* bigFace = nullptr; // first face with more than 255 corners
    int64_t bigFaceCorners = 0;
    const char* lastGroupBeforeFaces = nullptr;
    for (const char* line = SkipBreaks(text.first); *line;)
    {
        const char* stop = line;
        switch (Classify(line))
        {
        case kLineV:
        {
            float3* v = positions.Add();
            if (!v)
                return ZNQ_ERR_LOAD_MEMORY;
            const char* p = line + 2;
            if (!ReadXyz(p, end, *v, "vertex", place, begin))
                return ZNQ_ERR_UNKNOWN_FORMAT;
            stop = p;
            break;
        }
        case kLineVn:
            ++numN;
            if (loadNormals && !badNormal)
            {
                float3* v = normals.Add();
                if (!v)
                    return ZNQ_ERR_LOAD_MEMORY;
                const char* p = line + 3;
                if (!ReadXyz(p, end, *v, "normal", &normalPlace, begin))
                    badNormal = true;
                stop = p;
            }
            break;
        case kLineVt:
            ++numT;
            if (loadUvws && !badUvw)
            {
                if (comps == 0 && (comps = UvwComponents(line, end, &uvwPlace, begin)) == 0)
                {
                    badUvw = true;
                    break;
                }
                float3* v = uvws.Add();
                if (!v)
                    return ZNQ_ERR_LOAD_MEMORY;
                const char* p = line + 3;
                if (!ReadUvw(p, end, *v, comps, &uvwPlace, begin))
                    badUvw = true;
                stop = p;
            }
            break;
        case kLineGroup:
            if (!spanF.first)
                lastGroupBeforeFaces = line;
            break;
        case kLineFace:
        {
            spanF.Note(line);
            int64_t n;
            stop = CountTokens(line + 2, n);
            numNodes += n;
            if (n > maxCorners)
                maxCorners = n;
            if (n > 255 && !bigFace)
            {
                bigFace = line;
                bigFaceCorners = n;
            }
            break;
        }
        default: break;
        }
        line = SkipBreaks(FindLineEnd(stop));
    }

    const int64_t numV = positions.count;
    const bool takeUvws = loadUvws && numT > 0;
    const bool takeNormals = loadNormals && numN > 0;

    // No vertex: an empty mesh; nothing else is looked at.
    if (numV == 0)
    {
        geometry._vertPos = geometry._MemAllocArr<float3>(1, true);
        return geometry._vertPos ? ZNQ_OK : ZNQ_ERR_LOAD_MEMORY;
    }
    if ((takeNormals && badNormal) || (takeUvws && badUvw))
    {
        if (place)
        {
            // The earlier of the two lines is the first failure.
            const bool normalFirst = takeNormals && badNormal &&
                                     !(takeUvws && badUvw && uvwPlace.line < normalPlace.line);
            *place = normalFirst ? normalPlace : uvwPlace;
        }
        return ZNQ_ERR_UNKNOWN_FORMAT;
    }
    // Counts beyond int32 cannot be held by the geometry.
    if (numV > INT32_MAX || spanF.count > INT32_MAX || numNodes > INT32_MAX)
        return ZNQ_ERR_LOAD_MEMORY;

    // Positions at their final size.
    geometry._vertPos = geometry._MemAllocArr<float3>(static_cast<size_t>(numV), false);
    if (!geometry._vertPos)
        return ZNQ_ERR_LOAD_MEMORY;
    std::memcpy(geometry._vertPos, positions.ptr, static_cast<size_t>(numV) * sizeof(float3));
    geometry._numVert = static_cast<int32_t>(numV);
    positions.Release();

    // ---- No face: vertices only (the clean-up removes them as unused).
    if (spanF.count == 0)
        return ZNQ_OK;
    if (maxCorners > 255)
    {
        PlaceAtLine(place, PlaceLineOf(begin, bigFace), "polygon of %lld corners, at most 255 are read",
                    static_cast<long long>(bigFaceCorners));
        return ZNQ_ERR_POLYGON_TOO_LARGE;
    }

    const int32_t numPoly = static_cast<int32_t>(spanF.count);
    const int32_t arc = AllocFaceArrays(geometry, numPoly, numNodes, takeUvws, takeNormals, filter.count > 0, outside);
    if (arc)
        return arc;

    // ---- Face pass. Group statements before the first face count too: the
    // walk starts at the last of them, so the state at the first face is that
    // of the group it belongs to. Before any group statement a polygon is
    // inside the filter.
    const char* faceStart = spanF.first;
    if (filter.count > 0 && lastGroupBeforeFaces)
        faceStart = lastGroupBeforeFaces;
    const FaceTarget target = {geometry._polyVInd, geometry._nodeUvw, geometry._nodeNrm, uvws.ptr, normals.ptr,
                               numV, numT, numN};
    int32_t poly = 0;
    int64_t node = 0;
    bool inside = true;
    uint8_t* polyNumVert = geometry._polyNumVert;

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
        int32_t n = 0;
        const char* p = ReadFace(target, line, node, numNodes - node, n, place, begin);
        if (!p)
            return nullptr;
        polyNumVert[poly] = static_cast<uint8_t>(n);
        if (filter.count > 0 && !inside)
            outside.ptr[numOutside++] = poly;
        ++poly;
        node += n;
        return p;
    });
    if (!ok || poly != numPoly || node != numNodes)
        return ZNQ_ERR_UNKNOWN_FORMAT;
    return ZNQ_OK;
}

// ---------------------------------------------------------------------------
// Several threads: the text in chunks cut at line breaks.
//
//   cut      chunk bounds from the text length alone (znqpar::RangeStart),
//            each moved on to the start of the next line;
//   count    in parallel, per chunk: statements, face corners, the first and
//            last lines of each kind;
//   place    prefix sums over the chunks give each chunk's first vertex,
//            texture coordinate, normal, polygon and node; the texture
//            component count comes from the file's first "vt " statement
//            and the group state at each chunk's first face from the group
//            statements before it, both in chunk order;
//   values   in parallel: "v ", "vt " and "vn " into arrays of final size;
//   faces    in parallel: polygons, node UVWs and node normals.
//
// Each chunk keeps its first failure; the read reports the first failing
// chunk's, so it is the failure the one-thread walk meets first. Its line
// is the chunk's own line plus the lines of the chunks before it. Every
// chunk writes only its own part of the arrays, so the result is the same
// for every thread count and every schedule.

struct ObjChunk
{
    const char* lineBase; // this chunk's line numbers count from here
    const char* start;    // its first line
    const char* stop;     // the next chunk's first line
    bool endsText;        // its walk ended on the NUL that ends the text

    // count
    int64_t numV, numT, numN, numFaces, numNodes, maxCorners, bigFaceCorners;
    const char* firstValue; // first "v ", "vt " or "vn " line
    const char* lastValue;
    const char* firstVt;
    const char* bigFace;          // first face of more than 255 corners
    const char* groupBeforeFaces; // last "g " line before the chunk's first face
    const char* lastGroup;
    Span faces;

    // place: the chunk's first vertex, texture coordinate, normal, polygon, node
    int64_t vOff, tOff, nOff, polyOff, nodeOff;
    bool inside; // group state at the chunk's first face

    // values and faces
    bool badVertex, badNormal, badUvw, badFace;
    int32_t numOutside;
    ZNQLoadPlace vertexPlace, normalPlace, uvwPlace, facePlace;
};

void CountChunk(ObjChunk& c)
{
    const char* line = c.start;
    while (line < c.stop && *line)
    {
        const char* at = line;
        bool value = true;
        switch (Classify(line))
        {
        case kLineV:
            ++c.numV;
            break;
        case kLineVt:
            ++c.numT;
            if (!c.firstVt)
                c.firstVt = line;
            break;
        case kLineVn:
            ++c.numN;
            break;
        case kLineGroup:
            value = false;
            if (!c.faces.first)
                c.groupBeforeFaces = line;
            c.lastGroup = line;
            break;
        case kLineFace:
        {
            value = false;
            c.faces.Note(line);
            int64_t n;
            at = CountTokens(line + 2, n);
            c.numNodes += n;
            if (n > c.maxCorners)
                c.maxCorners = n;
            if (n > 255 && !c.bigFace)
            {
                c.bigFace = line;
                c.bigFaceCorners = n;
            }
            break;
        }
        default:
            value = false;
            break;
        }
        if (value)
        {
            if (!c.firstValue)
                c.firstValue = line;
            c.lastValue = line;
        }
        line = SkipBreaks(FindLineEnd(at));
    }
    c.endsText = *line == '\0';
    c.numFaces = c.faces.count;
}

// Where the values go: arrays of final size, null when not taken.
struct ValueTarget
{
    float3* pos;
    float3* nrm;
    float3* uvw;
    int comps;
    const char* end;
};

void ReadChunkValues(ObjChunk& c, const ValueTarget& t)
{
    if (!c.firstValue)
        return;
    float3* pos = t.pos + c.vOff;
    float3* nrm = t.nrm ? t.nrm + c.nOff : nullptr;
    float3* uvw = t.uvw ? t.uvw + c.tOff : nullptr;
    for (const char* line = c.firstValue;;)
    {
        const char* at = line;
        switch (Classify(line))
        {
        case kLineV:
        {
            const char* p = line + 2;
            if (!ReadXyz(p, t.end, *pos++, "vertex", &c.vertexPlace, c.lineBase))
            {
                c.badVertex = true;
                return; // nothing after it can matter
            }
            at = p;
            break;
        }
        case kLineVn:
            if (nrm && !c.badNormal)
            {
                const char* p = line + 3;
                if (!ReadXyz(p, t.end, *nrm++, "normal", &c.normalPlace, c.lineBase))
                    c.badNormal = true;
                at = p;
            }
            break;
        case kLineVt:
            if (uvw && !c.badUvw)
            {
                const char* p = line + 3;
                if (!ReadUvw(p, t.end, *uvw++, t.comps, &c.uvwPlace, c.lineBase))
                    c.badUvw = true;
                at = p;
            }
            break;
        default: break;
        }
        if (line == c.lastValue)
            return;
        line = SkipBreaks(FindLineEnd(at));
    }
}

void ReadChunkFaces(ObjChunk& c, const FaceTarget& t, uint8_t* polyNumVert, int32_t* outside,
                    const GroupFilter& filter)
{
    if (!c.faces.first)
        return;
    int64_t poly = 0;
    int64_t node = c.nodeOff;
    const int64_t nodeEnd = c.nodeOff + c.numNodes;
    bool inside = c.inside;
    const bool ok = WalkSpan(c.faces.first, c.faces.last, [&](const char* line, LineKind kind) -> const char* {
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
        if (poly >= c.numFaces)
            return nullptr; // cannot happen: the count saw the same lines
        int32_t n = 0;
        const char* p = ReadFace(t, line, node, nodeEnd - node, n, &c.facePlace, c.lineBase);
        if (!p)
            return nullptr;
        polyNumVert[c.polyOff + poly] = static_cast<uint8_t>(n);
        if (filter.count > 0 && !inside)
            outside[c.polyOff + c.numOutside++] = static_cast<int32_t>(c.polyOff + poly);
        ++poly;
        node += n;
        return p;
    });
    if (!ok || poly != c.numFaces || node != nodeEnd)
        c.badFace = true;
}

// Lines of the text before chunk w: the sum of the chunks' own line counts.
int64_t LinesBefore(const ObjChunk* chunks, int32_t w, int32_t threads)
{
    int64_t lines = 0;
#pragma omp parallel for schedule(dynamic, 1) reduction(+ : lines) num_threads(threads)
    for (int32_t j = 0; j < w; ++j)
        lines += PlaceLineOf(chunks[j].lineBase, chunks[j + 1].lineBase) - 1;
    return lines;
}

// Copies a chunk's failure into place, its line counted from the text's start.
void ReportChunkPlace(ZNQLoadPlace* place, const ZNQLoadPlace& local, const ObjChunk* chunks, int32_t w,
                      int32_t threads)
{
    if (!place)
        return;
    *place = local;
    if (place->line > 0)
        place->line += LinesBefore(chunks, w, threads);
}

constexpr int32_t kMaxObjChunks = 256;
constexpr int32_t kParseOnOneThread = -1; // ParseChunked: use ParseSerial

// Parses text in chunks; kParseOnOneThread when the file is one the one-thread
// walk must decide (counts beyond the geometry's int32 fields).
int32_t ParseChunked(ZNQGeometry& geometry, const ObjText& text, bool loadNormals, bool loadUvws,
                     const GroupFilter& filter, ZNQScopedArray<int32_t>& outside, int32_t& numOutside,
                     ZNQLoadPlace* place, int64_t chunkBytes, int32_t threads)
{
    const char* const begin = text.begin;
    const char* const end = text.end;
    const int64_t length = end - begin;
    int64_t want = chunkBytes > 0 ? length / chunkBytes : kMaxObjChunks;
    if (want < 2)
        want = 2;
    if (want > kMaxObjChunks)
        want = kMaxObjChunks;
    int32_t count = static_cast<int32_t>(want);
    ZNQScopedArray<ObjChunk> table(geometry);
    if (!table.Alloc(true, count))
        return kParseOnOneThread;
    ObjChunk* const chunks = table.ptr;
    for (int32_t j = 0; j < count; ++j)
        new (&chunks[j]) ObjChunk{};

    // ---- Cut. Each bound moves on to the first line that starts after it,
    // so a chunk starts where the one-thread walk starts a line.
    chunks[0].lineBase = begin;
    chunks[0].start = SkipBreaks(text.first);
    for (int32_t j = 1; j < count; ++j)
    {
        const char* b = begin + znqpar::RangeStart(length, count, j);
        if (b < chunks[j - 1].start)
            b = chunks[j - 1].start;
        chunks[j].start = SkipBreaks(FindLineEnd(b));
        chunks[j].lineBase = chunks[j].start;
        chunks[j - 1].stop = chunks[j].start;
    }
    chunks[count - 1].stop = end;
    if (threads > count)
        threads = count;

    // ---- Count.
#pragma omp parallel for schedule(dynamic, 1) num_threads(threads)
    for (int32_t j = 0; j < count; ++j)
        CountChunk(chunks[j]);

    // ---- Place. The text ends in the first chunk whose walk met its NUL.
    for (int32_t j = 0; j < count; ++j)
        if (chunks[j].endsText)
        {
            count = j + 1;
            break;
        }
    int64_t numV = 0, numT = 0, numN = 0, numPoly = 0, numNodes = 0;
    int32_t firstVtChunk = -1, bigFaceChunk = -1;
    for (int32_t j = 0; j < count; ++j)
    {
        ObjChunk& c = chunks[j];
        c.vOff = numV;
        c.tOff = numT;
        c.nOff = numN;
        c.polyOff = numPoly;
        c.nodeOff = numNodes;
        numV += c.numV;
        numT += c.numT;
        numN += c.numN;
        numPoly += c.numFaces;
        numNodes += c.numNodes;
        if (firstVtChunk < 0 && c.firstVt)
            firstVtChunk = j;
        if (bigFaceChunk < 0 && c.bigFace)
            bigFaceChunk = j;
    }
    // No vertex: an empty mesh; nothing else is looked at.
    if (numV == 0)
    {
        geometry._vertPos = geometry._MemAllocArr<float3>(1, true);
        return geometry._vertPos ? ZNQ_OK : ZNQ_ERR_LOAD_MEMORY;
    }
    if (numV > INT32_MAX || numPoly > INT32_MAX || numNodes > INT32_MAX)
        return kParseOnOneThread;
    const bool takeUvws = loadUvws && numT > 0;
    const bool takeNormals = loadNormals && numN > 0;
    int comps = 0;
    if (takeUvws)
    {
        ObjChunk& c = chunks[firstVtChunk];
        comps = UvwComponents(c.firstVt, end, &c.uvwPlace, c.lineBase);
        c.badUvw = comps == 0;
    }

    // ---- Values.
    geometry._vertPos = geometry._MemAllocArr<float3>(static_cast<size_t>(numV), false);
    if (!geometry._vertPos)
        return ZNQ_ERR_LOAD_MEMORY;
    geometry._numVert = static_cast<int32_t>(numV);
    ZNQScopedArray<float3> normals(geometry), uvws(geometry);
    if (takeNormals && !normals.Alloc(true, numN))
        return ZNQ_ERR_LOAD_MEMORY;
    if (takeUvws && comps > 0 && !uvws.Alloc(true, numT))
        return ZNQ_ERR_LOAD_MEMORY;
    const ValueTarget values = {geometry._vertPos, normals.ptr, uvws.ptr, comps, end};
#pragma omp parallel for schedule(dynamic, 1) num_threads(threads)
    for (int32_t j = 0; j < count; ++j)
        ReadChunkValues(chunks[j], values);

    // The first vertex failure is the read's; then the earlier of the first
    // normal and the first texture coordinate failure.
    int32_t badNormal = -1, badUvw = -1;
    for (int32_t j = 0; j < count; ++j)
    {
        const ObjChunk& c = chunks[j];
        if (c.badVertex)
        {
            ReportChunkPlace(place, c.vertexPlace, chunks, j, threads);
            return ZNQ_ERR_UNKNOWN_FORMAT;
        }
        if (badNormal < 0 && takeNormals && c.badNormal)
            badNormal = j;
        if (badUvw < 0 && takeUvws && c.badUvw)
            badUvw = j;
    }
    if (badNormal >= 0 || badUvw >= 0)
    {
        const bool normalFirst =
            badNormal >= 0 &&
            !(badUvw >= 0 && (badUvw < badNormal ||
                              (badUvw == badNormal && chunks[badUvw].uvwPlace.line < chunks[badNormal].normalPlace.line)));
        if (normalFirst)
            ReportChunkPlace(place, chunks[badNormal].normalPlace, chunks, badNormal, threads);
        else
            ReportChunkPlace(place, chunks[badUvw].uvwPlace, chunks, badUvw, threads);
        return ZNQ_ERR_UNKNOWN_FORMAT;
    }

    // ---- No face: vertices only (the clean-up removes them as unused).
    if (numPoly == 0)
        return ZNQ_OK;
    if (bigFaceChunk >= 0)
    {
        const ObjChunk& c = chunks[bigFaceChunk];
        ZNQLoadPlace at;
        PlaceAtLine(&at, PlaceLineOf(c.lineBase, c.bigFace), "polygon of %lld corners, at most 255 are read",
                    static_cast<long long>(c.bigFaceCorners));
        ReportChunkPlace(place, at, chunks, bigFaceChunk, threads);
        return ZNQ_ERR_POLYGON_TOO_LARGE;
    }

    const int32_t arc = AllocFaceArrays(geometry, static_cast<int32_t>(numPoly), numNodes, takeUvws, takeNormals,
                                        filter.count > 0, outside);
    if (arc)
        return arc;

    // Group state at each chunk's first face: that of the last group
    // statement before it; inside before any.
    bool carried = true;
    for (int32_t j = 0; j < count; ++j)
    {
        ObjChunk& c = chunks[j];
        const char* stop;
        c.inside = carried;
        if (filter.count > 0 && c.groupBeforeFaces)
            c.inside = filter.MatchesLine(c.groupBeforeFaces + 2, &stop);
        if (filter.count > 0 && c.lastGroup)
            carried = filter.MatchesLine(c.lastGroup + 2, &stop);
    }

    // ---- Faces.
    const FaceTarget target = {geometry._polyVInd, geometry._nodeUvw, geometry._nodeNrm, uvws.ptr, normals.ptr,
                               numV, numT, numN};
    uint8_t* const polyNumVert = geometry._polyNumVert;
    int32_t* const outsideList = outside.ptr;
#pragma omp parallel for schedule(dynamic, 1) num_threads(threads)
    for (int32_t j = 0; j < count; ++j)
        ReadChunkFaces(chunks[j], target, polyNumVert, outsideList, filter);

    for (int32_t j = 0; j < count; ++j)
    {
        const ObjChunk& c = chunks[j];
        if (c.badFace)
        {
            ReportChunkPlace(place, c.facePlace, chunks, j, threads);
            return ZNQ_ERR_UNKNOWN_FORMAT;
        }
        // Each chunk's outside polygons, from its own part of the list.
        if (c.numOutside > 0)
            std::memmove(outsideList + numOutside, outsideList + c.polyOff,
                         static_cast<size_t>(c.numOutside) * sizeof(int32_t));
        numOutside += c.numOutside;
    }
    return ZNQ_OK;
}

// Text of at least this size is parsed in chunks when the run time has more
// than one thread; smaller texts are not worth a thread team.
constexpr int64_t kChunkedMinBytes = 512 * 1024;
constexpr int64_t kChunkBytes = 256 * 1024;

int32_t ReadObjText(ZNQGeometry& geometry, const char* path, bool loadNormals, bool loadUvws,
                    const GroupFilter& filter, bool objGroupsInvert, ZNQLoadPlace* place,
                    const ObjChunking& chunking)
{
    ZNQScopedArray<char> buffer(geometry);
    int64_t length = 0;
    const int32_t threads = omp_get_max_threads();
    int32_t rc = LoadText(geometry, path, buffer, length, chunking.minParallelBytes, threads);
    if (rc)
        return rc;
    // The text ends at the first NUL byte; the padding guarantees one. No
    // pass looks for it: every scan stops at a NUL as at a line end, so the
    // line walk ends there, and a number never runs across it. end only
    // bounds the number parser.
    ObjText text;
    text.begin = buffer.ptr + kFrontPadding;
    text.end = text.begin + length;
    // Editors on Windows often start a UTF-8 text with a byte order mark; it
    // would hide the first statement (usually the first vertex, shifting every
    // index after it), so it is skipped.
    text.first = text.begin;
    if (length >= 3 && static_cast<unsigned char>(text.begin[0]) == 0xEF &&
        static_cast<unsigned char>(text.begin[1]) == 0xBB && static_cast<unsigned char>(text.begin[2]) == 0xBF)
        text.first += 3;

    ZNQScopedArray<int32_t> outside(geometry); // polygons outside the filter
    int32_t numOutside = 0;
    // A memory limit keeps the one-thread walk, so that what the limit
    // refuses is the same whatever the thread count.
    rc = kParseOnOneThread;
    if (threads > 1 && length >= chunking.minParallelBytes && !geometry._memLimitOn)
        rc = ParseChunked(geometry, text, loadNormals, loadUvws, filter, outside, numOutside, place,
                          chunking.chunkBytes, threads);
    if (rc == kParseOnOneThread)
    {
        // Nothing of the geometry was filled.
        rc = ParseSerial(geometry, text, loadNormals, loadUvws, filter, outside, numOutside, place);
    }
    if (rc)
        return rc;

    // The text is no longer needed; give it back before the polygon deletion
    // allocates its new arrays.
    geometry._MemFree(buffer.ptr);
    if (filter.count > 0)
        return DeletePolygons(geometry, outside.ptr, numOutside, objGroupsInvert);
    return ZNQ_OK;
}

} // namespace

ObjChunking ObjDefaultChunking()
{
    ObjChunking c;
    c.minParallelBytes = kChunkedMinBytes;
    c.chunkBytes = kChunkBytes;
    return c;
}

int32_t ReadObjChunked(ZNQGeometry& geometry, const char* path, bool loadNormals, bool loadUvws,
                       const char* objGroups, bool objGroupsInvert, ZNQLoadPlace* place,
                       const ObjChunking& chunking)
{
    geometry.Clear();
    PlaceReset(place);
    GroupFilter filter;
    filter.Split(objGroups);
    const int32_t rc = ReadObjText(geometry, path, loadNormals, loadUvws, filter, objGroupsInvert, place, chunking);
    return FinishRead(geometry, rc, place);
}

int32_t ReadObj(ZNQGeometry& geometry, const char* path, bool loadNormals, bool loadUvws,
                const char* objGroups, bool objGroupsInvert, ZNQLoadPlace* place)
{
    return ReadObjChunked(geometry, path, loadNormals, loadUvws, objGroups, objGroupsInvert, place,
                          ObjDefaultChunking());
}
