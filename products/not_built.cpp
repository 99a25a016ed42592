// Product details steps that are not built yet: each does nothing, so the sequences
// still walk every step with its banner and pause.
#include "products/products.h"

void AVGDetails(RunContext&) {}
void fncVIPRE(RunContext&) {}
void subCheckSophosPresence(RunContext&) {}
void FSecure_Details(RunContext&) {}
void CAServer_Details(RunContext&) {}
