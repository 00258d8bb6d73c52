// Read-ahead of the frame that playback will ask for next. Host-neutral.
#pragma once

#include <cstdint>

#include "plugin/KorvaneFrames.h"
#include "plugin/KorvaneSettings.h"

// The way of play, as the node's evaluations show it: the frame of the last
// evaluation, the last move between two frames, and the step that the next
// frame is expected at (forward by one until the frames say otherwise). A
// hint only: no geometry and no file data.
struct KorvanePlayHint
{
    bool seen = false;
    int32_t frame = 0;
    int32_t step = 1;
    int32_t lastMove = 0;
    // The file last asked to be read ahead and the file loaded last (empty:
    // none): a load of either comes from the operating system's cache.
    char askedPath[kCachePathSize] = {};
    char loadedPath[kCachePathSize] = {};
};

// The largest step taken for a rhythm of play (playback by 2, by 3, ...);
// a longer move is always a jump.
constexpr int32_t kMaxPlayStep = 8;

// Records this evaluation's frame (settings.frame) in the hint. A move by
// one frame sets the step to it (forward or backwards); the same move twice
// in a row, up to kMaxPlayStep frames, sets the step to that move (playback
// by 2 reads every other file); any other move is a jump (the wrap of a
// playback loop, a click on the timeline) and keeps the step. The same
// frame again keeps it too. Nothing when the node is inactive.
void KorvaneNotePlayedFrame(const NodeSettings& settings, KorvanePlayHint& hint);

// The file that the next evaluation in the way of play loads: frame +
// step taken through the frame range exactly as the evaluation takes it
// (Hold, Loop, Ping-Pong; Blank gives none), in directory (the cache path
// with its variables expanded). No file is looked at, so a missing frame's
// substitute is never guessed. False, with out untouched, when the node is
// inactive, the frame would overflow, the range is reversed or blank there,
// the file is the one just loaded (loadedFrame: a held end) or its path
// does not fit. out: kCachePathSize bytes.
bool KorvaneNextFramePath(const NodeSettings& settings, const char* directory, int32_t loadedFrame,
                          const KorvanePlayHint& hint, char* out);

// Whether the read-ahead is on: yes unless the environment variable
// KORVANE_READ_AHEAD is "0" or "off" (then the node reads only the frame it
// is asked for, and nothing ahead). Read at every call.
bool KorvaneReadAheadEnabled();

// Asks the operating system to start reading the next frame's file
// (KorvaneNextFramePath; when the read-ahead is on) and returns at once, so
// that the read runs while the host works on this frame. loadedPath: the
// file this evaluation loads (a read of it still in progress goes on first:
// see FilePrefetch). Notes both files in the hint. True when the read was
// asked for.
bool KorvanePrefetchNextFrame(const NodeSettings& settings, const char* directory, int32_t loadedFrame,
                              const char* loadedPath, KorvanePlayHint& hint);

// Whether this evaluation's file comes in the way of play: it is the file
// the last read-ahead asked for, or the file loaded last (the same frame
// again). Then the next frame's read is asked for before the load, which
// copies from the cache meanwhile. Otherwise (the first evaluation, a jump)
// the file comes from the disk or the file server now: the node's
// out-of-date read ends first (KorvaneEndReadAhead) and the next frame is
// asked for after the load, so that the frame the artist waits for has the
// bandwidth to itself.
bool KorvaneLoadIsInPlay(const char* path, const KorvanePlayHint& hint);

// Ends the node's read ahead in progress and drops its waiting request,
// unless that read is of loadingPath (see FilePrefetchCancel).
void KorvaneEndReadAhead(const KorvanePlayHint& hint, const char* loadingPath);
