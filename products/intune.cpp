// Windows Intune: found by its uninstall entry, definition in the antimalware
// signature key.
#include "products/detection.h"
#include "products/products.h"
#include "products/registry_readers.h"
#include "base/error.h"
#include "platform/log.h"
#include "base/text.h"

bool FN_Intune_product(RunContext& rc) {
  return SearchUninstallList(
      rc, {"MSG : Executing Function FN_Intune_product..",
           "MSG : Searching for Intune Anti-virus in registry key :: ",
           os::kKeyRead | os::kKeyWow64_64Key, OpenFailureDetail::kNumber,
           "ERR : function FN_Intune_product. ", [&](const std::string& name) {
             if (!EqualsNoCase(name, "Windows Intune")) return false;
             WriteLog(rc, "MSG : Windows Intune is installed.");
             return true;
           }});
}

bool GetIntuneVirusDef(RunContext& rc) {
  try {
    WriteLog(rc, "MSG : In GetIntuneVirusDef...");
    std::string raw;
    const SignatureRead read = ReadSignatureValue(rc, kAntimalwareSignatureKey,
                                                  kAntimalwareSignatureKey, "AVSignatureVersion", &raw);
    if (read == SignatureRead::kNotOpened) return false;
    if (read == SignatureRead::kRead) WriteLog(rc, "MSG : Windows Intune definition : " + raw);
    rc.DefVersionBefore = TrimSpaces(raw);
    return !rc.DefVersionBefore.empty();
  } catch (...) {
    const RtError e = CurrentError();
    WriteLog(rc, "ERR : GetIntuneVirusDef " + std::to_string(e.number) + " " + e.description);
    return false;
  }
}

void IntuneServer_Details(RunContext& rc) {
  RunRegistryFamily(rc, {"IntuneServer_Details", FN_Intune_product, GetIntuneVirusDef,
                         "MSG : No Windows Intune product is installed.", "WinIntune",
                         "Failed to read Windows Intune AV Definition."});
}
