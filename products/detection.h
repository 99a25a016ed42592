// Pieces the registry-reader families share: the uninstall-list search, the
// one-value signature read and the details step of the Intune-shaped families.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/context.h"

// How an open failure other than access denied names its code.
enum class OpenFailureDetail { kNumber, kSystemText };

// "ERR : 5. Does not have sufficient privilege for <key>" or
// "ERR : Could not open registry key. ErrDesc: <code> for <key>".
void LogKeyOpenFailure(RunContext& rc, long err, const std::string& keyPath,
                       OpenFailureDetail detail);

struct UninstallSearch {
  std::string entryLine;    // logged first
  std::string searchLine;   // logged second, followed by the key
  uint32_t access = 0;
  OpenFailureDetail openFailure = OpenFailureDetail::kNumber;
  std::string errorPrefix;  // "ERR : ... " before number and description
  // Called with each non-empty trimmed DisplayName; logs its own found line.
  std::function<bool(const std::string& displayName)> match;
  // Optional: called with the matching subkey.
  std::function<void(const os::RegKey& subkey)> onFound = nullptr;
};

// True at the first display name the search matches.
bool SearchUninstallList(RunContext& rc, const UninstallSearch& search);

enum class SignatureRead { kNotOpened, kBlank, kRead };

// Opens keyPath in the 64-bit view and reads valueName as a plain string into
// *raw. Logs "MSG : Unable to open the Key : " + logKey when the key does not
// open, and "MSG : Unable to get definition : " + logKey + " - " + valueName
// when the value is blank.
SignatureRead ReadSignatureValue(RunContext& rc, const std::string& keyPath,
                                 const std::string& logKey, const std::string& valueName,
                                 std::string* raw);
void LogNoDefinition(RunContext& rc, const std::string& logKey, const std::string& valueName);

// The details step of the families built like Windows Intune.
struct RegistryFamily {
  const char* detailsName;
  bool (*check)(RunContext&);
  bool (*read)(RunContext&);  // sets DefVersionBefore
  const char* notInstalledLine;
  const char* category;
  const char* failureSentence;
};
void RunRegistryFamily(RunContext& rc, const RegistryFamily& family);

constexpr const char* kAntimalwareSignatureKey =
    "SOFTWARE\\Microsoft\\Microsoft Antimalware\\Signature Updates";

// The details step of the families found by a named uninstall-list check
// (BluePoint, PC Matic, BullGuard, Webroot): the record is written when the
// check finds the product.
struct UninstallFamily {
  const char* detailsName;  // "BluePoint_Details"
  bool (*check)(RunContext&);
  const char* notInstalledLine;
  void (*write)(RunContext&);
};
void RunUninstallFamily(RunContext& rc, const UninstallFamily& family);
// The record of a family that is only reported as present.
void WritePresenceRecord(RunContext& rc, const std::string& category);
