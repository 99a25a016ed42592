// The XML reader the server's replies go through (expat on the simulated
// machine), with every query the agent makes of a reply.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/xml.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  xml::Document doc;
  if (!doc.Load(std::string(reinterpret_cast<const char*>(data), size))) return 0;
  (void)doc.HasRoot("wpavvendef");
  std::string text;
  (void)doc.FirstChildText("wpavvendef", "vdate", &text);
  (void)doc.FirstChildText("wpavvendef", "defver", &text);
  return 0;
}
