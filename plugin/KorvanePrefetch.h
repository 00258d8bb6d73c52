// Read-ahead of the frame that playback will ask for next. Host-neutral.
#pragma once

#include <cstdint>

#include "plugin/KorvaneFrames.h"
#include "plugin/KorvaneSettings.h"

// The direction of play, as the node's evaluations show it: the frame of the
// last evaluation and the step from the one before (+1 or -1; forward until
// the frames say otherwise). A hint only: no geometry and no file data.
struct KorvanePlayHint
{
    bool seen = false;
    int32_t frame = 0;
    int32_t step = 1;
};

// Records this evaluation's frame (settings.frame) in the hint: a frame
// after the last one plays forward, one before it backwards, the same frame
// again keeps the last direction. Nothing when the node is inactive.
void KorvaneNotePlayedFrame(const NodeSettings& settings, KorvanePlayHint& hint);

// The file that the next evaluation in the direction of play loads: frame +
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

// Once this evaluation's file is known: asks the operating system to start
// reading the next frame's file (KorvaneNextFramePath; when the read-ahead is
// on) and returns at once, so that the read runs while the host works on
// this frame. loadedPath: the file this evaluation loads (a read of it still
// in progress goes on first: see FilePrefetch). True when the read was asked
// for.
bool KorvanePrefetchNextFrame(const NodeSettings& settings, const char* directory, int32_t loadedFrame,
                              const char* loadedPath, const KorvanePlayHint& hint);
