#include "base/dates.h"

#include <cctype>
#include <cstdio>

#include "base/text.h"

namespace {

int64_t FloorDiv(int64_t a, int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

// Reads 1..maxDigits digits at s[*pos].
bool ReadNumber(const std::string& s, size_t* pos, size_t maxDigits, int* value) {
  size_t start = *pos;
  int v = 0;
  while (*pos < s.size() && *pos - start < maxDigits && std::isdigit(static_cast<unsigned char>(s[*pos]))) {
    v = v * 10 + (s[*pos] - '0');
    ++*pos;
  }
  if (*pos == start) return false;
  if (*pos < s.size() && std::isdigit(static_cast<unsigned char>(s[*pos]))) return false;
  *value = v;
  return true;
}

bool ReadMonthName(const std::string& s, size_t* pos, int* month) {
  static const char* const kNames[] = {"january", "february", "march",     "april",
                                       "may",     "june",     "july",      "august",
                                       "september", "october", "november", "december"};
  size_t end = *pos;
  while (end < s.size() && std::isalpha(static_cast<unsigned char>(s[end]))) ++end;
  const std::string word = ToLower(s.substr(*pos, end - *pos));
  if (word.size() < 3) return false;
  for (int m = 0; m < 12; ++m) {
    const std::string full = kNames[m];
    if (word == full || word == full.substr(0, 3)) {
      *month = m + 1;
      *pos = end;
      return true;
    }
  }
  return false;
}

}  // namespace

int DaysInMonth(int year, int month) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

std::string FormatGeneralDateTime(const DateTime& t) {
  const int hour12 = t.hour % 12 == 0 ? 12 : t.hour % 12;
  char buf[48];
  std::snprintf(buf, sizeof buf, "%d/%d/%04d %d:%02d:%02d %s", t.month, t.day, t.year, hour12,
                t.minute, t.second, t.hour < 12 ? "AM" : "PM");
  return buf;
}

bool ParseDateTime(const std::string& text, DateTime* out) {
  const std::string s = TrimBlanks(text);
  size_t pos = 0;
  DateTime t;
  size_t digits = 0;
  while (digits < s.size() && std::isdigit(static_cast<unsigned char>(s[digits]))) ++digits;
  if (digits == 4) {
    // Year first: "2026-12-07" or "2026/12/07", never day before month.
    ReadNumber(s, &pos, 4, &t.year);
    if (pos >= s.size() || (s[pos] != '/' && s[pos] != '-')) return false;
    const char sep = s[pos++];
    if (!ReadNumber(s, &pos, 2, &t.month)) return false;
    if (pos >= s.size() || s[pos] != sep) return false;
    ++pos;
    if (!ReadNumber(s, &pos, 2, &t.day)) return false;
  } else {
    if (pos < s.size() && std::isalpha(static_cast<unsigned char>(s[pos]))) {
      if (!ReadMonthName(s, &pos, &t.month)) return false;
    } else if (!ReadNumber(s, &pos, 2, &t.month)) {
      return false;
    }
    if (pos >= s.size() || (s[pos] != '/' && s[pos] != '-')) return false;
    const char sep = s[pos++];
    if (!ReadNumber(s, &pos, 2, &t.day)) return false;
    if (pos >= s.size() || s[pos] != sep) return false;
    ++pos;
    if (!ReadNumber(s, &pos, 4, &t.year)) return false;
  }
  if (t.year < 100) return false;
  if (t.month < 1 || t.month > 12 || t.day < 1 || t.day > DaysInMonth(t.year, t.month)) return false;

  if (pos < s.size()) {
    if (s[pos] != ' ') return false;
    while (pos < s.size() && s[pos] == ' ') ++pos;
    if (!ReadNumber(s, &pos, 2, &t.hour)) return false;
    if (pos >= s.size() || s[pos] != ':') return false;
    ++pos;
    if (!ReadNumber(s, &pos, 2, &t.minute)) return false;
    if (pos < s.size() && s[pos] == ':') {
      ++pos;
      if (!ReadNumber(s, &pos, 2, &t.second)) return false;
    }
    while (pos < s.size() && s[pos] == ' ') ++pos;
    if (pos < s.size()) {
      const std::string marker = ToUpper(s.substr(pos));
      if (marker != "AM" && marker != "PM") return false;
      if (t.hour < 1 || t.hour > 12) return false;
      t.hour = t.hour % 12 + (marker == "PM" ? 12 : 0);
    }
    if (t.hour > 23 || t.minute > 59 || t.second > 59) return false;
  }
  *out = t;
  return true;
}

int64_t HourBoundariesBetween(const DateTime& from, const DateTime& to) {
  return FloorDiv(ToSeconds(to), 3600) - FloorDiv(ToSeconds(from), 3600);
}

int64_t DayBoundariesBetween(const DateTime& from, const DateTime& to) {
  return DaysFromCivil(to.year, to.month, to.day) - DaysFromCivil(from.year, from.month, from.day);
}

// Howard Hinnant's days-from-civil algorithm, shifted so day 0 is 0001-01-01.
int64_t DaysFromCivil(int year, int month, int day) {
  const int64_t y = year - (month <= 2 ? 1 : 0);
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t mp = (month + 9) % 12;
  const int64_t doy = (153 * mp + 2) / 5 + day - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468 + 719162;
}

int64_t ToSeconds(const DateTime& t) {
  return DaysFromCivil(t.year, t.month, t.day) * 86400 + t.hour * 3600 + t.minute * 60 + t.second;
}

DateTime FromSeconds(int64_t seconds) {
  int64_t days = seconds / 86400;
  int64_t rest = seconds % 86400;
  if (rest < 0) {
    rest += 86400;
    --days;
  }
  const int64_t z = days - 719162 + 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  DateTime t;
  t.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  t.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  t.year = static_cast<int>(yoe + era * 400 + (t.month <= 2 ? 1 : 0));
  t.hour = static_cast<int>(rest / 3600);
  t.minute = static_cast<int>(rest % 3600 / 60);
  t.second = static_cast<int>(rest % 60);
  return t;
}

DateTime AddSeconds(const DateTime& t, int64_t seconds) {
  DateTime r = FromSeconds(ToSeconds(t) + seconds);
  r.millisecond = t.millisecond;
  return r;
}

std::string FormatLogTime(const DateTime& t) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%02d/%02d/%04d %02d:%02d:%02d", t.month, t.day, t.year, t.hour,
                t.minute, t.second);
  return buf;
}

std::string FormatRecordDate(const DateTime& t) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02d/%02d/%04d", t.month, t.day, t.year);
  return buf;
}

std::string FormatFileTime(const DateTime& t) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02d%02d%04d%02d%02d%02d", t.month, t.day, t.year, t.hour, t.minute,
                t.second);
  return buf;
}

std::string FormatShortDate(const DateTime& t) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%d/%d/%04d", t.month, t.day, t.year);
  return buf;
}

std::string FormatIsoDate(const DateTime& t) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", t.year, t.month, t.day);
  return buf;
}

std::string FormatLastRunTime(const DateTime& t) {
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const char* month = (t.month >= 1 && t.month <= 12) ? kMonths[t.month - 1] : "???";
  char buf[64];
  std::snprintf(buf, sizeof buf, "%s/%02d/%04d %02d:%02d:%02d", month, t.day, t.year, t.hour,
                t.minute, t.second);
  return buf;
}
