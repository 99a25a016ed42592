// avconformance.exe: the conformance suite on the win32 backend (Windows, or
// Wine), and the child program its process tests start.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tests/conformance/conformance.h"

namespace conformance {

Backend CurrentBackend() {
  // Wine's ntdll exports its version; Windows' does not.
  static const bool wine =
      ::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
  return wine ? Backend::kWine : Backend::kWindows;
}

void PrepareMachine() {}
void ReleaseMachine() {}

}  // namespace conformance

int main(int argc, char** argv) {
  if (argc == 4 && conformance::kChildFlag == argv[1]) {
    ::Sleep(static_cast<DWORD>(std::strtoul(argv[2], nullptr, 10)));
    return static_cast<int>(std::strtoul(argv[3], nullptr, 10));
  }
  testing::InitGoogleTest(&argc, argv);
  std::printf("avconformance: win32 backend on %s\n", conformance::BackendName());
  return RUN_ALL_TESTS();
}
