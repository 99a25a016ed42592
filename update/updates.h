// The update steps of the updated product families: gateway mode first,
// then site mode.
#pragma once

#include "platform/context.h"

void NortonCheck_Updation(RunContext& rc);
void McafeeCheck_Updation(RunContext& rc);
void TrendMicroCheck_Updation(RunContext& rc);
void MESCheck_Updation(RunContext& rc);
void NortonSite_Updation(RunContext& rc);
void McafeeSite_Updation(RunContext& rc);
void TrendSite_Updation(RunContext& rc);
void AVGSite_Updation(RunContext& rc);
void VipreSite_Updation(RunContext& rc);
void MESSite_Updation(RunContext& rc);
