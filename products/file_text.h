// Small rules the file-based readers share: reading a text file by lines,
// comparing version numbers by their leading digits, and the checks a value
// must pass before it is used as a definition or a path.
#pragma once

#include <string>
#include <vector>

// The file's lines as an 8-bit text reader gives them (LF ends a line, one CR
// before it is dropped). Throws the file-system RtError when it cannot be read.
std::vector<std::string> ReadTextLines(const std::string& path);
// The subfolders of a folder, in listing order; none when it cannot be listed.
std::vector<std::string> Subfolders(const std::string& folder);

// The leading digits of a text (after leading spaces), without leading zeros:
// "0042abc" -> "42", "x1" -> "". Compared as numbers of any length.
std::string LeadingDigits(const std::string& text);
// <0, 0 or >0 as the numeric values of the leading digits compare.
int CompareLeadingNumbers(const std::string& a, const std::string& b);
bool LeadingNumberIsZero(const std::string& text);

// The part after the last ".", or the whole text.
std::string LastPart(const std::string& text);

// A definition read from a file or the registry, or empty when it is not one:
// printable ASCII of at most 64 characters (a binary or runaway line is not a
// version, and never reaches a record).
std::string CheckedDefinition(const std::string& value);
constexpr size_t kMaxDefinitionLength = 64;

// A folder or file path taken from the registry or an INI file, or empty when
// it holds control characters or is longer than a Windows path can be.
std::string CheckedPath(const std::string& value);

std::string WithBackslash(std::string folder);
// The text with every occurrence of word, in any letter case, taken out.
std::string RemoveNoCase(const std::string& text, const std::string& word);
