// Windows Defender: reported only from Windows 8 on, where it is a full
// antivirus rather than an anti-spyware tool.
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

constexpr const char* kDefenderKey = "SOFTWARE\\Microsoft\\Windows Defender";
constexpr const char* kSignatureKey = "SOFTWARE\\Microsoft\\Windows Defender\\Signature Updates\\";

std::string ErrorText(const RtError& e) { return std::to_string(e.number) + " " + e.description; }

}  // namespace

bool FN_WindowsDefender(RunContext& rc) {
  try {
    WriteLog(rc, "MSG : Executing Function FN_WindowsDefender..");
    WriteLog(rc, "MSG : Windows Defender to be consider for Windows 8 or Higher");
    WriteLog(rc, std::string("MSG : Searching for Windows Defender in registry key :: ") + kDefenderKey);
    os::RegKey key;
    const long err = os::RegOpenKeyEx(kDefenderKey, os::kKeyRead | os::kKeyWow64_64Key, &key);
    if (err != 0) {
      LogKeyOpenFailure(rc, err, kDefenderKey, OpenFailureDetail::kSystemText);
      return false;
    }
    // Missing values read "0": both parts enabled.
    const bool spywareEnabled = GetRegValue(rc, key, "DisableAntiSpyware", os::kRegDword) == "0";
    const bool virusEnabled = GetRegValue(rc, key, "DisableAntiVirus", os::kRegDword) == "0";
    if (!spywareEnabled) {
      WriteLog(rc, "MSG : Windows Defender is not installed");
      return false;
    }
    if (virusEnabled)
      WriteLog(rc, "MSG : Windows Defender is installed Enabled Spyware & Antivirus on ::" + rc.OsName);
    else
      WriteLog(rc, "MSG : Windows Defender is installed  Enabled Spyware on ::" + rc.OsName);
    return rc.Windows8OrLater;
  } catch (...) {
    WriteLog(rc, "ERR : FN_WindowsDefender " + ErrorText(CurrentError()));
    return false;
  }
}

bool GetWindowsDefenderVirusDef(RunContext& rc, bool before) {
  std::string value;
  bool found = false;
  try {
    WriteLog(rc, "MSG : In GetWindowsDefenderVirusDef...");
    os::RegKey key;
    if (os::RegOpenKeyEx(kSignatureKey, os::kKeyRead | os::kKeyWow64_64Key, &key) != 0) {
      WriteLog(rc, std::string("MSG : Unable to open the Key : ") + kSignatureKey);
    } else {
      const std::string raw = ReadRegString(key, "ASSignatureVersion");
      value = TrimSpaces(raw);
      found = !value.empty();
      if (found)
        WriteLog(rc, "MSG : WindowsDefender definition : " + raw);
      else
        LogNoDefinition(rc, kSignatureKey, "ASSignatureVersion");
    }
  } catch (...) {
    WriteLog(rc, "ERR : GetWindowsDefenderVirusDef " + ErrorText(CurrentError()));
    found = false;
  }
  rc.WindowsDefenderDefinition = value;
  (before ? rc.DefVersionBefore : rc.DefVersionAfter) = value;
  return found;
}

void WindowsDefender(RunContext& rc) {
  try {
    rc.OsName.clear();
    getWindowsName(rc);
    if (!FN_WindowsDefender(rc)) {
      WriteLog(rc, "MSG : WindowsDefender not found");
      return;
    }
    WriteLog(rc, "MSG : Windows Defender found");
    if (!GetWindowsDefenderVirusDef(rc, false)) {
      WriteLog(rc, "MSG : Failed to read Windows Defender Definition");
      return;
    }
    rc.ProductFound = true;
    std::string beforeLast, afterLast;
    fncsetLogFile_New(rc, "Windows Defender", rc.WindowsDefenderDefinition, beforeLast,
                      rc.WindowsDefenderDefinition, afterLast, "", "0");
  } catch (...) {
    WriteLog(rc, "ERR : WindowsDefender " + ErrorText(CurrentError()));
  }
}
