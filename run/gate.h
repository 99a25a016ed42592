// Run gate and update exclusion.
#pragma once

#include "platform/context.h"

// True when this unforced run may go ahead: the last run ended at least 4
// clock hours ago. Also sets InternetDownloadDue.
bool ChkLastRunTime(RunContext& rc);
// Sets UpdateExclusion and WebPostReply from the management server's answer,
// or from the last stored answer when there is none.
void DecideUpdateExclusion(RunContext& rc);
// True when AVG's updater may run now (at most once per calendar day).
bool ChkAVGUpdatedToday(RunContext& rc);
