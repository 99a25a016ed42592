// ESET (NOD32 and its successors). The product may be registered in either
// registry view, and the definition key depends on which product line it is.
#include <initializer_list>

#include "platform/osinfo.h"
#include "platform/regfiles.h"
#include "products/detection.h"
#include "products/products.h"
#include "products/record.h"
#include "products/registry_readers.h"
#include "base/error.h"
#include "platform/log.h"
#include "base/text.h"

namespace {

constexpr const char* kSecurityInfoKey = "SOFTWARE\\ESET\\ESET Security\\CurrentVersion\\Info";
// The old product line's key, spelt as the reader compares it.
constexpr const char* kNodInfoKey = "SOftware\\Eset\\Nod\\CurrentVersion\\Info";

bool SearchForEset(RunContext& rc, const std::string& checkName, const std::string& entryName,
                   uint32_t access) {
  return SearchUninstallList(
      rc, {"MSG : Executing " + entryName + "..",
           "MSG : Searching for ESET Anti-virus in registry key :: ", access,
           OpenFailureDetail::kSystemText, "ERR : " + checkName + ". ", [&](const std::string& name) {
             const char* key = nullptr;
             if (ContainsAny(name, {"ESET NOD32 Antivirus", "ESET Smart Security", "ESET Endpoint Antivirus",
                                    "ESET Endpoint Security", "ESET File Security", "Eset Mail Security"}))
               key = kSecurityInfoKey;
             else if (ContainsNoCase(name, "NOD32 Antivirus System"))
               key = kNodInfoKey;
             else
               return false;
             WriteLog(rc, "MSG : '" + name + "' is installed.");
             rc.EsetDefinitionKey = key;
             return true;
           }});
}

// Reads the definition from the key the check chose, in one view. Errors are
// ignored: whatever was read by then stands.
bool ReadEsetDefinition(RunContext& rc, const std::string& readerName, uint32_t access) {
  bool found = false;
  try {
    rc.EsetDefinition.clear();
    const std::string& keyPath = rc.EsetDefinitionKey;
    WriteLog(rc, "MSG : opening " + keyPath);
    os::RegKey key;
    const long err = os::RegOpenKeyEx(keyPath, access, &key);
    if (err == os::kErrorFileNotFound) {
      WriteLog(rc, "ERR : Reading Registry " + keyPath + ". ErrDesc: " +
                       fncFormatMessage(rc, static_cast<uint32_t>(err)));
      WriteLog(rc, "MSG : ESET is Not installed.");
      return false;
    }
    if (err != 0) {
      const std::string text = fncFormatMessage(rc, static_cast<uint32_t>(err));
      WriteLog(rc, "ERR : Function " + readerName + ". Could not open Registry Key " + keyPath +
                       ". ErrDesc: " + text);
      rc.StatusDescription = "Failed for ESET NOD 32 " + text + ".";
      return false;
    }
    const char* valueName = keyPath == kNodInfoKey ? "CurrentVersion" : "ScannerVersion";
    rc.EsetDefinition = TrimSpaces(GetRegValue(rc, key, valueName, os::kRegSz));
    WriteLog(rc, "MSG : Eset Definition :: " + rc.EsetDefinition);
    found = !rc.EsetDefinition.empty();
    if (!found) rc.StatusDescription = "Failed for ESET NOD 32, no definition found ";
  } catch (...) {
    (void)CurrentError();
  }
  return found;
}

void WriteEsetRecord(RunContext& rc) {
  rc.ProductFound = true;
  std::string beforeLast, afterLast;
  fncsetLogFile_New(rc, "NOD32", rc.EsetDefinition, beforeLast, rc.EsetDefinition, afterLast, "", "0");
}

}  // namespace

bool fncCheckforESETAV(RunContext& rc) {
  return SearchForEset(rc, "fncCheckforESETAV", "fncCheckforESETAV", os::kKeyRead);
}

bool fncCheckforESETAVon64Bit(RunContext& rc) {
  return SearchForEset(rc, "fncCheckforESETAVon64Bit", "fncCheckforESETAVon64Bit",
                       os::kKeyRead | os::kKeyWow64_64Key);
}

bool fncCheckforESETAVon32Bit(RunContext& rc) {
  return SearchForEset(rc, "fncCheckforESETAVon32Bit", "fncCheckforESETAVon64Bit", os::kKeyRead);
}

bool fncGetEsetVersion(RunContext& rc) {
  return ReadEsetDefinition(rc, "fncGetEsetVersion", os::kKeyRead);
}

bool fncGetEsetVersion64Bit(RunContext& rc) {
  WriteLog(rc, "MSg : 64 bit, outside Wow node");
  return ReadEsetDefinition(rc, "fncGetEsetVersion64Bit", os::kKeyRead | os::kKeyWow64_64Key);
}

void CheckESETPresence(RunContext& rc) {
  try {
    if (!fncCheckforESETAV(rc)) {
      fncCreateWMIObject(rc, "WIN32_OPERATINGSYSTEM");
      const bool found = rc.Is64BitOs ? fncCheckforESETAVon64Bit(rc) : fncCheckforESETAVon32Bit(rc);
      if (!found) {
        WriteLog(rc, "MSG : ESET Anti-Virus is not installed.");
        return;
      }
    }
    if (fncGetEsetVersion(rc)) {
      WriteEsetRecord(rc);
    } else if (rc.Is64BitOs && fncGetEsetVersion64Bit(rc)) {
      WriteEsetRecord(rc);
    }
  } catch (...) {
    const RtError e = CurrentError();
    WriteLog(rc, "ERR : subCheckESETPresence : " + std::to_string(e.number) + e.description);
  }
}
