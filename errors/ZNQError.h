// Error codes of the Korvane geometry library and the one function that turns
// a code into its message line.
//
// Every function of the geometry core, the cache readers and the mesh
// operations returns one of these codes; 0 is success. The code space is one
// flat table shared with sibling products, so it also holds codes that this
// system never raises; every code keeps its number and its text.
#pragma once

#include <cstdint>

typedef int32_t ZNQErrorCode;

// Codes this system raises, by name. Every other code of 1..273 exists only
// as a table entry (see ZNQError.cpp).
enum : int32_t
{
    ZNQ_OK = 0,
    ZNQ_ERR_INVALID_STATE = 6,         // "class is in an invalid state."
    ZNQ_ERR_ILLEGAL_PARAMETER = 7,     // "illegal parameter value."
    ZNQ_ERR_MEMORY = 10,               // "unable to (re)allocate memory."
    ZNQ_ERR_UNSUPPORTED_DATA_TYPE = 16,
    ZNQ_ERR_FILE_NOT_FOUND = 45,       // "unable to find or open file."
    ZNQ_ERR_READ = 47,                 // "read error."
    ZNQ_ERR_UNKNOWN_FORMAT = 50,       // "unknown file format."
    ZNQ_ERR_UNKNOWN_EXTENSION = 51,    // "unknown file extension."
    ZNQ_ERR_LOAD_OPEN = 126,
    ZNQ_ERR_LOAD_MEMORY = 127,
    ZNQ_ERR_LOAD_READ = 128,
    ZNQ_ERR_LOAD_SEEK = 129,
    ZNQ_ERR_LOAD_USERDATA_COUNT = 130,
    ZNQ_ERR_ILLEGAL_POLYGONS = 136,
    ZNQ_ERR_POLYGON_TOO_LARGE = 148,   // "a polygon has more than 255 vertices."
};

// Longest message without prefix: header "error -2147483648: " (19) plus the
// longest text (133, code 130) plus NUL. Callers add the length of their prefix.
enum : int32_t { kZNQErrorMessageMaxLen = 19 + 133 + 1 };

// The text of a code without any head; "unknown error." for codes the table
// does not list (negative ones and those above 273 included). Never null.
const char* ZNQErrorText(int32_t code);

// Writes "<prefix>error <code>: <text>" (head parts as selected) into buffer,
// replacing what it held, and returns buffer.
// - buffer: caller-owned, room for strlen(prefix) + kZNQErrorMessageMaxLen;
//   null gives a null result and no write.
// - withHeader: put "error <code>: " between prefix and text.
// - prefix: copied first, or null for none.
char* ZNQErrorMessage(int32_t code, char* buffer, bool withHeader, const char* prefix);
