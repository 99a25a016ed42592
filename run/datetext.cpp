#include "run/datetext.h"

#include <cctype>
#include <cstdio>

#include "run/text.h"
#include "run/timeutil.h"

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

int DaysInMonth(int year, int month) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

}  // namespace

std::string FormatGeneralDateTime(const os::LocalTime& t) {
  const int hour12 = t.hour % 12 == 0 ? 12 : t.hour % 12;
  char buf[48];
  std::snprintf(buf, sizeof buf, "%d/%d/%04d %d:%02d:%02d %s", t.month, t.day, t.year, hour12,
                t.minute, t.second, t.hour < 12 ? "AM" : "PM");
  return buf;
}

bool ParseDateTime(const std::string& text, os::LocalTime* out) {
  const std::string s = TrimBlanks(text);
  size_t pos = 0;
  os::LocalTime t;
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
  if (!ReadNumber(s, &pos, 4, &t.year) || t.year < 100) return false;
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

int64_t HourBoundariesBetween(const os::LocalTime& from, const os::LocalTime& to) {
  return FloorDiv(ToSeconds(to), 3600) - FloorDiv(ToSeconds(from), 3600);
}

int64_t DayBoundariesBetween(const os::LocalTime& from, const os::LocalTime& to) {
  return DaysFromCivil(to.year, to.month, to.day) - DaysFromCivil(from.year, from.month, from.day);
}
