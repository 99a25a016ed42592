// The details steps of the product families: detect, read, report.
#pragma once

#include "platform/context.h"

void WindowsDefender(RunContext& rc);
void AVGDetails(RunContext& rc);
void fncBitDefender(RunContext& rc);
void fncVIPRE(RunContext& rc);
void subCheckSophosPresence(RunContext& rc);
void CheckESETPresence(RunContext& rc);
void fncAvast(RunContext& rc);
void fncAvira(RunContext& rc);
void fncKaspersky(RunContext& rc);
void EScanServer_Details(RunContext& rc);
void IntuneServer_Details(RunContext& rc);
void ForefrontServer_Details(RunContext& rc);
void CA12Server_Details(RunContext& rc);
void ImmunetServer_Details(RunContext& rc);
void FSecure_Details(RunContext& rc);
void Comodo_Detail(RunContext& rc);
void BluePoint_Details(RunContext& rc);
void WebRoot_Details(RunContext& rc);
void PCMatic_Details(RunContext& rc);
void BullGuard_Details(RunContext& rc);

// The details steps of the families that also have update steps.
void NortonServer_Details(RunContext& rc);
void McafeeServer_Details(RunContext& rc);
void CAServer_Details(RunContext& rc);
void TrendinternetServer_Details(RunContext& rc);
void TrendTitaniumServer_Details(RunContext& rc);
void TrendServer_Details(RunContext& rc);
void TrendMicroSecurity_Details(RunContext& rc);
void MESServer_Details(RunContext& rc);
