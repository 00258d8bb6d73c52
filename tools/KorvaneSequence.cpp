// The sequence check shared by `korvane info PATTERN` and the Python module.
#include "KorvaneSequence.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "KorvaneJson.h"
#include "KorvaneProgress.h"
#include "errors/ZNQError.h"
#include "formats/ZNQFormats.h"
#include "geometry/ZNQGeometry.h"

namespace korvane {

const char* const kItemNames[4] = {"normals", "motions", "colors", "uvws"};

// True when the file name part of `path` holds a '#' run.
bool SplitPattern(const std::string& path, FramePattern& p)
{
    const size_t sep = path.find_last_of("/\\");
    const size_t nameStart = sep == std::string::npos ? 0 : sep + 1;
    const size_t run = path.find('#', nameStart);
    if (run == std::string::npos)
        return false;
    size_t end = run;
    while (end < path.size() && path[end] == '#')
        ++end;
    p.dirPrefix = path.substr(0, nameStart);
    p.directory = sep == std::string::npos ? "." : (sep == 0 ? path.substr(0, 1) : path.substr(0, sep));
    p.head = path.substr(nameStart, run - nameStart);
    p.tail = path.substr(end);
    p.width = static_cast<int>(end - run);
    return true;
}

// The frame that the file `name` holds under the pattern: the name must be
// exactly what the node composes for that frame (head, the frame printed
// with "%0*ld" for the run's width, tail).
bool MatchFrame(const FramePattern& p, const std::string& name, int32_t& frame)
{
    if (name.size() < p.head.size() + p.tail.size() + 1)
        return false;
    if (name.compare(0, p.head.size(), p.head) != 0 ||
        name.compare(name.size() - p.tail.size(), p.tail.size(), p.tail) != 0)
        return false;
    const std::string middle = name.substr(p.head.size(), name.size() - p.head.size() - p.tail.size());
    if (middle.size() > 16)
        return false;
    size_t k = middle[0] == '-' ? 1 : 0;
    if (k == middle.size())
        return false;
    for (; k < middle.size(); ++k)
        if (middle[k] < '0' || middle[k] > '9')
            return false;
    const long long v = std::strtoll(middle.c_str(), nullptr, 10);
    if (v < INT_MIN || v > INT_MAX)
        return false;
    char canonical[32];
    std::snprintf(canonical, sizeof(canonical), "%0*lld", p.width, v);
    if (middle != canonical)
        return false;
    frame = static_cast<int32_t>(v);
    return true;
}

namespace {

// Lists the matching files; false when the directory cannot be read.
bool FindFrames(const SequenceOptions& a, SeqReport& r, std::string& error)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::directory_iterator it(fs::u8path(r.pattern.directory), ec);
    if (ec)
    {
        error = "cannot read the directory '" + r.pattern.directory + "': " + ec.message();
        return false;
    }
    for (; it != fs::directory_iterator(); it.increment(ec))
    {
        if (ec)
        {
            error = "cannot read the directory '" + r.pattern.directory + "': " + ec.message();
            return false;
        }
        std::error_code typeError;
        if (it->is_directory(typeError))
            continue;
        const std::string name = it->path().filename().u8string();
        int32_t frame = 0;
        if (!MatchFrame(r.pattern, name, frame))
            continue;
        if (a.hasFrames && (frame < a.frameFrom || frame > a.frameTo))
            continue;
        r.files.push_back({frame, r.pattern.dirPrefix + name});
    }
    std::sort(r.files.begin(), r.files.end(),
              [](const SeqFile& x, const SeqFile& y) { return x.frame < y.frame; });
    return true;
}

void FindGaps(const SequenceOptions& a, SeqReport& r)
{
    if (a.hasFrames)
    {
        r.hasRange = true;
        r.first = a.frameFrom;
        r.last = a.frameTo;
    }
    else if (!r.files.empty())
    {
        r.hasRange = true;
        r.first = r.files.front().frame;
        r.last = r.files.back().frame;
    }
    if (!r.hasRange)
        return;
    int64_t expect = r.first;
    for (const SeqFile& f : r.files)
    {
        if (f.frame > expect)
        {
            r.missing.emplace_back(expect, int64_t(f.frame) - 1);
            r.numMissing += f.frame - expect;
        }
        expect = int64_t(f.frame) + 1;
    }
    if (expect <= r.last)
    {
        r.missing.emplace_back(expect, r.last);
        r.numMissing += r.last - expect + 1;
    }
}

void LoadFrames(const SequenceOptions& a, SeqReport& r)
{
    ProgressBar bar(a.progress, static_cast<int64_t>(r.files.size()));
    ZNQGeometry g;
    g.Init(0);
    const auto t0 = std::chrono::steady_clock::now();
    for (size_t i = 0; i < r.files.size(); ++i)
    {
        const SeqFile& f = r.files[i];
        bar.Show(static_cast<int64_t>(i), f.frame);
        const int32_t rc = LoadFromFile(g, f.path.c_str(), r.asked[0], r.asked[1], r.asked[2], r.asked[3],
                                        nullptr, nullptr, nullptr, a.groups, a.invertGroups);
        if (rc)
            r.failed.push_back({f.frame, f.path, rc});
        else
        {
            ++r.numLoaded;
            r.verts.Add(g._numVert, f.frame);
            r.polys.Add(g._numPoly, f.frame);
            const bool has[4] = {g._nodeNrm != nullptr, g._vertMotion != nullptr, g._nodeCol != nullptr,
                                 g._nodeUvw != nullptr};
            for (int k = 0; k < 4; ++k)
                if (r.asked[k] && !has[k])
                    r.lacking[k].push_back(f.frame);
        }
        g.Clear();
    }
    r.loadMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

void JsonCountRange(std::string& out, const CountRange& c)
{
    if (!c.any)
    {
        out += "null";
        return;
    }
    out += "{\"min\":" + std::to_string(c.min) + ",\"minFrame\":" + std::to_string(c.minFrame) +
           ",\"max\":" + std::to_string(c.max) + ",\"maxFrame\":" + std::to_string(c.maxFrame) + "}";
}

} // namespace

bool CheckSequence(const FramePattern& pattern, const SequenceOptions& options, SeqReport& r,
                   std::string& error)
{
    r = SeqReport();
    r.pattern = pattern;
    const bool all = !(options.normals || options.motions || options.colors || options.uvws);
    r.asked[0] = all || options.normals;
    r.asked[1] = all || options.motions;
    r.asked[2] = all || options.colors;
    r.asked[3] = all || options.uvws;
    if (!FindFrames(options, r, error))
        return false;
    FindGaps(options, r);
    LoadFrames(options, r);
    return true;
}

// When the pattern matches nothing: the pattern of the same name with another
// '#' run length or extension that matches the most files of the directory,
// as "found A .. B: use PATTERN"; "" when none does.
std::string PatternHint(const FramePattern& p)
{
    namespace fs = std::filesystem;
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(fs::u8path(p.directory), ec); !ec && it != fs::directory_iterator();
         it.increment(ec))
    {
        std::error_code typeError;
        if (it->is_directory(typeError))
            continue;
        const std::string name = it->path().filename().u8string();
        if (name.compare(0, p.head.size(), p.head) == 0)
            names.push_back(name);
    }
    // Tails to try: the pattern's own, and every other extension after the
    // same text up to the pattern's extension.
    const std::string stem = p.tail.substr(0, p.tail.rfind('.'));
    std::vector<std::string> tails = {p.tail};
    for (const std::string& n : names)
    {
        size_t k = p.head.size();
        if (k < n.size() && n[k] == '-')
            ++k;
        while (k < n.size() && n[k] >= '0' && n[k] <= '9')
            ++k;
        const std::string t = n.substr(k);
        if (t.compare(0, stem.size(), stem) == 0 && t.find('.', stem.size()) == stem.size() &&
            std::find(tails.begin(), tails.end(), t) == tails.end())
            tails.push_back(t);
    }
    size_t bestCount = 0;
    FramePattern best;
    std::string first, last;
    for (const std::string& t : tails)
        for (int w = 1; w <= 9; ++w)
        {
            FramePattern q = p;
            q.tail = t;
            q.width = w;
            if (t == p.tail && w == p.width)
                continue;
            size_t count = 0;
            int32_t lo = 0, hi = 0;
            std::string loName, hiName;
            for (const std::string& n : names)
            {
                int32_t frame = 0;
                if (!MatchFrame(q, n, frame))
                    continue;
                if (!count || frame < lo)
                    lo = frame, loName = n;
                if (!count || frame > hi)
                    hi = frame, hiName = n;
                ++count;
            }
            // Another run length of the same extension goes before another
            // extension.
            if (count > bestCount && !(bestCount && best.tail == p.tail && t != p.tail))
            {
                bestCount = count;
                best = q;
                first = loName;
                last = hiName;
            }
        }
    if (!bestCount)
        return "";
    const std::string pattern = best.dirPrefix + best.head + std::string(static_cast<size_t>(best.width), '#') + best.tail;
    return "found " + first + (bestCount > 1 ? " .. " + last : std::string()) + ": use " + pattern;
}

// The KorvaneCreate -f line that sets a node up for the sequence, or "" when
// that command would read another frame number out of the names (it takes
// the last digit run before the extension).
std::string CreateLine(const SeqReport& r)
{
    if (r.files.empty())
        return std::string();
    const FramePattern& p = r.pattern;
    const size_t dot = p.tail.rfind('.');
    const std::string after = dot == std::string::npos ? p.tail : p.tail.substr(0, dot);
    for (const char c : after)
        if (c >= '0' && c <= '9')
            return std::string();
    if (dot == std::string::npos || p.head.find('#') != std::string::npos)
        return std::string();
    // A file whose frame is written in exactly the run's width: from a
    // longer or negative number -f would read another '#' run.
    const SeqFile* pick = nullptr;
    for (const SeqFile& f : r.files)
        if (f.frame >= 0 && std::to_string(f.frame).size() <= static_cast<size_t>(p.width))
        {
            pick = &f;
            break;
        }
    if (!pick)
        return std::string();
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::path file = fs::absolute(fs::u8path(pick->path), ec);
    if (ec)
        file = fs::u8path(pick->path);
#if defined(_WIN32)
    const std::string path = file.generic_u8string();
#else
    const std::string path = file.u8string();
#endif
    std::string line = "KorvaneCreate -f \"";
    for (const char c : path)
    {
        if (c == '"' || c == '\\')
            line += '\\';
        line += c;
    }
    return line + "\"";
}

std::string SequenceJson(const char* patternText, const SeqReport& r)
{
    std::string out = "{\"pattern\":";
    JsonString(out, patternText);
    out += ",\"directory\":";
    JsonString(out, r.pattern.directory.c_str());
    out += ",\"first\":" + (r.hasRange ? std::to_string(r.first) : std::string("null"));
    out += ",\"last\":" + (r.hasRange ? std::to_string(r.last) : std::string("null"));
    out += ",\"numFiles\":" + std::to_string(r.files.size());

    out += ",\"numLoaded\":" + std::to_string(r.numLoaded);
    out += ",\"numMissing\":" + std::to_string(r.numMissing);
    out += ",\"missing\":[";
    for (size_t i = 0; i < r.missing.size(); ++i)
        out += (i ? ",[" : "[") + std::to_string(r.missing[i].first) + "," + std::to_string(r.missing[i].second) +
               "]";
    out += "],\"numFailed\":" + std::to_string(r.failed.size());
    out += ",\"failed\":[";
    for (size_t i = 0; i < r.failed.size(); ++i)
    {
        out += i ? ",{\"frame\":" : "{\"frame\":";
        out += std::to_string(r.failed[i].frame);
        out += ",\"path\":";
        JsonString(out, r.failed[i].path.c_str());
        out += ",\"error\":" + std::to_string(r.failed[i].error) + ",\"message\":";
        JsonString(out, ZNQErrorText(r.failed[i].error));
        out += '}';
    }
    out += "],\"numVert\":";
    JsonCountRange(out, r.verts);
    out += ",\"numPoly\":";
    JsonCountRange(out, r.polys);
    for (const char* key : {"load", "has", "lacking"})
    {
        out += ",\"";
        out += key;
        out += "\":{";
        for (int k = 0; k < 4; ++k)
        {
            out += k ? ",\"" : "\"";
            out += kItemNames[k];
            out += "\":";
            if (!std::strcmp(key, "load"))
                out += r.asked[k] ? "true" : "false";
            else if (!std::strcmp(key, "has"))
                out += r.asked[k] && r.numLoaded > 0 && r.lacking[k].empty() ? "true" : "false";
            else if (!r.asked[k])
                out += "null";
            else
            {
                out += '[';
                for (size_t j = 0; j < r.lacking[k].size(); ++j)
                    out += (j ? "," : "") + std::to_string(r.lacking[k][j]);
                out += ']';
            }
        }
        out += '}';
    }
    char buf[64];
    std::snprintf(buf, sizeof(buf), ",\"loadMs\":%.3f", r.loadMs);
    out += buf;
    const std::string create = CreateLine(r);
    out += ",\"create\":";
    if (create.empty())
        out += "null";
    else
        JsonString(out, create.c_str());
    out += ",\"ok\":";
    out += r.Ok() ? "true" : "false";
    out += "}\n";
    return out;
}

} // namespace korvane
