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

// Opens for buffered access; on Windows with shared read and write access,
// and for "rb" shared delete access too (the file may be deleted or renamed
// while it is read, as on POSIX systems).
// Null when either argument is null or the open fails.
FILE* FileOpen(const char* path, const char* mode);
// The close result, -1 for a null stream.
int FileClose(FILE* stream);
// 64-bit seek. origin: SEEK_SET, SEEK_CUR or SEEK_END (any other value is
// a failed seek). 0 on success, non-zero on failure, -1 for a null stream.
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
// Post-load clean-up. Each returns an error code (ZNQError.h) and releases all
// derived data once it changed something or failed past its getters.

// Removes the illegal polygons (fewer than 3 corners, an index out of range, a
// repeated index) with their node data, then the vertices no polygon uses with
// all their per-vertex data; both steps keep the order of what stays. No-op
// (ZNQ_OK) without positions or when nothing is to remove.
// Codes: ZNQ_ERR_DYN_NUM_POLY_ILLEGAL, ZNQ_ERR_DYN_NUM_VERT_UNUSED,
// ZNQ_ERR_DYN_POLY_FLAGS (getters), ZNQ_ERR_MEMORY. On failure the geometry
// is as it was before the failed step.
int32_t CleanUp(ZNQGeometry& geometry);
// The end of every reader: after a successful read (rc 0) the clean-up runs;
// on any failure the geometry is cleared, on success place is reset.
// Returns the read's or the clean-up's code.
int32_t FinishRead(ZNQGeometry& geometry, int32_t rc, ZNQLoadPlace* place);
// keepListed false: deletes the length listed polygons; true: keeps only
// them. Entries outside [0, _numPoly) are ignored. _numPoly and the node
// arrays shrink to the polygons kept. Codes:
// ZNQ_ERR_ILLEGAL_PARAMETER_COMBINATION (list null with length > 0),
// ZNQ_ERR_MEMORY. Unchanged geometry on failure.
int32_t DeletePolygons(ZNQGeometry& geometry, const int32_t* list, int32_t length, bool keepListed);
// Removes the vertices no node references and renumbers the nodes; every
// per-vertex array shrinks to _numVert = the used vertices. Codes:
// ZNQ_ERR_INVALID_STATE (an index out of range; nothing changed),
// ZNQ_ERR_MEMORY. Unchanged geometry on failure.
int32_t DeleteUnusedVertices(ZNQGeometry& geometry);

// ---------------------------------------------------------------------------
// Readers. Common contract:
// - The geometry is cleared first and filled through its counted allocator:
//   _numVert positions, _numPoly corner counts, their nodes' indices, and the
//   selected optional data that the file holds (load* flags; data the file
//   lacks stays null). Per-vertex normals, colours and UVWs of a file become
//   node arrays (one entry per node); motions stay per vertex.
// - Every count is checked against the bytes left in the file before its
//   array is allocated, so no file makes a reader allocate more than the file
//   can describe.
// - A successful read ends with CleanUp; any failure leaves the geometry
//   cleared. Readers never write to files.
// - Codes: ZNQ_ERR_LOAD_OPEN (does not open), ZNQ_ERR_UNKNOWN_FORMAT (not
//   this format, or data a valid file cannot hold), ZNQ_ERR_LOAD_READ (short
//   or unreadable data), ZNQ_ERR_LOAD_MEMORY (a refused array of vertex
//   data), ZNQ_ERR_MEMORY (a refused polygon or node array: the readers have
//   always told the two apart this way), CleanUp's codes; per reader below.
// - place (optional): where and why the first failure happened, see
//   ZNQLoadPlace.h; left empty on success.

// .drs2, ascii or binary: positions, polygons; node normals (loadNormals),
// motions (loadMotions), node colours (loadColors). Also
// ZNQ_ERR_LOAD_USERDATA_COUNT (a colour, motion or normal count that is
// neither 0 nor _numVert) and ZNQ_ERR_POLYGON_TOO_LARGE (a record of more
// than 255 corners).
int32_t ReadDrs2(ZNQGeometry& geometry, const char* path, bool loadNormals, bool loadMotions,
                 bool loadColors, ZNQLoadPlace* place = nullptr);
// .znq chunks: the mesh always; node normals, motions, node colours, node
// UVWs by their flags; user channels by the selection bytes userData4 (one
// float4 channel), userData3 (two float3), userData1 (four float), each null
// for none. Also ZNQ_ERR_LOAD_SEEK (the file cannot seek, a chunk cannot be
// skipped) and ZNQ_ERR_LOAD_USERDATA_COUNT (a chunk whose count is not the
// vertex count, or the node count for a per-node chunk).
int32_t ReadZnq(ZNQGeometry& geometry, const char* path, bool loadNormals, bool loadMotions,
                bool loadColors, bool loadUvws, const uint8_t* userData4, const uint8_t* userData3,
                const uint8_t* userData1, ZNQLoadPlace* place = nullptr);
// RealFlow .bin: positions, triangles (_numPoly triangles, 3 nodes each);
// motions from the velocity chunk (loadMotions), node UVWs from the texture
// chunk (loadUvws).
int32_t ReadRealFlowBin(ZNQGeometry& geometry, const char* path, bool loadMotions, bool loadUvws,
                        ZNQLoadPlace* place = nullptr);
// Wavefront .obj: positions, faces, node normals (loadNormals) and node UVWs
// (loadUvws) from the face references. objGroups: ";"-separated group names
// whose faces are read (objGroupsInvert: whose faces are skipped), null for
// all. Also ZNQ_ERR_READ (the file cannot be read whole) and
// ZNQ_ERR_POLYGON_TOO_LARGE (a face of more than 255 corners).
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
// extension (inputs as for that reader) and cleans it up. Codes:
// ZNQ_ERR_ILLEGAL_PARAMETER (path null), ZNQ_ERR_FILE_NOT_FOUND (the file
// does not open), ZNQ_ERR_UNKNOWN_EXTENSION, the reader's and CleanUp's;
// the geometry is cleared after any failure. place (optional): reset, then
// filled with where and why a failure happened when the reader knows
// (ZNQLoadPlace.h); the error code is the same either way.
int32_t LoadFromFile(ZNQGeometry& geometry, const char* path, bool loadNormals, bool loadMotions,
                     bool loadColors, bool loadUvws, const uint8_t* userData4,
                     const uint8_t* userData3, const uint8_t* userData1, const char* objGroups,
                     bool objGroupsInvert, ZNQLoadPlace* place = nullptr);
