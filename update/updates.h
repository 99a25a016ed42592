// The update steps and the details steps of the updated product families.
// Gateway mode first, then site mode.
#pragma once

#include "run/context.h"

void NortonServer_Details(RunContext& rc);
void McafeeServer_Details(RunContext& rc);
void CAServer_Details(RunContext& rc);
void TrendinternetServer_Details(RunContext& rc);
void TrendTitaniumServer_Details(RunContext& rc);
void TrendServer_Details(RunContext& rc);
void TrendMicroSecurity_Details(RunContext& rc);
void MESServer_Details(RunContext& rc);
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
