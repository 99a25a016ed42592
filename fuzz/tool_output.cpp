// What a vendor's command-line tool printed, or a definition file it left:
// the AVG, Sophos, CA eTrust, F-Secure and VIPRE rules that turn it into a
// definition.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/text.h"
#include "products/tool_readers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string> lines = SplitLines(text);

  const AvgOutput avg = ParseAvgOutput(lines);
  if (avg.ok && avg.category.empty()) std::abort();
  for (const std::string& line : lines) {
    (void)AvgCategoryOf(line);
    // The version is a piece of its line.
    if (line.find(AvgVersionOf(line)) == std::string::npos) std::abort();
    (void)VipreTypeOf(line);
    (void)IsVipreProduct(line);
  }
  (void)ParseSophosOutput(lines);

  (void)FormatCADef(text);
  for (const bool known : {false, true}) {
    for (const bool before : {false, true}) (void)CANeedsFileVersion(text, known, before);
  }
  (void)JoinTrimmedLines(lines);
  // DefVer.txt gives the text before a separator: a prefix of the file.
  if (text.rfind(VipreDefverDefinition(text), 0) != 0) std::abort();
  return 0;
}
