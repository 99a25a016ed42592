// The gateway's definition index as the gateway served it: any bytes at all,
// read with the index reader (headers, values, the Norton date forms).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/fuzz_machine.h"
#include "update/gateway_index.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static fuzz::Machine machine;
  const std::string text(reinterpret_cast<const char*>(data), size);
  machine.Host("drive_c/Program Files (x86)/Agent/AVUpdate/" + std::string(kDefIndexFileName), text);

  RunContext rc;
  machine.Start(rc);
  rc.AppFolder = fuzz::kAppFolder;
  rc.DefIndexPath = std::string(fuzz::kAppFolder) + "\\" + kDefIndexFileName;
  (void)ReadINIfile(rc);
  // A value is one line of plain text: no control character is carried onward.
  for (const std::string* v : {&rc.GatewayIndex.NortonDefPath, &rc.GatewayIndex.MSEDefVersion, &rc.GatewayIndex.McAfeeDefVersion,
                               &rc.GatewayIndex.McAfeeDefPath, &rc.GatewayIndex.TrendMicroDefVersion,
                               &rc.GatewayIndex.TrendMicroDefPath, &rc.GatewayIndex.CAVetDefVersion,
                               &rc.GatewayIndex.CAInculateDefPath, &rc.GatewayIndex.CAVetDefPath}) {
    for (const char ch : *v) {
      const unsigned char c = static_cast<unsigned char>(ch);
      if ((c < 0x20 && c != '\t') || c == 0x7F) std::abort();
    }
  }
  return 0;
}
