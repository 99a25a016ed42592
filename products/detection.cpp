#include "products/detection.h"

#include "platform/regfiles.h"
#include "products/record.h"
#include "base/error.h"
#include "platform/log.h"
#include "base/text.h"

void LogKeyOpenFailure(RunContext& rc, long err, const std::string& keyPath,
                       OpenFailureDetail detail) {
  if (err == os::kErrorAccessDenied) {
    WriteLog(rc, "ERR : " + std::to_string(err) + ". Does not have sufficient privilege for " + keyPath);
    return;
  }
  const std::string code = detail == OpenFailureDetail::kNumber
                               ? std::to_string(err)
                               : fncFormatMessage(rc, static_cast<uint32_t>(err));
  WriteLog(rc, "ERR : Could not open registry key. ErrDesc: " + code + " for " + keyPath);
}

bool SearchUninstallList(RunContext& rc, const UninstallSearch& search) {
  try {
    WriteLog(rc, search.entryLine);
    WriteLog(rc, search.searchLine + kUninstallKey);
    bool found = false;
    const long err = WalkSubkeys(
        kUninstallKey, search.access,
        [&](const os::RegKey& subkey, const std::string&, const std::string&, const os::RegKey&) {
          const std::string name = TrimSpaces(ReadRegString(subkey, "DisplayName"));
          found = !name.empty() && search.match(name);
          if (found && search.onFound) search.onFound(subkey);
          return !found;
        });
    if (err != 0) {
      LogKeyOpenFailure(rc, err, kUninstallKey, search.openFailure);
      return false;
    }
    return found;
  } catch (...) {
    const RtError e = CurrentError();
    WriteLog(rc, search.errorPrefix + std::to_string(e.number) + " " + e.description);
    return false;
  }
}

void LogNoDefinition(RunContext& rc, const std::string& logKey, const std::string& valueName) {
  WriteLog(rc, "MSG : Unable to get definition : " + logKey + " - " + valueName);
}

SignatureRead ReadSignatureValue(RunContext& rc, const std::string& keyPath,
                                 const std::string& logKey, const std::string& valueName,
                                 std::string* raw) {
  raw->clear();
  os::RegKey key;
  if (os::RegOpenKeyEx(keyPath, os::kKeyRead | os::kKeyWow64_64Key, &key) != 0) {
    WriteLog(rc, "MSG : Unable to open the Key : " + logKey);
    return SignatureRead::kNotOpened;
  }
  *raw = ReadRegString(key, valueName);
  if (TrimSpaces(*raw).empty()) {
    LogNoDefinition(rc, logKey, valueName);
    return SignatureRead::kBlank;
  }
  return SignatureRead::kRead;
}

void RunRegistryFamily(RunContext& rc, const RegistryFamily& family) {
  try {
    if (!family.check(rc)) {
      WriteLog(rc, family.notInstalledLine);
      return;
    }
    if (!family.read(rc)) return;
    rc.ProductFound = true;
    if (rc.DefVersionBefore.empty()) {
      rc.StatusDescription += family.failureSentence;
      return;
    }
    std::string beforeLast, afterLast;
    fncsetLogFile_New(rc, family.category, rc.DefVersionBefore, beforeLast, rc.DefVersionBefore,
                      afterLast, rc.ScanEngineVersion, "0");
  } catch (...) {
    const RtError e = CurrentError();
    WriteLog(rc, std::string("ERR : in ") + family.detailsName + ". " + std::to_string(e.number) +
                     ":" + e.description);
  }
}

void RunUninstallFamily(RunContext& rc, const UninstallFamily& family) {
  try {
    WriteLog(rc, std::string("MSG : in ") + family.detailsName);
    if (!family.check(rc)) {
      WriteLog(rc, family.notInstalledLine);
      return;
    }
    rc.ProductFound = true;
    family.write(rc);
  } catch (...) {
    const RtError e = CurrentError();
    WriteLog(rc, std::string("ERR : in sub ") + family.detailsName + " : " + std::to_string(e.number) +
                     " " + e.description);
  }
}

void WritePresenceRecord(RunContext& rc, const std::string& category) {
  WriteRecord(rc, category, "", "", "", "", "", "0");
}
