// Text helpers with the comparison rules the agent uses everywhere:
// ASCII case folding, spaces-only trimming.
#pragma once

#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

std::string TrimSpaces(std::string_view s);  // spaces only
std::string TrimBlanks(std::string_view s);  // spaces, tabs, CR, LF
std::string TrimSpacesTabs(std::string_view s);  // spaces and tabs (INI names and values)
// ASCII only: the agent compares codes, names and keys it knows.
char UpperChar(char c);
std::string ToUpper(std::string_view s);
std::string ToLower(std::string_view s);
bool EqualsNoCase(std::string_view a, std::string_view b);
bool ContainsNoCase(std::string_view haystack, std::string_view needle);
bool StartsWithNoCase(std::string_view s, std::string_view prefix);
// True when text contains one of the needles, ignoring case.
bool ContainsAny(std::string_view text, std::span<const std::string_view> needles);
bool ContainsAny(std::string_view text, std::initializer_list<std::string_view> needles);
std::string ReplaceAll(std::string_view s, std::string_view from, std::string_view to);
// Lines as a text stream reads them: split at LF, one CR before it dropped;
// a last line without a newline is a line; no text, no lines.
std::vector<std::string> SplitLines(std::string_view text);
// The text up to (not including) its first NUL, or all of it.
std::string TrimAtNull(std::string_view s);

// CR, LF, TAB, NUL and every other control character become spaces, so that
// a value from outside stays on one line of a record, INI file or log.
std::string ControlsToSpaces(std::string_view s);
// Text from outside for a log line: on one line and at most maxChars long,
// a longer text cut and followed by " ... (<n> bytes)".
std::string LogExcerpt(std::string_view s, size_t maxChars = 512);
