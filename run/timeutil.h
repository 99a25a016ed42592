// Calendar arithmetic on local times (proleptic Gregorian, no time zones).
#pragma once

#include <cstdint>

#include "platform/os.h"

int64_t DaysFromCivil(int year, int month, int day);
// Seconds since 0001-01-01 00:00:00 of the local time (milliseconds dropped).
int64_t ToSeconds(const os::LocalTime& t);
os::LocalTime FromSeconds(int64_t seconds);
os::LocalTime AddSeconds(const os::LocalTime& t, int64_t seconds);
