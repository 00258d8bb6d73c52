// Fuzz target: cache file naming (ComposeCachePath, ExpandFramePattern,
// CacheExtensionOfFormat) and the frame of an index value, each checked
// against a plain std::string / double model of what it must give.
//
// Input: byte 0 flags (bits 0-2 pass a null directory / pattern / extension,
// bit 3 the backslash separator, bits 4-5 hand an input buffer in as the
// output), bytes 1-4 the frame, bytes 5-6 and 7-8 the lengths of directory
// and pattern (up to 65535, so paths far past the 2047-character limit
// occur), then directory, pattern and the rest as the extension. Then, from
// the same input, an index value, index mode and fraction strength.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "plugin/KorvaneCachePath.h"

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

// Expected result of ExpandFramePattern; false when it must be refused for
// length.
bool ModelExpand(const std::string& pattern, int32_t frame, char separator, std::string& out)
{
    if (pattern.size() >= static_cast<size_t>(kCachePathSize))
        return false;
    const size_t run = pattern.find('#');
    if (run == std::string::npos)
    {
        out = pattern;
    }
    else
    {
        size_t width = 0;
        while (run + width < pattern.size() && pattern[run + width] == '#')
            ++width;
        out = pattern.substr(0, run) + PaddedFrame(frame, width) + pattern.substr(run + width);
    }
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
                          ModelExpand(composed, frame, separator, expected);
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
        if (ModelExpand(pattern, frame, separator, expected))
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
    return 0;
}
