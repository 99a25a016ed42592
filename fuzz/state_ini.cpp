// The agent's state INI files as a previous run, or a person, left them:
// the INI reader (GetPrivateProfileString semantics) and the run gate, the
// stored exclusion reply and the AVG and VIPRE stamps that interpret it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/fuzz_machine.h"
#include "platform/os.h"
#include "platform/webpost.h"
#include "run/gate.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static fuzz::Machine machine;
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::string folder = "drive_c/Program Files (x86)/Agent/AVUpdate/";
  machine.Host(folder + "LastAVDefUpd.ini", text);
  machine.Host(folder + "LastAVGUpdated.ini", text);

  RunContext rc;
  machine.Start(rc);
  const std::string ini = std::string(fuzz::kAppFolder) + "\\LastAVDefUpd.ini";
  for (const uint32_t bufferSize : {0u, 1u, 10u, 100u, 255u}) {
    std::string value;
    const uint32_t n = os::GetPrivateProfileString("LastExcludeStatus", "ExcludeUpdate", "dflt ", bufferSize, ini, &value);
    if (n != value.size() || (bufferSize > 0 && n >= bufferSize) || (bufferSize == 0 && n != 0)) std::abort();
  }
  // The stamp files may be rewritten or deleted by the steps below.
  (void)ChkLastRunTime(rc);
  machine.Host(folder + "LastAVDefUpd.ini", text);
  DecideUpdateExclusion(rc);  // the post is refused: the stored reply decides
  std::string defVersion;
  (void)fncVipreDefinitionFromDC(rc, &defVersion);
  (void)ChkAVGUpdatedToday(rc);
  return 0;
}
