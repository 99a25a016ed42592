// Dates and times in one place: the calendar arithmetic, the fixed text
// forms the agent writes (log, last run, state files) and the one parser
// that reads them back. Local times only, no time zones, never the locale.
#pragma once

#include <cstdint>
#include <string>

// A local wall-clock time, as GetLocalTime gives it.
struct DateTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
};

// Days since 0001-01-01.
int64_t DaysFromCivil(int year, int month, int day);
int DaysInMonth(int year, int month);
// Seconds since 0001-01-01 00:00:00 of the local time (milliseconds dropped).
int64_t ToSeconds(const DateTime& t);
DateTime FromSeconds(int64_t seconds);
DateTime AddSeconds(const DateTime& t, int64_t seconds);

// "MM/DD/YYYY HH:NN:SS": the log's time stamp and the run start time.
std::string FormatLogTime(const DateTime& t);
// "MM/DD/YYYY", the log time stamp's date: the form product records carry
// (the zero date is "12/30/1899").
std::string FormatRecordDate(const DateTime& t);
// "MMDDYYYYHHNNSS": data and status file names.
std::string FormatFileTime(const DateTime& t);
// "MMM/DD/YYYY HH:MM:SS" (English month abbreviation): the stored last run.
std::string FormatLastRunTime(const DateTime& t);

// The platform's general date-time text (US English): "12/7/2026 3:05:09 PM".
std::string FormatGeneralDateTime(const DateTime& t);

// The platform's short date (US English): "12/7/2026".
std::string FormatShortDate(const DateTime& t);
// "2026-12-07".
std::string FormatIsoDate(const DateTime& t);

// The one date parser, the same on every machine whatever its locale. Reads
// a date, with an optional time, in any form the agent writes or a gateway
// publishes: month first, "12/7/2026 3:05:09 PM", "12/07/2026 15:05:09",
// "12-07-2026", "Dec/07/2026 15:05:09" (month as number or English name), or
// year first when the text starts with four digits, "2026-12-07" or
// "2026/12/07"; the two separators must be alike; time optional, seconds
// optional, 12-hour with AM/PM or 24-hour. Day before month is never read.
// False when the text is not such a date or names no real day or time.
bool ParseDateTime(const std::string& text, DateTime* t);

// Clock-hour boundaries passed from one time to a later one (10:59 -> 11:01
// is 1; 10:01 -> 10:59 is 0); negative when "to" is earlier.
int64_t HourBoundariesBetween(const DateTime& from, const DateTime& to);
// Calendar-date boundaries passed, likewise.
int64_t DayBoundariesBetween(const DateTime& from, const DateTime& to);
