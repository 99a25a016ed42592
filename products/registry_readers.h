// The product families whose definition version sits in one registry value:
// their product checks and readers, for the details steps and the update steps.
#pragma once

#include <string>

#include "platform/context.h"

// ESET. The checks choose rc.EsetDefinitionKey; the readers fill rc.EsetDefinition.
bool fncCheckforESETAV(RunContext& rc);         // 32-bit view
bool fncCheckforESETAVon64Bit(RunContext& rc);  // 64-bit view
bool fncCheckforESETAVon32Bit(RunContext& rc);  // 32-bit view again, on 32-bit systems
bool fncGetEsetVersion(RunContext& rc);
bool fncGetEsetVersion64Bit(RunContext& rc);

// Windows Intune, CA 12, Microsoft Forefront: the readers set DefVersionBefore.
bool FN_Intune_product(RunContext& rc);
bool GetIntuneVirusDef(RunContext& rc);
bool FN_CA12_product(RunContext& rc);
bool GetCA12VirusDef(RunContext& rc);
bool FN_Forefront_product(RunContext& rc);
bool GetForefrontVirusDef(RunContext& rc);

// Microsoft Security Essentials: before = true stores into DefVersionBefore,
// false into DefVersionAfter.
bool FN_MES_product(RunContext& rc);
bool GetMESVirusDef(RunContext& rc, bool before);

// Windows Defender: the reader fills rc.WindowsDefenderDefinition and the
// slot the selector names, as GetMESVirusDef does.
bool FN_WindowsDefender(RunContext& rc);
bool GetWindowsDefenderVirusDef(RunContext& rc, bool before);

// Avira: registry first, then rc.AviraDefFile; fills rc.AviraDefinition.
void GetAviraVirusDef(RunContext& rc);
