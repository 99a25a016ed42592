#include "update/launchers.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/text.h"
#include "platform/process.h"
#include "tests/platform/sim_machine_fixture.h"
#include "tests/platform/zip_builder.h"

namespace {

using Lines = std::vector<std::string>;
using Files = std::vector<std::pair<std::string, std::string>>;

constexpr const char* kApp = "C:\\AV";
constexpr const char* kTerminated = "MSG : Terminated the Process as given time elpased..";
constexpr int64_t kServiceWaitMs = 23 * 10000;  // 24 asks, 10 seconds apart

class Launchers : public simtest::SimMachineTest {
 protected:
  // A 32-bit machine (one registry view) with the program folder C:\AV.
  void Start(const std::string& registry, const std::string& sections, Files files = {}) {
    files.emplace_back("AV\\readme.txt", "x");
    Load({registry, "[System]\r\nBits=32\r\n" + sections, files});
    rc.AppFolder = kApp;
  }

  std::string Read(const std::string& path) const {
    std::string bytes;
    EXPECT_EQ(os::ReadWholeFile(path, &bytes), 0) << path;
    return bytes;
  }

  // Lines of the log that start with the prefix, in order.
  Lines LinesStarting(const std::string& prefix) const {
    Lines out;
    for (const std::string& line : LogLines())
      if (line.rfind(prefix, 0) == 0) out.push_back(line);
    return out;
  }

  bool Ran() const { return !LinesStarting("MSG : fncExecuteShell :: ").empty(); }
};

// ---- Norton ------------------------------------------------------------------------------

constexpr const char* kNortonRegistry = R"([HKEY_LOCAL_MACHINE\SOFTWARE\Symantec\Symantec Endpoint Protection\InstalledApps]
"BasePath"="C:\\SEP\\"

[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\windows\CurrentVersion\Uninstall\LiveUpdate1.7]
"InstallLocation"="\"C:\\LU\\\""

[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\windows\CurrentVersion]
"ProgramFilesDir"="C:\\PF"
)";

TEST_F(Launchers, NortonTriesItsFourPlacesInOrder) {
  const struct {
    const char* name;
    bool pathSearch;
    Files tools;
    std::string command;  // empty: nothing runs
    bool uistub;
    Lines notFound;
    std::string location = "C:\\N";  // StrNortonInstallLocation
  } cases[] = {
      {"endpoint first", true,
       {{"SEP\\SepLiveUpdate.exe", "x"}, {"N\\Engine64\\22.8.0.50\\uistub.exe", "x"}, {"LU\\LUALL.exe", "x"}},
       "C:\\SEP\\SepLiveUpdate.exe -S", false, {}},
      {"then uistub", true,
       {{"N\\Engine64\\22.8.0.50\\uistub.exe", "x"}, {"LU\\LUALL.exe", "x"}},
       "C:\\N\\Engine64\\22.8.0.50\\uistub.exe /lu", true, {}},
      {"without the path search straight to LUALL", false,
       {{"SEP\\SepLiveUpdate.exe", "x"}, {"N\\Engine64\\22.8.0.50\\uistub.exe", "x"}, {"LU\\LUALL.exe", "x"}},
       "C:\\LU\\LUALL.exe -S", false, {}},
      {"program files last", false, {{"PF\\Symantec\\LiveUpdate\\LUALL.exe", "x"}},
       "C:\\PF\\Symantec\\LiveUpdate\\LUALL.exe -S", false,
       {"ERR : fncNortonLiveUpdate - File Not Found C:\\LU\\LUALL.exe"}},
      {"no install folder: no uistub.exe at the root of the drive", true,
       {{"Engine64\\22.8.0.50\\uistub.exe", "x"}, {"LU\\LUALL.exe", "x"}},
       "C:\\LU\\LUALL.exe -S", false, {}, ""},
      {"nothing there", true, {}, "", false,
       {"ERR : fncNortonLiveUpdate - File Not Found C:\\LU\\LUALL.exe",
        "ERR : fncNortonLiveUpdate - File Not Found C:\\PF\\Symantec\\LiveUpdate\\LUALL.exe"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Start(kNortonRegistry, "", c.tools);
    rc.Norton.NortonPathSearchUsed = c.pathSearch;
    rc.Norton.StrNortonInstallLocation = c.location;
    EXPECT_EQ(fncNortonLiveUpdate(rc), !c.command.empty());
    EXPECT_EQ(LinesStarting("ERR : fncNortonLiveUpdate - File Not Found"), c.notFound);
    if (c.location.empty()) {
      EXPECT_EQ(LinesStarting("MSG: "), Lines{});
    }
    if (c.command.empty()) {
      EXPECT_FALSE(Ran());
      continue;
    }
    const std::string msg = c.uistub ? "MSG: " : "MSG : ";
    const Lines log = LogLines();
    const Lines tail(log.end() - 4, log.end());
    EXPECT_EQ(tail, (Lines{msg + "Executing " + c.command, "MSG : fncExecuteShell :: " + c.command,
                           msg + "Successfully executed " + c.command, "MSG : Execution Completed "}));
  }
}

TEST_F(Launchers, NortonLiveUpdateLogsItsLookupsExactly) {
  Start(kNortonRegistry, "", {{"N\\Engine64\\22.8.0.50\\uistub.exe", "x"}});
  rc.Norton.NortonPathSearchUsed = true;
  rc.Norton.StrNortonInstallLocation = "C:\\N";
  EXPECT_TRUE(fncNortonLiveUpdate(rc));
  EXPECT_EQ(LogLines(), (Lines{"MSG : Executing Function fncNortonLiveUpdate",
                               "MSG: Reading uistub.exe location from C:\\NEngine64\\22.8.0.50\\",
                               "MSG: uistub.exe location C:\\N\\Engine64\\22.8.0.50\\",
                               "MSG: Executing C:\\N\\Engine64\\22.8.0.50\\uistub.exe /lu",
                               "MSG : fncExecuteShell :: C:\\N\\Engine64\\22.8.0.50\\uistub.exe /lu",
                               "MSG: Successfully executed C:\\N\\Engine64\\22.8.0.50\\uistub.exe /lu",
                               "MSG : Execution Completed "}));
}

TEST_F(Launchers, LiveUpdateFolderFinderReadsTheFirstKeyThatExists) {
  Start(R"([HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\windows\CurrentVersion\Uninstall\LiveUpdate]
"InstallLocation"=" \"C:\\Live Update\\\" "

[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\windows\CurrentVersion\Uninstall\LiveUpdate1.7]
"InstallLocation"="C:\\Old"
)", "");
  std::string folder;
  EXPECT_TRUE(fncGetNortonLiveUpdateDir(rc, &folder));
  EXPECT_EQ(folder, "C:\\Live Update");

  Start(R"([HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\windows\CurrentVersion\Uninstall\LiveUpdate]
"InstallLocation"=""
)", "");
  EXPECT_FALSE(fncGetNortonLiveUpdateDir(rc, &folder));
  EXPECT_EQ(LogLines(), (Lines{"MSG : Executing Function fncGetLiveUpdateDir ",
                               "MSG : Reading Registry Key SOFTWARE\\Microsoft\\windows\\CurrentVersion\\Uninstall\\LiveUpdate",
                               "ERR : fncGetNortonLiveUpdateDir - Live Update Dir Path Not Found "}));
}

TEST_F(Launchers, AToolPathWithBlanksIsQuotedOnTheCommandLine) {
  // No short names here: the path keeps its blanks and must stay one argument.
  Start(R"([HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\windows\CurrentVersion\Uninstall\LiveUpdate]
"InstallLocation"="C:\\Program Files\\Live & Update"
)", "", {{"Program Files\\Live & Update\\LUALL.exe", "x"}});
  EXPECT_TRUE(fncNortonLiveUpdate(rc));
  EXPECT_TRUE(Logged("MSG : fncExecuteShell :: \"C:\\Program Files\\Live & Update\\LUALL.exe\" -S"));
}

// ---- Packages --------------------------------------------------------------------------------

struct PackageLauncher {
  const char* name;
  bool (*launch)(RunContext&);
  const char* file;
  std::string command;  // as run, once the package is signed
  bool throughBatch;
};

const PackageLauncher kPackages[] = {
    {"fncRunNortonIntelligentUpdate", fncRunNortonIntelligentUpdate, "NortonDefinition.exe",
     "C:\\AV\\NortonDefinition.exe /q", false},
    {"fncRunMcAfeeIntelligentUpdate", fncRunMcAfeeIntelligentUpdate, "McAfeeDefinition.exe",
     "C:\\AV\\McAfeeDefinition.exe /SILENT", false},
    {"fncRunMESIntelligentUpdate", fncRunMESIntelligentUpdate, "MSEDefinition.exe", "C:\\AV\\MSEDefinition.exe -q",
     true},
};

TEST_F(Launchers, APackageRunsOnlyWithAValidSignatureAndIsDeletedEitherWay) {
  const struct {
    const char* name;
    const char* signature;  // [Signatures] value; nullptr: no entry
    std::string reason;     // empty: the package runs
  } signatures[] = {
      {"signed", "valid", ""},
      {"unsigned", nullptr, "No signature was present in the subject."},
      {"badly signed", "invalid: The certificate chain ends in an untrusted root.",
       "The certificate chain ends in an untrusted root."},
  };
  for (const PackageLauncher& p : kPackages) {
    for (const auto& s : signatures) {
      SCOPED_TRACE(std::string(p.name) + ", " + s.name);
      const std::string package = std::string(kApp) + "\\" + p.file;
      const std::string sections =
          "[Programs]\r\n" + package + "=runs=60000 exit=0\r\n" +
          (s.signature ? "[Signatures]\r\n" + package + "=" + s.signature + "\r\n" : std::string());
      Start("", sections, {{std::string("AV\\") + p.file, "MZ package"}});
      const bool signedOk = s.reason.empty();
      EXPECT_EQ(p.launch(rc), signedOk);
      EXPECT_FALSE(os::FileExists(package));
      EXPECT_EQ(LinesStarting("MSG : Deleteing File "), Lines{"MSG : Deleteing File " + package});
      EXPECT_TRUE(Logged("MSG : Successfully Deleted File " + package));
      if (!signedOk) {
        EXPECT_FALSE(Ran());
        EXPECT_EQ(LinesStarting("ERR : "),
                  Lines{std::string("ERR : ") + p.name + " - Package not run, its signature is not valid: " +
                        package + " (" + s.reason + ")"});
        continue;
      }
      EXPECT_TRUE(Logged("MSG : Executing " + p.command));
      EXPECT_TRUE(Logged("MSG : Successfully executed " + p.command));
      const std::string batch = std::string(kApp) + "\\IntelligentUpdate.bat";
      if (p.throughBatch) {
        EXPECT_EQ(Read(batch), p.command + "\r\n");
        EXPECT_TRUE(Logged("MSG : fncExecuteShell :: \"" + batch + "\""));
      } else {
        EXPECT_TRUE(Logged("MSG : fncExecuteShell :: " + p.command));
      }
      EXPECT_EQ(LinesStarting("ERR : "), Lines{});
    }
  }
}

TEST_F(Launchers, AMissingPackageIsReportedAndNothingRuns) {
  for (const PackageLauncher& p : kPackages) {
    SCOPED_TRACE(p.name);
    Start("", "");
    EXPECT_FALSE(p.launch(rc));
    EXPECT_EQ(LogLines(), (Lines{std::string("MSG : Executing Function ") + p.name,
                                 std::string("ERR : ") + p.name + " - File Not Found C:\\AV\\" + p.file}));
  }
}

TEST_F(Launchers, APackageThatHangsIsEndedAfterThirtyMinutes) {
  Start("", "[Programs]\r\nC:\\AV\\NortonDefinition.exe=runs=3600000 exit=0\r\n"
            "[Signatures]\r\nC:\\AV\\NortonDefinition.exe=valid\r\n",
        {{"AV\\NortonDefinition.exe", "MZ"}});
  EXPECT_TRUE(fncRunNortonIntelligentUpdate(rc));
  EXPECT_TRUE(Logged(kTerminated));
  EXPECT_EQ(ElapsedMs(), 1800000 + 5000);  // the wait, then the delete's pause
  EXPECT_FALSE(os::FileExists("C:\\AV\\NortonDefinition.exe"));
}

// ---- Microsoft Security Essentials -------------------------------------------------------------

TEST_F(Launchers, MseLiveUpdateWritesItsBatchFileAfreshInTheProgramFolder) {
  const struct {
    const char* name;
    std::string location;  // registry text of InstallLocation
    std::string toolFile;  // below C:\ .
    std::string batchLine;
  } cases[] = {
      {"plain", "C:\\\\MSE\\\\", "MSE\\MpCmdRun.exe", "C:\\MSE\\MpCmdRun.exe /signatureupdate"},
      {"blanks, & and %", "C:\\\\Anti %TEMP% & Co", "Anti %TEMP% & Co\\MpCmdRun.exe",
       "\"C:\\Anti %%TEMP%% & Co\\MpCmdRun.exe\" /signatureupdate"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Start("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Microsoft Antimalware]\r\n\"InstallLocation\"=\"" +
              c.location + "\"\r\n",
          "", {{c.toolFile, "x"}, {"AV\\LiveUpdate.bat", "C:\\planted.exe\r\n"}, {"planted.exe", "x"}});
    EXPECT_TRUE(fncMESLiveUpdate(rc));
    EXPECT_EQ(Read("C:\\AV\\LiveUpdate.bat"), c.batchLine + "\r\n");
    EXPECT_FALSE(os::FileExists("C:\\LiveUpdate.bat"));
    EXPECT_TRUE(Logged("MSG : Executing " + c.batchLine));
    EXPECT_TRUE(Logged("MSG : fncExecuteShell :: \"C:\\AV\\LiveUpdate.bat\""));
    EXPECT_TRUE(Logged("MSG : Successfully executed " + c.batchLine));
  }

  Start("", "");
  EXPECT_FALSE(fncMESLiveUpdate(rc));
  EXPECT_TRUE(Logged("ERR : fncMESLiveUpdate - File Not Found MpCmdRun.exe"));
  EXPECT_FALSE(os::FileExists("C:\\AV\\LiveUpdate.bat"));
}

// ---- McAfee --------------------------------------------------------------------------------------

std::string VseRegistry(const std::string& taskName, const std::string& taskId = "{A1B2-C3}") {
  return R"([HKEY_LOCAL_MACHINE\SOFTWARE\Network Associates\TVD\VirusScan Enterprise\CurrentVersion]
"szUpdateEXE"="C:\\VSE\\mcupdate.exe"

[HKEY_LOCAL_MACHINE\SOFTWARE\Network Associates\TVD\VirusScan Enterprise\CurrentVersion\Tasks\0001]
"szTaskName"="Scan"

[HKEY_LOCAL_MACHINE\SOFTWARE\Network Associates\TVD\VirusScan Enterprise\CurrentVersion\Tasks\)" +
         taskId + "]\r\n\"szTaskName\"=\"" + taskName + "\"\r\n";
}

TEST_F(Launchers, VirusScanEnterpriseRunsItsUpdateTaskOnceTheFrameworkRuns) {
  const std::string command = "C:\\VSE\\mcupdate.exe /TASK  {A1B2-C3} /UPDATE /QUIET ";
  const struct {
    const char* name;
    std::string registry;
    std::string sections;
    bool expected;
    bool ran;
    int64_t elapsedMs;
  } cases[] = {
      {"exit code 0 is success", VseRegistry("autoupdate"),
       "[Services]\r\nMcAfeeFramework=stopped\r\n[Programs]\r\nC:\\VSE\\mcupdate.exe=runs=1000 exit=0\r\n", true,
       true, 1000},
      {"a failing updater", VseRegistry("AutoUpdate"),
       "[Services]\r\nMcAfeeFramework=running\r\n[Programs]\r\nC:\\VSE\\mcupdate.exe=runs=1000 exit=1\r\n", false,
       true, 1000},
      {"a hanging updater, ended after thirty minutes", VseRegistry("AutoUpdate"),
       "[Services]\r\nMcAfeeFramework=running\r\n[Programs]\r\nC:\\VSE\\mcupdate.exe=runs=3600000 exit=0\r\n",
       false, true, 1800000},
      {"the framework never runs", VseRegistry("AutoUpdate"), "", false, false, kServiceWaitMs},
      {"no AutoUpdate task", VseRegistry("Nightly"), "[Services]\r\nMcAfeeFramework=stopped\r\n", false, false, 0},
      {"a task id that is not one word", VseRegistry("AutoUpdate", "{A} & calc"),
       "[Services]\r\nMcAfeeFramework=stopped\r\n", false, false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Start(c.registry, c.sections, {{"VSE\\mcupdate.exe", "x"}});
    EXPECT_EQ(fncMcAfeeLiveUpdate(rc, true), c.expected);
    EXPECT_EQ(Logged("MSG : Executing " + command), c.ran);
    EXPECT_EQ(Logged("MSG : Successfully executed " + command), c.expected);
    EXPECT_EQ(Logged("ERR : fncMcAfeeLiveUpdate - Failed to execute " + command), c.ran && !c.expected);
    EXPECT_EQ(ElapsedMs(), c.elapsedMs);
    EXPECT_EQ(Logged(kTerminated), c.elapsedMs == 1800000);
  }
  // Without the task no service is touched.
  EXPECT_FALSE(Logged("MSG : Starting Service McAfeeFramework"));
  EXPECT_TRUE(Logged("ERR : Refused to run fncMcAfeeLiveUpdate: {A} & calc (it is not a plain task id)"));
}

TEST_F(Launchers, VirusScanEnterpriseLogsItsStepsExactly) {
  Start(VseRegistry("AutoUpdate"), "[Services]\r\nMcAfeeFramework=stopped\r\n", {{"VSE\\mcupdate.exe", "x"}});
  EXPECT_TRUE(fncMcAfeeLiveUpdate(rc, true));
  const std::string command = "C:\\VSE\\mcupdate.exe /TASK  {A1B2-C3} /UPDATE /QUIET ";
  EXPECT_EQ(LogLines(),
            (Lines{"MSG : Executing Function fncMcAfeeLiveUpdate",
                   "MSG : Reading Registry Key SOFTWARE\\Network Associates\\TVD\\VirusScan Enterprise\\CurrentVersion\\Tasks",
                   "MSG : McAfeeTaskValue - {A1B2-C3}", "MSG : Live Update Dir Path - C:\\VSE\\mcupdate.exe",
                   "MSG : Starting Service McAfeeFramework",
                   "MSG : Executing Function EnumSystemServices for McAfeeFramework",
                   "MSG : Executing Function SetServiceStarted ",
                   "MSG : Executing Function EnumSystemServices for McAfeeFramework",
                   "MSG : Successfully Started Service McAfeeFramework", "MSG : Executing " + command,
                   "MSG : Executing Function fncCreateProcess ", "MSG : Successfully executed " + command}));
}

constexpr const char* kManagedRegistry = R"([HKEY_LOCAL_MACHINE\SOFTWARE\McAFee\ManagedServices]
"szInstallDir"="C:\\MS\\"

[HKEY_LOCAL_MACHINE\SOFTWARE\McAFee\ManagedServices\Agent\TaskbarMenu\update]
"szCmdLine"="/update /silent"

[HKEY_LOCAL_MACHINE\SOFTWARE\McAfee\DesktopProtection]
"szUpdateEXE"="C:\\DP\\mcupdate.exe"
)";

TEST_F(Launchers, ManagedAgentUpdaterAndTheDesktopUpdaterAfterIt) {
  const std::string managed = "C:\\MS\\Agent\\UpdDlg.exe /update /silent";
  const std::string desktop = "C:\\DP\\mcupdate.exe /UPDATE /QUIET";
  const struct {
    const char* name;
    std::string registry;
    Files tools;
    bool expected;
    std::string ranCommand;
    int64_t elapsedMs;
  } cases[] = {
      {"managed agent", kManagedRegistry, {{"MS\\Agent\\UpdDlg.exe", "x"}, {"DP\\mcupdate.exe", "x"}}, true, managed,
       0},
      {"desktop updater, then the pause", kManagedRegistry, {{"DP\\mcupdate.exe", "x"}}, true, desktop, 450000},
      {"a command line that would chain a command", ReplaceAll(kManagedRegistry, "/update /silent", "/update & calc"),
       {{"MS\\Agent\\UpdDlg.exe", "x"}}, false, "", 0},
      {"a refused command line, then the desktop updater",
       ReplaceAll(kManagedRegistry, "/update /silent", "/update & calc"),
       {{"MS\\Agent\\UpdDlg.exe", "x"}, {"DP\\mcupdate.exe", "x"}}, true, desktop, 450000},
      {"neither", kManagedRegistry, {}, false, "", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Start(c.registry, "[Services]\r\nmyagtsvc=running\r\n", c.tools);
    EXPECT_EQ(fncMcAfeeLiveUpdate(rc, false), c.expected);
    EXPECT_EQ(ElapsedMs(), c.elapsedMs);
    if (c.expected) {
      EXPECT_TRUE(Logged("MSG : fncExecuteShell :: " + c.ranCommand));
      EXPECT_TRUE(Logged("MSG : Successfully executed " + c.ranCommand));
    } else {
      EXPECT_FALSE(Ran());
    }
  }
  EXPECT_TRUE(Logged("ERR : fncMcAfeeLiveUpdate - File Not Found C:\\MS\\Agent\\UpdDlg.exe"));
  EXPECT_TRUE(Logged("ERR : fncMcAfeeLiveUpdate - File Not Found C:\\DP\\mcupdate.exe"));
  Start(ReplaceAll(kManagedRegistry, "/update /silent", "/update & calc"), "[Services]\r\nmyagtsvc=running\r\n");
  EXPECT_FALSE(fncMcAfeeLiveUpdate(rc, false));
  EXPECT_TRUE(Logged("ERR : Refused to run fncMcAfeeLiveUpdate: /update & calc (it holds a shell operator)"));
}

TEST_F(Launchers, AnUpdaterValueThatIsNoProgramIsRefused) {
  Start(ReplaceAll(VseRegistry("AutoUpdate"), "mcupdate.exe", "update.bat"),
        "[Services]\r\nMcAfeeFramework=stopped\r\n", {{"VSE\\update.bat", "calc"}});
  EXPECT_FALSE(fncMcAfeeLiveUpdate(rc, true));
  EXPECT_TRUE(Logged("ERR : Refused to run fncMcAfeeLiveUpdate: C:\\VSE\\update.bat (not an .exe program)"));
  EXPECT_FALSE(Logged("MSG : Starting Service McAfeeFramework"));
}

// ---- Trend Micro -----------------------------------------------------------------------------------

TEST_F(Launchers, TrendInternetSecurity2008RunsItsUpdater) {
  const std::string registry = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\TrendMicro\\PC-cillin]\r\n"
                               "\"Application Path\"=\"C:\\\\TIS\"\r\n";
  Start(registry, "", {{"TIS\\UfUpdUi.exe", "x"}});
  EXPECT_TRUE(fncTMLiveUpdate(rc));
  EXPECT_EQ(LogLines(),
            (Lines{"MSG : fncExecuteShell :: C:\\TIS\\UfUpdUi.exe", "MSG : Successfully executed C:\\TIS\\UfUpdUi.exe"}));

  Start(registry, "");
  EXPECT_FALSE(fncTMLiveUpdate(rc));
  EXPECT_EQ(LogLines(), Lines{"ERR : fncTMLiveUpdate - File Not Found C:\\TIS\\UfUpdUi.exe"});
}

constexpr const char* kTrendRegistry = R"([HKEY_LOCAL_MACHINE\SOFTWARE\TrendMicro\PC-cillinNTCorp\CurrentVersion]
"Application Path"="C:\\OfficeScan\\"
)";

class TrendPattern : public Launchers {
 protected:
  void StartWith(const std::string& services, bool withArchive = true) {
    Files files = {{"OfficeScan\\tmlisten.exe", "x"}};
    if (withArchive) files.emplace_back("AV\\TrendMicro.zip", ziptest::Build({{"lpt$vpn.123", "pattern 123"}}));
    Start(kTrendRegistry, "[Services]\r\n" + services, files);
  }
  bool Running(const std::string& service) { return EnumSystemServices(rc, service, "running"); }
};

TEST_F(TrendPattern, BusinessProductCopiesWhileBothServicesAreStopped) {
  StartWith("tmlisten=running\r\nntrtscan=running\r\n");
  EXPECT_TRUE(fncRunTrendMicroIntelligentUpdate(rc));
  EXPECT_EQ(Read("C:\\OfficeScan\\lpt$vpn.123"), "pattern 123");
  EXPECT_FALSE(os::FileExists("C:\\AV\\lpt$vpn.123"));
  EXPECT_FALSE(os::FileExists("C:\\AV\\TrendMicro.zip"));
  const Lines services = LinesStarting("MSG : S");
  EXPECT_EQ(services, (Lines{"MSG : Stopping Service tmlisten", "MSG : Stopping Service ntrtscan",
                             "MSG : Successfully Stopped Service tmlisten",
                             "MSG : Successfully Stopped Service ntrtscan",
                             "MSG : Successfully Deleted File C:\\AV\\lpt$vpn.123",
                             "MSG : Starting Service tmlisten", "MSG : Successfully Started Service tmlisten",
                             "MSG : Starting Service ntrtscan", "MSG : Successfully Started Service ntrtscan"}));
  EXPECT_TRUE(Logged("MSG : Copying C:\\AV\\lpt$vpn.123 to C:\\OfficeScan"));
  EXPECT_TRUE(Running("tmlisten"));
  EXPECT_TRUE(Running("ntrtscan"));
}

TEST_F(TrendPattern, AServiceThatWillNotStopLeavesNoOtherStopped) {
  // ntrtscan is stuck stopping: it refuses the stop, tmlisten has stopped.
  StartWith("tmlisten=running\r\nntrtscan=stoppend\r\n");
  EXPECT_FALSE(fncRunTrendMicroIntelligentUpdate(rc));
  EXPECT_FALSE(os::FileExists("C:\\OfficeScan\\lpt$vpn.123"));
  EXPECT_FALSE(Logged("MSG : Copying C:\\AV\\lpt$vpn.123 to C:\\OfficeScan"));
  EXPECT_FALSE(os::FileExists("C:\\AV\\lpt$vpn.123"));
  EXPECT_TRUE(Logged("MSG : Successfully Started Service tmlisten"));
  EXPECT_TRUE(Running("tmlisten"));
}

TEST_F(TrendPattern, InternetSecurityPausesAfterItsServiceRunsAgain) {
  StartWith("PcCtlCom=running\r\n");
  rc.TrendInternetSecurityFound = true;
  EXPECT_TRUE(fncRunTrendMicroIntelligentUpdate(rc));
  EXPECT_EQ(Read("C:\\OfficeScan\\lpt$vpn.123"), "pattern 123");
  EXPECT_TRUE(Running("PcCtlCom"));
  // the archive's and the pattern's delete pauses, the stop's pause, the settling pause
  EXPECT_EQ(ElapsedMs(), 5000 + 5000 + 5000 + 90000);
}

TEST_F(TrendPattern, FailuresBeforeTheServicesAreTouched) {
  StartWith("tmlisten=running\r\n", false);
  EXPECT_FALSE(fncRunTrendMicroIntelligentUpdate(rc));
  EXPECT_TRUE(Logged("ERR : fncRunTrendMicroIntelligentUpdate - Folder Not Found C:\\AV\\TrendMicro.zip"));

  Start("", "[Services]\r\ntmlisten=running\r\n",
        {{"AV\\TrendMicro.zip", ziptest::Build({{"lpt$vpn.123", "pattern 123"}})}});
  EXPECT_FALSE(fncRunTrendMicroIntelligentUpdate(rc));
  EXPECT_TRUE(Logged("ERR : fncRunTrendMicroIntelligentUpdate - Failed to find Trend Micro Folder Path "));
  // The unpacked pattern does not wait for the next run.
  EXPECT_FALSE(os::FileExists("C:\\AV\\lpt$vpn.123"));
  EXPECT_FALSE(Logged("MSG : Stopping Service tmlisten"));
}

TEST_F(TrendPattern, APatternLeftByAnEarlierRunIsNeverCopied) {
  // "lpt$vpn.100" sorts before the archive's "lpt$vpn.123".
  struct Case {
    const char* name;
    bool locked;  // the leftover cannot be deleted
  } const cases[] = {{"removed before unpacking", false}, {"cannot be removed", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string denied = c.locked ? "[Denied]\r\nC:\\AV\\lpt$vpn.100=write\r\n" : "";
    Start(kTrendRegistry, "[Services]\r\ntmlisten=running\r\nntrtscan=running\r\n" + denied,
          {{"OfficeScan\\tmlisten.exe", "x"},
           {"AV\\lpt$vpn.100", "pattern 100"},
           {"AV\\TrendMicro.zip", ziptest::Build({{"lpt$vpn.123", "pattern 123"}})}});
    EXPECT_EQ(fncRunTrendMicroIntelligentUpdate(rc), !c.locked);
    EXPECT_FALSE(os::FileExists("C:\\OfficeScan\\lpt$vpn.100"));
    EXPECT_EQ(os::FileExists("C:\\OfficeScan\\lpt$vpn.123"), !c.locked);
    // A locked leftover stops the run before the archive is unpacked.
    EXPECT_EQ(os::FileExists("C:\\AV\\TrendMicro.zip"), c.locked);
    EXPECT_EQ(Logged("MSG : Stopping Service tmlisten"), !c.locked);
  }
}

// ---- VIPRE and AVG -----------------------------------------------------------------------------------

TEST_F(Launchers, VipreAndAvgUpdatersWaitTheirTimeAndEndOverrunners) {
  const struct {
    const char* name;
    bool (*launch)(RunContext&);
    std::string registry;
    std::string tool;
    std::string logged;  // the command as logged
    int64_t waitMs;
  } launchers[] = {
      {"VIPRE", fncVipreLiveUpdate, "", "C:\\VIPRE\\SBAMCommandLineScanner.exe",
       "C:\\VIPRE\\SBAMCommandLineScanner.exe /updatedefs", 120000},
      {"AVG", fncAVGLiveUpdate,
       "[HKEY_LOCAL_MACHINE\\SOFTWARE\\AVG\\Common]\r\n\"AvgDir\"=\"C:\\\\Wrong\"\r\n"
       "[HKEY_LOCAL_MACHINE\\SOFTWARE\\AVG\\Avg2013]\r\n\"AvgDir\"=\"C:\\\\AVG\\\\\"\r\n",
       "C:\\AVG\\avgmfapx.exe", "C:\\AVG\\avgmfapx.exe", 300000},
  };
  const struct {
    const char* name;
    int64_t runsMs;  // -1: the tool is missing
    bool expected;
  } runs[] = {{"quick", 2000, true}, {"hanging", 3600000, false}, {"missing", -1, false}};
  for (const auto& l : launchers) {
    for (const auto& r : runs) {
      SCOPED_TRACE(std::string(l.name) + ", " + r.name);
      Files files;
      if (r.runsMs >= 0) files.emplace_back(l.tool.substr(3), "x");
      Start(l.registry, "[Programs]\r\n" + l.tool + "=runs=" + std::to_string(r.runsMs < 0 ? 0 : r.runsMs) + "\r\n",
            files);
      rc.VipreInstallPath = "C:\\VIPRE\\";
      EXPECT_EQ(l.launch(rc), r.expected);
      if (r.runsMs < 0) {
        EXPECT_EQ(LinesStarting("ERR : "), Lines{std::string("ERR : fnc") + (l.launch == fncVipreLiveUpdate ? "Vipre" : "AVG") +
                                                 "LiveUpdate - File Not Found " + l.tool});
        EXPECT_EQ(ElapsedMs(), 0);
        continue;
      }
      EXPECT_TRUE(Logged("MSG : Executing " + l.logged));
      EXPECT_EQ(ElapsedMs(), r.expected ? r.runsMs : l.waitMs);
      const std::string name = l.launch == fncVipreLiveUpdate ? "fncVipreLiveUpdate" : "fncAVGLiveUpdate";
      EXPECT_EQ(Logged("MSG : Successfully executed " + l.logged), r.expected);
      EXPECT_EQ(Logged("ERR : " + name + " - Failed to execute " + l.logged), !r.expected);
    }
  }
}

TEST_F(Launchers, AvgFinderStopsAtTheFirstAvgKey) {
  Start("[HKEY_LOCAL_MACHINE\\SOFTWARE\\AVG\\Avg2012]\r\n\"AvgDir\"=\"\"\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\AVG\\Avg2013]\r\n\"AvgDir\"=\"C:\\\\AVG\"\r\n",
        "");
  std::string folder = "untouched";
  EXPECT_FALSE(fncGetAVGLiveUpdateDir(rc, &folder));
  EXPECT_EQ(folder, "untouched");
  EXPECT_EQ(LogLines(), Lines{"ERR : fncGetAVGLiveUpdateDir - AVGInstPath found blank in SOFTWARE\\AVG\\Avg2012"});

  Start("", "");
  EXPECT_FALSE(fncGetAVGLiveUpdateDir(rc, &folder));
  EXPECT_EQ(LogLines(), Lines{"ERR : fncGetAVGLiveUpdateDir - Could not find registry key SOFTWARE\\AVG"});
}

}  // namespace
