// McAfee: the definition reader shared by the details and update steps.
#pragma once

#include "platform/context.h"

// Reads the DAT number and engine version of whichever McAfee product line
// answers first. before: the number goes to DefVersionBefore (and the
// product-line lines are logged), else to DefVersionAfter. Sets
// ScanEngineVersion, McAfeeVseFound and (Endpoint Security) McAfeeEndpointFound.
bool GetMcAfeeVirusDef(RunContext& rc, bool before);
