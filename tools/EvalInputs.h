// Forgiving input for `korvane eval --set`: attribute names by long, short or
// nice name, enum values by value, label or short alias, and the input list
// of `eval --help`, all taken from the node type's attributes as the plug-in
// created them, so inputs and enum fields added later need no change here.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "korvane/HeadlessHost.h"

namespace korvane
{

// Lower case, blanks trimmed, every run of blanks one space.
std::string NormalizeWords(const std::string& s);

// The short names an enum field answers to besides its value and label:
// the text in the label's parentheses without a leading dot ("drs2",
// "round"), with "-ascii" added for an ascii field ("drs2-ascii"), and the
// label's first word when no other field starts with it ("off", "concave").
// Where two fields share an alias the first field keeps it.
std::vector<std::string> EnumAliases(const std::vector<khost::EnumField>& fields, size_t index);

// Finds the input named name (long, short or nice name; nice names compared
// as NormalizeWords does) among attrs. Null when none; then suggestion holds
// the closest long name ("" when nothing is close).
const khost::AttributeInfo* FindInput(const std::vector<khost::AttributeInfo>& attrs,
                                      const std::string& name, std::string* suggestion);

// Turns an enum text into its value's text: an integer as given, a label
// (case-insensitive, blank runs as one) or an alias. False when nothing fits.
bool EnumValueText(const khost::AttributeInfo& attr, const std::string& text, std::string* valueText);

// Resolves one --set pair against the attributes of typeName: attr becomes
// the long name, an enum value its number. "" on success, else the error.
std::string ResolveSetting(const std::string& typeName, std::string& attr, std::string& value);

// The inputs of typeName with kind, default and (enums) values, one per line.
void PrintInputs(std::FILE* out, const std::string& typeName);

} // namespace korvane
