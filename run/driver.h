// The run driver: one run of the agent from start to end.
#pragma once

#include <array>
#include <string>

#include "platform/context.h"

// One run; returns the process exit code.
int Main();

struct SequenceStep {
  const char* banner;
  void (*procedure)(RunContext&);  // nullptr: a separator line only
  bool pauseAfter;                 // 1000 ms after the step
};
using Sequence = std::array<SequenceStep, 29>;

extern const Sequence kDetailsOnlySteps;
extern const Sequence kGatewaySteps;
extern const Sequence kSiteSteps;

void RunSequence(RunContext& rc, const Sequence& steps);
void RunDetailsOnlySequence(RunContext& rc);
void RunGatewaySequence(RunContext& rc);
void RunSiteSequence(RunContext& rc);

// Step 11 of a run: picks the mode from UpdateExclusion and AgentType and runs it.
void ChooseModeAndRun(RunContext& rc);

void SelectXmlHttpProgId(RunContext& rc);
void ReRegisterScriptingRuntime(RunContext& rc);



// Runs one statement of Main under its error handler: a missing scripting
// runtime is re-registered once and the statement retried; any other error
// ends the run on the failure path.
template <class Statement>
void RunStatement(RunContext& rc, Statement&& statement);

// The failure path of Main; never returns.
[[noreturn]] void FailRun(RunContext& rc, long number, const std::string& description);

#include "run/driver_inl.h"
