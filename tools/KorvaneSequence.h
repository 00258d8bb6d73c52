// The sequence check of `korvane info PATTERN`: every file of a directory that
// the node reads for some frame of a '#' pattern, the gaps between them, the
// frames that fail to load, the range of vertex and polygon counts and which
// optional data every frame carries. Shared by the command-line program and
// the Python module, so both report the same thing.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace korvane {

// A file name pattern split at its first '#' run.
struct FramePattern
{
    std::string dirPrefix; // the pattern's text up to and including the last separator ("" for none)
    std::string directory; // the directory to list ("." for none)
    std::string head;      // file name text before the run
    std::string tail;      // file name text after the run
    int width = 0;         // length of the run
};

// True when the file name part of `path` holds a '#' run.
bool SplitPattern(const std::string& path, FramePattern& p);

// The frame that the file `name` holds under the pattern: the name must be
// exactly what the node composes for that frame (head, the frame printed
// with "%0*ld" for the run's width, tail).
bool MatchFrame(const FramePattern& p, const std::string& name, int32_t& frame);

struct SeqFile
{
    int32_t frame;
    std::string path;
};

struct SeqFailure
{
    int32_t frame;
    std::string path;
    int32_t error;
};

struct CountRange
{
    bool any = false;
    int64_t min = 0, max = 0;
    int32_t minFrame = 0, maxFrame = 0;

    void Add(int64_t v, int32_t frame)
    {
        if (!any || v < min)
        {
            min = v;
            minFrame = frame;
        }
        if (!any || v > max)
        {
            max = v;
            maxFrame = frame;
        }
        any = true;
    }
};

// Names of the four optional items, in the order of SeqReport::asked.
extern const char* const kItemNames[4];

// What to check. With none of the four load flags set, all four are loaded.
struct SequenceOptions
{
    bool normals = false, motions = false, colors = false, uvws = false;
    const char* groups = nullptr; // .obj group filter or null
    bool invertGroups = false;
    bool hasFrames = false; // only frames in [frameFrom, frameTo]; absent ones are missing
    long long frameFrom = 0, frameTo = 0;
    bool progress = false; // progress bar on standard error
};

struct SeqReport
{
    FramePattern pattern;
    std::vector<SeqFile> files;                       // in frame order
    std::vector<std::pair<int64_t, int64_t>> missing; // ranges of absent frames
    int64_t numMissing = 0;
    bool hasRange = false;
    int64_t first = 0, last = 0; // the range checked
    std::vector<SeqFailure> failed;
    int64_t numLoaded = 0;
    CountRange verts, polys;
    bool asked[4] = {false, false, false, false};
    std::vector<int32_t> lacking[4]; // loaded frames without the item
    double loadMs = 0.0;

    bool Ok() const { return !files.empty() && failed.empty() && numMissing == 0; }
};

// Runs the whole check into r. False when the directory cannot be read;
// error then holds "cannot read the directory '...': REASON".
bool CheckSequence(const FramePattern& pattern, const SequenceOptions& options, SeqReport& r,
                   std::string& error);

// The report as one JSON object and a newline; patternText is the pattern as given.
std::string SequenceJson(const char* patternText, const SeqReport& r);

// The KorvaneCreate -f line that sets a node up for the sequence, or "" when
// that command would read another frame number out of the names.
std::string CreateLine(const SeqReport& r);

// When the pattern matches nothing: the pattern of the same name with another
// '#' run length or extension that matches the most files of the directory,
// as "found A .. B: use PATTERN"; "" when none does.
std::string PatternHint(const FramePattern& p);

} // namespace korvane
