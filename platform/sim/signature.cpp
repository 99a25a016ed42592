// Authenticode checks: [Signatures] of machine.ini says which files are
// validly signed; any other file is unsigned.
#include "platform/sim/state.h"

namespace os {

uint32_t VerifyFileSignature(const std::string& path, std::string* reason) {
  const sim::Resolved file = sim::Resolve(path);
  if (!file.valid || !file.exists || file.isDir) {
    const uint32_t code = file.valid && file.parentExists ? kErrorFileNotFound : kErrorPathNotFound;
    std::string text;
    if (FormatMessage(code, false, &text) && text.size() >= 2) text.resize(text.size() - 2);
    *reason = text;
    return code;
  }
  const auto it = sim::M().signatures.find(sim::PathKey(path));
  if (it == sim::M().signatures.end()) {
    *reason = "No signature was present in the subject.";
    return kTrustNoSignature;
  }
  if (it->second.empty()) return 0;
  *reason = it->second;
  return kTrustSubjectNotTrusted;
}

}  // namespace os
