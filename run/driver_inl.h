#pragma once

#include "base/error.h"

// Automation error "library not registered" as the run-time error number.
constexpr long kTypeLibNotRegistered = static_cast<long>(static_cast<int32_t>(0x8002801D));

template <class Statement>
void RunStatement(RunContext& rc, Statement&& statement) {
  for (;;) {
    try {
      statement();
      return;
    } catch (...) {
      RtError e = CurrentError();
      if ((e.number == 429 || e.number == kTypeLibNotRegistered) && !rc.LibReRegistered) {
        ReRegisterScriptingRuntime(rc);
        rc.LibReRegistered = true;
        continue;
      }
      FailRun(rc, e.number, e.description);
    }
  }
}
