// Where and why a load failed: a small plain record that a caller may hand to
// LoadFromFile (or to one reader) to learn more than the error code says.
//
// The readers fill it at their FIRST failure only; later notes are ignored, so
// the record names the cause, not a consequence. It has fixed-size buffers
// and never allocates. Passing null (the default everywhere) costs nothing:
// every note is a no-op then.
//
//   line     1-based line of a text file (.obj, ascii .drs2); 0 when unknown
//   offset   byte offset in a binary file (.znq, .bin, binary .drs2); -1 when
//            unknown
//   section  the chunk or section of a binary file being read ("mesh chunk",
//            "header", ...); "" when none
//   reason   a short English reason ("negative index -3: relative indices are
//            not read", "3 values expected, 2 found"); "" when none
//
// A successful load leaves the record empty (Known() false).
#pragma once

#include <cstddef>
#include <cstdint>

struct ZNQLoadPlace
{
    int64_t line = 0;
    int64_t offset = -1;
    char section[32] = {};
    char reason[128] = {};

    // True once a failure has been noted.
    bool Known() const { return reason[0] != '\0' || line > 0 || offset >= 0; }
};

// Empties the record; null is ignored.
void PlaceReset(ZNQLoadPlace* place);

// Notes a failure on a line of a text file, printf-style reason. Ignored for
// null or once a failure is noted.
void PlaceAtLine(ZNQLoadPlace* place, int64_t line, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;

// Notes a failure at a byte offset of a binary file, in section (may be null).
void PlaceAtOffset(ZNQLoadPlace* place, int64_t offset, const char* section, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 4, 5)))
#endif
    ;

// One line for the user: "line 12: 3 values expected, 2 found" or "byte 4096
// (mesh chunk): count 4294967295 past the end of the file". Writes "" and
// returns 0 for a record without a failure; otherwise the length written
// (truncated to size - 1).
size_t PlaceFormat(const ZNQLoadPlace& place, char* buffer, size_t size);

// Where alone ("line 12", "byte 4096 (mesh chunk)"); "" when unknown.
size_t PlaceWhere(const ZNQLoadPlace& place, char* buffer, size_t size);

// The 1-based line of position pos in text [begin, pos): line feeds and lone
// carriage returns each end a line.
int64_t PlaceLineOf(const char* begin, const char* pos);
