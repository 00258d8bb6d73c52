// Fuzz target: cache file naming (ComposeCachePath, ExpandFramePattern with
// its '#', printf and $F frame marks, CacheExtensionOfFormat), the frame of
// an index value, environment variables in the cache path
// (ExpandPathVariables) and the frame range (MapFrameIntoRange), each
// checked against a plain std::string / int64 model of what it must give.
//
// Input: byte 0 flags (bits 0-2 pass a null directory / pattern / extension,
// bit 3 the backslash separator, bits 4-5 hand an input buffer in as the
// output), bytes 1-4 the frame, bytes 5-6 and 7-8 the lengths of directory
// and pattern (up to 65535, so paths far past the 2047-character limit
// occur), then directory, pattern and 64 bytes of extension. Then an index
// value, index mode and fraction strength. Then the path variables: a flag
// byte (bit 0 sets KVF_A, bit 1 KVF_B, bit 2 unsets HOME / USERPROFILE for
// this input), the value length of KVF_A (one byte), the output size (two
// bytes), the text length (two bytes), the value and the text (KVF_B is
// "$KVF_A", never expanded again). Then the range: frame, start and end
// (four bytes each) and one byte of the two side modes.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "plugin/KorvaneCachePath.h"
#include "plugin/KorvaneFrames.h"
#include "tests/common/TestEnv.h"

namespace
{

// The frame number as "%0*d" writes it: zero-padded to width, a minus sign
// counting toward the width, longer numbers in full.
std::string PaddedFrame(int32_t frame, size_t width)
{
    const bool negative = frame < 0;
    std::string digits = std::to_string(negative ? -static_cast<int64_t>(frame) : static_cast<int64_t>(frame));
    const size_t used = digits.size() + (negative ? 1 : 0);
    if (used < width)
        digits.insert(0, width - used, '0');
    return negative ? "-" + digits : digits;
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool IsWordChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || IsDigit(c) || c == '_';
}

// Where the frame number goes: the first '#' run anywhere (its length the
// width); without one the first "%d" (width 1), "%0Nd" (N one or two digits,
// not 0), "$F" (width 1) or "$FN" (N one or two digits, not 0) at or after
// from, "$F" and its digits not followed by a word character.
bool ModelMark(const std::string& t, size_t from, size_t& at, size_t& length, size_t& width)
{
    const size_t run = t.find('#');
    if (run != std::string::npos)
    {
        at = run;
        length = 0;
        while (run + length < t.size() && t[run + length] == '#')
            ++length;
        width = length;
        return true;
    }
    auto digits = [&](size_t i, size_t& n) {
        n = 0;
        size_t v = 0;
        while (n < 2 && i + n < t.size() && IsDigit(t[i + n]))
            v = v * 10 + static_cast<size_t>(t[i + n++] - '0');
        return v;
    };
    for (size_t i = from; i < t.size(); ++i)
    {
        const char next = i + 1 < t.size() ? t[i + 1] : '\0';
        size_t n = 0;
        if (t[i] == '%' && next == 'd')
        {
            at = i, length = 2, width = 1;
            return true;
        }
        if (t[i] == '%' && next == '0')
        {
            const size_t v = digits(i + 2, n);
            if (n > 0 && v > 0 && i + 2 + n < t.size() && t[i + 2 + n] == 'd')
            {
                at = i, length = 3 + n, width = v;
                return true;
            }
        }
        if (t[i] == '$' && next == 'F')
        {
            const size_t v = digits(i + 2, n);
            const bool word = i + 2 + n < t.size() && IsWordChar(t[i + 2 + n]);
            if (!word && (n == 0 || v > 0))
            {
                at = i, length = 2 + n, width = n == 0 ? 1 : v;
                return true;
            }
        }
    }
    return false;
}

// Expected result of ExpandFrameMark; false when it must be refused for
// length.
bool ModelExpand(const std::string& pattern, size_t from, int32_t frame, char separator, std::string& out)
{
    if (pattern.size() >= static_cast<size_t>(kCachePathSize))
        return false;
    size_t at = 0, length = 0, width = 0;
    if (!ModelMark(pattern, from, at, length, width))
        out = pattern;
    else
        out = pattern.substr(0, at) + PaddedFrame(frame, width) + pattern.substr(at + length);
    if (out.size() >= static_cast<size_t>(kCachePathSize))
        return false;
    for (char& c : out)
        if (c == '/')
            c = separator;
    return true;
}

std::string CString(const uint8_t* p, size_t n)
{
    return std::string(reinterpret_cast<const char*>(p), n).c_str(); // cut at a NUL
}

void CheckFrameOfIndexValue(kfuzz::Bytes& in)
{
    uint32_t bits = in.U32();
    float value;
    std::memcpy(&value, &bits, sizeof value);
    const int16_t mode = static_cast<int16_t>(in.U16());
    bits = in.U32();
    float strength;
    std::memcpy(&strength, &bits, sizeof strength);

    int32_t frame = 12345;
    float fraction = 1.5f;
    FrameOfIndexValue(value, mode, strength, frame, fraction);

    if (std::isnan(value))
    {
        KFUZZ_CHECK(frame == 0);
        return;
    }
    double rounded;
    if (mode == 1)
        rounded = std::floor(static_cast<double>(value));
    else if (mode == 2)
        rounded = std::ceil(static_cast<double>(value));
    else
        rounded = value > 0.0f ? std::floor(static_cast<double>(value) + 0.5)
                               : std::ceil(static_cast<double>(value) - 0.5);
    if (rounded >= 2147483647.0)
        KFUZZ_CHECK(frame == INT32_MAX);
    else if (rounded <= -2147483648.0)
        KFUZZ_CHECK(frame == INT32_MIN);
    else
        KFUZZ_CHECK(frame == static_cast<int32_t>(rounded));
    if (strength == 0.0f)
        KFUZZ_CHECK(fraction == 0.0f);
}


// --- Environment variables in the cache path ------------------------------

#if defined(_WIN32)
const char kHome[] = "USERPROFILE";
#else
const char kHome[] = "HOME";
#endif

bool IsNameStart(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}

// A variable reference at text[i]: its name and the characters it covers.
bool ModelReference(const std::string& text, size_t i, std::string& variable, size_t& length)
{
    length = 0;
    const char c1 = i + 1 < text.size() ? text[i + 1] : '\0';
    if (i == 0 && text[0] == '~' && (c1 == '\0' || c1 == '/' || c1 == '\\'))
    {
        variable = kHome;
        length = 1;
    }
    else if (text[i] == '$' && c1 == '{' && i + 2 < text.size() && IsNameStart(text[i + 2]))
    {
        size_t n = i + 2;
        while (n < text.size() && IsWordChar(text[n]))
            ++n;
        if (n < text.size() && text[n] == '}')
        {
            variable = text.substr(i + 2, n - i - 2);
            length = n + 1 - i;
        }
    }
    else if (text[i] == '$' && IsNameStart(c1))
    {
        size_t n = i + 1;
        while (n < text.size() && IsWordChar(text[n]))
            ++n;
        variable = text.substr(i + 1, n - i - 1);
        length = n - i;
    }
    else if (text[i] == '%' && IsNameStart(c1))
    {
        size_t n = i + 1;
        while (n < text.size() && (IsWordChar(text[n]) || text[n] == '(' || text[n] == ')'))
            ++n;
        if (n < text.size() && text[n] == '%')
        {
            variable = text.substr(i + 1, n - i - 1);
            length = n + 1 - i;
        }
    }
    return length > 0;
}

// 0 expanded into out, 1 unset (its name in name), 2 too long for outSize.
int ModelVariables(const std::string& text, size_t outSize, std::string& out, std::string& name)
{
    out.clear();
    if (outSize == 0)
        return 2;
    size_t i = 0;
    while (i < text.size())
    {
        std::string variable;
        size_t length = 0;
        if (ModelReference(text, i, variable, length))
        {
            const char* value = std::getenv(variable.c_str());
            if (!value)
            {
                name = variable;
                out.clear();
                return 1;
            }
            out += value;
            i += length;
        }
        else
            out += text[i++];
        if (out.size() >= outSize)
        {
            out.clear();
            return 2;
        }
    }
    return 0;
}

void CheckPathVariables(kfuzz::Bytes& in)
{
    const uint8_t flags = in.U8();
    const size_t valueLength = in.U8();
    const size_t outSize = in.U16() % 3000;
    const size_t textLength = in.U16();
    size_t n = 0;
    const uint8_t* p = in.Take(valueLength, n);
    const std::string value = CString(p, n);
    p = in.Take(textLength, n);
    const std::string text = CString(p, n);

    kvt::SetVariable("KVF_A", (flags & 1) ? value.c_str() : nullptr);
    kvt::SetVariable("KVF_B", (flags & 2) ? "$KVF_A" : nullptr);
    const char* home = std::getenv(kHome);
    const std::string savedHome = home ? home : "";
    if (flags & 4)
        kvt::SetVariable(kHome, nullptr);

    std::string expected, expectedName;
    const int want = ModelVariables(text, outSize, expected, expectedName);

    std::vector<char> textBuf(text.c_str(), text.c_str() + text.size() + 1);
    std::vector<char> out(outSize > 0 ? outSize : 1, 'x');
    char name[16];
    const int32_t rc = ExpandPathVariables(textBuf.data(), out.data(), outSize, name, sizeof(name));
    if (want == 0)
    {
        KFUZZ_CHECK(rc == kPathExpanded);
        KFUZZ_CHECK(expected == out.data());
    }
    else if (want == 1)
    {
        KFUZZ_CHECK(rc == kPathVariableUnset);
        KFUZZ_CHECK(expectedName.substr(0, sizeof(name) - 1) == name);
        KFUZZ_CHECK(out[0] == '\0');
    }
    else
    {
        KFUZZ_CHECK(rc == kPathTooLong);
        KFUZZ_CHECK(outSize == 0 || out[0] == '\0');
    }
    bool hasReference = false;
    for (size_t i = 0; i < text.size() && !hasReference; ++i)
    {
        std::string variable;
        size_t length = 0;
        hasReference = ModelReference(text, i, variable, length);
    }
    KFUZZ_CHECK(HasPathVariables(textBuf.data()) == hasReference);

    if (flags & 4)
        kvt::SetVariable(kHome, home ? savedHome.c_str() : nullptr);
}

// --- Frame range ----------------------------------------------------------

void CheckFrameRange(kfuzz::Bytes& in)
{
    const int32_t frame = static_cast<int32_t>(in.U32());
    const int32_t a = static_cast<int32_t>(in.U32());
    const int32_t b = static_cast<int32_t>(in.U32());
    const uint8_t modes = in.U8();
    const int32_t start = a < b ? a : b;
    const int32_t end = a < b ? b : a;
    // Bits 0-1 before, 2-3 after; bit 4 makes "before" a value without a field.
    const int16_t before = (modes & 16) ? static_cast<int16_t>(7 + (modes >> 5)) : static_cast<int16_t>(modes & 3);
    const int16_t after = static_cast<int16_t>((modes >> 2) & 3);

    const RangeMapping m = MapFrameIntoRange(frame, start, end, before, after);
    const int64_t f = frame, s = start, e = end;
    if (f >= s && f <= e)
    {
        // Inside, forwards, except an end that Ping-Pong turns at: held.
        const bool turns = s < e && ((f == e && after == kRangePingPong) || (f == s && before == kRangePingPong));
        KFUZZ_CHECK(!m.blank && m.frame == frame && m.motionFactor == (turns ? 0 : 1));
        return;
    }
    const int16_t mode = f < s ? before : after;
    if (mode == kRangeBlank)
    {
        KFUZZ_CHECK(m.blank && m.motionFactor == 0);
        return;
    }
    KFUZZ_CHECK(!m.blank);
    KFUZZ_CHECK(m.frame >= start && m.frame <= end);
    const int64_t got = m.frame;
    if (mode == kRangeLoop)
    {
        // Same place in the period; forwards.
        const int64_t period = e - s + 1;
        KFUZZ_CHECK((f - got) % period == 0);
        KFUZZ_CHECK(m.motionFactor == 1);
    }
    else if (mode == kRangePingPong && s != e)
    {
        // Reflected: the distance from start is k or period - k.
        const int64_t period = 2 * (e - s);
        int64_t k = (f - s) % period;
        if (k < 0)
            k += period;
        if (k == 0 || k == e - s)
            KFUZZ_CHECK(got == s + k && m.motionFactor == 0); // a turning frame
        else if (k < e - s)
            KFUZZ_CHECK(got == s + k && m.motionFactor == 1);
        else
            KFUZZ_CHECK(got == s + period - k && m.motionFactor == -1);
    }
    else
    {
        // Hold (and every value without a field; a Ping-Pong of one frame).
        KFUZZ_CHECK(got == (f < s ? s : e) && m.motionFactor == 0);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    kfuzz::Bytes in(data, size);
    const uint8_t flags = in.U8();
    const int32_t frame = static_cast<int32_t>(in.U32());
    const size_t dirLength = in.U16();
    const size_t patternLength = in.U16();
    size_t n = 0;
    const uint8_t* p = in.Take(dirLength, n);
    const std::string directory = CString(p, n);
    p = in.Take(patternLength, n);
    const std::string pattern = CString(p, n);
    p = in.Take(64, n);
    const std::string extension = CString(p, n);
    const char separator = (flags & 8) ? '\\' : '/';

    // Inputs and output in buffers of their exact size, so that any read or
    // write past them is seen.
    std::vector<char> dirBuf(directory.c_str(), directory.c_str() + directory.size() + 1);
    std::vector<char> patBuf(pattern.c_str(), pattern.c_str() + pattern.size() + 1);
    std::vector<char> extBuf(extension.c_str(), extension.c_str() + extension.size() + 1);
    std::vector<char> out(kCachePathSize, 'x');

    const char* dirArg = (flags & 1) ? nullptr : dirBuf.data();
    const char* patArg = (flags & 2) ? nullptr : patBuf.data();
    const char* extArg = (flags & 4) ? nullptr : extBuf.data();

    // An input buffer given as the output is refused without a write.
    if (flags & 0x30)
    {
        char* alias = (flags & 0x10) ? patBuf.data() : dirBuf.data();
        const std::string before(alias);
        KFUZZ_CHECK(ComposeCachePath(dirBuf.data(), patBuf.data(), extBuf.data(), frame, alias, separator) ==
                    nullptr);
        KFUZZ_CHECK(before == alias);
        KFUZZ_CHECK(ExpandFramePattern(patBuf.data(), frame, patBuf.data(), separator) == nullptr);
        KFUZZ_CHECK(pattern == patBuf.data());
    }

    // ComposeCachePath against the model.
    char* result = ComposeCachePath(dirArg, patArg, extArg, frame, out.data(), separator);
    if (!dirArg || !patArg || !extArg)
    {
        KFUZZ_CHECK(result == out.data() && out[0] == '\0');
    }
    else
    {
        const bool needsDot = !extension.empty() && extension[0] != '.';
        const std::string composed =
            directory + separator + pattern + (needsDot ? "." : "") + extension;
        std::string expected;
        const bool fits = composed.size() < static_cast<size_t>(kCachePathSize) &&
                          ModelExpand(composed, directory.size() + 1, frame, separator, expected);
        if (fits)
        {
            KFUZZ_CHECK(result == out.data());
            KFUZZ_CHECK(expected == out.data());
        }
        else
        {
            KFUZZ_CHECK(result == nullptr);
            KFUZZ_CHECK(out[0] == '\0');
        }
    }

    // ExpandFramePattern on the pattern alone.
    std::vector<char> out2(kCachePathSize, 'x');
    result = ExpandFramePattern(patArg, frame, out2.data(), separator);
    if (!patArg)
    {
        KFUZZ_CHECK(result == out2.data() && out2[0] == '\0');
    }
    else
    {
        std::string expected;
        if (ModelExpand(pattern, 0, frame, separator, expected))
        {
            KFUZZ_CHECK(result == out2.data());
            KFUZZ_CHECK(expected == out2.data());
        }
        else
        {
            KFUZZ_CHECK(result == nullptr && out2[0] == '\0');
        }
    }

    // Extensions of every format value.
    const char* ext = CacheExtensionOfFormat(static_cast<int32_t>(frame));
    KFUZZ_CHECK(ext != nullptr);
    if (frame < 0 || frame > 4)
        KFUZZ_CHECK(ext[0] == '\0');

    CheckFrameOfIndexValue(in);
    CheckPathVariables(in);
    CheckFrameRange(in);
    return 0;
}
