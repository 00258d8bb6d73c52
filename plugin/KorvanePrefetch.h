// Read-ahead of the frame that playback will ask for next. Host-neutral.
#pragma once

#include <cstdint>

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

// Records this evaluation's frame in the hint and composes the path of the
// neighbour frame in the direction of play (frame + 1 or frame - 1; the same
// frame again keeps the last direction). False, with out untouched, when the
// node is inactive, the neighbour frame would overflow or its path does not
// fit. out: kCachePathSize bytes.
bool KorvaneNextFramePath(const NodeSettings& settings, KorvanePlayHint& hint, char* out);

// Whether the read-ahead is on: yes unless the environment variable
// KORVANE_READ_AHEAD is "0" or "off" (then the node reads only the frame it
// is asked for, and nothing ahead). Read at every call.
bool KorvaneReadAheadEnabled();

// After an evaluation: asks the operating system to start reading the
// neighbour frame's file (when it exists and the read-ahead is on) and
// returns at once. True when the hint was given.
bool KorvanePrefetchNextFrame(const NodeSettings& settings, KorvanePlayHint& hint);
