#include "run/status.h"

#include <cstdio>

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

void WriteStatusLine(RunContext& rc, const std::string& text) {
  try {
    if (rc.StatusStream.valid()) os::WriteFileHandle(rc.StatusStream, text + "\r\n");
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
    const std::string path = rc.AppFolder + "\\" + rc.StatusFileName;
    if (os::OpenFile(path, os::OpenMode::kCreateAlways, &rc.StatusStream) != 0) {
      throw RtError::PathNotFound();
    }
    const os::LocalTime next = AddSeconds(now, 4 * 3600);
    WriteStatusLine(rc, "[STATUS_INFO]");
    WriteStatusLine(rc, "REGID=" + rc.RegId);
    WriteStatusLine(rc, "PID=Antivirus Update");
    WriteStatusLine(rc, "SysID=" + rc.ExeVersion);
    WriteStatusLine(rc, "LastRunDateTime=" + FormatLogTime(now));
    WriteStatusLine(rc, "NextRunDateTime=" + FormatLogTime(next));
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

bool MoveFileTo(const std::string& source, const std::string& destination) {
  try {
    if (os::CopyFile(source, destination, false) != 0) return false;
    os::SetFileAttributes(source, os::kFileAttributeNormal);
    return os::DeleteFile(source) == 0;
  } catch (...) {
    return false;
  }
}

bool CopyStatusToPMStatus(RunContext& rc) {
  try {
    rc.StatusStream.Close();
    if (rc.StatusFileName.empty()) return false;
    const std::string local = rc.AppFolder + "\\" + rc.StatusFileName;
    if (FncCheck4ValidPID(rc, local)) {
      // A missing PMStatus folder leaves the file here for the next run.
      if (os::CopyFile(local, rc.AgentInstallPath + "PMStatus\\" + rc.StatusFileName, false) != 0) {
        return false;
      }
      os::DeleteFile(local);
      WriteLog(rc, "MSG : Status File " + rc.StatusFileName + " Copied successfully to " +
                       rc.AgentInstallPath + "PMStatus");
      return true;
    }
    WriteLog(rc, "Deleteing Incomplete PID file " + local);
    os::DeleteFile(local);
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

    std::vector<std::string> names;
    os::ListFiles(rc.AppFolder, &names);
    for (const std::string& name : names) {
      const std::string file = rc.AppFolder + "\\" + name;
      const bool record = ContainsNoCase(name, "defrecord_");
      if (EndsWithNoCase(name, ".TXT") && record) {
        MoveFileTo(file, rc.AgentInstallPath + "Status\\" + name);
      }
      const std::string trimmedLower = ToLower(TrimSpaces(name));
      if (ToUpper(name) == "NAVDEFDOWNLOAD.INI" || ToLower(name) == "vipredefver.txt" ||
          trimmedLower == "avgdef.txt" || trimmedLower == "avgdef85.txt" || trimmedLower == "defver.txt") {
        DeleteFileLogged(rc, file);
      }
      if (EndsWithNoCase(name, ".INI") && record) {
        if (FncCheck4ValidPID(rc, file)) {
          MoveFileTo(file, rc.AgentInstallPath + "PMStatus\\" + name);
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
        os::DeleteFile(path);
      }
    }
    // A folder named by a right double quotation mark (0x94 in the ANSI code page).
    const std::string stray = rc.AppFolder + "\\\x94";
    if (os::FolderExists(stray)) os::DeleteFolder(stray);
  } catch (...) {
    WriteLog(rc, "ERR : in subDeleteUnwantedFiles. " + ErrorText(CurrentError()));
  }
}
