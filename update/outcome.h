// Update outcomes: per-product flags the update steps set, and the sentences
// they become in the status description.
#pragma once

#include "platform/context.h"

// Appends one sentence per updated product to StatusDescription.
void UpdateOutcomeText(RunContext& rc);
