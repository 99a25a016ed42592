// The status file and its housekeeping are not built yet: no status file is
// opened, so WriteStatusLine writes nothing.
#include "run/status.h"

void subPreExistingFiles(RunContext&) {}
void fncWriteStatusFile(RunContext&) {}
void subUpdatePID(RunContext&) {}
bool CopyStatusToPMStatus(RunContext&) { return false; }
void subDeleteUnwantedFiles(RunContext&) {}
