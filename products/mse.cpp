// Microsoft Security Essentials. The reader also serves the update steps,
// which read once before and once after the update.
#include "products/detection.h"
#include "products/registry_readers.h"
#include "base/error.h"
#include "platform/log.h"
#include "base/text.h"
#include "products/products.h"

bool FN_MES_product(RunContext& rc) {
  return SearchUninstallList(
      rc, {"MSG : Executing Function FN_MES_product..",
           "MSG : Searching for MES Anti-virus in registry key :: ",
           os::kKeyRead | os::kKeyWow64_64Key, OpenFailureDetail::kSystemText,
           "ERR : function FN_MES_product. ", [&](const std::string& name) {
             if (!ContainsNoCase(name, "Microsoft Security Essentials")) return false;
             WriteLog(rc, "MSG : Microsoft Security Essential Product : '" + name + "' is installed.");
             return true;
           }});
}

bool GetMESVirusDef(RunContext& rc, bool before) {
  try {
    WriteLog(rc, "MSG : In GetMESVirusDef...");
    std::string raw;
    const SignatureRead read = ReadSignatureValue(rc, kAntimalwareSignatureKey,
                                                  kAntimalwareSignatureKey, "AVSignatureVersion", &raw);
    if (read == SignatureRead::kNotOpened) return false;
    if (read == SignatureRead::kRead)
      WriteLog(rc, "MSG : Microsoft Security Essential definition : " + raw);
    std::string& slot = before ? rc.DefVersionBefore : rc.DefVersionAfter;
    slot = TrimSpaces(raw);
    return !slot.empty();
  } catch (...) {
    const RtError e = CurrentError();
    WriteLog(rc, "ERR : GetMESVirusDef " + std::to_string(e.number) + " " + e.description);
    return false;
  }
}

void MESServer_Details(RunContext& rc) {
  RunRegistryFamily(rc, {"MESServer_Details", FN_MES_product,
                         [](RunContext& r) { return GetMESVirusDef(r, true); },
                         "MSG : No Microsoft Security essential product is installed.",
                         "Microsoft Security Essentials",
                         "Failed to read Microsoft Security essential AV Definition."});
}
