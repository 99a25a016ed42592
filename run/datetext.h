// Dates as the agent keeps them in its state files, and the calendar
// differences its once-per-period rules count.
#pragma once

#include <cstdint>
#include <string>

#include "platform/os.h"

// The platform's general date-time text (US English): "12/7/2026 3:05:09 PM".
std::string FormatGeneralDateTime(const os::LocalTime& t);

// Reads a date, with an optional time, in any form the agent writes:
// "12/7/2026 3:05:09 PM", "12/07/2026 15:05:09" and "Dec/07/2026 15:05:09"
// (month as number or English name; "/" or "-" between the parts; time
// optional, seconds optional, 12-hour with AM/PM or 24-hour). False when the
// text is not such a date or names no real day or time.
bool ParseDateTime(const std::string& text, os::LocalTime* t);

// Clock-hour boundaries passed from one time to a later one (10:59 -> 11:01
// is 1; 10:01 -> 10:59 is 0); negative when "to" is earlier.
int64_t HourBoundariesBetween(const os::LocalTime& from, const os::LocalTime& to);
// Calendar-date boundaries passed, likewise.
int64_t DayBoundariesBetween(const os::LocalTime& from, const os::LocalTime& to);
