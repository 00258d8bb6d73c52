// The conversion core of `korvane convert`: reads one cache file with
// LoadFromFile and writes it in the format that the output's extension picks,
// through a temporary name renamed into place. It never prints and never
// exits, so other front ends (a Python module, a batch tool) can call it.
//
// What a target format holds, and so what survives a conversion:
//
//   target        positions  polygons    normals     motions  colors        uvws
//   .znq          exact      exact       half float  half     half float    exact
//   .drs2 binary  exact      exact       per vertex  exact    16-bit codes  -
//   .drs2 ascii   exact      exact       per vertex  exact    per vertex    -
//   .bin          exact      triangles   -           exact    -             per vertex
//   .obj          exact      exact       exact       -        -             exact
//   .ply          exact      exact       per vertex  exact    per vertex    per vertex, u v only
//
// .ply is written only (binary, float properties, see WritePly.h); no
// reader of the library reads it back.
// "per vertex": exact when every node of a vertex carries the same value,
// otherwise each vertex keeps the value of one of its nodes. Anything else is
// named in ConvertOutcome::dropped (not written) or ::changed (written, not
// bit-exactly).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "formats/ZNQLoadPlace.h"

namespace korvane {

enum class ConvertTarget
{
    kUnknown,
    kZnq,
    kDrs2Binary,
    kDrs2Ascii,
    kRealFlowBin,
    kObj,
    kPly,
};

// The writer that the extension of path picks (any case); ascii selects the
// ascii variant of .drs2. kUnknown for any other extension.
ConvertTarget ConvertTargetOf(const std::string& path, bool ascii);

// The extensions a target may have, for messages.
const char* ConvertTargetList();

struct ConvertRequest
{
    std::string input;  // one file of a readable format
    std::string output; // one file; its extension picks the writer
    bool normals = false, motions = false, colors = false, uvws = false;
    const char* groups = nullptr; // .obj group filter, or null
    bool invertGroups = false;
    bool ascii = false; // .drs2 ascii instead of binary
    // Paths that must never be written (the inputs of the whole run), as
    // ProtectedPaths makes them (canonical and sorted, so a long run checks
    // each output with one lookup); input itself is always protected.
    const std::vector<std::string>* protectedPaths = nullptr;
};

struct ConvertOutcome
{
    enum Status
    {
        kOk = 0,
        kLoadFailed,  // loadError, place: why
        kWriteFailed, // message: why; nothing is left at the output path
        kRefused,     // message: why (unknown target, output is an input, ...)
    };
    Status status = kOk;
    int32_t loadError = 0;
    ZNQLoadPlace place;
    std::string message;
    // Items the file carried (as loaded) that the target cannot hold, and
    // those it holds only approximately, as "normals, colors"; "" for none.
    std::string dropped, changed;
};

ConvertOutcome ConvertFile(const ConvertRequest& request);

// The list for ConvertRequest::protectedPaths: each path made canonical
// (symbolic links and "." / ".." resolved), sorted.
std::vector<std::string> ProtectedPaths(const std::vector<std::string>& paths);

} // namespace korvane
