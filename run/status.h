// The run's status file and the housekeeping of working files.
#pragma once

#include <string>

#include "run/context.h"

void subPreExistingFiles(RunContext& rc);
void fncWriteStatusFile(RunContext& rc);
// Appends one line to the open status file; nothing when none is open.
void WriteStatusLine(RunContext& rc, const std::string& text);
void subUpdatePID(RunContext& rc);
bool CopyStatusToPMStatus(RunContext& rc);
void subDeleteUnwantedFiles(RunContext& rc);
