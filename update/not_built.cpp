// Update and details steps that are not built yet: each does nothing, so the sequences
// still walk every step with its banner and pause.
#include "update/updates.h"

void NortonCheck_Updation(RunContext&) {}
void McafeeCheck_Updation(RunContext&) {}
void TrendMicroCheck_Updation(RunContext&) {}
void MESCheck_Updation(RunContext&) {}
void NortonSite_Updation(RunContext&) {}
void McafeeSite_Updation(RunContext&) {}
void TrendSite_Updation(RunContext&) {}
void AVGSite_Updation(RunContext&) {}
void VipreSite_Updation(RunContext&) {}
void MESSite_Updation(RunContext&) {}
