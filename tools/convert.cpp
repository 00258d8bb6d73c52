// korvane convert INPUT OUTPUT [load options] [--ascii] [--frames A-B] [--quiet]
//
// Converts one cache file, or every frame of a '#' pattern, into the format
// that OUTPUT's extension picks. The work of each file is done by
// ConvertFile (KorvaneConvert.h); this file parses the command line, walks
// the frames, shows progress on a terminal and reports.
//
// Exit status: 0 success, 1 a file failed to load or write (it is listed and
// nothing is left under its output name), 2 usage error.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "KorvaneArgs.h"
#include "KorvaneConvert.h"
#include "KorvaneProgress.h"

namespace {

const char kUsage[] =
    "usage: korvane convert INPUT OUTPUT [--normals] [--motions] [--colors] [--uvws] [--all]\n"
    "                       [--groups NAMES] [--invert-groups] [--ascii] [--frames LIST] [--quiet]\n";
const char kHelp[] =
    "\n"
    "Reads INPUT (a cache file, or a pattern whose first '#' run stands for the zero-padded frame)\n"
    "and writes OUTPUT (a file, or a pattern when INPUT is one) in the format of its extension:\n"
    "  .znq, .drs2 (binary; --ascii for ascii), .bin (RealFlow, triangles only), .obj, .ply (binary)\n"
    "Without load options every optional item is loaded (--all); with some, only those.\n"
    "  --frames LIST   only these frames of a pattern: A, A-B or A-B:STEP (default: every\n"
    "                  matching file)\n"
    "  --quiet         no progress bar (drawn on standard error only when it is a terminal)\n"
    "What the output format cannot hold is named in one warning line. Inputs are never\n"
    "overwritten; each file is written under a temporary name and renamed into place.\n";

int UsageError(const char* what, const char* arg)
{
    return ReportUsageError("convert", kUsage, what, arg);
}

// A path with a run of '#' for the frame number.
struct Pattern
{
    std::string head, tail;
    int width = 0;
};

bool Split(const std::string& path, Pattern& p)
{
    const size_t at = path.find('#');
    if (at == std::string::npos)
        return false;
    size_t end = at;
    while (end < path.size() && path[end] == '#')
        ++end;
    p.head = path.substr(0, at);
    p.tail = path.substr(end);
    p.width = static_cast<int>(end - at);
    return true;
}

std::string Name(const Pattern& p, long long frame)
{
    char digits[32];
    std::snprintf(digits, sizeof digits, "%0*lld", p.width, frame);
    return p.head + digits + p.tail;
}

// Frames of the files that match p in its directory, sorted.
std::vector<long long> MatchingFrames(const Pattern& p)
{
    namespace fs = std::filesystem;
    std::vector<long long> frames;
    const fs::path headPath(p.head);
    // The head's file-name part (after the last separator) starts each name.
    const size_t sep = p.head.find_last_of("/\\");
    const std::string dir = sep == std::string::npos ? "." : p.head.substr(0, sep + 1);
    const std::string start = sep == std::string::npos ? p.head : p.head.substr(sep + 1);
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec); !ec && it != fs::directory_iterator(); it.increment(ec))
    {
        const std::string name = it->path().filename().string();
        if (name.size() < start.size() + p.tail.size() + static_cast<size_t>(p.width) ||
            name.compare(0, start.size(), start) != 0 ||
            name.compare(name.size() - p.tail.size(), p.tail.size(), p.tail) != 0)
            continue;
        const std::string digits = name.substr(start.size(), name.size() - start.size() - p.tail.size());
        if (digits.empty() || digits.size() > 9 ||
            !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
            continue;
        // More digits than the run only for frames that need them.
        if (static_cast<int>(digits.size()) != p.width &&
            (static_cast<int>(digits.size()) < p.width || digits[0] == '0'))
            continue;
        frames.push_back(std::atoll(digits.c_str()));
    }
    std::sort(frames.begin(), frames.end());
    return frames;
}

// For a pattern that matches nothing: the files of its directory that start
// like it, then digits, then any extension, as "found A .. B: use PATTERN"
// (the most common digit count and tail win); "" when there are none.
std::string Hint(const Pattern& p)
{
    namespace fs = std::filesystem;
    const size_t sep = p.head.find_last_of("/\\");
    const std::string dir = sep == std::string::npos ? "." : p.head.substr(0, sep + 1);
    const std::string start = sep == std::string::npos ? p.head : p.head.substr(sep + 1);
    struct Form
    {
        size_t width;
        std::string tail, first, last;
        long long lo = 0, hi = 0;
        int count = 0;
    };
    std::vector<Form> forms;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec); !ec && it != fs::directory_iterator(); it.increment(ec))
    {
        const std::string name = it->path().filename().string();
        if (name.compare(0, start.size(), start) != 0)
            continue;
        size_t k = start.size();
        while (k < name.size() && name[k] >= '0' && name[k] <= '9')
            ++k;
        const size_t width = k - start.size();
        if (width == 0 || width > 9)
            continue;
        const std::string tail = name.substr(k);
        const long long frame = std::atoll(name.substr(start.size(), width).c_str());
        auto f = std::find_if(forms.begin(), forms.end(),
                              [&](const Form& x) { return x.width == width && x.tail == tail; });
        if (f == forms.end())
        {
            forms.push_back(Form{width, tail, name, name, frame, frame, 0});
            f = forms.end() - 1;
        }
        if (frame < f->lo)
            f->lo = frame, f->first = name;
        if (frame > f->hi)
            f->hi = frame, f->last = name;
        ++f->count;
    }
    if (forms.empty())
        return "";
    const Form& best = *std::max_element(forms.begin(), forms.end(),
                                         [](const Form& a, const Form& b) { return a.count < b.count; });
    return "found " + best.first + (best.count > 1 ? " .. " + best.last : std::string()) + ": use " + p.head +
           std::string(best.width, '#') + best.tail;
}

void AddItems(std::vector<std::string>& all, const std::string& list)
{
    size_t from = 0;
    while (from < list.size())
    {
        size_t to = list.find(", ", from);
        if (to == std::string::npos)
            to = list.size();
        const std::string item = list.substr(from, to - from);
        if (std::find(all.begin(), all.end(), item) == all.end())
            all.push_back(item);
        from = to + 2;
    }
}

std::string Join(const std::vector<std::string>& items)
{
    std::string s;
    for (size_t i = 0; i < items.size(); ++i)
        s += (i ? ", " : "") + items[i];
    return s;
}

} // namespace

int KorvaneConvertMain(int argc, char** argv)
{
    korvane::ConvertRequest base;
    std::vector<std::string> positional;
    bool anyItem = false, hasFrames = false, quiet = false;
    std::string groups;
    long long from = 0, to = 0, step = 1;
    for (int i = 1; i < argc; ++i)
    {
        const std::string a = argv[i];
        if (a == "-h" || a == "--help")
        {
            std::fputs(kUsage, stdout);
            std::fputs(kHelp, stdout);
            return 0;
        }
        if (a == "--normals")
            base.normals = anyItem = true;
        else if (a == "--motions")
            base.motions = anyItem = true;
        else if (a == "--colors")
            base.colors = anyItem = true;
        else if (a == "--uvws")
            base.uvws = anyItem = true;
        else if (a == "--all")
            base.normals = base.motions = base.colors = base.uvws = anyItem = true;
        else if (a == "--invert-groups")
            base.invertGroups = true;
        else if (a == "--ascii")
            base.ascii = true;
        else if (a == "--quiet")
            quiet = true;
        else if (a == "--groups" || a == "--frames")
        {
            if (i + 1 >= argc)
                return UsageError("missing value after", a.c_str());
            const char* v = argv[++i];
            if (a == "--groups")
                groups = v;
            else
            {
                char* end = nullptr;
                from = std::strtoll(v, &end, 10);
                to = from;
                const bool number = end != v;
                if (number && *end == '-')
                    to = std::strtoll(end + 1, &end, 10);
                if (number && *end == ':' && to != from)
                    step = std::strtoll(end + 1, &end, 10);
                if (!number || *end != '\0' || to < from || from < 0 || step < 1)
                    return UsageError("--frames needs A, A-B or A-B:STEP (whole frames), got", v);
                hasFrames = true;
            }
        }
        else if (!a.empty() && a[0] == '-' && a != "-")
            return UsageError("unknown option", a.c_str());
        else
            positional.push_back(a);
    }
    if (positional.size() != 2)
        return UsageError("needs INPUT and OUTPUT", nullptr);
    if (!anyItem)
        base.normals = base.motions = base.colors = base.uvws = true;
    if (!groups.empty())
        base.groups = groups.c_str();
    const std::string& input = positional[0];
    const std::string& output = positional[1];
    if (korvane::ConvertTargetOf(output, base.ascii) == korvane::ConvertTarget::kUnknown)
        return UsageError("OUTPUT needs the extension .znq, .drs2, .bin, .obj or .ply, got", output.c_str());

    // The files: one, or the frames of a pattern.
    Pattern in, out;
    const bool isPattern = Split(input, in) && !std::filesystem::exists(input);
    std::vector<long long> frames;
    std::vector<std::string> inputs, outputs;
    if (isPattern)
    {
        if (!Split(output, out))
            return UsageError("INPUT is a pattern, so OUTPUT needs a '#' run too, got", output.c_str());
        if (hasFrames)
            for (long long f = from; f <= to; f += step)
                frames.push_back(f);
        else
            frames = MatchingFrames(in);
        if (frames.empty())
        {
            const std::string hint = hasFrames ? std::string() : Hint(in);
            std::fprintf(stderr, "korvane convert: no file matches '%s'%s%s\n", input.c_str(),
                         hint.empty() ? "" : "; ", hint.c_str());
            return 1;
        }
        for (long long f : frames)
        {
            inputs.push_back(Name(in, f));
            outputs.push_back(Name(out, f));
        }
    }
    else
    {
        if (hasFrames)
            return UsageError("--frames needs an INPUT pattern with a '#' run, got", input.c_str());
        inputs.push_back(input);
        outputs.push_back(output);
        frames.push_back(0);
    }

    korvane::ProgressBar bar(!quiet && korvane::StderrIsTerminal(), static_cast<int64_t>(inputs.size()));
    std::vector<std::string> dropped, changed;
    std::vector<long long> failed;
    const std::vector<std::string> protectedPaths = korvane::ProtectedPaths(inputs);
    base.protectedPaths = &protectedPaths;
    for (size_t i = 0; i < inputs.size(); ++i)
    {
        bar.Show(static_cast<int64_t>(i), static_cast<double>(frames[i]));
        korvane::ConvertRequest r = base;
        r.input = inputs[i];
        r.output = outputs[i];
        const korvane::ConvertOutcome o = korvane::ConvertFile(r);
        if (o.status != korvane::ConvertOutcome::kOk)
        {
            bar.Clear();
            std::fflush(stdout);
            std::fprintf(stderr, "korvane convert: %s: %s\n", r.input.c_str(), o.message.c_str());
            char where[320];
            if (PlaceFormat(o.place, where, sizeof where) > 0)
                std::fprintf(stderr, "korvane convert: %s: %s\n", r.input.c_str(), where);
            failed.push_back(frames[i]);
            continue;
        }
        AddItems(dropped, o.dropped);
        AddItems(changed, o.changed);
        if (!isPattern || !korvane::StderrIsTerminal() || quiet)
        {
            bar.Clear();
            std::printf("%s -> %s\n", r.input.c_str(), r.output.c_str());
            std::fflush(stdout);
        }
    }
    bar.Clear();
    std::fflush(stdout);
    if (!dropped.empty() || !changed.empty())
    {
        std::string line = "korvane convert: warning: " + std::filesystem::path(output).extension().string();
        if (!dropped.empty())
            line += " cannot hold " + Join(dropped) + " (not written)";
        if (!changed.empty())
            line += std::string(dropped.empty() ? "" : ";") + " keeps " + Join(changed) + ", not bit-exactly";
        std::fprintf(stderr, "%s\n", line.c_str());
    }
    if (!failed.empty())
    {
        std::string list;
        for (size_t i = 0; i < failed.size(); ++i)
            list += (i ? ", " : "") + std::to_string(failed[i]);
        if (isPattern)
            std::fprintf(stderr, "korvane convert: %zu frame%s failed, nothing written for %s: %s\n",
                         failed.size(), failed.size() == 1 ? "" : "s", failed.size() == 1 ? "it" : "them",
                         list.c_str());
        return 1;
    }
    return 0;
}
