#include "run/status.h"

#include <cstdio>

#include "platform/filewrite.h"
#include "platform/regfiles.h"
#include "products/record.h"
#include "base/error.h"
#include "platform/log.h"
#include "base/text.h"
#include "base/dates.h"
#include "update/outcome.h"

namespace {

std::string ErrorText(const RtError& e) { return std::to_string(e.number) + " " + e.description; }

bool EndsWithNoCase(const std::string& s, const std::string& suffix) {
  return s.size() >= suffix.size() && EqualsNoCase(s.substr(s.size() - suffix.size()), suffix);
}

}  // namespace

std::string StatusFileNameFor(const std::string& regId, const os::LocalTime& t) {
  return "defRecord_" + regId + "_AV_" + FormatFileTime(t) + ".ini";
}

namespace {

// The status file is written whole with every line, so that whatever stops
// the run leaves it with the lines written so far and never torn.
void RewriteStatusFile(RunContext& rc, std::string_view failureLine) {
  // A failure is logged, and the next line writes the whole text again.
  (void)WriteFileChecked(rc, rc.AppFolder + "\\" + rc.StatusFileName, rc.StatusText, failureLine);
}

}  // namespace

void WriteStatusLine(RunContext& rc, const std::string& text) {
  try {
    if (!rc.StatusOpen) return;
    rc.StatusText += ControlsToSpaces(text) + "\r\n";
    RewriteStatusFile(rc, "ERR : Could not write the status file ");
  } catch (...) {
  }
}

void fncWriteStatusFile(RunContext& rc) {
  try {
    // The name changes every second; a second run within the same second
    // waits for a free name instead of replacing the first run's file.
    os::LocalTime now = os::Now();
    for (int attempt = 0; attempt < 5; ++attempt) {
      const std::string name = StatusFileNameFor(rc.RegId, now);
      if (!os::FileExists(rc.AppFolder + "\\" + name) &&
          !os::FileExists(rc.AgentInstallPath + "PMStatus\\" + name)) {
        break;
      }
      os::Sleep(1000);
      now = os::Now();
    }
    rc.StatusFileName = StatusFileNameFor(rc.RegId, now);
    const os::LocalTime next = AddSeconds(now, 4 * 3600);
    // The six header lines go to the disk in one write; a failure names its
    // cause, and later lines try again with the whole text.
    rc.StatusOpen = true;
    rc.StatusText.clear();
    for (const std::string& line :
         {std::string("[STATUS_INFO]"), "REGID=" + rc.RegId, std::string("PID=Antivirus Update"),
          "SysID=" + rc.ExeVersion, "LastRunDateTime=" + FormatLogTime(now),
          "NextRunDateTime=" + FormatLogTime(next)}) {
      rc.StatusText += ControlsToSpaces(line) + "\r\n";
    }
    RewriteStatusFile(rc, "ERR : Function fncWriteStatusFile. Could not write ");
  } catch (...) {
    WriteLog(rc, "ERR : Function fncWriteStatusFile. ErrDesc: " + ErrorText(CurrentError()));
  }
}

void subUpdatePID(RunContext& rc) {
  try {
    if (AVPresence_check(rc)) {
      UpdateOutcomeText(rc);
      WriteStatusLine(rc, "Desc= " + rc.StatusDescription);
      WriteStatusLine(rc, rc.RecordWritten ? "LastRunStatusCode=SUCCESS" : "LastRunStatusCode=FAILED");
      return;
    }
    if (!TrimSpaces(rc.StatusDescription).empty()) {
      UpdateOutcomeText(rc);
      WriteStatusLine(rc, "Desc=" + rc.StatusDescription);
    } else {
      WriteStatusLine(rc, "Desc=NOTSUPPORTED_NOTINSTALLED");
    }
    WriteStatusLine(rc, "LastRunStatusCode=FAILED");
  } catch (...) {
    WriteLog(rc, "ERR : Procedure subUpdatePID. ErrDesc: " + ErrorText(CurrentError()));
  }
}

bool FncCheck4ValidPID(RunContext& rc, const std::string& path) {
  try {
    for (const char* key : {"REGID", "PID", "LastRunStatusCode"}) {
      std::string value;
      if (os::GetPrivateProfileString("STATUS_INFO", key, "", 255, path, &value) == 0 ||
          TrimSpaces(value).empty()) {
        return false;
      }
    }
    return true;
  } catch (...) {
    WriteLog(rc, "ERR : in FncCheck4ValidPID " + ErrorText(CurrentError()));
    return false;
  }
}

bool MoveFileTo(RunContext& rc, const std::string& source, const std::string& destination) {
  try {
    return CopyFileChecked(rc, source, destination, true, "ERR : Could not move ");
  } catch (...) {
    return false;
  }
}

bool CopyStatusToPMStatus(RunContext& rc) {
  try {
    rc.StatusOpen = false;
    if (rc.StatusFileName.empty()) return false;
    const std::string local = rc.AppFolder + "\\" + rc.StatusFileName;
    if (FncCheck4ValidPID(rc, local)) {
      // A missing or refusing PMStatus folder leaves the file here for the
      // next run, with the cause in the log.
      if (!CopyFileChecked(rc, local, rc.AgentInstallPath + "PMStatus\\" + rc.StatusFileName, true,
                           "ERR : Could not hand over the status file ")) {
        return false;
      }
      WriteLog(rc, "MSG : Status File " + rc.StatusFileName + " Copied successfully to " +
                       rc.AgentInstallPath + "PMStatus");
      return true;
    }
    WriteLog(rc, "Deleteing Incomplete PID file " + local);
    if (const long err = os::DeleteFile(local); err != 0) {
      WriteLog(rc, "ERR : Could not delete " + local + ". ErrDesc: " + ErrorCause(rc, err));
    }
    return false;
  } catch (...) {
    return false;
  }
}

void subPreExistingFiles(RunContext& rc) {
  try {
    const std::string shortApp = GetShortpath(rc, rc.AppFolder);
    rc.AvgDefTxt = shortApp + "\\AVGDef.txt";
    rc.AvgInfoExe = shortApp + "\\cAvginfo.exe";
    rc.AvgDef85Txt = shortApp + "\\AVGDef85.txt";
    rc.AvgInfo85Exe = shortApp + "\\avginfo85.exe";

    // Temporaries of writes that a kill cut short: never complete files.
    for (const std::string& folder : {rc.AgentInstallPath + "Status", rc.AgentInstallPath + "PMStatus"}) {
      if (rc.AgentInstallPath.empty()) break;
      std::vector<std::string> names;
      if (os::ListFiles(folder, &names) != 0) continue;
      for (const std::string& name : names) {
        if (EndsWithNoCase(name, kTempSuffix)) DeleteFileLogged(rc, folder + "\\" + name);
      }
    }

    std::vector<std::string> names;
    (void)os::ListFiles(rc.AppFolder, &names);  // nothing listed, nothing to clear
    for (const std::string& name : names) {
      const std::string file = rc.AppFolder + "\\" + name;
      if (EndsWithNoCase(name, kTempSuffix)) {
        DeleteFileLogged(rc, file);
        continue;
      }
      const bool record = ContainsNoCase(name, "defrecord_");
      if (EndsWithNoCase(name, ".TXT") && record) {
        // Only a complete record is a report; a torn one (a run killed while
        // writing it) is removed, as an incomplete status file is.
        std::string bytes;
        if (os::ReadWholeFile(file, &bytes) == 0 && IsCompleteRecord(bytes)) {
          MoveFileTo(rc, file, rc.AgentInstallPath + "Status\\" + name);
        } else {
          WriteLog(rc, "MSG : Incomplete data file " + file);
          DeleteFileLogged(rc, file);
        }
      }
      const std::string trimmedLower = ToLower(TrimSpaces(name));
      if (ToUpper(name) == "NAVDEFDOWNLOAD.INI" || ToLower(name) == "vipredefver.txt" ||
          trimmedLower == "avgdef.txt" || trimmedLower == "avgdef85.txt" || trimmedLower == "defver.txt") {
        DeleteFileLogged(rc, file);
      }
      if (EndsWithNoCase(name, ".INI") && record) {
        if (FncCheck4ValidPID(rc, file)) {
          MoveFileTo(rc, file, rc.AgentInstallPath + "PMStatus\\" + name);
        } else {
          WriteLog(rc, "MSG : Incomplete PID file " + file);
          DeleteFileLogged(rc, file);
        }
      }
      if (name.find("SophosDefVer.txt") != std::string::npos || name.find("lpt$vpn") != std::string::npos) {
        DeleteFileLogged(rc, rc.AppFolder + "\\" + name);
      }
    }
  } catch (...) {
    WriteLog(rc, "ERR :in subPreExistingFiles. " + ErrorText(CurrentError()));
  }
}

void subDeleteUnwantedFiles(RunContext& rc) {
  try {
    WriteLog(rc, "MSG : Executing procedure subDeleteUnwantedFiles..");
    for (const char* name : {"\\CAInnDefinition.exe", "\\CAVetDefinition.exe", "\\defver.txt"}) {
      const std::string path = rc.AppFolder + name;
      if (os::FileExists(path)) {
        WriteLog(rc, "MSG : Deleting file " + path);
        if (const long err = os::DeleteFile(path); err != 0) {
          WriteLog(rc, "ERR : Could not delete " + path + ". ErrDesc: " + ErrorCause(rc, err));
        }
      }
    }
    // A folder named by a right double quotation mark (0x94 in the ANSI code page).
    const std::string stray = rc.AppFolder + "\\\x94";
    if (os::FolderExists(stray)) (void)os::DeleteFolder(stray);
  } catch (...) {
    WriteLog(rc, "ERR : in subDeleteUnwantedFiles. " + ErrorText(CurrentError()));
  }
}
