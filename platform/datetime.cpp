#include "platform/datetime.h"

#include <time.h>

#include <algorithm>
#include <cmath>

namespace plat {

namespace {

constexpr int64_t kMsPerDay = 86400000;

// Days since 1970-01-01 of a proleptic Gregorian date.
int64_t DaysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int64_t& y, int& m, int& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = yoe + era * 400 + (m <= 2);
}

// 1899-12-30, day 0 of a TDateTime, counted from 1970-01-01.
constexpr int64_t kDelphiEpochDays = -25569;

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

struct Fields {
  int64_t year = 1980;
  int month = 1, day = 1, hour = 0, minute = 0, second = 0, ms = 0;
};

// Splits a TDateTime into calendar fields, rounded to the millisecond.
Fields Decode(TDateTime dt) {
  Fields f;
  int64_t total = std::llround(dt * static_cast<double>(kMsPerDay));
  int64_t days = total / kMsPerDay;
  int64_t msOfDay = total % kMsPerDay;
  if (msOfDay < 0) {
    msOfDay += kMsPerDay;
    --days;
  }
  CivilFromDays(days + kDelphiEpochDays, f.year, f.month, f.day);
  f.hour = static_cast<int>(msOfDay / 3600000);
  f.minute = static_cast<int>(msOfDay / 60000 % 60);
  f.second = static_cast<int>(msOfDay / 1000 % 60);
  f.ms = static_cast<int>(msOfDay % 1000);
  return f;
}

bool DosFields(uint32_t dos, struct tm& t) {
  int year = static_cast<int>(dos >> 25) + 1980;
  int month = static_cast<int>((dos >> 21) & 0x0F);
  int day = static_cast<int>((dos >> 16) & 0x1F);
  int hour = static_cast<int>((dos >> 11) & 0x1F);
  int minute = static_cast<int>((dos >> 5) & 0x3F);
  int sec2 = static_cast<int>(dos & 0x1F);
  if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) return false;
  if (hour > 23 || minute > 59 || sec2 > 29) return false;
  t = {};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_sec = sec2 * 2;
  t.tm_isdst = -1;
  return true;
}

uint32_t PackDos(int64_t year, int month, int day, int hour, int minute, int second) {
  return (static_cast<uint32_t>(year - 1980) << 25) | (static_cast<uint32_t>(month) << 21) |
         (static_cast<uint32_t>(day) << 16) | (static_cast<uint32_t>(hour) << 11) |
         (static_cast<uint32_t>(minute) << 5) | static_cast<uint32_t>(second / 2);
}

// UTC offset in seconds of local time at the instant t.
long OffsetAt(time_t t) {
  struct tm lt;
  return localtime_r(&t, &lt) ? lt.tm_gmtoff : 0;
}

// Unix time of a local wall-clock time. mktime would do, but glibc reads the
// time zone file again on every call when TZ is not set; localtime_r keeps
// the zone it loaded. The offsets a day before and a day after are the only
// candidates (zones do not change twice within two days); of the instants
// that show this wall-clock time the earlier one wins, as with mktime. A time
// the clocks skipped takes the offset from before the change.
int64_t LocalToUnix(int64_t year, int month, int day, int hour, int minute, int second) {
  const int64_t wall = DaysFromCivil(year, month, day) * 86400 + (static_cast<int64_t>(hour) * 60 + minute) * 60 + second;
  const long before = OffsetAt(static_cast<time_t>(wall - 86400));
  const long after = OffsetAt(static_cast<time_t>(wall + 86400));
  const int64_t t1 = wall - before;
  const int64_t t2 = wall - after;
  const bool ok1 = OffsetAt(static_cast<time_t>(t1)) == before;
  const bool ok2 = OffsetAt(static_cast<time_t>(t2)) == after;
  if (ok1 && ok2) return std::min(t1, t2);
  if (ok2) return t2;
  return t1;
}

constexpr uint32_t kDosMin = (0u << 25) | (1u << 21) | (1u << 16);  // 1980-01-01 00:00:00
constexpr uint32_t kDosMax = (127u << 25) | (12u << 21) | (31u << 16) | (23u << 11) | (59u << 5) | 29u;

}  // namespace

uint32_t GetTickCount() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint32_t>(static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u);
}

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int ms) {
  int64_t days = DaysFromCivil(year, month, day) - kDelphiEpochDays;
  int64_t msOfDay = ((static_cast<int64_t>(hour) * 60 + minute) * 60 + second) * 1000 + ms;
  return static_cast<double>(days) + static_cast<double>(msOfDay) / static_cast<double>(kMsPerDay);
}

TDateTime Now() {
  timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  time_t secs = ts.tv_sec;
  struct tm t;
  if (!localtime_r(&secs, &t)) return UnixToDateTime(ts.tv_sec);
  return EncodeDateTime(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec,
                        static_cast<int>(ts.tv_nsec / 1000000));
}

bool DosDateTimeToDateTime(uint32_t dos, TDateTime& out) {
  struct tm t;
  if (!DosFields(dos, t)) return false;
  out = EncodeDateTime(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, 0);
  return true;
}

uint32_t DateTimeToDosDateTime(TDateTime dt) {
  static const TDateTime kLow = EncodeDateTime(1980, 1, 1, 0, 0, 0, 0);
  static const TDateTime kHigh = EncodeDateTime(2107, 12, 31, 23, 59, 59, 0);
  if (!(dt >= kLow)) return kDosMin;  // also NaN
  if (dt > kHigh) return kDosMax;
  Fields f = Decode(dt);
  return PackDos(f.year, f.month, f.day, f.hour, f.minute, f.second);
}

uint32_t UnixToDosDateTime(int64_t unixTime) {
  // Far outside the DOS range localtime may fail or overflow: clamp first,
  // with two days of margin on each side for the time-zone offset.
  constexpr int64_t kBefore1980 = 315532800 - 2 * 86400;    // 1979-12-30 UTC
  constexpr int64_t kAfter2107 = 4354819200LL + 2 * 86400;  // 2108-01-03 UTC
  if (unixTime < kBefore1980) return kDosMin;
  if (unixTime > kAfter2107) return kDosMax;
  time_t secs = static_cast<time_t>(unixTime);
  struct tm t;
  if (!localtime_r(&secs, &t)) return kDosMin;
  int64_t year = t.tm_year + 1900;
  if (year < 1980) return kDosMin;
  if (year > 2107) return kDosMax;
  return PackDos(year, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
}

int64_t DosDateTimeToUnix(uint32_t dos) {
  struct tm t;
  if (!DosFields(dos, t)) return -1;
  return LocalToUnix(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
}

TDateTime UnixToDateTime(int64_t unixTime) {
  time_t secs = static_cast<time_t>(unixTime);
  struct tm t;
  if (localtime_r(&secs, &t)) {
    return EncodeDateTime(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, 0);
  }
  return static_cast<double>(unixTime) / 86400.0 - static_cast<double>(kDelphiEpochDays);
}

int64_t DateTimeToUnix(TDateTime dt) {
  if (!std::isfinite(dt) || std::fabs(dt) > 1e8) return 0;
  const Fields f = Decode(dt);
  return LocalToUnix(f.year, f.month, f.day, f.hour, f.minute, f.second);
}

}  // namespace plat
