// AVG: the definition version comes from the cAvginfo.exe tool kept in the
// program's folder, which writes its report into a text file.
#include "base/error.h"
#include "base/text.h"
#include "platform/commandline.h"
#include "platform/log.h"
#include "platform/process.h"
#include "platform/regfiles.h"
#include "products/detection.h"
#include "products/file_text.h"
#include "products/products.h"
#include "products/record.h"
#include "products/tool_readers.h"

namespace {

constexpr const char* kWow64Uninstall = "SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr const char* kToolName = "cAvginfo.exe";
constexpr const char* kOutputName = "AVGDef.txt";

std::string Num(long n) { return std::to_string(n); }

// The long path of the tool (the program folder as found) and the short one.
std::string ToolPath(RunContext& rc) { return rc.AppFolder + "\\" + kToolName; }
std::string OutputPath(RunContext& rc) {
  return rc.AvgDefTxt.empty() ? rc.AppFolder + "\\" + kOutputName : rc.AvgDefTxt;
}

// One uninstall walk for a display name starting with "AVG"; false when the
// key did not open or nothing matched.
bool WalkForAvg(RunContext& rc, const std::string& keyPath, uint32_t access, bool skipToolbar) {
  bool found = false;
  const long err = WalkSubkeys(keyPath, access,
                               [&](const os::RegKey& subkey, const std::string&, const std::string&,
                                   const os::RegKey&) {
                                 const std::string name = TrimSpaces(ReadRegString(subkey, "DisplayName"));
                                 if (ToUpper(name).substr(0, 3) != "AVG") return true;
                                 if (skipToolbar && EqualsNoCase(name, "AVG Security Toolbar")) return true;
                                 WriteLog(rc, "MSG : '" + name + "' is installed.");
                                 found = true;
                                 return false;
                               });
  if (err != 0) LogKeyOpenFailure(rc, err, keyPath, OpenFailureDetail::kSystemText);
  return found;
}

bool fncCheckforAVGAV(RunContext& rc) {
  try {
    return WalkForAvg(rc, kUninstallKey, os::kKeyRead, false);
  } catch (...) {
    const RtError e = CurrentError();
    WriteLog(rc, "ERR : fncCheckforAVGAV. " + Num(e.number) + " " + e.description);
    return false;
  }
}

bool fncCheckforAVGAV64Bit(RunContext& rc) {
  try {
    if (WalkForAvg(rc, kWow64Uninstall, os::kKeyRead, true)) return true;
    if (WalkForAvg(rc, kUninstallKey, os::kKeyAllAccess | os::kKeyWow64_64Key, false)) return true;
    WriteLog(rc, "MSG : AVG is not installed.");
    return false;
  } catch (...) {
    const RtError e = CurrentError();
    WriteLog(rc, "ERR : fncCheckforAVGAV64Bit. " + Num(e.number) + " " + e.description);
    return false;
  }
}

// A small file "\PROGRAM" at the root of the program's drive is what an
// unquoted start of a path under "Program Files" leaves behind.
void RemoveStrayProgramFile(RunContext& rc) {
  const std::string drive = rc.AppFolder.substr(0, 2);
  const std::string stray = drive + "\\PROGRAM";
  uint64_t size = 0;
  if (os::FileExists(stray) && os::GetFileSize(stray, &size) == 0 && size < 2048) (void)os::DeleteFile(stray);
}

bool fncCreateAVGBatch(RunContext& rc) {
  const std::string output = OutputPath(rc);
  // In the program's folder, not at the root of the system drive, and
  // written afresh.
  const std::string batch = rc.AppFolder + "\\AVGs64.bat";
  try {
    WriteLog(rc, "MSG : In fncCreateAVGBatch");
    const std::string shortFolder = GetShortpath(rc, rc.AppFolder);
    const std::string folder = BatchQuoted(rc, shortFolder, "the AVG tool");
    if (folder.empty()) return false;
    const std::vector<std::string> lines = {"cd\\", rc.AppFolder.substr(0, 2), "cd \"" + folder + "\"",
                                            std::string(kToolName) + " " + kOutputName};
    if (!WriteBatchFile(rc, batch, lines)) return false;
    WriteLog(rc, "MSG : Created file " + batch);
    WriteLog(rc, "Contents in  " + batch);
    WriteLog(rc, lines[0]);
    WriteLog(rc, lines[2]);
    WriteLog(rc, lines[3]);

    std::string quotedBatch;
    bool ok = false;
    if (QuoteArgument(rc, batch, QuoteFor::kCmdLine, "the AVG tool", &quotedBatch)) {
      const std::string command = CmdCommandLine(quotedBatch);
      WriteLog(rc, "MSG : Executing " + command);
      ToolProcess tool;
      const long err = StartTool(command, &tool);
      os::Sleep(5000);
      if (err == 0) {
        WriteLog(rc, "MSG : Successfully executed " + command);
        WriteLog(rc, "MSG : Sleeping for 1 min");
        os::Sleep(60000);
        // The report is read now: a tool still at work is ended with all it started.
        EndToolTree(rc, tool);
        ok = os::FileExists(output);
        WriteLog(rc, ok ? "MSG : Successfully created " + output : "ERR : Failed to create " + output);
      } else {
        const RtError e = RtError::FileNotFound();
        WriteLog(rc, "ERR : Failed to execute " + command + " Error info:" + Num(e.number) + " " + e.description);
      }
    }
    RemoveStrayProgramFile(rc);
    (void)os::DeleteFile(batch);
    return ok;
  } catch (...) {
    const RtError e = CurrentError();
    WriteLog(rc, "ERR : in fncCreateAVGBatch : " + Num(e.number) + " " + e.description);
    (void)os::DeleteFile(batch);
    return false;
  }
}

bool fncAVGExecuteShell(RunContext& rc) {
  try {
    const std::string tool = ToolPath(rc);
    const std::string output = OutputPath(rc);
    WriteLog(rc, "MSG : Executing fncAVGExecuteShell, " + tool);
    WriteLog(rc, "MSG : Calling Shell Function");
    std::string parameter;
    if (!QuoteArgument(rc, output, QuoteFor::kCreateProcess, "the AVG tool", &parameter)) return false;
    std::string code, text;
    uint32_t timeout = 0;
    bool ok = false;
    if (fncShellExecuteWait(rc, tool, parameter, &code, &text, &timeout)) {
      os::Sleep(10000);
      ok = os::FileExists(output);
      WriteLog(rc, ok ? "MSG : Successfully created " + output
                      : "MSG : Failed to create " + output + " from fncAVGExecuteShell");
    }
    RemoveStrayProgramFile(rc);
    return ok;
  } catch (...) {
    const RtError e = CurrentError();
    WriteLog(rc, "ERR : in fncAVGExecuteShell : " + Num(e.number) + " " + e.description);
    return false;
  }
}

}  // namespace

std::string AvgCategoryOf(const std::string& line) {
  if (line.compare(0, 6, "AVG 17") == 0) return "AVG 2017";
  for (const char* year : {"AVG 2016", "AVG 2015", "AVG 2014", "AVG 2013", "AVG 2012"})
    if (line.compare(0, 8, year) == 0) return year;
  if (line.compare(0, 6, "AVG 10") == 0) return "AVG 10";
  for (const char* old : {"AVG 9", "AVG 8"})
    if (line.compare(0, 5, old) == 0) return old;
  return {};
}

std::string AvgVersionOf(const std::string& line) {
  if (line.size() <= 4) return {};
  const size_t blank = line.find(' ', 4);
  return line.substr(4, blank == std::string::npos ? std::string::npos : blank - 4);
}

AvgOutput ParseAvgOutput(const std::vector<std::string>& lines) {
  AvgOutput out;
  for (const std::string& line : lines) {
    if (line.find("AVG") == std::string::npos) continue;
    out.category = AvgCategoryOf(line);
    break;
  }
  if (out.category.empty()) return out;
  for (const std::string& line : lines) {
    if (line.find("AVI") == std::string::npos) continue;
    out.version = CheckedDefinition(AvgVersionOf(line));
    out.ok = !out.version.empty();
    break;
  }
  return out;
}

bool fncReadAVGDef(RunContext& rc) {
  const std::string path = OutputPath(rc);
  try {
    WriteLog(rc, "MSG : Executing function fncReadAVGDef..");
    rc.AVGCategory.clear();
    rc.AVGDefVersion.clear();
    if (!os::FileExists(path)) return false;
    const std::vector<std::string> lines = ReadTextLines(path);
    for (const std::string& line : lines) WriteLog(rc, "MSG : Content in AVGDef.txt : " + TrimSpaces(line));
    WriteLog(rc, "MSG : Reading " + path);
    const AvgOutput out = ParseAvgOutput(lines);
    WriteLog(rc, "MSG : AVG Cat Version is : " + out.category);
    if (out.category.empty()) return false;
    rc.AVGCategory = out.category;
    if (!out.ok) {
      WriteLog(rc, "MSG : AVG Not Supported");
      return false;
    }
    rc.AVGDefVersion = out.version;
    WriteLog(rc, "MSG : AVG Version is : " + out.version);
    return true;
  } catch (...) {
    const RtError e = CurrentError();
    WriteLog(rc, "ERR : In fncReadAVGDef " + Num(e.number) + "  " + e.description);
    rc.AVGCategory.clear();
    rc.AVGDefVersion.clear();
    return false;
  }
}

bool fncGetAVGInfo(RunContext& rc) {
  try {
    // Only the AVG tool itself is ended for its window: a title is no proof.
    uint32_t processId = 0;
    if (const uintptr_t window = os::FindWindow("cAvgInfo"); window != 0)
      ProcessTerminate(rc, &processId, window, ToolPath(rc));
    WriteLog(rc, "MSG : Executing fncGetAVGInfo..");
    const std::string tool = ToolPath(rc);
    const std::string shortTool = rc.AvgInfoExe.empty() ? tool : rc.AvgInfoExe;
    if (!os::FileExists(tool) && !os::FileExists(shortTool)) {
      WriteLog(rc, "MSG : " + GetShortpath(rc, rc.AppFolder) + "\\cAvginfo.exe does not exists");
      return false;
    }
    RemoveStaleOutput(rc, OutputPath(rc));
    GetShortpath(rc, tool);
    const bool haveShortPath = rc.ShortPathResult == "True";
    WriteLog(rc, std::string("MSG : Short path found value for AVG : ") + (haveShortPath ? "True" : "False"));
    if (haveShortPath) {
      if (fncCreateAVGBatch(rc)) return true;
      WriteLog(rc, "MSG : Executing Shell file Mode ");
      return fncAVGExecuteShell(rc);
    }
    WriteLog(rc, "MSG : Executing Batch file Mode");
    return fncCreateAVGBatch(rc);
  } catch (...) {
    const RtError e = CurrentError();
    WriteLog(rc, "ERR : In fncGetAVGInfo " + Num(e.number) + "  " + e.description);
    return false;
  }
}

void AVGDetails(RunContext& rc) {
  try {
    const bool installed = rc.Is64BitOs ? fncCheckforAVGAV64Bit(rc) : fncCheckforAVGAV(rc);
    if (!installed) {
      if (!rc.Is64BitOs) WriteLog(rc, "MSG : AVG is not installed.");
      return;
    }
    if (!fncGetAVGInfo(rc)) return;
    os::Sleep(5000);
    const bool read = fncReadAVGDef(rc);
    (void)os::DeleteFile(OutputPath(rc));
    if (!read) return;
    rc.ProductFound = true;
    WriteRecord(rc, rc.AVGCategory, rc.AVGDefVersion, "", rc.AVGDefVersion, "", "", "0");
  } catch (...) {
    const RtError e = CurrentError();
    WriteLog(rc, "ERR : in sub AVGDetails : " + Num(e.number) + " " + e.description);
  }
}
