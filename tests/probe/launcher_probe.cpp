// Runs one update launcher with the agent's own code on the machine it runs
// on (the sim or Windows), logging into the agent's run log, so that scenarios
// can drive on both backends the launchers that no update step calls yet.
//
//   launcher_probe <launcher>
//       the launcher's function name, e.g. fncRunMcAfeeIntelligentUpdate;
//       fncMcAfeeLiveUpdate takes "vse" as a second argument when the
//       VirusScan Enterprise product was found
//
// Exit code 0 when the launcher returned true, 1 when it returned false,
// 2 on bad usage.
#include <cstdio>
#include <string>
#include <vector>

#include "platform/context.h"
#include "platform/log.h"
#include "platform/os.h"
#include "update/launchers.h"

namespace {

struct Launcher {
  const char* name;
  bool (*run)(RunContext&);
};

bool McAfeeLive(RunContext& rc) { return fncMcAfeeLiveUpdate(rc, false); }
bool McAfeeVseLive(RunContext& rc) { return fncMcAfeeLiveUpdate(rc, true); }

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
  const std::vector<std::string> args(argv + 1, argv + argc);
  const Launcher* launcher = Find(args);
  if (launcher == nullptr) {
    std::fprintf(stderr, "usage: launcher_probe <launcher function> [vse]\n");
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
  const bool ok = launcher->run(rc);
  WriteLog(rc, ok ? "MSG : Launcher probe succeeded" : "MSG : Launcher probe failed");
  rc.LogStream.Close();
  return ok ? 0 : 1;
}
