// Cache file naming: the path of one frame's file from the node's directory,
// file name pattern, extension and frame number. Host-neutral.
//
// A pattern marks the frame number with a run of '#' characters whose length
// is the minimum number of digits: "shot_####" and frame 7 give "shot_0007".
// A pattern without '#' may mark it the way Nuke and Houdini write it:
// printf style "%d" / "%0Nd" ("shot_%04d") or "$F" / "$FN" ("shot_$F4"),
// N the minimum number of digits (1 to 99).
//
// Paths use one separator character. On Windows it is the backslash: the
// composed path puts a backslash between directory and pattern and turns
// every '/' into a backslash, so "C:/Temp/Cache/" + "File.#" gives
// "C:\Temp\Cache\\File.1.znq". Elsewhere the separator is '/', which leaves
// the user's text as it is and joins directory and pattern with '/'.
#pragma once

#include <cstddef>
#include <cstdint>

#include "plugin/KorvaneSettings.h"

#if defined(_WIN32)
constexpr char kCachePathSeparator = '\\';
#else
constexpr char kCachePathSeparator = '/';
#endif

// Extension of a file format value of m_flFormat: ".drs2" for 0 and 1,
// ".obj" for 2, ".bin" for 3, ".znq" for 4, "" for any other value.
const char* CacheExtensionOfFormat(int32_t format);

// Where the frame number goes in a text: the first '#' run anywhere; when
// there is none, the first "%d", "%0Nd", "$F" or "$FN" at or after
// searchFrom ("$F" followed by a letter, digit or '_' beyond N, as in
// "$FF" or "$Frame", is not a frame mark). found false: the text holds no
// mark and names the same file for every frame.
struct FrameToken
{
    bool found;
    size_t start;   // offset of the mark
    size_t length;  // characters it covers
    int32_t width;  // minimum number of digits
};
FrameToken FindFrameToken(const char* text, size_t searchFrom = 0);

// Composes directory, separator, pattern and extension, then puts the frame
// number into the pattern's frame mark (FindFrameToken; a "%d" or "$F" form
// counts only inside the pattern, a '#' run anywhere).
// - out: caller buffer of kCachePathSize bytes (2047 characters + NUL).
// - extension: appended as given when empty or starting with '.', otherwise
//   joined with a '.' of its own. The separator is added even when the
//   directory already ends with one.
// - A null directory, pattern or extension leaves out empty and returns out.
// Returns out; null when out is null or is one of the inputs (nothing
// written), and null with out emptied when the path would not fit.
char* ComposeCachePath(const char* directory, const char* pattern, const char* extension,
                       int32_t frame, char* out, char separator = kCachePathSeparator);

// Copies pattern into out with its first run of '#' (or, without one, its
// first printf / $F mark) replaced by the frame number, zero-padded to the
// run's length (a minus sign counts toward the width; longer numbers are
// written in full); later marks stay. Then every '/' in out becomes
// separator.
// - out: caller buffer of kCachePathSize bytes.
// - A null pattern leaves out empty and returns out.
// Returns out; null when out is null or equal to pattern (nothing written),
// and null with out emptied when the result would not fit.
char* ExpandFramePattern(const char* pattern, int32_t frame, char* out,
                         char separator = kCachePathSeparator);

// ExpandFramePattern with the printf / $F marks looked for only at or after
// searchFrom (a '#' run counts anywhere).
char* ExpandFrameMark(const char* text, size_t searchFrom, int32_t frame, char* out,
                      char separator = kCachePathSeparator);

// Frame number and sub-frame fraction of the node's index value.
// indexMode 1 floors, 2 ceils, 0 and any other value round halves away from
// zero (2.5 gives 3, -2.5 gives -3). The fraction is value - frame in single
// precision when fractionStrength is not 0, else 0. Values beyond the int32
// range clamp to it, NaN gives frame 0, so no value can make the conversion
// undefined.
void FrameOfIndexValue(float value, int16_t indexMode, float fractionStrength, int32_t& frame,
                       float& fraction);
