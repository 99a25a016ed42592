// machine.ini of a simulated machine, loaded as a run loads it.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_machine.h"
#include "platform/os.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static fuzz::Machine machine;
  machine.Host("machine.ini", std::string(reinterpret_cast<const char*>(data), size));
  if (sim::LoadMachine(machine.dir()).empty()) {
    // What a loaded machine answers must be usable.
    (void)os::Now();
    (void)os::GetCommandLineArgs();
    (void)os::GetModuleFileName();
    (void)os::GetSystemDirectory();
    std::string value;
    (void)os::GetEnvironmentVariable("TEMP", &value);
    (void)os::GetSpecialFolderPath(36, &value);
  }
  return 0;
}
