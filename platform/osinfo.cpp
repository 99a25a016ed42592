#include "platform/osinfo.h"

#include "platform/commandline.h"

#include <cstdlib>

#include "platform/process.h"
#include "base/error.h"
#include "platform/filewrite.h"
#include "platform/regfiles.h"
#include "platform/log.h"
#include "base/text.h"

namespace {

std::string ErrorText(const RtError& e) { return std::to_string(e.number) + " " + e.description; }

std::vector<os::WmiObject> Instances(RunContext& rc, const std::string& className,
                                     const std::string& objectName) {
  std::vector<os::WmiObject> instances;
  if (!os::WmiInstancesOf(className, &instances)) {
    WriteLog(rc, "ERR : Failed to Create WMI Object - " + objectName);
    // Walking a collection that never came is what fails.
    throw RtError::ObjectRequired();
  }
  return instances;
}

void EnvironmentFallback(RunContext& rc) {
  try {
    std::string programFiles;
    // A missing variable leaves the text empty: a 32-bit system.
    (void)os::GetEnvironmentVariable("programfiles", &programFiles);
    if (ContainsNoCase(programFiles, "X86")) {
      rc.Is64BitOs = true;
      WriteLog(rc, "MSG : OS is 64 bit");
    } else {
      WriteLog(rc, "MSG : OS is 32 bit");
    }
    SubGetOSVersion(rc);
  } catch (...) {
    WriteLog(rc, "ERR : fncCreateWMIObject Environ(programfiles) - " + ErrorText(CurrentError()));
  }
}

}  // namespace

std::string fncCreateWMIObject(RunContext& rc, const std::string& objectName) {
  std::string result;
  try {
    for (const os::WmiObject& instance : Instances(rc, objectName, objectName)) {
      const std::string caption = instance.Get("Caption");
      WriteLog(rc, "MSG : " + caption);
      rc.OsCaption = caption;
      if (ContainsNoCase(caption, "x64") || IsWow64(rc) != 0) {
        rc.Is64BitOs = true;
        WriteLog(rc, "MSG : OS is 64Bit..");
      } else {
        WriteLog(rc, "MSG : OS is 32Bit..");
      }
      result = TrimSpaces(caption);
    }
    if (!rc.Is64BitOs) {
      for (const os::WmiObject& cs : Instances(rc, "Win32_ComputerSystem", objectName)) {
        const std::string type = cs.Get("SystemType");
        WriteLog(rc, "MSG : System Type :: " + type);
        if (ContainsNoCase(type, "x64")) rc.Is64BitOs = true;
      }
    }
    SubGetOSVersion(rc);
    return result;
  } catch (...) {
    WriteLog(rc, "ERR : fncCreateWMIObject ObjectName - " + objectName + " " + ErrorText(CurrentError()));
    EnvironmentFallback(rc);
    return result;
  }
}

bool SubGetOSVersion(RunContext& rc) {
  try {
    uint32_t major = 0, minor = 0;
    // A failed call leaves 0.0: "not Windows 8 and above", the safe answer.
    (void)os::GetVersionEx(&major, &minor);
    // The version is compared as the number "major.minor" reads as: 6.10 < 6.2.
    const double version = std::strtod((std::to_string(major) + "." + std::to_string(minor)).c_str(), nullptr);
    if (version >= 6.2) {
      rc.Windows8OrLater = true;
      WriteLog(rc, "MSG : This is Windows 8 and above Operating System.");
    } else {
      WriteLog(rc, "MSG : This is not a Windows 8 and above Operating System.");
    }
    WriteLog(rc, "MSG : subGetOSVersion Function return value : False");
  } catch (...) {
    WriteLog(rc, "ERR : in Function SubGetOSVersion " + ErrorText(CurrentError()));
  }
  return false;
}

long IsWow64(RunContext& rc) {
  try {
    bool wow64 = false;
    if (!os::IsWow64Process(&wow64)) return 0;
    return wow64 ? 1 : 0;
  } catch (...) {
    const RtError e = CurrentError();
    WriteLog(rc, " ERR : " + std::to_string(e.number) + e.description);
    return 0;
  }
}

void getWindowsName(RunContext& rc) {
  const std::string osinfo = rc.AgentInstallPath + "osinfo.txt";
  const std::string batch = rc.AgentInstallPath + "os.bat";
  try {
    const std::string caption = TrimSpaces(rc.OsCaption);
    if (!caption.empty()) {
      WriteLog(rc, "OS Name found by WMI query: " + caption);
      if (caption.find("Windows 8") != std::string::npos) {
        rc.OsName = "Windows 8";
      } else {
        WriteLog(rc, "Not Supported Operating System");
      }
      return;
    }
    WriteLog(rc, "No OS name found by WMI query");
    WriteLog(rc, "Attempting to get OS Name from dos command");
    // The output path goes into a batch line: a "%" there must be doubled, and
    // a path that cannot be quoted is not run at all.
    std::string outputPath;
    for (const char c : osinfo) outputPath += c == '%' ? std::string("%%") : std::string(1, c);
    const std::string command = "systeminfo | findstr /B /C:\"OS Name\">\"" + outputPath + "\"";
    WriteLog(rc, "Command Printed: " + command);
    if (const std::string reason = UnquotableReason(osinfo, QuoteFor::kBatchLine); !reason.empty()) {
      WriteLog(rc, "ERR : Refused to run the batch file: " + osinfo + " " + reason);
      DeleteFileLogged(rc, batch);
      return;
    }

    // Written afresh: lines left by an earlier run are never run again.
    if (const long err = ReplaceFileAtomically(batch, command + "\r\n"); err != 0) {
      throw FileSystemError(err);
    }
    os::Sleep(2000);
    // Started through cmd.exe with the path quoted: the program folder may hold
    // blanks and parentheses, and has no short form when 8.3 names are off.
    std::string startLine;
    if (!BatchCommandLine(rc, batch, &startLine)) {
      DeleteFileLogged(rc, batch);
      return;
    }
    ShellHidden(startLine);
    os::Sleep(10000);

    for (int attempt = 0; attempt <= 5; ++attempt) {
      if (os::FileExists(osinfo)) {
        WriteLog(rc, rc.AgentInstallPath + "osinfo.txt exists");
        std::string content;
        (void)os::ReadWholeFile(osinfo, &content);  // unreadable: no line, no name
        size_t start = 0;
        while (start < content.size()) {
          size_t end = content.find('\n', start);
          std::string line = content.substr(start, end == std::string::npos ? std::string::npos : end - start);
          if (!line.empty() && line.back() == '\r') line.pop_back();
          WriteLog(rc, "Line Read: " + line);
          if (line.find("Windows 8") != std::string::npos) rc.OsName = "Windows 8";
          if (end == std::string::npos) break;
          start = end + 1;
        }
        break;
      }
      os::Sleep(5000);
    }
  } catch (...) {
    WriteLog(rc, "ERR : getWindowsName " + ErrorText(CurrentError()));
  }
  DeleteFileLogged(rc, osinfo);
  DeleteFileLogged(rc, batch);
}
