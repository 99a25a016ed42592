// The launchers the update steps call: a live update starts the vendor's own
// updater, an intelligent update runs the definition package downloaded into
// the program folder and then deletes it. Each returns true when its tool was
// started and its runner reported success; whether the definitions changed
// is for the caller to read again.
#pragma once

#include <string>

#include "platform/context.h"
#include "platform/regfiles.h"

bool fncNortonLiveUpdate(RunContext& rc);
bool fncRunNortonIntelligentUpdate(RunContext& rc);
bool fncMcAfeeLiveUpdate(RunContext& rc, bool McAfeeVseFound);
bool fncRunMcAfeeIntelligentUpdate(RunContext& rc);
bool fncMESLiveUpdate(RunContext& rc);
bool fncRunMESIntelligentUpdate(RunContext& rc);
bool fncTMLiveUpdate(RunContext& rc);
bool fncRunTrendMicroIntelligentUpdate(RunContext& rc);
bool fncVipreLiveUpdate(RunContext& rc);
bool fncAVGLiveUpdate(RunContext& rc);

// Tool finders: true and the folder (no trailing "\") or value when found.
bool fncGetNortonLiveUpdateDir(RunContext& rc, std::string* folder);
bool fncGetProgramFilesDir(RunContext& rc, std::string* folder);
bool fncGetMcafeeTaskValue(RunContext& rc, std::string* taskId);
bool fncGetMcAfeeLiveUpdateDir(RunContext& rc, std::string* updater);
bool fncGetMcAfeeManagedLiveUpdateDir(RunContext& rc, std::string* folder, std::string* commandLine);
bool fncGetMcAfeeDesktopProtectionLiveUpdateDir(RunContext& rc, std::string* updater);
bool fncGetTrendMicroDir(RunContext& rc, std::string* folder);
bool fncGetAVGLiveUpdateDir(RunContext& rc, std::string* folder);

// A downloaded package runs with the agent's rights, so it runs only with a
// valid Authenticode signature. Otherwise: one "ERR : <launcher> - ..." line
// naming the file and the reason, the file deleted, false.
bool VerifyPackageSignature(RunContext& rc, const std::string& launcher, const std::string& package,
                            DeleteForm deleteForm);
