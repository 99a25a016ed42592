// The families read through a vendor's command-line tool (AVG, Sophos, CA
// eTrust, and the tool fallbacks of F-Secure and VIPRE): the rules that turn
// a tool's output into a definition, and the steps they share.
#pragma once

#include <string>
#include <vector>

#include "platform/context.h"

// ---- AVG ----------------------------------------------------------------------

// The product line an output line names by its prefix ("AVG 17" -> "AVG 2017",
// "AVG 2016" ...), or empty.
std::string AvgCategoryOf(const std::string& line);
// The version of an "AVI" line: from its fifth character up to the first
// blank at or after it, or to the end of the line when there is none.
std::string AvgVersionOf(const std::string& line);

struct AvgOutput {
  bool ok = false;
  std::string category, version;
};
// The passes of fncReadAVGDef over the lines, without the log: the first line
// holding "AVG" decides the category (no such line, or an unknown prefix, is
// a failed read); the first line holding "AVI" gives the version.
AvgOutput ParseAvgOutput(const std::vector<std::string>& lines);

bool fncReadAVGDef(RunContext& rc);
bool fncGetAVGInfo(RunContext& rc);

// ---- Sophos -------------------------------------------------------------------

struct SophosOutput {
  std::string engine, dataVersion, total;
  int ideFiles = 0;
};
SophosOutput ParseSophosOutput(const std::vector<std::string>& lines);

// ---- CA eTrust ----------------------------------------------------------------

// Parts 1 to 3 of a version of four or more parts, else empty.
std::string FormatCADef(const std::string& version);
std::string fncformatCADef(RunContext& rc, const std::string& version);
// Whether the tool's text D cannot be used and the file version of iv_nt86.exe
// is read instead.
bool CANeedsFileVersion(const std::string& toolText, bool incomingKnown, bool beforeUpdate);
std::string GetDefination(RunContext& rc, const std::string& engineName);
bool GetCAeTrustDef(RunContext& rc, bool beforeUpdate);
bool GetCAeTrustDefFor64OS(RunContext& rc, bool beforeUpdate);

// ---- F-Secure and VIPRE -------------------------------------------------------

// compol.txt: its trimmed lines joined by single blanks.
std::string JoinTrimmedLines(const std::vector<std::string>& lines);
// DefVer.txt: the text before the first ",", else before the first "-", else empty.
std::string VipreDefverDefinition(const std::string& contents);
// The VIPRE type of a display name (the type table), or empty.
std::string VipreTypeOf(const std::string& displayName);
// True when a display name is one of the VIPRE products looked for.
bool IsVipreProduct(const std::string& displayName);

bool GetFSecureVirusDef(RunContext& rc);
// The detection and reading of fncVIPRE, for the update procedures: true when
// a definition was read into VipreDefVersion.
bool GetVIPREVirusDef(RunContext& rc);

// ---- Shared steps -------------------------------------------------------------

// Deletes a tool's output file that an earlier run left, so that only this
// run's output is ever read.
void RemoveStaleOutput(RunContext& rc, const std::string& path);
// A path inside a quoted batch-file argument: "%" doubled. Empty (and the
// refusal logged) when the value cannot be quoted there.
std::string BatchQuoted(RunContext& rc, const std::string& value, const std::string& what);
