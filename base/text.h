// Text helpers with the comparison rules the agent uses everywhere:
// ASCII case folding, spaces-only trimming.
#pragma once

#include <string>
#include <string_view>

std::string TrimSpaces(std::string_view s);  // spaces only
std::string TrimBlanks(std::string_view s);  // spaces, tabs, CR, LF
std::string ToUpper(std::string_view s);
std::string ToLower(std::string_view s);
bool EqualsNoCase(std::string_view a, std::string_view b);
bool ContainsNoCase(std::string_view haystack, std::string_view needle);
bool StartsWithNoCase(std::string_view s, std::string_view prefix);
std::string ReplaceAll(std::string_view s, std::string_view from, std::string_view to);
// The text up to (not including) its first NUL, or all of it.
std::string TrimAtNull(std::string_view s);
