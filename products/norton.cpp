// Norton / Symantec: found by its uninstall entry; definitions are the
// CurDefs/LastDefs dates of the product's definfo.dat.
#include "products/norton.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "platform/osinfo.h"
#include "platform/regfiles.h"
#include "products/detection.h"
#include "products/record.h"
#include "base/error.h"
#include "platform/log.h"
#include "base/text.h"
#include "products/products.h"

namespace {

using Names = std::vector<std::string_view>;

// The two uninstall-list searches differ only in view, texts and name tables.
struct SymantecView {
  const char* functionName;
  const char* entryLine;
  uint32_t access;
  const char* privilegeSeparator;  // between the code and "Does not have ..."
  bool logsNames;                  // the display name and skipped entries
  Names contains;                  // qualifying: D contains one of these ...
  Names equals;                    // ... or equals one of these
  Names cloud;                     // D equals: SymantecCloudFound
  Names location;                  // D equals: read InstallLocation
  bool locationBackslash;          // append "\" to the location read
};

const Names kQualifyingContains = {"Norton AntiVirus",         "Symantec AntiVirus",
                                   "Norton 360",               "Symantec Endpoint Protection",
                                   "Norton Internet Security", "Symantec Mail Security"};
const Names kV5Contains = {"Norton AntiVirus", "Norton Internet Security",
                           "Symantec.cloud - Endpoint Protection", "Norton 360",
                           "Symantec Endpoint Protection"};
const Names kExcludedEquals = {"SYMANTEC ANTIVIRUS 4.3 FOR MICROSOFT SHAREPOINT",
                               "SYMANTEC ENDPOINT PROTECTION MANAGER", "NORTON ANTIVIRUS PARENT MSI"};

Names With(Names head, const Names& tail) {
  head.insert(head.end(), tail.begin(), tail.end());
  return head;
}

const SymantecView kView32 = {
    "CheckForSymenticProducts",
    "MSG : Executing Function CheckForSymenticProducts..",
    os::kKeyRead,
    ". ",
    true,
    kQualifyingContains,
    {"Norton Security", "Norton Security with Backup", "Symantec", "Symantec Client Security",
     "Norton Security Suite", "Symantec.cloud - Endpoint Protection", "Norton Business Suite",
     "Symantec Endpoint Protection Cloud"},
    {"Symantec.cloud - Endpoint Protection", "Symantec Endpoint Protection Cloud",
     "Symantec Endpoint Protection.cloud"},
    {"Norton Security", "Norton Security with Backup", "Symantec Endpoint Protection",
     "Symantec Endpoint Protection Cloud", "Symantec Endpoint Protection.cloud",
     "Norton Internet Security"},
    true,
};

const SymantecView kView64 = {
    "CheckForSymenticProductsfor64OS",
    "Executing Function CheckForSymenticProductsfor64OS..",
    os::kKeyRead | os::kKeyWow64_64Key,
    " ",
    false,
    With(kQualifyingContains, {"Symantec.cloud - Endpoint Protection"}),
    {"Norton Security", "Norton Security with Backup", "Symantec", "Symantec Client Security",
     "Norton Security Suite", "Norton Business Suite", "Symantec Endpoint Protection Cloud"},
    {"Symantec.cloud - Endpoint Protection"},
    {"Norton Security", "Norton Security with Backup"},
    false,
};

bool EqualsAny(const std::string& d, const Names& names) {
  for (std::string_view n : names)
    if (EqualsNoCase(d, n)) return true;
  return false;
}

bool ContainsAny(const std::string& d, const Names& names) {
  for (std::string_view n : names)
    if (ContainsNoCase(d, n)) return true;
  return false;
}

// One qualifying entry: flags and location; true when it is not skipped.
bool ClassifyEntry(RunContext& rc, const SymantecView& view, const os::RegKey& subkey,
                   const std::string& d) {
  NortonValues& n = rc.Norton;
  n.SymantecDisplayName = d;
  if (view.logsNames) WriteLog(rc, d);
  if (ContainsAny(d, kV5Contains)) n.NortonV5Package = true;
  if (EqualsNoCase(d, "Norton Business Suite")) n.NortonBusinessSuiteFound = true;
  if (EqualsAny(d, view.cloud)) n.SymantecCloudFound = true;
  if (EqualsAny(d, view.location)) {
    std::string location = ReadRegString(subkey, "InstallLocation");
    // An entry without a location leaves none, rather than the bare "\".
    if (view.locationBackslash && !location.empty() && location.back() != '\\') location += '\\';
    n.StrNortonInstallLocation = location;
  }
  if (EqualsAny(ToUpper(d), kExcludedEquals) || ContainsNoCase(d, "Symantec Mail Security for SMTP")) {
    if (view.logsNames) WriteLog(rc, "SKipped:: " + d);
    return false;
  }
  WriteLog(rc, "MSG : Symentic Product : '" + d + "' is installed.");
  return true;
}

bool SearchSymantec(RunContext& rc, const SymantecView& view) {
  try {
    WriteLog(rc, view.entryLine);
    WriteLog(rc, std::string("MSG : Searching for Norton Anti-virus in registry key :: ") + kUninstallKey);
    bool found = false;
    const long err = WalkSubkeys(
        kUninstallKey, view.access,
        [&](const os::RegKey& subkey, const std::string&, const std::string&, const os::RegKey&) {
          const std::string d = TrimSpaces(ReadRegString(subkey, "DisplayName"));
          if (d.empty()) return true;
          if (!ContainsAny(d, view.contains) && !EqualsAny(d, view.equals)) return true;
          found = ClassifyEntry(rc, view, subkey, d);
          return !found;
        });
    if (err == os::kErrorAccessDenied) {
      WriteLog(rc, "ERR : " + std::to_string(err) + view.privilegeSeparator +
                       "Does not have sufficient privilege for " + kUninstallKey);
      return false;
    }
    if (err != 0) {
      LogKeyOpenFailure(rc, err, kUninstallKey, OpenFailureDetail::kSystemText);
      return false;
    }
    return found;
  } catch (...) {
    const RtError e = CurrentError();
    WriteLog(rc, std::string("ERR : function ") + view.functionName + ". " + std::to_string(e.number) +
                     " " + e.description);
    return false;
  }
}

// ---- The definfo.dat search -------------------------------------------------------

constexpr const char* kSepAppsKey = "SOFTWARE\\Symantec\\Symantec Endpoint Protection\\InstalledApps";
constexpr const char* kNortonKey = "SOFTWARE\\Norton\\{0C55C096-0F1D-4F28-AAA2-85EF591126E7}";
constexpr const char* kNortonUpperKey = "SOFTWARE\\NORTON\\{0C55C096-0F1D-4F28-AAA2-85EF591126E7}";
constexpr const char* kSymantecAppsKey = "SOFTWARE\\Symantec\\InstalledApps";

struct SearchStep {
  const char* relative;
  const char* message;
};

const SearchStep kAppDataSteps[] = {
    {"Data\\Definitions\\VirusDefs\\Definfo.dat", "MSG : Searching for 1: "},
    {"Data\\Definitions\\SDSDefs\\Definfo.dat", "MSG : Searching for 2:"},
    {"Data\\Definitions\\BASHDefs\\Definfo.dat", "MSG : Searching for 3: "},
};

const SearchStep kInstallSteps[] = {
    {"NortonData\\22.2.0.31\\Definitions\\IPSDefs\\definfo.dat", "MSG : Searching for 4: "},
    {"NortonData\\22.8.0.50\\Definitions\\AntispamDefs\\definfo.dat", "MSG : Searching for 5:"},
    {"NortonData\\22.9.3.13\\Definitions\\AntispamDefs\\definfo.dat", "MSG : Searching for 6:"},
    {"NortonData\\22.10.1.10\\Definitions\\SDSDefs\\definfo.dat", "MSG : Searching for 7:"},
    {"NortonData\\22.10.1.10\\Definitions\\AntispamDefs\\definfo.dat", "MSG : Searching for 8:"},
    {"NortonData\\22.11.2.7\\Definitions\\AntispamDefs\\definfo.dat", "MSG : Searching for 9:"},
};

const SearchStep kVersionFolderSteps[] = {
    {"\\Definitions\\AntispamDefs\\definfo.dat", "MSG : Searching for 10: "},
    {"\\Definitions\\SDSDefs\\definfo.dat", "MSG : Searching for 11:"},
};

// The subfolders of a folder, in listing order; the last one is the version folder.
std::vector<std::string> Subfolders(const std::string& folder) {
  std::vector<std::string> names;
  (void)os::ListFolders(folder, &names);  // an unlistable folder has no subfolders to look in
  return names;
}

struct Search {
  RunContext& rc;
  std::string candidate;  // strVirusDef
  std::string v;

  bool Exists() const { return os::FileExists(candidate); }
  void Adopt(const std::string& path, const char* message, bool installFolderStep) {
    candidate = v = path;
    WriteLog(rc, message + path);
    if (installFolderStep) rc.Norton.NortonPathSearchUsed = true;
  }
};

std::string FindDefinitionFile(RunContext& rc) {
  Search s{rc, {}, {}};
  WriteLog(rc, std::string("MSG : Checking Registry key ") + kSepAppsKey);
  s.v = fncRegKeyValue(rc, kSepAppsKey, "SEPAppDataDir");
  if (s.v.empty()) s.v = fncRegKeyValue(rc, kNortonKey, "InstallDir");
  if (!TrimSpaces(s.v).empty()) {
    const std::string base = s.v;
    for (const SearchStep& step : kAppDataSteps)
      if (&step == &kAppDataSteps[0] || !s.Exists()) s.Adopt(base + step.relative, step.message, true);
  }

  WriteLog(rc, "MSG :   StrNortonInstallLocation : " + rc.Norton.StrNortonInstallLocation);
  const std::string location = TrimSpaces(rc.Norton.StrNortonInstallLocation);
  if (!location.empty()) {
    for (const SearchStep& step : kInstallSteps) {
      WriteLog(rc, "MSG : " + location + step.relative);
      if (!s.Exists()) s.Adopt(location + step.relative, step.message, true);
    }
    const std::string nortonData = location + "NortonData";
    if (os::FolderExists(nortonData)) {
      std::string last;
      for (const std::string& name : Subfolders(nortonData)) {
        WriteLog(rc, "MSG : Searching for subfolder : " + name);
        last = name;
      }
      for (const SearchStep& step : kVersionFolderSteps) {
        const std::string path = nortonData + "\\" + last + step.relative;
        WriteLog(rc, "MSG : " + path);
        if (!s.Exists()) s.Adopt(path, step.message, true);
      }
    } else {
      WriteLog(rc, "MSG : Folder not found " + nortonData);
    }
    WriteLog(rc, "MSG : checking 123 : strVirusDef : " + s.candidate);
  }

  if (s.Exists() && !s.v.empty()) return s.candidate;
  WriteLog(rc, "MSG : Definition file " + s.candidate + " does not exists!!");
  WriteLog(rc, std::string("MSG : Checking Registry key ") + kNortonKey + "\\SharedDefs[AVDEFMGR]");
  s.v = fncRegKeyValue(rc, std::string(kNortonKey) + "\\SharedDefs", "AVDEFMGR");
  if (!TrimSpaces(s.v).empty()) {
    // AVDEFMGR names a folder; the file sits in its parent.
    std::string folder = s.v.substr(0, s.v.size() - 1);
    const size_t slash = folder.rfind('\\');
    folder = slash == std::string::npos ? std::string() : folder.substr(0, slash + 1);
    s.Adopt(folder + "Definfo.dat", "MSG : Searching for 12:", false);
  }

  if (s.Exists() && !s.v.empty()) return s.candidate;
  WriteLog(rc, "MSG : " + s.candidate + " does not exists!!");
  WriteLog(rc, std::string("MSG : Checking Registry key ") + kNortonUpperKey + "[APPDATA]");
  s.v = fncRegKeyValue(rc, kNortonUpperKey, "APPDATA");
  if (!s.v.empty()) {
    if (s.v.back() != '\\') s.v += '\\';
    s.Adopt(s.v + "Definitions\\VirusDefs\\Definfo.dat", "MSG : Searching for 13 ", false);
  }

  if (s.Exists() && !s.v.empty()) return s.candidate;
  WriteLog(rc, "MSG : " + s.candidate + " does not exists!!");
  WriteLog(rc, std::string("MSG : Checking Registry key ") + kSymantecAppsKey + "[AVENGEDEFS]");
  s.Adopt(fncRegKeyValue(rc, kSymantecAppsKey, "AVENGEDEFS") + "DEFINFO.dat", "MSG : Searching for 14: ",
          false);
  if (!s.Exists())
    s.Adopt(TrimSpaces(fncPrgFileDir(rc)) + "Symantec Shared\\VirusD~1\\DEFINFO.dat",
            "MSG : Searching for 15:", false);
  return s.candidate;
}

// ---- Parsing ----------------------------------------------------------------------

// A real definfo.dat has a handful of short lines; these bound what a damaged
// or foreign file can make the run scan and log.
constexpr size_t kMaxLines = 1000;
constexpr size_t kMaxShown = 200;

// File text as the log shows it: control bytes visible, long text cut.
std::string Shown(const std::string& text) {
  std::string out = text.substr(0, kMaxShown);
  for (char& c : out)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  if (text.size() > kMaxShown) out += "...(" + std::to_string(text.size()) + " characters)";
  return out;
}

std::string ReplaceAllNoCase(const std::string& text, std::string_view word) {
  std::string out;
  size_t pos = 0;
  const std::string upper = ToUpper(text), needle = ToUpper(word);
  for (size_t hit; (hit = upper.find(needle, pos)) != std::string::npos; pos = hit + needle.size())
    out += text.substr(pos, hit - pos);
  return out + text.substr(pos);
}

// Split(text, ".")(0) and (1): an empty text has no pieces at all.
std::string BeforeDot(const std::string& text) {
  if (text.empty()) throw RtError{9, "Subscript out of range"};
  return text.substr(0, text.find('.'));
}

std::string AfterDot(const std::string& text) {
  const size_t dot = text.find('.');
  return dot == std::string::npos ? std::string() : text.substr(dot + 1);
}

// "YYYY-MM-DD" as a date; anything else is the type mismatch of a bad date.
os::LocalTime DateOf(const std::string& text) {
  int y = 0, m = 0, d = 0;
  char tail = 0;
  if (text.size() < 8 || text.size() > 10 || text[4] != '-' ||
      std::sscanf(text.c_str(), "%4d-%2d-%2d%c", &y, &m, &d, &tail) != 3)
    throw RtError::TypeMismatch();
  for (char c : text)
    if (c != '-' && !std::isdigit(static_cast<unsigned char>(c))) throw RtError::TypeMismatch();
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  if (y < 100 || m < 1 || m > 12 || d < 1 || d > kDays[m - 1] + (m == 2 && leap ? 1 : 0))
    throw RtError::TypeMismatch();
  os::LocalTime t;
  t.year = y;
  t.month = m;
  t.day = d;
  return t;
}

bool Later(const os::LocalTime& a, const os::LocalTime& b) {
  return std::tie(a.year, a.month, a.day) > std::tie(b.year, b.month, b.day);
}

// Reads the file as a text stream does: line by line until an empty line or
// the end. Returns the result reached so far through *curRead.
void ParseDefinitionFile(RunContext& rc, const std::string& bytes, bool beforeUpdate, bool* curRead) {
  NortonValues& n = rc.Norton;
  std::string cur, last, lastRevision;
  size_t pos = 0, lines = 0;
  const auto atEndOfLine = [&] { return pos >= bytes.size() || bytes[pos] == '\r' || bytes[pos] == '\n'; };
  while (!atEndOfLine()) {
    if (++lines > kMaxLines) {
      WriteLog(rc, "MSG : Definfo.dat has more than " + std::to_string(kMaxLines) +
                       " lines; the rest is not read");
      break;
    }
    const size_t end = std::min(bytes.find_first_of("\r\n", pos), bytes.size());
    const std::string line = TrimSpaces(std::string_view(bytes).substr(pos, end - pos));
    pos = end;
    if (pos < bytes.size()) pos += bytes.compare(pos, 2, "\r\n") == 0 ? 2 : 1;
    if (line.empty()) continue;

    if (ToUpper(TrimSpaces(line.substr(0, 7))) == "CURDEFS") {
      WriteLog(rc, "MSG : Definfo :: " + Shown(line));
      const std::string value = ReplaceAll(ReplaceAllNoCase(line, "CURDEFS"), "=", "");
      cur = fncGeDtFrmt(rc, BeforeDot(value));
      if (value.find('.') != std::string::npos) n.CurDefsRevision = AfterDot(value);
      *curRead = true;
      WriteLog(rc, "MSG : CurDefs(formated to ####-##-##)::" + Shown(cur));
    } else if (ToUpper(TrimSpaces(line.substr(0, 8))) == "LASTDEFS") {
      WriteLog(rc, "MSG : Definfo :: " + Shown(line));
      const std::string value = ReplaceAll(ReplaceAllNoCase(line, "LASTDEFS"), "=", "");
      last = fncGeDtFrmt(rc, BeforeDot(value));
      lastRevision = AfterDot(value);
    }
  }

  if (cur.empty()) return;
  if (!last.empty()) {
    WriteLog(rc, "MSG : Comparing Definfo.dat definitions CurDefs " + Shown(cur) + " with LastDefs " +
                     Shown(last));
    if (Later(DateOf(last), DateOf(cur))) {
      WriteLog(rc, "MSG : Swapping CurDefs " + cur + " with LastDefs " + last);
      std::swap(cur, last);
      n.CurDefsRevision = lastRevision;
    } else {
      WriteLog(rc, "MSG : Proper definitions CurDefs " + cur + " with LastDefs " + last);
    }
  }
  if (beforeUpdate) {
    n.BeforeCurDefs = DateOf(cur);
    WriteLog(rc, "MSG : B4 update Norton definition(YYYY-MM-DD) ::" + cur);
    if (!last.empty()) n.BeforeLastDefs = DateOf(last);
  } else {
    n.AfterCurDefs = DateOf(cur);
    if (!last.empty()) n.AfterLastDefs = DateOf(last);
  }
}

void AppendSentence(RunContext& rc, const std::string& sentence) { rc.StatusDescription += sentence; }

// Format(text, "####-##-##"): digits fill the placeholders from the right,
// extra digits go in front; a text that is no number comes back as it is.
std::string FormatDatePattern(const std::string& text) {
  const std::string number = TrimSpaces(text);
  if (number.empty()) return text;
  for (char c : number)
    if (!std::isdigit(static_cast<unsigned char>(c))) return text;
  const std::string digits = number.substr(std::min(number.find_first_not_of('0'), number.size()));
  if (digits.size() > 28) throw RtError::Overflow();  // beyond the largest number a text converts to
  const std::string pattern = "####-##-##";
  std::string out;
  size_t left = digits.size();
  for (size_t i = pattern.size(); i-- > 0;) {
    if (pattern[i] == '-') {
      out.insert(out.begin(), '-');
    } else if (left > 0) {
      out.insert(out.begin(), digits[--left]);
    }
  }
  return digits.substr(0, left) + out;
}

}  // namespace

bool CheckForSymenticProducts(RunContext& rc) { return SearchSymantec(rc, kView32); }

bool CheckForSymenticProductsfor64OS(RunContext& rc) { return SearchSymantec(rc, kView64); }

std::string fncGeDtFrmt(RunContext& rc, const std::string& text) {
  try {
    const std::string result = FormatDatePattern(text);
    WriteLog(rc, "MSG : fncGeDtFrmt " + Shown(result));
    return result;
  } catch (...) {
    const RtError e = CurrentError();
    WriteLog(rc, "MSG : Function fncGeDtFrmt " + std::to_string(e.number) + "\t" + e.description);
    return {};
  }
}

std::string FormatRecordDate(const os::LocalTime& date) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02d/%02d/%04d", date.month, date.day, date.year);
  return buf;
}

bool readFileVirusDef(RunContext& rc, bool beforeUpdate, const std::string& mode) {
  bool curRead = false;
  try {
    const std::string path = FindDefinitionFile(rc);
    rc.Norton.DefinitionFile = path;
    if (!os::FileExists(path)) {
      WriteLog(rc, "MSG : " + path + " Not found");
      if (mode == "ServerUpdate" || mode == "AfterIntelligentUpdate") {
        AppendSentence(rc, "Norton : DefInfo.dat Not Found.");
        WriteLog(rc, "MSG : Norton " + mode + " : " + path + " Not Found.");
      }
      return false;
    }
    rc.StatusDescription.clear();
    WriteLog(rc, "MSG : File found " + path);
    std::string bytes;
    if (const long err = os::ReadWholeFile(path, &bytes); err != 0) throw FileSystemError(err);
    if (bytes.empty()) {
      WriteLog(rc, "Definfo.data is blank. unable to read the file");
      return false;
    }
    ParseDefinitionFile(rc, bytes, beforeUpdate, &curRead);
    return curRead;
  } catch (...) {
    const RtError e = CurrentError();
    AppendSentence(rc, "Norton : " + e.description + ".");
    WriteLog(rc, "ERR : Function readFileVirusDef " + std::to_string(e.number) + " " + e.description);
    return curRead;
  }
}

void NortonServer_Details(RunContext& rc) {
  try {
    if (!CheckForSymenticProducts(rc)) {
      fncCreateWMIObject(rc, "WIN32_OPERATINGSYSTEM");
      if (!rc.Is64BitOs || !CheckForSymenticProductsfor64OS(rc)) {
        WriteLog(rc, "MSG : No Symentic Product installed.");
        return;
      }
    }
    if (readFileVirusDef(rc, true, "ServerUpdate")) rc.ProductFound = true;
    const NortonValues& n = rc.Norton;
    const std::string current = FormatRecordDate(n.BeforeCurDefs);
    if (current == FormatRecordDate(NortonValues::kZeroDate)) {
      AppendSentence(rc, "Failed to read Norton AV Definition.");
      return;
    }
    const std::string last = FormatRecordDate(n.BeforeLastDefs);
    WriteRecord(rc, "NORTON", current, last, current, last, n.ScanEngine, "0");
  } catch (...) {
    const RtError e = CurrentError();
    WriteLog(rc, "ERR : in NortonServer_Details. " + std::to_string(e.number) + ":" + e.description);
  }
}
