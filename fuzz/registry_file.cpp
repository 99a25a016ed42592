// registry.reg as a hand-edited machine folder may hold it: any bytes, 8-bit
// or UTF-16, nested as deep as the text likes.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/sim/state.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  sim::RegNode root;
  (void)sim::ParseRegFile(std::string(reinterpret_cast<const char*>(data), size), "registry.reg", &root);
  return 0;
}
