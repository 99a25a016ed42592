// The run's status file (the agent's "PID file") and the housekeeping of
// working files in the program folder.
#pragma once

#include <string>

#include "platform/context.h"

void subPreExistingFiles(RunContext& rc);
// Creates the status file and writes its six header lines.
void fncWriteStatusFile(RunContext& rc);
// Appends one line to the open status file; nothing when none is open.
void WriteStatusLine(RunContext& rc, const std::string& text);
// Writes the Desc= and LastRunStatusCode= lines.
void subUpdatePID(RunContext& rc);
// True when the file's STATUS_INFO has REGID, PID and LastRunStatusCode.
bool FncCheck4ValidPID(RunContext& rc, const std::string& path);
// Closes the status file and hands it to PMStatus, or deletes it when incomplete.
bool CopyStatusToPMStatus(RunContext& rc);
void subDeleteUnwantedFiles(RunContext& rc);
// Copies the file to the destination, replacing an existing file, and deletes
// the source once the copy is complete; a failure is logged with its cause.
bool MoveFileTo(RunContext& rc, const std::string& source, const std::string& destination);

// "defRecord_<RegId>_AV_<MMDDYYYYHHNNSS>.ini"
std::string StatusFileNameFor(const std::string& regId, const os::LocalTime& t);
