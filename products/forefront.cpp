// Microsoft Forefront and System Center Endpoint Protection. Newer releases
// keep the signature version under the antimalware key, older ones under the
// Client Security key.
#include "products/detection.h"
#include "products/products.h"
#include "products/registry_readers.h"
#include "base/error.h"
#include "platform/log.h"
#include "base/text.h"

namespace {

constexpr const char* kClientSecurityKey =
    "SOFTWARE\\Microsoft\\Microsoft Forefront\\Client Security\\1.0\\AM\\Signature Updates";
constexpr const char* kValueName = "ASSignatureVersion";

bool IsForefront(const std::string& name) {
  return EqualsNoCase(name, "Microsoft Antimalware") ||
         EqualsNoCase(name, "Microsoft Forefront Client Security Antimalware Service") ||
         ContainsNoCase(name, "Microsoft Forefront Endpoint Protection") ||
         ContainsNoCase(name, "System Center 2012 Endpoint Protection") ||
         ContainsNoCase(name, "System Center Endpoint Protection");
}

// Reads one of the two keys; an unopened key is reported as having no value too.
std::string ReadFrom(RunContext& rc, const std::string& keyPath, const std::string& logKey) {
  std::string raw;
  if (ReadSignatureValue(rc, keyPath, logKey, kValueName, &raw) == SignatureRead::kNotOpened)
    LogNoDefinition(rc, logKey, kValueName);
  return raw;
}

}  // namespace

bool FN_Forefront_product(RunContext& rc) {
  return SearchUninstallList(
      rc, {"MSG : Executing Function FN_Forefront_product..",
           "MSG : Searching for Forefront Anti-virus in registry key :: ",
           os::kKeyRead | os::kKeyWow64_64Key, OpenFailureDetail::kNumber,
           "ERR : function FN_Forefront_product. ", [&](const std::string& name) {
             if (!IsForefront(name)) return false;
             WriteLog(rc, "MSG : Microsoft Forefront is installed. : " + name);
             return true;
           }});
}

bool GetForefrontVirusDef(RunContext& rc) {
  try {
    WriteLog(rc, "MSG : In GetForefrontVirusDef...");
    std::string raw = ReadFrom(rc, kAntimalwareSignatureKey, kAntimalwareSignatureKey);
    if (TrimSpaces(raw).empty())
      raw = ReadFrom(rc, kClientSecurityKey, std::string("HKEY_LOCAL_MACHINE\\") + kClientSecurityKey);
    rc.DefVersionBefore = TrimSpaces(raw);
    if (rc.DefVersionBefore.empty()) return false;
    WriteLog(rc, "MSG : Microsoft Forefront definition : " + raw);
    return true;
  } catch (...) {
    const RtError e = CurrentError();
    WriteLog(rc, "ERR : GetForefrontVirusDef " + std::to_string(e.number) + " " + e.description);
    return false;
  }
}

void ForefrontServer_Details(RunContext& rc) {
  RunRegistryFamily(rc, {"ForefrontServer_Details", FN_Forefront_product, GetForefrontVirusDef,
                         "MSG : No Microsoft Forefront product is installed.",
                         "Microsoft Forefront", "Failed to read Microsoft Forefront AV Definition."});
}
