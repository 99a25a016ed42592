// McAfee: each product line keeps its DAT number in a key of its own; the
// reader tries them in a fixed order of precedence.
#include "products/mcafee.h"

#include "base/error.h"
#include "base/text.h"
#include "platform/log.h"
#include "platform/regfiles.h"
#include "products/file_text.h"
#include "products/products.h"
#include "products/record.h"

namespace {

constexpr const char* kVseEngineKey =
    "SOFTWARE\\Network Associates\\TVD\\Shared Components\\VirusScan Engine\\4.0.xx";
constexpr const char* kVseCurrentKey = "SOFTWARE\\Network Associates\\TVD\\VirusScan Enterprise\\CurrentVersion";
constexpr const char* kAvEngineKey = "SOFTWARE\\McAfee\\AVEngine";
constexpr const char* kManagedKey = "SOFTWARE\\MCAFEE\\ManagedServices\\VirusScan";
constexpr const char* kEndpointKey = "SOFTWARE\\McAfee\\AVSolution\\DS\\DS";

std::string ErrText(RunContext& rc, long err) { return fncFormatMessage(rc, static_cast<uint32_t>(err)); }

std::string Text(RunContext& rc, const os::RegKey& key, const char* name) {
  return TrimSpaces(GetRegValue(rc, key, name, os::kRegSz));
}

// A DWORD value in decimal, or empty when the key does not hold it (a missing
// value is no DAT number, not number 0).
std::string DwordIfPresent(RunContext& rc, const os::RegKey& key, const char* name) {
  uint32_t type = 0, size = 0;
  if (os::RegQueryValueEx(key, name, &type, nullptr, &size) != 0) return {};
  return TrimSpaces(GetRegValue(rc, key, name, os::kRegDword));
}

// VirusScan Enterprise's DAT version: szVirDefVer, or szDatVersion when that is empty.
std::string VseDefinition(RunContext& rc, const os::RegKey& key) {
  const std::string def = Text(rc, key, "szVirDefVer");
  return CheckedDefinition(def.empty() ? Text(rc, key, "szDatVersion") : def);
}

class Reader {
 public:
  Reader(RunContext& rc, bool before)
      : rc_(rc), before_(before), slot_(before ? rc.DefVersionBefore : rc.DefVersionAfter) {}

  bool Run() {
    WriteLog(rc_, std::string("MSG : Opening Registry key '") + kVseEngineKey + "'");
    os::RegKey key;
    const long err = os::RegOpenKeyEx(kVseEngineKey, os::kKeyRead, &key);
    if (err == 0) return VirusScanEnterprise(key);
    if (err != os::kErrorFileNotFound) {
      WriteLog(rc_, std::string("ERR : function GetMcAfeeVirusDef - Could not open Registry Key ") + kVseEngineKey);
      return false;
    }
    if (before_)
      WriteLog(rc_, std::string("ERR : Reading Registry ") + kVseEngineKey + ". ErrDesc: " + ErrText(rc_, err) +
                        " for [MCafee Total Protection]");
    WriteLog(rc_, std::string("MSG : Reading Registry ") + kAvEngineKey +
                      "[ScanEngine:EngineVersionMajor\\EngineVersionMinor || Def:AVDatVersion ]");
    return FromAvEngineOn(/*shortForm=*/false);
  }

 private:
  bool VirusScanEnterprise(const os::RegKey& key) {
    if (before_) WriteLog(rc_, "[McAfee VirusScan Enterprise]");
    std::string engine = CheckedDefinition(Text(rc_, key, "szEngineVer"));
    slot_ = LastPart(VseDefinition(rc_, key));
    WriteLog(rc_, std::string("MSG : Opening Registry key '") + kVseCurrentKey + "'");
    os::RegKey current;
    const long err = os::RegOpenKeyEx(kVseCurrentKey, os::kKeyRead, &current);
    if (err == 0) {
      const std::string newer = LastPart(VseDefinition(rc_, current));
      if (!newer.empty() && CompareLeadingNumbers(newer, slot_) > 0) {
        slot_ = newer;
        engine = CheckedDefinition(Text(rc_, current, "szEngineVer"));
      }
    }
    rc_.ScanEngineVersion = engine;
    if (slot_.empty() && engine.empty()) {
      if (before_)
        WriteLog(rc_, std::string("Err : Reading Registry ") + kVseEngineKey + ". ErrDesc: " + ErrText(rc_, err) +
                          " for [MCafee Total Protection]");
      return FromAvEngineOn(/*shortForm=*/true);
    }
    rc_.McAfeeVseFound = true;
    return true;
  }

  // Branches B, C and D in turn. The short form follows an empty VirusScan
  // Enterprise key and logs less; both reach Endpoint Security, so that a
  // leftover key of an old product does not hide it.
  bool FromAvEngineOn(bool shortForm) {
    os::RegKey key;
    long err = os::RegOpenKeyEx(kAvEngineKey, os::kKeyRead, &key);
    if (err == 0) return AvEngine(key);
    if (err != os::kErrorFileNotFound) return false;
    if (before_)
      WriteLog(rc_, shortForm ? std::string("[MCafee Managed VirusScan]")
                              : std::string("ERR : Reading Registry ") + kAvEngineKey + ". ErrDesc: " +
                                    ErrText(rc_, err) + " for [MCafee Managed VirusScan]");
    err = os::RegOpenKeyEx(kManagedKey, os::kKeyRead, &key);
    if (err == 0) return ManagedVirusScan(key);
    if (err != os::kErrorFileNotFound) return false;
    if (shortForm)
      WriteLog(rc_, std::string("ERR : Reading Registry ") + kManagedKey + ". ErrDesc: " + ErrText(rc_, err));
    else if (before_)
      WriteLog(rc_, std::string("ERR : Reading Registry ") + kManagedKey + ". ErrDesc: " + ErrText(rc_, err) +
                        " for [MCafee Managed VirusScan]");
    return EndpointSecurity();
  }

  bool AvEngine(const os::RegKey& key) {
    rc_.ScanEngineVersion = GetRegValue(rc_, key, "EngineVersionMajor", os::kRegDword) + ".0" +
                            GetRegValue(rc_, key, "EngineVersionMinor", os::kRegDword);
    slot_ = DwordIfPresent(rc_, key, "AVDatVersion");
    rc_.McAfeeVseFound = false;
    return true;
  }

  bool ManagedVirusScan(const os::RegKey& key) {
    const std::string engine = CheckedDefinition(Text(rc_, key, "XmlEngineVersion"));
    const std::string def = LastPart(CheckedDefinition(Text(rc_, key, "XmlDATVersion")));
    slot_ = def;
    if (engine.empty() && def.empty()) return false;
    rc_.ScanEngineVersion = engine;
    rc_.McAfeeVseFound = false;
    return true;
  }

  bool EndpointSecurity() {
    WriteLog(rc_, std::string("MSG : Opening Registry key '") + kEndpointKey + "'");
    WriteLog(rc_, "MSG : Reading 64 bit Registry ");
    os::RegKey key;
    long err = os::RegOpenKeyEx(kEndpointKey, os::kKeyRead, &key);
    if (err == os::kErrorFileNotFound) {
      WriteLog(rc_, "MSG : Reading 32 bit Registry ");
      err = os::RegOpenKeyEx(kEndpointKey, os::kKeyRead | os::kKeyWow64_64Key, &key);
    }
    if (err == os::kErrorFileNotFound) {
      WriteLog(rc_, std::string("ERR : Reading Registry ") + kEndpointKey + ". ErrDesc : " + ErrText(rc_, err));
      return false;
    }
    if (err != 0) return false;
    const std::string value = DwordIfPresent(rc_, key, "dwContentMajorVersion");
    WriteLog(rc_, "MSG : Reading McAfee Endpoint version " + value);
    slot_ = LastPart(value);
    rc_.ScanEngineVersion.clear();
    rc_.McAfeeVseFound = false;
    rc_.McAfeeEndpointFound = true;
    return true;
  }

  RunContext& rc_;
  bool before_;
  std::string& slot_;
};

}  // namespace

bool GetMcAfeeVirusDef(RunContext& rc, bool before) {
  try {
    return Reader(rc, before).Run();
  } catch (...) {
    // Errors are skipped over; the reader's answer stands as far as it got.
    (void)CurrentError();
    return false;
  }
}

void McafeeServer_Details(RunContext& rc) {
  try {
    if (!GetMcAfeeVirusDef(rc, true)) return;
    rc.ProductFound = true;
    if (rc.DefVersionBefore.empty()) {
      rc.StatusDescription += "Failed to read McAfee AV Definition.";
      return;
    }
    const std::string category = rc.McAfeeEndpointFound ? "McAfee Endpoint" : "MCAFEE";
    if (rc.McAfeeEndpointFound) rc.Outcomes.mcafee.alreadyUpdated = true;
    std::string beforeLast, afterLast;
    fncsetLogFile_New(rc, category, rc.DefVersionBefore, beforeLast, rc.DefVersionBefore, afterLast,
                      rc.ScanEngineVersion, "0");
  } catch (...) {
    const RtError e = CurrentError();
    WriteLog(rc, "ERR : in McafeeServer_Details. " + std::to_string(e.number) + ":" + e.description);
  }
}
