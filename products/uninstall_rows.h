// The uninstall-list rows of the families found by a named product check:
// which subkeys match and what each row records in the run.
#pragma once

#include <cstdint>
#include <string>

#include "platform/context.h"

// True when the product's row of the uninstall table matched.
bool ChkUnInstallRegistry(RunContext& rc, const std::string& keyPath, uint32_t access,
                          const std::string& productName);

// The product checks: both access masks, first without the 64-bit view.
bool ChkKasperskyInstalled(RunContext& rc);
bool ChkAviraInstalled(RunContext& rc);
bool ChkBluePointInstalled(RunContext& rc);
bool ChkWebRootInstalled(RunContext& rc);
bool ChkPCMaticInstalled(RunContext& rc);
bool ChkBullGuardInstalled(RunContext& rc);

// The COMODO rule applied to one uninstall subkey: a DisplayName beginning
// with "COMODO" names the product and, through DisplayIcon, its scanner folder.
bool ComodoRow(RunContext& rc, const os::RegKey& subkey, const std::string& subkeyPath);

// The Comodo search over both views.
bool FN_existDisplayName(RunContext& rc, const std::string& displayName);
