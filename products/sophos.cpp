// Sophos: the definition comes from sav32cli.exe in the Sophos folder, run
// through a batch file with its report written to a text file.
#include "base/error.h"
#include "base/text.h"
#include "platform/commandline.h"
#include "platform/log.h"
#include "platform/osinfo.h"
#include "platform/process.h"
#include "platform/regfiles.h"
#include "products/detection.h"
#include "products/file_text.h"
#include "products/products.h"
#include "products/record.h"
#include "products/tool_readers.h"

namespace {

constexpr const char* kApplicationKey = "SOFTWARE\\Sophos\\SAVService\\Application";
constexpr uint32_t kToolTimeoutMs = 300000;

std::string Num(long n) { return std::to_string(n); }

bool WalkForSophos(RunContext& rc, uint32_t access, const char* errorPrefix) {
  try {
    bool found = false;
    const long err = WalkSubkeys(kUninstallKey, access,
                                 [&](const os::RegKey& subkey, const std::string&, const std::string&,
                                     const os::RegKey&) {
                                   const std::string name = TrimSpaces(ReadRegString(subkey, "DisplayName"));
                                   if (!ContainsNoCase(name, "Sophos Anti-Virus") &&
                                       !ContainsNoCase(name, "Sophos AntiVirus"))
                                     return true;
                                   WriteLog(rc, "MSG : '" + name + "' is installed.");
                                   found = true;
                                   return false;
                                 });
    if (err != 0) LogKeyOpenFailure(rc, err, kUninstallKey, OpenFailureDetail::kSystemText);
    return found;
  } catch (...) {
    const RtError e = CurrentError();
    WriteLog(rc, errorPrefix + Num(e.number) + " " + e.description);
    return false;
  }
}

bool ReadSophosPath(RunContext& rc, uint32_t access, const std::string& name) {
  try {
    WriteLog(rc, "MSG : in " + name);
    WriteLog(rc, std::string("MSG : Opening Registry key ") + kApplicationKey);
    os::RegKey key;
    const long err = os::RegOpenKeyEx(kApplicationKey, access, &key);
    if (err == os::kErrorFileNotFound) {
      WriteLog(rc, "ERR : Unable to locate BitDefender registry entries");
      return false;
    }
    if (err != 0) {
      WriteLog(rc, "ERR : Unable to open BitDefender registry entries");
      return false;
    }
    const std::string path = CheckedPath(TrimSpaces(ReadRegString(key, "Path")));
    WriteLog(rc, "MSG : Sophos installation path : " + path);
    if (path.empty()) {
      WriteLog(rc, "MSG : Registry Path found for Bitdefender, but file path not found");
      return false;
    }
    rc.SophosPath = GetShortpath(rc, path);
    WriteLog(rc, "MSG : Sophos installation path(Shortpath) : " + rc.SophosPath);
    return true;
  } catch (...) {
    const RtError e = CurrentError();
    WriteLog(rc, "ERR : " + name + " : " + Num(e.number) + " " + e.description);
    return false;
  }
}

// Logs the failure and appends it, as a sentence, to the status description.
void Fail(RunContext& rc, const std::string& text, bool logWithStop = false) {
  WriteLog(rc, "ERR : " + text + (logWithStop ? "." : ""));
  rc.StatusDescription += " " + text + ".";
}

}  // namespace

SophosOutput ParseSophosOutput(const std::vector<std::string>& rawLines) {
  SophosOutput out;
  auto valueAfter = [](const std::string& line, const std::string& label) {
    return TrimSpaces(ReplaceAll(ReplaceAll(line, label, ""), ":", ""));
  };
  for (const std::string& raw : rawLines) {
    const std::string line = TrimSpaces(raw);
    if (line.find("Engine version") != std::string::npos) {
      out.engine = valueAfter(line, "Engine version");
    } else if (line.find("Virus data version") != std::string::npos) {
      out.dataVersion = valueAfter(line, "Virus data version");
    } else if (line.find("Total viruses (with IDEs)") != std::string::npos) {
      out.total = valueAfter(line, "Total viruses (with IDEs)");
    } else if (line.find("IDE") != std::string::npos && line.find("Data file type") != std::string::npos) {
      ++out.ideFiles;
    }
  }
  return out;
}

void subCheckSophosPresence(RunContext& rc) {
  const std::string output = rc.AppFolder + "\\SophosDefVer.txt";
  const std::string batch = rc.AppFolder + "\\sophos.bat";
  try {
    bool found = false;
    if (WalkForSophos(rc, os::kKeyRead, "ERR : fncCheckforSophosAV. ")) {
      found = ReadSophosPath(rc, os::kKeyRead, "fncGetSophosInstallPathBit");
    } else {
      fncCreateWMIObject(rc, "WIN32_OPERATINGSYSTEM");
      if (rc.Is64BitOs && WalkForSophos(rc, os::kKeyRead | os::kKeyWow64_64Key, "ERR : fncCheckforSophosAVon64Bit. ")) {
        found = ReadSophosPath(rc, os::kKeyRead | os::kKeyWow64_64Key, "fncGetSophosInstallPath64Bit");
      } else {
        WriteLog(rc, "MSG : Sophos Anti-Virus is not installed.");
      }
    }
    if (found) {
      // The "\" goes on before the tool is looked for: a Path without it
      // would name a file beside the folder.
      std::string folder = WithBackslash(rc.SophosPath);
      const std::string tool = folder + "sav32cli.exe";
      if (!os::FileExists(tool)) {
        Fail(rc, "File not found " + tool, true);
      } else {
        if (folder.find(' ') != std::string::npos) folder = WithBackslash(GetShortpath(rc, folder));
        rc.SophosPath = folder;
        const std::string quotedTool = BatchQuoted(rc, folder + "sav32cli.exe", "the Sophos tool");
        const std::string quotedOutput = BatchQuoted(rc, output, "the Sophos tool");
        std::string start;
        if (!quotedTool.empty() && !quotedOutput.empty() && BatchCommandLine(rc, batch, &start)) {
          const std::string command = "\"" + quotedTool + "\" -v -p=\"" + quotedOutput + "\"";
          RemoveStaleOutput(rc, output);
          if (WriteBatchFile(rc, batch, {command}) && fncExecuteShell(rc, start, kToolTimeoutMs)) {
            WriteLog(rc, "MSG : Successfully executed " + command);
            os::Sleep(30000);
            std::string bytes;
            if (!os::FileExists(output)) {
              Fail(rc, "File not found " + output);
            } else if (os::ReadWholeFile(output, &bytes) != 0 || TrimBlanks(bytes).empty()) {
              Fail(rc, "No contents found in " + output);
            } else {
              const SophosOutput values = ParseSophosOutput(SplitTextLines(bytes));
              if (!values.engine.empty()) WriteLog(rc, "MSG : Sophos Engine Version :: " + values.engine);
              if (!values.dataVersion.empty())
                WriteLog(rc, "MSG : Sophos Virus data version :: " + values.dataVersion);
              if (!values.total.empty()) WriteLog(rc, "MSG : Sophos Total viruses (with IDEs) :: " + values.total);
              const std::string data = CheckedDefinition(values.dataVersion);
              const std::string total = CheckedDefinition(values.total);
              if (!data.empty() && !total.empty()) {
                rc.ProductFound = true;
                WriteRecord(rc, "Sophos", "", std::to_string(values.ideFiles), total + "(" + data + ")", "",
                            CheckedDefinition(values.engine), "0");
              } else {
                Fail(rc, "Failed to retrieve the Sophos definition", true);
              }
            }
          } else {
            Fail(rc, "Failed to execute " + command);
          }
          (void)os::DeleteFile(output);
          (void)os::DeleteFile(batch);
        }
      }
    }
  } catch (...) {
    const RtError e = CurrentError();
    WriteLog(rc, "ERR : subCheckSophosPresence. " + Num(e.number) + " " + e.description);
  }
  WriteLog(rc, std::string(88, '-'));
}
