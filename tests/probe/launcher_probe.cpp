// Runs one update launcher with the agent's own code on the machine it runs
// on (the sim or Windows), logging into the agent's run log, so that scenarios
// can drive on both backends the launchers that no update step calls yet.
//
//   launcher_probe [<details step>] <launcher> [vse]
//       the launcher's function name, e.g. fncRunMcAfeeIntelligentUpdate;
//       fncMcAfeeLiveUpdate takes "vse" as a second argument when the
//       VirusScan Enterprise product was found. A family's details step
//       (e.g. NortonServer_Details) named first runs before the launcher,
//       giving it what an update step would (the install folder found, the
//       product variant), and again after it, so the log shows the
//       definition read before and after.
//
// Exit code 0 when the launcher returned true, 1 when it returned false,
// 2 on bad usage.
#include <cstdio>
#include <string>
#include <vector>

#include "platform/context.h"
#include "platform/identity.h"
#include "platform/log.h"
#include "platform/os.h"
#include "products/products.h"
#include "update/launchers.h"

namespace {

struct Launcher {
  const char* name;
  bool (*run)(RunContext&);
};

bool McAfeeLive(RunContext& rc) { return fncMcAfeeLiveUpdate(rc, false); }
bool McAfeeVseLive(RunContext& rc) { return fncMcAfeeLiveUpdate(rc, true); }

struct Details {
  const char* name;
  void (*run)(RunContext&);
};

// The details steps whose findings a launcher uses.
const Details* FindDetails(const std::string& name) {
  static const Details kDetails[] = {
      {"NortonServer_Details", NortonServer_Details},
      {"McafeeServer_Details", McafeeServer_Details},
      {"TrendinternetServer_Details", TrendinternetServer_Details},
      {"TrendTitaniumServer_Details", TrendTitaniumServer_Details},
      {"TrendServer_Details", TrendServer_Details},
      {"TrendMicroSecurity_Details", TrendMicroSecurity_Details},
      {"MESServer_Details", MESServer_Details},
      {"fncVIPRE", fncVIPRE},
      {"AVGDetails", AVGDetails},
  };
  for (const Details& d : kDetails)
    if (name == d.name) return &d;
  return nullptr;
}

const Launcher* Find(const std::vector<std::string>& a) {
  static const Launcher kLaunchers[] = {
      {"fncNortonLiveUpdate", fncNortonLiveUpdate},
      {"fncRunNortonIntelligentUpdate", fncRunNortonIntelligentUpdate},
      {"fncMcAfeeLiveUpdate", McAfeeLive},
      {"fncRunMcAfeeIntelligentUpdate", fncRunMcAfeeIntelligentUpdate},
      {"fncMESLiveUpdate", fncMESLiveUpdate},
      {"fncRunMESIntelligentUpdate", fncRunMESIntelligentUpdate},
      {"fncTMLiveUpdate", fncTMLiveUpdate},
      {"fncRunTrendMicroIntelligentUpdate", fncRunTrendMicroIntelligentUpdate},
      {"fncVipreLiveUpdate", fncVipreLiveUpdate},
      {"fncAVGLiveUpdate", fncAVGLiveUpdate},
  };
  static const Launcher kMcAfeeVse = {"fncMcAfeeLiveUpdate", McAfeeVseLive};
  if (a.size() == 2 && a[0] == "fncMcAfeeLiveUpdate" && a[1] == "vse") return &kMcAfeeVse;
  if (a.size() != 1) return nullptr;
  for (const Launcher& l : kLaunchers)
    if (a[0] == l.name) return &l;
  return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  const Details* details = args.empty() ? nullptr : FindDetails(args[0]);
  if (details != nullptr) args.erase(args.begin());
  const Launcher* launcher = Find(args);
  if (launcher == nullptr) {
    std::fprintf(stderr, "usage: launcher_probe [<details step>] <launcher function> [vse]\n");
    return 2;
  }
  std::string error;
  if (!os::Startup(argc, argv, &error)) {
    std::fprintf(stderr, "launcher_probe: %s\n", error.c_str());
    return 2;
  }
  RunContext rc;
  try {
    OpenRunLog(rc);
  } catch (...) {
    std::fprintf(stderr, "launcher_probe: the run log cannot be opened\n");
    return 2;
  }
  // The identity and output folder, as a run has them before its steps.
  if (details != nullptr && !GetoutputPath(rc)) {
    WriteLog(rc, "MSG : Launcher probe failed");
    rc.LogStream.Close();
    return 1;
  }
  if (details != nullptr) details->run(rc);
  const bool ok = launcher->run(rc);
  if (details != nullptr) {
    WriteLog(rc, ok ? "MSG : Launcher probe: the launcher succeeded" : "MSG : Launcher probe: the launcher failed");
    details->run(rc);
  }
  WriteLog(rc, ok ? "MSG : Launcher probe succeeded" : "MSG : Launcher probe failed");
  rc.LogStream.Close();
  return ok ? 0 : 1;
}
