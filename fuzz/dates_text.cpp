// The date and text helpers every stored or received value goes through:
// a date is read back from every form the agent writes, and the helpers
// keep their own promises.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "base/dates.h"
#include "base/text.h"

namespace {

bool Same(const DateTime& a, const DateTime& b) {
  return a.year == b.year && a.month == b.month && a.day == b.day && a.hour == b.hour && a.minute == b.minute &&
         a.second == b.second;
}

void ReadsBack(const std::string& text, const DateTime& t) {
  DateTime back;
  if (!ParseDateTime(text, &back) || !Same(back, t)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  DateTime t;
  if (ParseDateTime(text, &t)) {
    ReadsBack(FormatGeneralDateTime(t), t);
    ReadsBack(FormatLastRunTime(t), t);
    ReadsBack(FormatLogTime(t), t);
    if (!Same(FromSeconds(ToSeconds(t)), t)) std::abort();
    const DateTime fixed{2026, 12, 7, 0, 41, 50, 0};
    if (HourBoundariesBetween(t, fixed) != -HourBoundariesBetween(fixed, t)) std::abort();
    if (DayBoundariesBetween(t, fixed) != -DayBoundariesBetween(fixed, t)) std::abort();
    (void)AddSeconds(t, 86400);
  }

  const size_t half = size / 2;
  const std::string a = text.substr(0, half), b = text.substr(half);
  const std::string trimmed = TrimSpaces(text);
  if (!trimmed.empty() && (trimmed.front() == ' ' || trimmed.back() == ' ')) std::abort();
  (void)TrimBlanks(text);
  if (ToUpper(text).size() != size || ToLower(text).size() != size) std::abort();
  if (EqualsNoCase(a, b) != (ToUpper(a) == ToUpper(b))) std::abort();
  if (!ContainsNoCase(text, b) || !StartsWithNoCase(text, a)) std::abort();
  if (!a.empty()) (void)ReplaceAll(text, a, b);
  if (TrimAtNull(text).find('\0') != std::string::npos) std::abort();
  return 0;
}
