#include "plugin/KorvaneFrames.h"

#include <cfloat>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "errors/ZNQError.h"
#include "formats/ZNQFormats.h"
#include "plugin/KorvaneCachePath.h"
#include "plugin/KorvaneEvaluate.h"

namespace {

bool IsNameStart(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}

bool IsNameChar(char c)
{
    return IsNameStart(c) || (c >= '0' && c <= '9');
}

bool IsSeparator(char c)
{
    return c == '/' || c == '\\';
}

// The value of an environment variable into value; false when it is unset.
bool GetVariable(const std::string& name, std::string& value)
{
#if defined(_MSC_VER)
    char* text = nullptr;
    size_t length = 0;
    if (_dupenv_s(&text, &length, name.c_str()) != 0 || !text)
        return false;
    value = text;
    std::free(text);
    return true;
#else
    const char* text = std::getenv(name.c_str());
    if (!text)
        return false;
    value = text;
    return true;
#endif
}

#if defined(_WIN32)
const char kHomeVariable[] = "USERPROFILE";
#else
const char kHomeVariable[] = "HOME";
#endif

// One variable reference at text[i]: its name and how many characters it
// covers; false when text[i] starts none.
bool VariableAt(const char* text, size_t i, std::string& name, size_t& length)
{
    const char* p = text + i;
    if (i == 0 && p[0] == '~' && (p[1] == '\0' || IsSeparator(p[1])))
    {
        name = kHomeVariable;
        length = 1;
        return true;
    }
    if (p[0] == '$' && p[1] == '{' && IsNameStart(p[2]))
    {
        size_t n = 2;
        while (IsNameChar(p[n]))
            ++n;
        if (p[n] != '}')
            return false;
        name.assign(p + 2, n - 2);
        length = n + 1;
        return true;
    }
    if (p[0] == '$' && IsNameStart(p[1]))
    {
        size_t n = 1;
        while (IsNameChar(p[n]))
            ++n;
        name.assign(p + 1, n - 1);
        length = n;
        return true;
    }
    if (p[0] == '%' && IsNameStart(p[1]))
    {
        size_t n = 1;
        while (IsNameChar(p[n]) || p[n] == '(' || p[n] == ')')
            ++n;
        if (p[n] != '%')
            return false;
        name.assign(p + 1, n - 1);
        length = n + 1;
        return true;
    }
    return false;
}

void CopyCut(const std::string& text, char* out, size_t size)
{
    if (!out || size == 0)
        return;
    const size_t n = text.size() < size - 1 ? text.size() : size - 1;
    std::memcpy(out, text.data(), n);
    out[n] = '\0';
}

} // namespace

int32_t ExpandPathVariables(const char* text, char* out, size_t outSize, char* name, size_t nameSize)
{
    if (name && nameSize)
        name[0] = '\0';
    if (!out || outSize == 0)
        return kPathTooLong;
    out[0] = '\0';
    if (!text)
        return kPathExpanded;
    std::string result;
    std::string variable, value;
    for (size_t i = 0; text[i] != '\0';)
    {
        size_t length = 0;
        if (VariableAt(text, i, variable, length))
        {
            if (!GetVariable(variable, value))
            {
                CopyCut(variable, name, nameSize);
                return kPathVariableUnset;
            }
            result += value;
            i += length;
        }
        else
            result += text[i++];
        if (result.size() >= outSize)
            return kPathTooLong;
    }
    std::memcpy(out, result.c_str(), result.size() + 1);
    return kPathExpanded;
}

bool HasPathVariables(const char* text)
{
    if (!text)
        return false;
    std::string variable;
    size_t length = 0;
    for (size_t i = 0; text[i] != '\0'; ++i)
        if (VariableAt(text, i, variable, length))
            return true;
    return false;
}

// ---------------------------------------------------------------------------

namespace {

// x mod period in [0, period); period > 0.
int64_t Wrap(int64_t x, int64_t period)
{
    const int64_t r = x % period;
    return r < 0 ? r + period : r;
}

} // namespace

RangeMapping MapFrameIntoRange(int32_t frame, int32_t start, int32_t end, int16_t before, int16_t after)
{
    RangeMapping m = {frame, 1, false};
    if (frame >= start && frame <= end)
    {
        // An end that Ping-Pong turns at is shown still: the cache runs into
        // it from one side and out of it to the same side.
        if (start < end && ((frame == end && after == kRangePingPong) || (frame == start && before == kRangePingPong)))
            m.motionFactor = 0;
        return m;
    }
    const int16_t mode = frame < start ? before : after;
    const int64_t s = start, e = end, f = frame;
    switch (mode)
    {
    case kRangeBlank:
        m.blank = true;
        m.motionFactor = 0;
        return m;
    case kRangeLoop:
        m.frame = static_cast<int32_t>(s + Wrap(f - s, e - s + 1));
        return m;
    case kRangePingPong:
    {
        if (s == e)
        {
            m.frame = start;
            m.motionFactor = 0;
            return m;
        }
        const int64_t k = Wrap(f - s, 2 * (e - s));
        if (k == 0 || k == e - s)
        {
            m.frame = static_cast<int32_t>(s + k); // a turning frame: held
            m.motionFactor = 0;
        }
        else if (k < e - s)
            m.frame = static_cast<int32_t>(s + k);
        else
        {
            m.frame = static_cast<int32_t>(s + 2 * (e - s) - k);
            m.motionFactor = -1;
        }
        return m;
    }
    default: // Hold
        m.frame = frame < start ? start : end;
        m.motionFactor = 0;
        return m;
    }
}

// ---------------------------------------------------------------------------

char* ComposeCacheTemplate(const char* directory, const char* pattern, const char* extension, char* out,
                           size_t* patternStart, char separator)
{
    if (!out || !directory || !pattern || !extension)
        return nullptr;
    const bool needsDot = extension[0] != '\0' && extension[0] != '.';
    const int length = std::snprintf(out, kCachePathSize, needsDot ? "%s%c%s.%s" : "%s%c%s%s", directory,
                                     separator, pattern, extension);
    if (length < 0 || length >= kCachePathSize)
    {
        out[0] = '\0';
        return nullptr;
    }
    for (char* c = out; *c; ++c)
        if (*c == '/')
            *c = separator;
    if (patternStart)
        *patternStart = std::strlen(directory) + 1;
    return out;
}

namespace {

// The frame that `name` is under head + frame mark (width) + tail: the name
// must be exactly what the node composes for that frame.
bool MatchFrameName(const std::string& name, const std::string& head, const std::string& tail, int32_t width,
                    int32_t& frame)
{
    if (name.size() < head.size() + tail.size() + 1)
        return false;
    if (name.compare(0, head.size(), head) != 0 ||
        name.compare(name.size() - tail.size(), tail.size(), tail) != 0)
        return false;
    const size_t middleLength = name.size() - head.size() - tail.size();
    // int32 has at most 10 digits and a sign; zero padding may add more, but
    // never past the width.
    const size_t widthLength = width > 0 ? static_cast<size_t>(width) : 0;
    if (middleLength > 11 && middleLength > widthLength)
        return false;
    const char* m = name.c_str() + head.size();
    size_t k = m[0] == '-' ? 1 : 0;
    if (k == middleLength)
        return false;
    int64_t value = 0;
    for (; k < middleLength; ++k)
    {
        if (m[k] < '0' || m[k] > '9')
            return false;
        value = value * 10 + (m[k] - '0');
        if (value > static_cast<int64_t>(INT32_MAX) + 1)
            return false;
    }
    if (m[0] == '-')
        value = -value;
    if (value < INT32_MIN || value > INT32_MAX)
        return false;
    char canonical[kCachePathSize];
    const int written = std::snprintf(canonical, sizeof(canonical), "%0*d", static_cast<int>(width),
                                      static_cast<int>(value));
    if (written < 0 || static_cast<size_t>(written) != middleLength || std::memcmp(canonical, m, middleLength) != 0)
        return false;
    frame = static_cast<int32_t>(value);
    return true;
}

} // namespace

SequenceScan ScanSequence(const char* templatePath, size_t patternStart, int32_t around, int32_t lo, int32_t hi)
{
    SequenceScan scan = {false, 0, 0, 0, false, 0, false, 0};
    if (!templatePath)
        return scan;
    const FrameToken token = FindFrameToken(templatePath, patternStart);
    if (!token.found)
        return scan;
    const std::string text = templatePath;
    size_t nameStart = 0;
    for (size_t i = token.start; i > 0; --i)
        if (IsSeparator(text[i - 1]))
        {
            nameStart = i;
            break;
        }
    for (size_t i = token.start + token.length; i < text.size(); ++i)
        if (IsSeparator(text[i]))
            return scan; // the frame mark names a folder, not a file
    const std::string head = text.substr(nameStart, token.start - nameStart);
    const std::string tail = text.substr(token.start + token.length);
    std::string directory;
    if (nameStart == 0)
        directory = ".";
    else if (nameStart == 1)
        directory = text.substr(0, 1);
    else
        directory = text.substr(0, nameStart - 1);

    namespace fs = std::filesystem;
    std::error_code ec;
    fs::directory_iterator it(fs::u8path(directory), ec);
    if (ec)
        return scan;
    scan.listed = true;
    for (; it != fs::directory_iterator(); it.increment(ec))
    {
        if (ec)
            break;
        const std::string name = it->path().filename().u8string();
        int32_t frame = 0;
        if (!MatchFrameName(name, head, tail, token.width, frame))
            continue;
        std::error_code typeError;
        if (it->is_directory(typeError))
            continue;
        if (scan.count == 0 || frame < scan.first)
            scan.first = frame;
        if (scan.count == 0 || frame > scan.last)
            scan.last = frame;
        ++scan.count;
        if (frame < lo || frame > hi)
            continue;
        if (frame < around && (!scan.hasBefore || frame > scan.before))
        {
            scan.hasBefore = true;
            scan.before = frame;
        }
        if (frame > around && (!scan.hasAfter || frame < scan.after))
        {
            scan.hasAfter = true;
            scan.after = frame;
        }
    }
    return scan;
}

// ---------------------------------------------------------------------------

namespace {

bool Compose(const NodeSettings& s, const char* directory, int32_t frame, char* path)
{
    return ComposeCachePath(directory, s.name, CacheExtensionOfFormat(s.format), frame, path) != nullptr;
}

} // namespace

int32_t ResolveFrame(const NodeSettings& s, const char* directory, FramePick& pick, char* path, char* partnerPath)
{
    std::memset(&pick, 0, sizeof(pick));
    path[0] = '\0';
    if (partnerPath)
        partnerPath[0] = '\0';
    const float fraction = s.fraction;
    const float strength = s.fractionStrength;
    pick.requested = s.frame;
    pick.frame = s.frame;
    int32_t factor = 1;

    if (s.rangeActive)
    {
        if (s.rangeStart > s.rangeEnd)
            return kResolveRangeReversed;
        const RangeMapping m = MapFrameIntoRange(s.frame, s.rangeStart, s.rangeEnd, s.beforeRange, s.afterRange);
        if (m.blank)
        {
            pick.blank = true;
            return kResolveBlank;
        }
        pick.frame = m.frame;
        factor = m.motionFactor;
    }
    pick.motionFactor = static_cast<float>(factor);
    // The plain offset: fraction strength x fraction, in the direction the
    // range runs (none for a held frame).
    pick.offset = factor == 0 ? 0.0f : strength * fraction * static_cast<float>(factor);
    if (!Compose(s, directory, pick.frame, path))
        return kResolvePathTooLong;

    const int16_t policy = s.missingFrames;
    if (policy == kMissingBlank || policy == kMissingHoldPrevious || policy == kMissingNearest)
    {
        if (!FileExists(path))
        {
            pick.missing = true;
            if (policy == kMissingBlank)
            {
                pick.blank = true;
                return kResolveMissingBlank;
            }
            char templ[kCachePathSize];
            size_t patternStart = 0;
            SequenceScan scan = {false, 0, 0, 0, false, 0, false, 0};
            if (ComposeCacheTemplate(directory, s.name, CacheExtensionOfFormat(s.format), templ, &patternStart,
                                     kCachePathSeparator))
                scan = ScanSequence(templ, patternStart, pick.frame, s.rangeActive ? s.rangeStart : INT32_MIN,
                                    s.rangeActive ? s.rangeEnd : INT32_MAX);
            bool found = false;
            int32_t used = 0;
            if (policy == kMissingHoldPrevious)
            {
                found = scan.hasBefore;
                used = scan.before;
            }
            else if (scan.hasBefore || scan.hasAfter)
            {
                found = true;
                // A tie takes the earlier frame.
                if (scan.hasBefore && scan.hasAfter)
                    used = static_cast<int64_t>(pick.frame) - scan.before <= static_cast<int64_t>(scan.after) - pick.frame
                               ? scan.before
                               : scan.after;
                else
                    used = scan.hasBefore ? scan.before : scan.after;
            }
            if (!found)
            {
                pick.blank = true;
                return kResolveMissingBlank; // path still names the missing file
            }
            if (policy == kMissingHoldPrevious)
            {
                pick.offset = 0.0f;
                pick.motionFactor = 0.0f;
            }
            else
            {
                // Along the used frame's motion vectors to where the index
                // value asks for: strength x (requested value - used frame).
                const double wanted = static_cast<double>(pick.frame) + static_cast<double>(factor) * fraction;
                double offset = static_cast<double>(strength) * (wanted - used);
                if (!(offset <= FLT_MAX && offset >= -FLT_MAX)) // also NaN: no offset at all
                    offset = offset > 0.0 ? FLT_MAX : (offset < 0.0 ? -FLT_MAX : 0.0);
                pick.offset = static_cast<float>(offset);
                if (factor == 0)
                    pick.motionFactor = 0.0f;
            }
            pick.frame = used;
            pick.substituted = true;
            if (!Compose(s, directory, pick.frame, path))
                return kResolvePathTooLong;
        }
    }

    // Interpolate: the next frame in the fraction's direction, through the
    // range; a held end has no partner.
    if (s.subFrameMode == kSubFrameInterpolate && partnerPath && !pick.substituted && factor != 0 &&
        fraction != 0.0f && strength != 0.0f)
    {
        const int64_t next = static_cast<int64_t>(s.frame) + (fraction > 0.0f ? 1 : -1);
        if (next >= INT32_MIN && next <= INT32_MAX)
        {
            int32_t partner = static_cast<int32_t>(next);
            bool blank = false;
            if (s.rangeActive)
            {
                const RangeMapping m =
                    MapFrameIntoRange(partner, s.rangeStart, s.rangeEnd, s.beforeRange, s.afterRange);
                partner = m.frame;
                blank = m.blank;
            }
            if (!blank && partner != pick.frame && Compose(s, directory, partner, partnerPath))
            {
                pick.hasPartner = true;
                pick.partner = partner;
                pick.partnerWeight = strength * (fraction > 0.0f ? fraction : -fraction);
            }
            else
                partnerPath[0] = '\0';
        }
    }
    return kResolveLoad;
}

// ---------------------------------------------------------------------------

namespace {

bool Refuse(char* message, size_t size, const std::string& text)
{
    CopyCut("[KorvaneCreate] " + text, message, size);
    return false;
}

bool SameExtension(const std::string& a, const char* b)
{
    if (a.size() != std::strlen(b))
        return false;
    for (size_t i = 0; i < a.size(); ++i)
    {
#if defined(_WIN32)
        // Windows file names ignore case.
        const char c = (a[i] >= 'A' && a[i] <= 'Z') ? static_cast<char>(a[i] - 'A' + 'a') : a[i];
#else
        const char c = a[i];
#endif
        if (c != b[i])
            return false;
    }
    return true;
}

// 1 ascii, 0 binary, -1 neither: the third word of the header
// "Drosil2-File-Format <year> asc|bin format".
int DrsVariant(const char* path)
{
    FILE* f = FileOpen(path, "rb");
    if (!f)
        return -1;
    char head[128];
    const size_t n = FileRead(head, 1, sizeof(head) - 1, f);
    FileClose(f);
    head[n] = '\0';
    const char* words[4] = {nullptr, nullptr, nullptr, nullptr};
    size_t lengths[4] = {0, 0, 0, 0};
    const char* p = head;
    for (int w = 0; w < 4; ++w)
    {
        p = SkipWhitespace(p);
        if (!p || !*p)
            return -1;
        const char* end = FindWhitespace(p);
        if (!end)
            return -1;
        words[w] = p;
        lengths[w] = static_cast<size_t>(end - p);
        p = end;
    }
    (void)words[0];
    auto is = [&](int w, const char* text) {
        if (lengths[w] != std::strlen(text))
            return false;
        for (size_t i = 0; i < lengths[w]; ++i)
        {
            char c = words[w][i];
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
            if (c != text[i])
                return false;
        }
        return true;
    };
    if (!is(3, "format"))
        return -1;
    if (is(2, "asc"))
        return 1;
    if (is(2, "bin"))
        return 0;
    return -1;
}

} // namespace

bool AnalyzeCacheFile(const char* path, CacheFileFacts& facts, char* message, size_t messageSize)
{
    std::memset(&facts, 0, sizeof(facts));
    if (message && messageSize)
        message[0] = '\0';
    if (!path || !path[0])
        return Refuse(message, messageSize, "missing path after \"-f\".");
    const std::string given = path;
    for (const char c : given)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            return Refuse(message, messageSize, "the path \"" + given + "\" holds a control character.");

    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path file = fs::u8path(given);
    if (!fs::is_regular_file(file, ec))
        return Refuse(message, messageSize, "no such file: \"" + given + "\".");

    // Format from the extension, as the node adds it.
    const std::string name = file.filename().u8string();
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0)
        return Refuse(message, messageSize, "\"" + given + "\" has no cache file extension (.znq, .drs2, .bin, .obj).");
    const std::string extension = name.substr(dot);
    const std::string stem = name.substr(0, dot);
    int16_t format = -1;
    const char* const known[] = {".drs2", ".obj", ".bin", ".znq"};
    const int16_t values[] = {0, 2, 3, 4};
    for (int i = 0; i < 4; ++i)
        if (SameExtension(extension, known[i]))
            format = values[i];
    if (format < 0)
        return Refuse(message, messageSize,
                      "\"" + given + "\" has no cache file extension the node adds (.znq, .drs2, .bin, .obj, in lower case).");
    if (format == 0)
    {
        const int variant = DrsVariant(path);
        if (variant < 0)
            return Refuse(message, messageSize,
                          "\"" + given + "\" does not start with a .drs2 header (\"Drosil2-File-Format <year> asc|bin format\").");
        format = static_cast<int16_t>(variant);
    }

    // The frame number: the last run of digits before the extension.
    size_t runEnd = stem.size();
    while (runEnd > 0 && !(stem[runEnd - 1] >= '0' && stem[runEnd - 1] <= '9'))
        --runEnd;
    if (runEnd == 0)
        return Refuse(message, messageSize, "the file name \"" + name + "\" has no frame number.");
    size_t runStart = runEnd;
    while (runStart > 0 && stem[runStart - 1] >= '0' && stem[runStart - 1] <= '9')
        --runStart;
    if (stem.find('#') != std::string::npos)
        return Refuse(message, messageSize,
                      "the file name \"" + name + "\" holds '#', which the file name pattern keeps for the frame number.");
    int64_t frame = 0;
    for (size_t i = runStart; i < runEnd; ++i)
    {
        frame = frame * 10 + (stem[i] - '0');
        if (frame > INT32_MAX)
            return Refuse(message, messageSize,
                          "the frame number of \"" + name + "\" is larger than 2147483647.");
    }
    const std::string pattern = stem.substr(0, runStart) + std::string(runEnd - runStart, '#') + stem.substr(runEnd);
    if (pattern.size() >= sizeof(facts.pattern))
        return Refuse(message, messageSize, "the file name \"" + name + "\" is longer than 512 characters.");

    // The folder, absolute, so that the scene does not depend on where
    // Maya was started.
    fs::path folder = fs::absolute(file, ec).parent_path();
    if (ec)
        folder = file.parent_path();
#if defined(_WIN32)
    const std::string directory = folder.generic_u8string();
#else
    const std::string directory = folder.u8string();
#endif
    if (directory.size() >= sizeof(facts.directory))
        return Refuse(message, messageSize, "the folder of \"" + given + "\" is longer than 1535 characters.");
    if (directory.find('#') != std::string::npos)
        return Refuse(message, messageSize,
                      "the folder \"" + directory + "\" holds '#', which the cache path keeps for the frame number.");
    if (HasPathVariables(directory.c_str()))
        return Refuse(message, messageSize,
                      "the folder \"" + directory + "\" holds '$', '%' or a leading '~', which the Path input reads as an environment variable.");

    std::memcpy(facts.directory, directory.c_str(), directory.size() + 1);
    std::memcpy(facts.pattern, pattern.c_str(), pattern.size() + 1);
    facts.format = format;
    facts.frame = static_cast<int32_t>(frame);
    facts.first = facts.last = facts.frame;

    char templ[kCachePathSize];
    size_t patternStart = 0;
    if (!ComposeCacheTemplate(facts.directory, facts.pattern, CacheExtensionOfFormat(format), templ, &patternStart,
                              kCachePathSeparator))
        return Refuse(message, messageSize, "the path \"" + given + "\" is longer than 2047 characters.");
    const SequenceScan scan = ScanSequence(templ, patternStart, facts.frame, INT32_MIN, INT32_MAX);
    if (scan.count > 0)
    {
        facts.first = scan.first < facts.frame ? scan.first : facts.frame;
        facts.last = scan.last > facts.frame ? scan.last : facts.frame;
    }

    const KorvaneFileContents contents = KorvaneProbeFile(path);
    if (contents.error != 0)
    {
        char text[kZNQErrorMessageMaxLen];
        return Refuse(message, messageSize,
                      "cannot load \"" + given + "\": " + ZNQErrorMessage(contents.error, text, true, nullptr));
    }
    facts.normals = contents.normals;
    facts.motions = contents.motions;
    facts.uvws = contents.uvws;
    facts.colors = contents.colors;
    return true;
}
