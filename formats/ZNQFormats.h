// Cache file formats: file and text helpers, the four readers, format
// dispatch and the post-load clean-up. The one public entry of formats/.
//
// Every reader clears the geometry first, allocates through the geometry's
// counted allocator, leaves the geometry cleared after any failure and runs
// CleanUp after a successful read. Readers never write to files.
#pragma once

#include <cstdint>
#include <cstdio>

#include "formats/ZNQLoadPlace.h"
#include "geometry/ZNQGeometry.h"

// ---------------------------------------------------------------------------
// File helpers (null-tolerant; no error codes, the caller picks the code).

// Opens for buffered access; on Windows with shared read and write access.
// Null when either argument is null or the open fails.
FILE* FileOpen(const char* path, const char* mode);
// The close result, -1 for a null stream.
int FileClose(FILE* stream);
// origin: 0 start, 1 current, 2 end. 0 on success, non-zero on failure,
// -1 for a null stream.
int FileSeek(FILE* stream, int64_t offset, int origin);
// Position, -1 for a null stream.
int64_t FileTell(FILE* stream);
// Whole elements read; 0 for a null stream or buffer.
size_t FileRead(void* buffer, size_t elementSize, size_t count, FILE* stream);
// True when path opens with "rb"; false for null.
bool FileExists(const char* path);

// ---------------------------------------------------------------------------
// Text helpers on NUL-terminated text; null for a null argument. Whitespace:
// space, \t, \n, \v, \f, \r.
char* StrToLower(char* s);
const char* FindWhitespace(const char* s);
const char* SkipWhitespace(const char* s);
const char* NextLine(const char* s);
const char* LineEnd(const char* s);

// ---------------------------------------------------------------------------
// Post-load clean-up.

// Removes illegal polygons and unused vertices; no-op without positions.
int32_t CleanUp(ZNQGeometry& geometry);
// The end of every reader: after a successful read (rc 0) the clean-up runs;
// on any failure the geometry is cleared, on success place is reset.
// Returns the read's or the clean-up's code.
int32_t FinishRead(ZNQGeometry& geometry, int32_t rc, ZNQLoadPlace* place);
// keepListed false: deletes the listed polygons; true: keeps only them.
// Entries outside [0, _numPoly) are ignored. Unchanged geometry on failure.
int32_t DeletePolygons(ZNQGeometry& geometry, const int32_t* list, int32_t length, bool keepListed);
// Removes vertices no node references; needs every index in range.
int32_t DeleteUnusedVertices(ZNQGeometry& geometry);

// ---------------------------------------------------------------------------
// Readers. place (optional): where and why the first failure happened, see
// ZNQLoadPlace.h; left empty on success.

int32_t ReadDrs2(ZNQGeometry& geometry, const char* path, bool loadNormals, bool loadMotions,
                 bool loadColors, ZNQLoadPlace* place = nullptr);
int32_t ReadZnq(ZNQGeometry& geometry, const char* path, bool loadNormals, bool loadMotions,
                bool loadColors, bool loadUvws, const uint8_t* userData4, const uint8_t* userData3,
                const uint8_t* userData1, ZNQLoadPlace* place = nullptr);
int32_t ReadRealFlowBin(ZNQGeometry& geometry, const char* path, bool loadMotions, bool loadUvws,
                        ZNQLoadPlace* place = nullptr);
int32_t ReadObj(ZNQGeometry& geometry, const char* path, bool loadNormals, bool loadUvws,
                const char* objGroups, bool objGroupsInvert, ZNQLoadPlace* place = nullptr);

// ---------------------------------------------------------------------------
// Dispatch.

// Format index of an extension, as the dispatch table numbers them.
enum ZNQFileFormat : int32_t
{
    kFormatUnknown = -1,
    kFormatDrs2 = 0,
    kFormatObj = 3,
    kFormatRealFlowBin = 4,
    kFormatZnq = 5,
};

// Format index of the text from the last "." of path to its end, compared in
// lower case; -1 for null, no dot, 16+ characters or an unknown extension.
int32_t FormatFromExtension(const char* path);

// Clears geometry, checks the file, reads it with the reader of its
// extension and cleans it up. userData*: per-channel selection bytes or null.
// objGroups: ";"-separated group names or null (no filter). place
// (optional): reset, then filled with where and why a failure happened when
// the reader knows (ZNQLoadPlace.h); the error code is the same either way.
int32_t LoadFromFile(ZNQGeometry& geometry, const char* path, bool loadNormals, bool loadMotions,
                     bool loadColors, bool loadUvws, const uint8_t* userData4,
                     const uint8_t* userData3, const uint8_t* userData1, const char* objGroups,
                     bool objGroupsInvert, ZNQLoadPlace* place = nullptr);
