#include "run/gate.h"

#include <cctype>
#include <cmath>
#include <cstdlib>

#include "platform/webpost.h"
#include "platform/filewrite.h"
#include "platform/regfiles.h"
#include "base/dates.h"
#include "base/error.h"
#include "platform/identity.h"
#include "platform/log.h"
#include "base/text.h"

namespace {

constexpr int64_t kHoursBetweenRuns = 4;
constexpr int64_t kHoursBetweenDownloads = 24;
// The longest exclusion reply kept in LastAVDefUpd.ini.
constexpr size_t kStoredReplyMaxChars = 255;

std::string ReadGateValue(const std::string& section, const std::string& key, uint32_t size,
                          const std::string& ini) {
  std::string value;
  (void)os::GetPrivateProfileString(section, key, "", size, ini, &value);
  return TrimAtNull(value);
}

os::LocalTime ToDate(const std::string& text) {
  os::LocalTime t;
  if (!ParseDateTime(text, &t)) throw RtError::TypeMismatch();
  return t;
}

// Both sides go through the stored text form, so the comparison is to the second.
os::LocalTime NowToSecond() { return ToDate(FormatLastRunTime(os::Now())); }

void ReadInternetDownloadTimes(RunContext& rc, const os::LocalTime& now) {
  struct Vendor {
    const char* key;
    const char* logText;
    bool InternetDownloadFlags::*flag;  // nullptr: read and logged only
  };
  static const Vendor kVendors[] = {
      {"Norton", "MSG : Last Norton Definition Downloaded :: ", &InternetDownloadFlags::norton},
      {"MCAfee", "MSG : Last MCAfee Definition Downloaded :: ", &InternetDownloadFlags::mcafee},
      {"EScan", "MSG : Last EScan Definition Downloaded :: ", nullptr},
      {"MSE", "MSG : Last Microsoft SE Definition Downloaded :: ", &InternetDownloadFlags::mse},
      {"TrendMicro", "MSG : Last TrendMicro Definition Downloaded :: ",
       &InternetDownloadFlags::trendMicro},
      {"CA", "MSG : Last CA Definition Downloaded :: ", nullptr},
      {"Windows Defender", "MSG : Last Windows Defender Definition Downloaded :: ", nullptr},
  };
  for (const Vendor& v : kVendors) {
    const std::string value = ReadGateValue("LastInternetDownload", v.key, 100, rc.RunGateIniPath);
    if (TrimSpaces(value).empty()) {
      if (v.flag != nullptr) rc.InternetDownloadDue.*v.flag = true;
      continue;
    }
    WriteLog(rc, v.logText + value);
    const bool due = HourBoundariesBetween(ToDate(value), now) > kHoursBetweenDownloads;
    if (v.flag != nullptr) rc.InternetDownloadDue.*v.flag = due;
  }
}

// How an exclusion reply decides, live or from its stored copy: the number
// at its start as the server's page writes it (leading blanks skipped, no
// number gives 0), rounded half-to-even into 16 bits, or out of range.
struct ExclusionNumber {
  bool inRange = true;
  int16_t value = 0;
  bool operator==(const ExclusionNumber&) const = default;
};

ExclusionNumber ReadExclusionNumber(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\r' || text[i] == '\n')) ++i;
  size_t end = i;
  if (end < text.size() && (text[end] == '+' || text[end] == '-')) ++end;
  const size_t digitsStart = end;
  while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end]))) ++end;
  if (end < text.size() && text[end] == '.') {
    ++end;
    while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end]))) ++end;
  }
  const bool hasDigits = text.find_first_of("0123456789", digitsStart) < end;
  if (hasDigits && end < text.size() && (text[end] == 'e' || text[end] == 'E')) {
    size_t e = end + 1;
    if (e < text.size() && (text[e] == '+' || text[e] == '-')) ++e;
    if (e < text.size() && std::isdigit(static_cast<unsigned char>(text[e]))) {
      while (e < text.size() && std::isdigit(static_cast<unsigned char>(text[e]))) ++e;
      end = e;
    }
  }
  const double value = hasDigits ? std::strtod(text.substr(i, end - i).c_str(), nullptr) : 0.0;
  const double rounded = std::nearbyint(value);  // default rounding: half to even
  if (!(rounded >= -32768.0 && rounded <= 32767.0)) return {false, 0};
  return {true, static_cast<int16_t>(rounded)};
}

// The stored value is read back with room for this many characters.
constexpr uint32_t kStoredReplyChars = 9;

std::string ReadStoredReply(const std::string& ini) {
  return ReadGateValue("LastExcludeStatus", "ExcludeUpdate", kStoredReplyChars + 1, ini);
}

// The text to keep for a reply: the reply as received whenever its stored
// copy decides as it did. The INI file drops the blanks around a value and
// quotes around it, cannot hold a line break or a NUL, and is read back
// nine characters long; a reply those would change is kept as the number it
// decided, so that a run without an answer decides as the last answer did.
std::string StoredReplyText(const std::string& reply, const ExclusionNumber& decided) {
  const std::string copy = TrimBlanks(reply);
  bool plain = !copy.empty() && copy.front() != '"' && copy.front() != '\'' && copy.back() != '"' &&
               copy.back() != '\'';
  for (const char c : reply) {
    const unsigned char u = static_cast<unsigned char>(c);
    if ((u < 0x20 && c != ' ') || u == 0x7F) plain = false;
  }
  if (plain && ReadExclusionNumber(copy.substr(0, kStoredReplyChars)) == decided) return reply;
  return std::to_string(decided.value);
}

// No usable reply: the last stored one decides, and without one the computer
// counts as excluded.
void DecideFromStoredValue(RunContext& rc, const std::string& ini) {
  if (!os::FileExists(ini)) {
    WriteLog(rc, "ERR : Webpost to check for update exclusion failed and LastAVDefUpd.ini not found");
    rc.UpdateExclusion = 1;
    return;
  }
  const std::string stored = ReadStoredReply(ini);
  if (stored.empty()) {
    WriteLog(rc, "MSG : LastExcludeStatus Section not found in LastAVDefUpd.ini");
    rc.UpdateExclusion = 1;
    return;
  }
  const ExclusionNumber number = ReadExclusionNumber(stored);
  // A hand-edited value beyond 16 bits is treated like none at all: excluded.
  if (!number.inRange) {
    WriteLog(rc, "ERR : Exclusion reply out of range : " + LogExcerpt(stored));
    rc.UpdateExclusion = 1;
    return;
  }
  rc.UpdateExclusion = number.value;
}

}  // namespace

bool ChkLastRunTime(RunContext& rc) {
  bool result = false;
  try {
    rc.RunGateIniPath = rc.AppFolder + "\\" + "LastAVDefUpd.ini";
    if (os::FileExists(rc.RunGateIniPath)) {
      const std::string stored = ReadGateValue("LastRunDateTime", "LastRun", 100, rc.RunGateIniPath);
      const os::LocalTime lastRun = ToDate(stored);
      const os::LocalTime now = NowToSecond();
      if (ToSeconds(lastRun) > ToSeconds(now)) {
        WriteLog(rc, "MSG : Last Run Date For Antivirus Update is Greater Than Current Date. Last Run date time is " +
                         stored + " And Now its " + FormatGeneralDateTime(os::Now()));
        DeleteFileLogged(rc, rc.RunGateIniPath);
        result = false;
      } else if (HourBoundariesBetween(lastRun, now) >= kHoursBetweenRuns) {
        result = true;
      } else {
        result = false;
        WriteLog(rc, "MSG : Application Previous run time is less than " + std::to_string(kHoursBetweenRuns) +
                         " HOURS. Last run Time " + stored + " and now it's " +
                         FormatLastRunTime(os::Now()));
      }
    } else {
      // A failed store is logged; this run goes on.
      (void)WriteIniValue(rc, rc.RunGateIniPath, "LastRunDateTime", "LastRun", FormatLastRunTime(os::Now()));
      result = true;
    }
    if (result) ReadInternetDownloadTimes(rc, NowToSecond());
    return result;
  } catch (...) {
    const RtError e = CurrentError();
    WriteLog(rc, "ERR : in function ChkLastRunTime : " + std::to_string(e.number) + e.description);
    return true;
  }
}

void DecideUpdateExclusion(RunContext& rc) {
  const std::string base = GetServerUrl(rc, "wpavupdtexclude");
  if (base.empty() || base == "/") {
    rc.UpdateExclusion = 1;
    return;
  }
  const std::string ini = rc.AppFolder + "\\" + "LastAVDefUpd.ini";
  rc.WebPostReply = FncWebPost(rc, ExclusionPostBody(rc), WebPostUrl(rc, base, "wpavupdtexclude"), nullptr);
  if (rc.WebPostReply.empty()) {
    DecideFromStoredValue(rc, ini);
    return;
  }
  const ExclusionNumber number = ReadExclusionNumber(rc.WebPostReply);
  // Beyond 16 bits the reply is no answer we can act on; rather than end the
  // run, decide as if the server had not answered, and keep it out of the file.
  if (!number.inRange) {
    WriteLog(rc, "ERR : Exclusion reply out of range : " + LogExcerpt(rc.WebPostReply));
    DecideFromStoredValue(rc, ini);
    return;
  }
  rc.UpdateExclusion = number.value;
  // Stored on one line and bounded; only the leading characters are read back.
  if (number.value != -1) {
    // A failed store is logged; this run still decides by the reply.
    (void)WriteIniValue(rc, ini, "LastExcludeStatus", "ExcludeUpdate",
                        ControlsToSpaces(StoredReplyText(rc.WebPostReply, number).substr(0, kStoredReplyMaxChars)));
  }
}

bool ChkAVGUpdatedToday(RunContext& rc) {
  try {
    const std::string path = rc.AppFolder + "\\" + "LastAVGUpdated.ini";
    if (!os::FileExists(path)) {
      const long err = ReplaceFileAtomically(path, "[LASTAVGUPDATED]\r\nUpdatedon=" + FormatLogTime(os::Now()) + "\r\n");
      if (err != 0) {
        WriteLog(rc, "ERR : Could not write " + path + ". ErrDesc: " + ErrorCause(rc, err));
        throw FileSystemError(err);
      }
      return true;
    }
    WriteLog(rc, "MSG : Checking For Last AVG Updated date time...");
    const std::string stored = ReadGateValue("LASTAVGUPDATED", "Updatedon", 255, path);
    const bool result = DayBoundariesBetween(ToDate(stored), os::Now()) > 0;
    if (!result) WriteLog(rc, "MSG : AVG Has Been Updated For The Day..\"");
    return result;
  } catch (...) {
    CurrentError();
    WriteLog(rc, "ERR : Error While Checking For Last AVG Updated date time...");
    return false;
  }
}
