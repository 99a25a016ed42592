// INI text as the kernel's profile functions read and edit it: sections
// "[name]", lines "key=value", names and values trimmed of spaces and tabs.
// The agent's own INI updates and the simulated machine's profile functions
// both edit through SetIniValue, so the two cannot drift apart.
#pragma once

#include <string>
#include <string_view>

#include "base/text.h"

// The section name of a header line, or false when the line is no header.
bool IniSectionHeader(std::string_view line, std::string* name);
// Splits a "key=value" line, both sides trimmed; false when it has no '='.
bool IniKeyLine(std::string_view line, std::string* key, std::string* value);

// How two section or key names compare (case-insensitive).
using IniNamesEqual = bool (*)(std::string_view, std::string_view);

// The INI text with key=value set in section, as WritePrivateProfileStringA
// edits it: the first section of that name is used, an existing key's line is
// replaced, a new key goes after the section's last non-blank line, a new
// section at the end. Lines end with CR LF.
std::string SetIniValue(std::string_view text, const std::string& section, const std::string& key,
                        const std::string& value, IniNamesEqual equal = EqualsNoCase);
