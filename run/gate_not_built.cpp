// The run gate and the exclusion decision are not built yet: every unforced
// run proceeds and no computer is excluded.
#include "run/gate.h"

bool ChkLastRunTime(RunContext&) { return true; }
void DecideUpdateExclusion(RunContext&) {}
