// The sim side of the conformance suite: every test runs on a new simulated
// machine whose program file is the child the process tests start.
#include <memory>

#include "tests/conformance/conformance.h"
#include "tests/platform/sim/sim_fixture.h"

namespace conformance {
namespace {

std::unique_ptr<simtest::TempMachine> g_machine;

}  // namespace

Backend CurrentBackend() { return Backend::kSim; }

void PrepareMachine() {
  g_machine = std::make_unique<simtest::TempMachine>();
  g_machine->Mkdir("drive_c/Windows/TEMP");
  g_machine->Mkdir("drive_c/Windows/system32");
  g_machine->Write("drive_c/avdef-conformance/avconformance.exe", "MZ");
  // The child runs as avconformance.exe does on Windows when asked to.
  g_machine->Ini("[System]\r\n"
                 "ProgramPath=C:\\avdef-conformance\\avconformance.exe\r\n"
                 "Bits=64\r\n"
                 "[Programs]\r\n"
                 "C:\\avdef-conformance\\avconformance.exe=runs=" +
                 std::to_string(kChildRunsMs) + " exit=" + std::to_string(kChildExitCode) + "\r\n");
  const std::string error = g_machine->Load();
  ASSERT_EQ(error, "");
}

void ReleaseMachine() { g_machine.reset(); }

}  // namespace conformance
