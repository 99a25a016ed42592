#include "update/gateway_index.h"

#include <vector>

#include "base/dates.h"
#include "base/error.h"
#include "base/text.h"
#include "platform/log.h"
#include "platform/transfer.h"

namespace {

bool IsZeroDate(const os::LocalTime& t) {
  const os::LocalTime& z = NortonValues::kZeroDate;
  return t.year == z.year && t.month == z.month && t.day == z.day;
}

os::LocalTime DateOnly(const os::LocalTime& t) {
  os::LocalTime d;
  d.year = t.year;
  d.month = t.month;
  d.day = t.day;
  return d;
}

bool AllDigits(const std::string& s) {
  return !s.empty() && s.find_first_not_of("0123456789") == std::string::npos;
}

// The number pattern "####-##-##": the last two digits, two before them, the
// rest in front. Text that is not a number is left as it is.
std::string DigitGrouped(const std::string& text) {
  if (!AllDigits(text) || text.size() <= 4) return text;
  const size_t n = text.size();
  return text.substr(0, n - 4) + "-" + text.substr(n - 4, 2) + "-" + text.substr(n - 2);
}

// The line after "[DefDate-i32]". Every parse goes through ParseDateTime, so
// the result never depends on the machine's locale.
void NortonGatewayDate(RunContext& rc, const std::string& raw) {
  WriteLog(rc, "MSG : Norton Definition on Gateway :: " + raw);
  os::LocalTime& field = rc.GatewayIndex.NortonDefDate;
  std::string text = TrimSpaces(raw);
  os::LocalTime parsed;
  if (text.size() == 8) {
    text = text.substr(0, 4) + "-" + text.substr(4, 2) + "-" + text.substr(6, 2);
    WriteLog(rc, "MSG : Norton Definition on Gateway after splitting(####-##-##) :: " + text);
    os::LocalTime again;
    if (ParseDateTime(text, &parsed) && ParseDateTime(FormatRecordDate(parsed), &again)) {
      field = DateOnly(again);
    }
  } else if (ParseDateTime(text, &parsed)) {
    os::LocalTime again;
    if (ParseDateTime(FormatIsoDate(parsed), &again)) {
      field = DateOnly(again);
      WriteLog(rc, "MSG : Norton Definition on Gateway after formating(YYYY-MM-DD) :: " + FormatShortDate(field));
    }
  }
  if (IsZeroDate(field)) {
    WriteLog(rc, "MSG : Failed formating to YYYY-MM-DD");
    if (ParseDateTime(DigitGrouped(text), &parsed)) field = DateOnly(parsed);
    WriteLog(rc, "MSG : Norton Definition on Gateway after splitting(####-##-##) :: " + FormatShortDate(field));
  }
}

// A value fit to keep: printable text of a sane length.
bool UsableValue(const std::string& value) {
  if (value.size() > kDefIndexMaxLineChars) return false;
  for (const char ch : value) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if ((c < 0x20 && c != '\t') || c == 0x7F) return false;
  }
  return true;
}

enum class Header {
  kNortonPath, kNortonDate, kMse, kMcAfee, kMcAfeePath, kTrend, kTrendPath, kCa, kCaInoculatePath, kCaPath,
};

struct HeaderRow {
  const char* text;
  Header header;
};

// In the order they are tested.
const HeaderRow kHeaders[] = {
    {"[DefPath-i32]", Header::kNortonPath},
    {"[DefDate-i32]", Header::kNortonDate},
    {"[MSEDefVersion]", Header::kMse},
    {"[DefVersion]", Header::kMcAfee},
    {"[McAfeeDefPath]", Header::kMcAfeePath},
    {"[TrendMicroDefVersion]", Header::kTrend},
    {"[TrendMicroDefPath]", Header::kTrendPath},
    {"[CAVetDefVersion]", Header::kCa},
    {"[CAInculateDefPath]", Header::kCaInoculatePath},
    {"[CAVetDefPath]", Header::kCaPath},
};

// Stores one header's value; true when the header counts towards the result.
bool Store(RunContext& rc, Header header, const std::string& line) {
  GatewayIndexValues& index = rc.GatewayIndex;
  const std::string value = TrimSpaces(line);
  switch (header) {
    case Header::kNortonPath:
      index.NortonDefPath = value;
      return true;
    case Header::kNortonDate:
      NortonGatewayDate(rc, line);
      return true;
    case Header::kMse:
      index.MSEDefVersion = value;
      WriteLog(rc, "MSG : Microsoft SE Definition on Gateway :: " + value);
      return true;
    case Header::kMcAfee:
      index.McAfeeDefVersion = value;
      WriteLog(rc, "MSG : McAfee Definition on Gateway :: " + value);
      return true;
    case Header::kMcAfeePath:
      index.McAfeeDefPath = value;
      return false;
    case Header::kTrend:
      index.TrendMicroDefVersion = value;
      WriteLog(rc, "MSG : TrendMicro Definition on Gateway :: " + value);
      return true;
    case Header::kTrendPath:
      index.TrendMicroDefPath = value;
      return false;
    case Header::kCa:
      index.CAVetDefVersion = value;
      WriteLog(rc, "MSG : Cavets Definition on Gateway :: " + value);
      return true;
    case Header::kCaInoculatePath:
      index.CAInculateDefPath = value;
      return false;
    case Header::kCaPath:
      index.CAVetDefPath = value;
      return false;
  }
  return false;
}

}  // namespace

bool ReadINIfile(RunContext& rc) {
  bool result = false;
  WriteLog(rc, "MSG : in Function ReadINIFile");
  const std::string path = rc.DefIndexPath;
  try {
    if (!os::FileExists(path)) {
      WriteLog(rc, "ERR : " + path + " Does Not exists");
      return false;
    }
    uint64_t size = 0;
    if (os::GetFileSize(path, &size) == 0 && size > kDefIndexMaxBytes) {
      // An index is a few hundred bytes; this is some other page or file.
      WriteLog(rc, "ERR : Function ReadINIfile " + path + " holds " + std::to_string(size) +
                       " bytes, more than a definition index (at most " + std::to_string(kDefIndexMaxBytes) +
                       "); not read");
      return false;
    }
    std::string bytes;
    const long err = os::ReadWholeFile(path, &bytes);
    if (err != 0) {
      WriteLog(rc, "ERR : Function ReadINIfile " + std::to_string(err) + " " + path + " cannot be read");
      return false;
    }
    const std::vector<std::string> lines = SplitLines(bytes);
    for (size_t i = 0; i < lines.size(); ++i) {
      const std::string trimmed = TrimSpaces(lines[i]);
      for (const HeaderRow& row : kHeaders) {
        if (trimmed != row.text) continue;
        if (i + 1 >= lines.size()) {
          WriteLog(rc, "ERR : Function ReadINIfile 62 Input past end of file");
          break;
        }
        // The value line is taken as a value, never tested as a header.
        const std::string& value = lines[++i];
        if (!UsableValue(value)) {
          WriteLog(rc, "ERR : Function ReadINIfile the value of " + std::string(row.text) + " on line " +
                           std::to_string(i + 1) + " is not text of at most " +
                           std::to_string(kDefIndexMaxLineChars) + " characters; ignored");
          break;
        }
        if (Store(rc, row.header, value)) result = true;
        break;
      }
    }
    return result;
  } catch (...) {
    const RtError e = CurrentError();
    WriteLog(rc, "ERR : Function ReadINIfile " + std::to_string(e.number) + " " + e.description);
    return result;
  }
}

bool DownloadFile(RunContext& rc, const std::string& url, const std::string& fileName) {
  try {
    const std::string destination = rc.AppFolder + "\\" + fileName;
    const std::string shown = UrlForLog(url);
    WriteLog(rc, "MSG : Downloading : " + shown);
    WriteLog(rc, "MSG : Downloading to : " + destination);
    bool fitName = !fileName.empty() && fileName.find_first_of("\\/:") == std::string::npos;
    bool fitUrl = !url.empty();
    for (const char ch : fileName) fitName = fitName && static_cast<unsigned char>(ch) >= 0x20;
    for (const char ch : url) fitUrl = fitUrl && static_cast<unsigned char>(ch) > 0x20 && ch != 0x7F;

    bool ok = false;
    if (!fitName || !fitUrl) {
      WriteLog(rc, std::string("MSG : Download refused :: ") +
                       (fitName ? "the address is empty or holds spaces or control characters"
                                : "the file name is not a plain file name"));
    } else {
      const FetchResult r = UrlDownloadToFileSafely(rc, url, destination);
      ok = r.error == 0;
      if (!ok) {
        std::string why = r.status != 0 && (r.status < 200 || r.status > 299)
                              ? "HTTP status " + std::to_string(r.status)
                              : TransferErrorText(rc, r.error);
        WriteLog(rc, "MSG : Download failed :: " + why);
      }
    }
    if (ok) {
      WriteLog(rc, "MSG : Successfully Downloaded from " + shown + " to " + destination);
    } else {
      WriteLog(rc, "ERR : Failed to download from " + shown);
    }
    uint64_t size = 0;
    if (fitName && os::FileExists(destination) && os::GetFileSize(destination, &size) == 0) {
      WriteLog(rc, "MSG : Size of " + destination + " :: " + std::to_string(size) + " bytes");
    }
    return ok;
  } catch (...) {
    const RtError e = CurrentError();
    WriteLog(rc, "ERR : Function DownloadFile " + std::to_string(e.number) + "\t" + e.description + "Dll Err " +
                     std::to_string(os::GetLastError()));
    return false;
  }
}
