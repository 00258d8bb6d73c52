// Which file an evaluation loads: environment variables in the cache path,
// the frame range (Hold, Blank, Loop, Ping-Pong), missing frames (Error,
// Blank, Hold Previous, Nearest) and the partner frame of Interpolate.
// Host-neutral.
//
// The answer is one plain record, FramePick: the frame whose file is
// loaded, the sub-frame offset to move it by, the factor between the loaded
// motion vectors and the motion along the timeline (0 for a held frame, -1
// while Ping-Pong runs backwards), and whether the output stays empty.
// Everything downstream (the sub-frame offset, later the motion a renderer
// sees) follows that record, never the index value itself.
#pragma once

#include <cstddef>
#include <cstdint>

#include "plugin/KorvaneSettings.h"

// ---------------------------------------------------------------------------
// Environment variables in a path.

enum : int32_t
{
    kPathExpanded = 0,
    kPathVariableUnset = 1, // name holds the variable
    kPathTooLong = 2,       // the result does not fit out
};

// Copies text into out (outSize bytes) with "$NAME", "${NAME}", "%NAME%"
// and a leading "~" (followed by a separator or the end; HOME, on Windows
// USERPROFILE) replaced by the variable's value. NAME: a letter or '_', then
// letters, digits and '_' ("%NAME%" also allows '(' and ')', as in
// "%ProgramFiles(x86)%"). Any other '$', '%' or '~' stays as it is; values
// are not expanded again. A variable that is not set is refused
// (kPathVariableUnset, its name in name, nameSize bytes, cut to fit): an
// empty text in its place would name some other folder.
int32_t ExpandPathVariables(const char* text, char* out, size_t outSize, char* name, size_t nameSize);

// True when ExpandPathVariables would change text (it holds a variable).
bool HasPathVariables(const char* text);

// ---------------------------------------------------------------------------
// Frame range.

struct RangeMapping
{
    int32_t frame;        // the frame inside [start, end]
    int32_t motionFactor; // +1 forwards, -1 Ping-Pong backwards, 0 held
    bool blank;           // Blank: nothing is shown
};

// Maps a frame into [start, end] (start <= end) by the mode of its side
// (kRange...; other values hold): Hold the nearer end, Loop with period
// end - start + 1, Ping-Pong reflected at both ends (period 2 x (end -
// start); a range of one frame holds it). Frames inside stay, factor +1.
// 64-bit arithmetic: any int32 frame and range is safe.
RangeMapping MapFrameIntoRange(int32_t frame, int32_t start, int32_t end, int16_t before, int16_t after);

// ---------------------------------------------------------------------------
// Frames that exist.

// A cache path with its frame mark not yet filled in: directory, separator,
// pattern, extension, '/' turned into separator. patternStart: where the
// pattern begins (printf and $F marks count only from there). Null when it
// does not fit kCachePathSize.
char* ComposeCacheTemplate(const char* directory, const char* pattern, const char* extension, char* out,
                           size_t* patternStart, char separator);

struct SequenceScan
{
    bool listed;          // the directory was read
    int64_t count;        // files that are frames of the template
    int32_t first, last;  // their smallest and largest frame (count > 0)
    bool hasBefore;       // largest frame < around within [lo, hi]
    int32_t before;
    bool hasAfter;        // smallest frame > around within [lo, hi]
    int32_t after;
};

// Lists the template's directory once and looks at every name: a file is
// frame F when its name is exactly what the template gives for F (so
// "File.7" is frame 7 of "File.#", "File.007" is not). Also gives the
// nearest frames before and after `around` inside [lo, hi]. A frame mark in
// the directory part, or none at all, lists nothing (listed false).
SequenceScan ScanSequence(const char* templatePath, size_t patternStart, int32_t around, int32_t lo, int32_t hi);

// ---------------------------------------------------------------------------
// The frame of one evaluation.

struct FramePick
{
    int32_t requested;     // the frame of the index value
    int32_t frame;         // the frame whose file is loaded
    float offset;          // sub-frame offset along the loaded motion vectors, in frames
    float motionFactor;    // motion along the timeline per loaded motion vector: 0, +1 or -1
    bool blank;            // nothing is loaded: the empty mesh, success
    bool missing;          // the file of `requested` (after the range) does not exist
    bool substituted;      // Hold Previous / Nearest took another frame
    bool hasPartner;       // Interpolate: blend towards `partner`
    int32_t partner;
    float partnerWeight;   // fraction of the way to the partner, 0 to 1
};

enum : int32_t
{
    kResolveLoad = 0,          // load pick.frame from path
    kResolveBlank = 1,         // outside the range with Blank
    kResolveMissingBlank = 2,  // missing file, shown empty (path names it)
    kResolveRangeReversed = 3, // range start after range end
    kResolvePathTooLong = 4,   // a composed path does not fit
};

// Decides what the evaluation of settings loads. directory: the cache
// directory with its variables expanded. path, partnerPath: kCachePathSize
// buffers, the file to load and (pick.hasPartner) the partner's file; after
// kResolveMissingBlank path names the missing file. With the default
// settings (range off, missing frames Error, motion vectors) no file is
// looked at and pick is the index value's frame and offset.
int32_t ResolveFrame(const NodeSettings& settings, const char* directory, FramePick& pick, char* path,
                     char* partnerPath);

// ---------------------------------------------------------------------------
// A cache seen from one of its files (KorvaneCreate -f).

struct CacheFileFacts
{
    char directory[kSettingsPathSize]; // absolute folder of the file
    char pattern[kSettingsNameSize];   // file name without extension, its last digit run as a '#' run
    int16_t format;                    // m_flFormat value (.drs2: ascii or binary by its header)
    int32_t frame;                     // the file's own frame
    int32_t first, last;               // first and last frame of the sequence in that folder
    bool normals, motions, uvws, colors; // what the file carries
};

// Looks at the file at path and its folder: format from the extension (for
// .drs2 the file's header), the frame number from the last digit run of the
// name, the range from the folder listed once, the load flags from loading
// the file. False with a one-line "[KorvaneCreate] ..." text in message
// when the file does not exist, has no frame number, cannot be read, or
// cannot be named by the node's inputs.
bool AnalyzeCacheFile(const char* path, CacheFileFacts& facts, char* message, size_t messageSize);
