// Run gate and update exclusion.
#pragma once

#include "run/context.h"

// True when this unforced run may go ahead.
bool ChkLastRunTime(RunContext& rc);
// Sets UpdateExclusion and WebPostReply.
void DecideUpdateExclusion(RunContext& rc);
