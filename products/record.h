// Product result records: one per product a run reports, written as a tagged
// data file into the agent's Status folder, or for agent type "VXNA" as an
// <Antivirus> element of the inventory document.
#pragma once

#include <string>

#include "platform/context.h"

// The writer. The four definition arguments come back normalised (CR LF and
// spaces removed, cut at a NUL, trimmed). True when the record was stored.
bool fncsetLogFile_New(RunContext& rc, const std::string& category, std::string& beforeCurrent,
                       std::string& beforeLast, std::string& afterCurrent, std::string& afterLast,
                       const std::string& scanEngine, const std::string& status);

// Convenience for callers whose definition values are not run-wide variables.
bool WriteRecord(RunContext& rc, const std::string& category, std::string beforeCurrent,
                 std::string beforeLast, std::string afterCurrent, std::string afterLast,
                 const std::string& scanEngine, const std::string& status);

// The CA eTrust record: before and after definitions, status "1".
void WriteCALog(RunContext& rc, const std::string& category, const std::string& before,
                const std::string& after);

// After all families: writes the NOTSUPPORTED_NOTINSTALLED record when no
// product was reported; true when one was.
bool AVPresence_check(RunContext& rc);

// The normalisation of a definition value.
std::string NormaliseDefinition(const std::string& value);
// The data-file name for a time: defrecord_<RegId>_AV_<time><seconds since midnight>.txt
std::string DataFileName(const std::string& regId, const os::LocalTime& t);
// True when bytes are a whole data file: the nine tagged lines in their
// order, each ended by CR LF, and nothing after them.
bool IsCompleteRecord(const std::string& bytes);
// Markup characters of an element value escaped.
std::string XmlEscape(const std::string& value);
