// The product checks and readers of the families whose definition sits in a
// file the product keeps on disk.
#pragma once

#include <string>

#include "platform/context.h"

// Kaspersky. The checks set rc.KasperskyDefPath: a folder (the first two) or
// the definition file (the last two).
bool fncGetPathKaspersky(RunContext& rc);
bool fncGetPathKasperskyLab(RunContext& rc);
bool fncGetPathKasperskyUninstall(RunContext& rc);
// Reads rc.KasperskyDefFile into rc.KasperskyDefinition.
void SB_ReadKasperskyDefn(RunContext& rc, const std::string& baseName);

// eScan and Immunet: the readers set DefVersionBefore.
bool FN_Escan_product(RunContext& rc);
bool GetEScanVirusDef(RunContext& rc);
bool FN_Immunet_product(RunContext& rc);
bool GetImmunetVirusDef(RunContext& rc);

// Avast. kind is "ASWDEFS.INI" or "SETUP.INI"; fills rc.AvastDefinition from
// rc.AvastIniPath.
bool fncGetPathAvast(RunContext& rc);
void ReadAvastIni(RunContext& rc, const std::string& kind);

// BitDefender finders, in the order they are tried; each sets rc.BitDefenderPath.
bool fncGetPathBitDefender(RunContext& rc);
bool fncGetPathBitDefender64Bits(RunContext& rc);
bool fncGetPathBitDefenderEPClient(RunContext& rc);
bool fncGetPathBitDefenderEPClient_Ver5(RunContext& rc);
bool fncGetPathBitDefenderEP(RunContext& rc);

// Comodo.
bool Chk_ComodoInstalled(RunContext& rc);
bool GetLatestComodoDef(RunContext& rc, const std::string& folder);
