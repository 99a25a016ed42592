#include "run/driver.h"

#include <cstdio>

#include "platform/filewrite.h"
#include "platform/osinfo.h"
#include "platform/regfiles.h"
#include "products/products.h"
#include "report/avxml.h"
#include "base/error.h"
#include "run/gate.h"
#include "platform/identity.h"
#include "platform/instance.h"
#include "platform/log.h"
#include "run/status.h"
#include "base/text.h"
#include "update/gateway_index.h"
#include "update/updates.h"

namespace {

// Microsoft Security Essentials is updated from the gateway only for "QRTA".
void MESGatewayStep(RunContext& rc) {
  if (rc.AgentType == "QRTA") {
    MESCheck_Updation(rc);
  } else {
    MESServer_Details(rc);
  }
}

const char* const kSeparator =
    "===========================================================================================";

void StoreLastRunTime(RunContext& rc) {
  // A failed store is logged; the next run then finds no recent run and runs.
  (void)WriteIniValue(rc, rc.AppFolder + "\\" + "LastAVDefUpd.ini", "LastRunDateTime", "LastRun",
                      FormatLastRunTime(os::Now()));
}

}  // namespace

#include "run/sequences.inc"

void RunSequence(RunContext& rc, const Sequence& steps) {
  for (const SequenceStep& step : steps) {
    if (step.procedure == nullptr) {
      WriteLog(rc, step.banner);
      continue;
    }
    WriteLog(rc, "\r\n");
    WriteLog(rc, step.banner);
    try {
      step.procedure(rc);
    } catch (const RunEnded&) {
      throw;
    } catch (...) {
      // A failing product must not keep the others from being reported.
    }
    if (step.pauseAfter) os::Sleep(1000);
  }
}

void RunDetailsOnlySequence(RunContext& rc) { RunSequence(rc, kDetailsOnlySteps); }
void RunGatewaySequence(RunContext& rc) { RunSequence(rc, kGatewaySteps); }
void RunSiteSequence(RunContext& rc) { RunSequence(rc, kSiteSteps); }

void SelectXmlHttpProgId(RunContext& rc) {
  try {
    const std::string system = GetSpecialfolder(rc, 37);
    if (os::FileExists(system + "\\msxml4.dll")) {
      rc.XmlHttpProgId = "MSXML2.ServerXMLHTTP.4.0";
    } else if (os::FileExists(system + "\\msxml3.dll")) {
      rc.XmlHttpProgId = "MSXML2.ServerXMLHTTP.3.0";
    } else {
      rc.XmlHttpProgId = "MSXML2.ServerXMLHTTP.2.0";
    }
  } catch (...) {
  }
}

void ReRegisterScriptingRuntime(RunContext& rc) {
  os::ProcessHandle process;
  uint32_t pid = 0;
  // The retried statement shows whether the registration helped.
  (void)os::CreateProcess("regsvr32 -s " + os::GetSystemDirectory() + "\\scrrun.dll", true, &process,
                          &pid);
}

void FailRun(RunContext& rc, long number, const std::string& description) {
  try {
    WriteLog(rc, "ERR : in Main :: " + std::to_string(number) + ":" + description);
  } catch (...) {
  }
  try {
    WriteStatusLine(rc, "Desc=" + std::to_string(number));
    WriteStatusLine(rc, "LastRunStatusCode=FAILED");
  } catch (...) {
  }
  try {
    StoreLastRunTime(rc);
  } catch (...) {
  }
  try {
    CopyStatusToPMStatus(rc);
  } catch (...) {
  }
  EndRun(rc);
}

void ChooseModeAndRun(RunContext& rc) {
  if (rc.UpdateExclusion != -1 && rc.UpdateExclusion != 0) {
    WriteLog(rc, "MSG : Resource is excluded from Antivirus Exclusion Update");
    RunDetailsOnlySequence(rc);
    return;
  }
  const bool qrta = rc.AgentType == "QRTA";
  if (!qrta && rc.AgentType != "VXNA") return;

  if (!fncGetClientInfo(rc)) EndRun(rc);
  rc.DefIndexPath = rc.AppFolder + "\\" + kDefIndexFileName;
  if (!DownloadFile(rc, rc.GatewayBaseUrl + kDefIndexFileName, kDefIndexFileName)) {
    WriteLog(rc, "ERR : Failed to Download NavDefDownload.ini From Server: " + rc.GatewayBaseUrl);
    if (qrta) {
      RunSiteSequence(rc);
      return;
    }
  }
  if (!ReadINIfile(rc)) {
    if (qrta) {
      WriteLog(rc, "ERR : Failed to read " + rc.DefIndexPath + ". So Proceeding for Site Update");
      RunSiteSequence(rc);
      return;
    }
    WriteLog(rc, "ERR : Failed to read " + rc.DefIndexPath + ". ");
  }
  // "VXNA" runs the gateway sequence whatever became of the index.
  RunGatewaySequence(rc);
}

int Main() {
  RunContext rc;
  try {
    if (AnotherInstanceRunning()) return kExitSecondInstance;
    RunStatement(rc, [&] { OpenRunLog(rc); });
    RunStatement(rc, [&] { rc.RunStartTime = FormatLogTime(os::Now()); });
    RunStatement(rc, [&] {
      if (ToUpper(TrimSpaces(os::GetCommandLineArgs())) == "FORCE") {
        WriteLog(rc, "MSG : Executing Forceful AntiVirus Update");
      } else if (!ChkLastRunTime(rc)) {
        EndRun(rc);
      }
    });
    RunStatement(rc, [&] {
      if (!GetoutputPath(rc)) EndRun(rc);
    });
    RunStatement(rc, [&] { subPreExistingFiles(rc); });
    RunStatement(rc, [&] {
      fncWriteStatusFile(rc);
      rc.RecordWritten = false;
    });
    RunStatement(rc, [&] { SelectXmlHttpProgId(rc); });
    RunStatement(rc, [&] { fncCreateWMIObject(rc, "WIN32_OPERATINGSYSTEM"); });
    RunStatement(rc, [&] { DecideUpdateExclusion(rc); });
    RunStatement(rc, [&] { ChooseModeAndRun(rc); });
    RunStatement(rc, [&] { subUpdatePID(rc); });
    RunStatement(rc, [&] { StoreLastRunTime(rc); });
    RunStatement(rc, [&] {
      if (rc.AgentType == "VXNA") fncCreateAVXML(rc);
    });
    RunStatement(rc, [&] { CopyStatusToPMStatus(rc); });
    RunStatement(rc, [&] { subDeleteUnwantedFiles(rc); });
    EndRun(rc);
  } catch (const RunEnded& end) {
    return end.exitCode;
  }
}
