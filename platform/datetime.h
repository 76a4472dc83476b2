// Clock, DOS date-times, Unix times and the engine's day-count date-times.
// Conversions to and from DOS date-times use the local time zone.
#pragma once

#include <cstdint>

namespace plat {

// Milliseconds since an arbitrary start, wrapping at 2^32 like the system tick.
uint32_t GetTickCount();

// A date-time counted in days since 1899-12-30 00:00, the time as the fraction.
using TDateTime = double;

TDateTime Now();
TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int ms);
// Packed DOS date-time: date in the high word (year-1980:7, month:4, day:5),
// time in the low word (hour:5, minute:6, seconds/2:5).
// Returns false for fields out of range (month 0, day 32, hour 24 ...).
bool DosDateTimeToDateTime(uint32_t dos, TDateTime& out);
uint32_t DateTimeToDosDateTime(TDateTime dt);  // clamps to 1980..2107
// Unix seconds (UTC) <-> local DOS date-time.
uint32_t UnixToDosDateTime(int64_t unixTime);
int64_t DosDateTimeToUnix(uint32_t dos);  // -1 when the fields are invalid
// Unix seconds <-> local TDateTime.
TDateTime UnixToDateTime(int64_t unixTime);
int64_t DateTimeToUnix(TDateTime dt);

}  // namespace plat
