// Small JSON writing helpers shared by the subcommands of `korvane`.
// Floats are written so that reading them back as 32-bit floats gives the
// same bits ("%.9g"); non-finite values become the strings "inf", "-inf", "nan".
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace korvane {

// Appends s as a JSON string literal (quotes and escapes included).
void JsonString(std::string& out, const char* s);
// Appends one float, round-trippable as a 32-bit float.
void JsonFloat(std::string& out, float v);
// Appends [a,b,c...] of n floats.
void JsonFloats(std::string& out, const float* v, int n);
// Appends [[x,y,z],...]: count tuples of width floats each, or null when v is null.
void JsonTuples(std::string& out, const float* v, int64_t count, int width);
// Appends [i0,i1,...] or null.
void JsonInts(std::string& out, const int32_t* v, int64_t count);
void JsonBytesAsInts(std::string& out, const uint8_t* v, int64_t count);

} // namespace korvane
