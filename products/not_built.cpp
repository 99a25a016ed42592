// Product details steps that are not built yet: each does nothing, so the sequences
// still walk every step with its banner and pause.
#include "products/products.h"

void AVGDetails(RunContext&) {}
void fncBitDefender(RunContext&) {}
void fncVIPRE(RunContext&) {}
void subCheckSophosPresence(RunContext&) {}
void fncAvast(RunContext&) {}
void fncKaspersky(RunContext&) {}
void EScanServer_Details(RunContext&) {}
void ImmunetServer_Details(RunContext&) {}
void FSecure_Details(RunContext&) {}
void Comodo_Detail(RunContext&) {}
void BluePoint_Details(RunContext&) {}
void WebRoot_Details(RunContext&) {}
void PCMatic_Details(RunContext&) {}
void BullGuard_Details(RunContext&) {}
void McafeeServer_Details(RunContext&) {}
void CAServer_Details(RunContext&) {}
void TrendinternetServer_Details(RunContext&) {}
void TrendTitaniumServer_Details(RunContext&) {}
void TrendServer_Details(RunContext&) {}
void TrendMicroSecurity_Details(RunContext&) {}
