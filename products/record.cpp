#include "products/record.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

#include "platform/filewrite.h"
#include "platform/regfiles.h"
#include "base/error.h"
#include "platform/log.h"
#include "base/text.h"

std::string NormaliseDefinition(const std::string& value) {
  std::string v = ReplaceAll(value, "\r\n", "");
  v = ReplaceAll(v, " ", "");
  return TrimSpaces(TrimAtNull(v));
}

std::string DataFileName(const std::string& regId, const os::LocalTime& t) {
  // Seconds since midnight to the hundredth, as a single-precision number
  // prints: 33307.25 -> "3330725", a whole number without fraction digits.
  const float seconds = static_cast<float>(t.hour * 3600 + t.minute * 60 + t.second) +
                        static_cast<float>(t.millisecond / 10) / 100.0f;
  char timer[32];
  std::snprintf(timer, sizeof timer, "%.7g", static_cast<double>(seconds));
  return "defrecord_" + regId + "_AV_" + FormatFileTime(t) + ReplaceAll(timer, ".", "") + ".txt";
}

std::string XmlEscape(const std::string& value) {
  std::string out;
  for (char c : value) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      default: out += c;
    }
  }
  return out;
}

namespace {

// Keeps the data file at nine lines whatever a value from outside holds.
std::string OneLine(const std::string& value) { return ControlsToSpaces(value); }

constexpr const char* kRecordTags[] = {"regid",    "sdt",      "category",   "bcurdef", "blastdef",
                                       "acurdef",  "alastdef", "bscanengno", "status"};

// A name no other record of this run has taken: within one hundredth of a
// second two records would share a name and the later would replace the earlier.
std::string UniqueDataFilePath(RunContext& rc) {
  for (;;) {
    const std::string name = DataFileName(rc.RegId, os::Now());
    const bool taken =
        std::find(rc.DataFileNamesUsed.begin(), rc.DataFileNamesUsed.end(), name) !=
            rc.DataFileNamesUsed.end() ||
        os::FileExists(rc.AppFolder + "\\" + name) ||
        os::FileExists(rc.AgentInstallPath + "Status\\" + name);
    if (!taken) {
      rc.DataFileNamesUsed.push_back(name);
      return rc.AppFolder + "\\" + name;
    }
    os::Sleep(10);
  }
}

}  // namespace

bool fncsetLogFile_New(RunContext& rc, const std::string& category, std::string& beforeCurrent,
                       std::string& beforeLast, std::string& afterCurrent, std::string& afterLast,
                       const std::string& scanEngine, const std::string& status) {
  try {
    for (std::string* field : {&beforeCurrent, &beforeLast, &afterCurrent, &afterLast}) {
      *field = TrimSpaces(OneLine(NormaliseDefinition(*field)));
    }

    if (rc.AgentType == "VXNA") {
      auto element = [](const char* tag, const std::string& value) {
        return std::string("<") + tag + ">" + XmlEscape(value) + "</" + tag + ">";
      };
      rc.AntivirusElements += "<Antivirus>" + element("Category", OneLine(category)) +
                              element("BCurrentDefinition", beforeCurrent) +
                              element("BLastDefinition", beforeLast) +
                              element("ACurrentDefinition", afterCurrent) +
                              element("ALastDefinition", afterLast) +
                              element("BScanEngineNumber", OneLine(scanEngine)) +
                              element("StatusDetail", OneLine(status)) + "</Antivirus>";
      rc.RecordWritten = true;
      return true;
    }

    const std::string path = UniqueDataFilePath(rc);
    rc.DataFilePath = path;
    const std::string values[] = {TrimSpaces(rc.RegId), rc.RunStartTime, category, beforeCurrent, beforeLast,
                                  afterCurrent, afterLast, scanEngine, status};
    std::string content;
    for (size_t i = 0; i < std::size(kRecordTags); ++i) {
      content += std::string("<") + kRecordTags[i] + ">" + OneLine(values[i]) + "</" + kRecordTags[i] + ">\r\n";
    }
    // All nine lines reach the disk together, or the record is not written.
    if (!WriteFileChecked(rc, path, content, "ERR : Failed to write data to DATA File ")) return false;
    WriteLog(rc, "MSG : Successfully created file " + path);
    rc.RecordWritten = true;

    const std::string status_folder = rc.AgentInstallPath + "Status\\";
    if (fncCopyFile(rc, status_folder)) {
      WriteLog(rc, "MSG : File " + path + " Copied Successfully To " + status_folder);
    } else {
      WriteLog(rc, "ERR : File " + path + " Could Not be Copied To " + status_folder);
    }
    return true;
  } catch (...) {
    const RtError e = CurrentError();
    WriteLog(rc, "ERR : function fncsetLogFile_New. ErrDesc: " + std::to_string(e.number) + " " + e.description);
    return false;
  }
}

bool WriteRecord(RunContext& rc, const std::string& category, std::string beforeCurrent,
                 std::string beforeLast, std::string afterCurrent, std::string afterLast,
                 const std::string& scanEngine, const std::string& status) {
  return fncsetLogFile_New(rc, category, beforeCurrent, beforeLast, afterCurrent, afterLast,
                           scanEngine, status);
}

void WriteCALog(RunContext& rc, const std::string& category, const std::string& before,
                const std::string& after) {
  try {
    if (!after.empty()) {
      WriteRecord(rc, category, before, "", after, "", "", "1");
    } else {
      rc.StatusDescription += "Failed to read " + category + " AV Definition.";
    }
  } catch (...) {
    const RtError e = CurrentError();
    WriteLog(rc, "ERR : Function WriteCALog. ErrDesc: " + std::to_string(e.number) + " " + e.description);
  }
}

bool AVPresence_check(RunContext& rc) {
  try {
    if (!rc.ProductFound || !rc.RecordWritten) {
      WriteRecord(rc, "NOTSUPPORTED_NOTINSTALLED", "", "", "", "", "", "0");
      return false;
    }
    return true;
  } catch (...) {
    const RtError e = CurrentError();
    WriteLog(rc, "ERR : in AVPresence_check " + std::to_string(e.number) + "  " + e.description);
    return false;
  }
}

bool IsCompleteRecord(const std::string& bytes) {
  size_t pos = 0;
  for (const char* tag : kRecordTags) {
    const std::string open = std::string("<") + tag + ">";
    const std::string close = std::string("</") + tag + ">\r\n";
    if (bytes.compare(pos, open.size(), open) != 0) return false;
    const size_t end = bytes.find("\r\n", pos);
    if (end == std::string::npos) return false;
    const size_t lineEnd = end + 2;
    if (lineEnd - pos < open.size() + close.size() ||
        bytes.compare(lineEnd - close.size(), close.size(), close) != 0) {
      return false;
    }
    // One line per field: no bare CR or LF inside a value.
    if (bytes.find_first_of("\r\n", pos) != end) return false;
    pos = lineEnd;
  }
  return pos == bytes.size();
}
