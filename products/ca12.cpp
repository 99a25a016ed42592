// CA 12 (Total Defense R12 client).
#include <vector>

#include "products/detection.h"
#include "products/products.h"
#include "products/registry_readers.h"
#include "base/error.h"
#include "platform/log.h"
#include "base/text.h"

namespace {

constexpr const char* kClientKey = "SOFTWARE\\CA\\TDClient";

std::vector<std::string> SplitOnDots(const std::string& text) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t dot; (dot = text.find('.', start)) != std::string::npos; start = dot + 1)
    parts.push_back(text.substr(start, dot - start));
  parts.push_back(text.substr(start));
  return parts;
}

}  // namespace

bool FN_CA12_product(RunContext& rc) {
  return SearchUninstallList(
      rc, {"MSG : Executing Function FN_CA12_product..",
           "MSG : Searching for CA12 Anti-virus in registry key :: ",
           os::kKeyRead | os::kKeyWow64_64Key, OpenFailureDetail::kNumber,
           "ERR : function FN_CA12_product. ", [&](const std::string& name) {
             if (!ContainsNoCase(name, "Total defense R12 client")) return false;
             WriteLog(rc, "MSG : CA 12 is installed.");
             return true;
           }});
}

bool GetCA12VirusDef(RunContext& rc) {
  try {
    WriteLog(rc, "MSG : In GetCA12VirusDef...");
    std::string raw;
    const SignatureRead read = ReadSignatureValue(rc, kClientKey, kClientKey, "AMSigsVersion", &raw);
    if (read == SignatureRead::kNotOpened) return false;
    if (read == SignatureRead::kBlank) {
      rc.DefVersionBefore.clear();
      return false;
    }
    // The product reports major.minor.build.signature; the record leaves out the build.
    const std::vector<std::string> parts = SplitOnDots(TrimSpaces(raw));
    if (parts.size() < 4) {
      WriteLog(rc, "MSG : CA 12 definition : " + raw);
      WriteLog(rc, "MSG : CA 12 definition (Eg: 37.0.1.5988) Format wrong ");
      return false;
    }
    const std::string definition = parts[0] + "." + parts[1] + "." + parts[3];
    WriteLog(rc, "MSG : CA 12 definition : " + definition);
    rc.DefVersionBefore = definition;
    return true;
  } catch (...) {
    const RtError e = CurrentError();
    WriteLog(rc, "ERR : GetCA12VirusDef " + std::to_string(e.number) + " " + e.description);
    return false;
  }
}

void CA12Server_Details(RunContext& rc) {
  RunRegistryFamily(rc, {"CA12Server_Details", FN_CA12_product, GetCA12VirusDef,
                         "MSG : No CA 12 product is installed.", "CA 12",
                         "Failed to read CA 12 AV Definition."});
}
