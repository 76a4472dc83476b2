#include "platform/datetime.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

#include <cmath>
#include <limits>
#include <string>

namespace {

using plat::TDateTime;

// Switches the process time zone for one test and puts the old one back.
class ZoneScope {
 public:
  explicit ZoneScope(const char* tz) {
    const char* old = getenv("TZ");
    had_ = old != nullptr;
    if (had_) old_ = old;
    setenv("TZ", tz, 1);
    tzset();
  }
  ~ZoneScope() {
    if (had_) {
      setenv("TZ", old_.c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }

 private:
  bool had_ = false;
  std::string old_;
};

uint32_t Dos(int y, int mo, int d, int h, int mi, int s) {
  return (static_cast<uint32_t>(y - 1980) << 25) | (static_cast<uint32_t>(mo) << 21) |
         (static_cast<uint32_t>(d) << 16) | (static_cast<uint32_t>(h) << 11) | (static_cast<uint32_t>(mi) << 5) |
         static_cast<uint32_t>(s / 2);
}

const uint32_t kDosFirst = Dos(1980, 1, 1, 0, 0, 0);
const uint32_t kDosLast = Dos(2107, 12, 31, 23, 59, 58);

TEST(DateTime, DayCountEpochs) {
  EXPECT_DOUBLE_EQ(plat::EncodeDateTime(1899, 12, 30, 0, 0, 0, 0), 0.0);
  EXPECT_DOUBLE_EQ(plat::EncodeDateTime(1970, 1, 1, 0, 0, 0, 0), 25569.0);
  EXPECT_DOUBLE_EQ(plat::EncodeDateTime(1980, 1, 1, 12, 0, 0, 0), 29221.5);
  // The moment the listing uses for missing dates.
  EXPECT_NEAR(plat::EncodeDateTime(1980, 1, 1, 0, 1, 0, 0), 29221.000694, 1e-6);
  EXPECT_DOUBLE_EQ(plat::EncodeDateTime(2000, 3, 1, 0, 0, 0, 0) - plat::EncodeDateTime(2000, 2, 28, 0, 0, 0, 0), 2.0);
}

TEST(DateTime, DosFieldsAreValidated) {
  TDateTime dt = -1;
  EXPECT_FALSE(plat::DosDateTimeToDateTime(0, dt));  // month 0, day 0
  EXPECT_FALSE(plat::DosDateTimeToDateTime(Dos(1990, 13, 1, 0, 0, 0), dt));
  EXPECT_FALSE(plat::DosDateTimeToDateTime(Dos(1990, 1, 0, 0, 0, 0), dt));
  EXPECT_FALSE(plat::DosDateTimeToDateTime(Dos(1990, 4, 31, 0, 0, 0), dt));
  EXPECT_FALSE(plat::DosDateTimeToDateTime(Dos(1981, 2, 29, 0, 0, 0), dt));
  EXPECT_FALSE(plat::DosDateTimeToDateTime(Dos(2100, 2, 29, 0, 0, 0), dt));  // century, not leap
  EXPECT_FALSE(plat::DosDateTimeToDateTime(Dos(1990, 1, 1, 24, 0, 0), dt));
  EXPECT_FALSE(plat::DosDateTimeToDateTime(Dos(1990, 1, 1, 0, 60, 0), dt));
  EXPECT_FALSE(plat::DosDateTimeToDateTime(Dos(1990, 1, 1, 0, 0, 60), dt));
  EXPECT_DOUBLE_EQ(dt, -1.0) << "a refused value leaves the output alone";
  EXPECT_EQ(plat::DosDateTimeToUnix(0), -1);
  EXPECT_EQ(plat::DosDateTimeToUnix(Dos(1990, 2, 30, 0, 0, 0)), -1);

  ASSERT_TRUE(plat::DosDateTimeToDateTime(Dos(1984, 2, 29, 23, 59, 58), dt));
  EXPECT_NEAR(dt, plat::EncodeDateTime(1984, 2, 29, 23, 59, 58, 0), 1e-9);
  ASSERT_TRUE(plat::DosDateTimeToDateTime(Dos(2000, 2, 29, 0, 0, 0), dt));
}

TEST(DateTime, DosRoundTripsThroughDayCount) {
  const uint32_t samples[] = {kDosFirst, kDosLast, Dos(1999, 12, 31, 23, 59, 58), Dos(2000, 1, 1, 0, 0, 0),
                              Dos(2024, 2, 29, 12, 34, 56), Dos(2038, 1, 19, 3, 14, 6), Dos(2106, 2, 7, 6, 28, 14)};
  for (uint32_t dos : samples) {
    TDateTime dt = 0;
    ASSERT_TRUE(plat::DosDateTimeToDateTime(dos, dt)) << std::hex << dos;
    EXPECT_EQ(plat::DateTimeToDosDateTime(dt), dos) << std::hex << dos;
  }
}

TEST(DateTime, DayCountToDosClampsAndTruncatesSeconds) {
  EXPECT_EQ(plat::DateTimeToDosDateTime(0.0), kDosFirst);
  EXPECT_EQ(plat::DateTimeToDosDateTime(-700000.0), kDosFirst);
  EXPECT_EQ(plat::DateTimeToDosDateTime(std::numeric_limits<double>::quiet_NaN()), kDosFirst);
  EXPECT_EQ(plat::DateTimeToDosDateTime(plat::EncodeDateTime(2108, 1, 1, 0, 0, 0, 0)), kDosLast);
  EXPECT_EQ(plat::DateTimeToDosDateTime(1e12), kDosLast);
  EXPECT_EQ(plat::DateTimeToDosDateTime(std::numeric_limits<double>::infinity()), kDosLast);
  // DOS keeps two-second steps: an odd second goes down.
  EXPECT_EQ(plat::DateTimeToDosDateTime(plat::EncodeDateTime(2001, 5, 6, 7, 8, 59, 0)), Dos(2001, 5, 6, 7, 8, 58));
  // 23:59:59.9995 must not spill into a field value of 60.
  EXPECT_EQ(plat::DateTimeToDosDateTime(plat::EncodeDateTime(2001, 5, 6, 23, 59, 59, 999)), Dos(2001, 5, 6, 23, 59, 58));
}

TEST(DateTime, UnixTimesInUtc) {
  ZoneScope utc("UTC0");
  EXPECT_EQ(plat::DosDateTimeToUnix(kDosFirst), 315532800);
  EXPECT_EQ(plat::UnixToDosDateTime(315532800), kDosFirst);
  EXPECT_EQ(plat::UnixToDosDateTime(1700000000), Dos(2023, 11, 14, 22, 13, 20));
  EXPECT_DOUBLE_EQ(plat::UnixToDateTime(0), 25569.0);
  EXPECT_DOUBLE_EQ(plat::UnixToDateTime(86400 + 43200), 25570.5);
  EXPECT_EQ(plat::DateTimeToUnix(25569.5), 43200);
  EXPECT_EQ(plat::DateTimeToUnix(plat::UnixToDateTime(-86400 * 365)), -86400 * 365);
}

TEST(DateTime, UnixToDosClampsToDosRange) {
  for (const char* tz : {"UTC0", "Pacific/Kiritimati", "Pacific/Pago_Pago"}) {
    ZoneScope zone(tz);
    EXPECT_EQ(plat::UnixToDosDateTime(0), kDosFirst) << tz;
    EXPECT_EQ(plat::UnixToDosDateTime(-1), kDosFirst) << tz;
    EXPECT_EQ(plat::UnixToDosDateTime(std::numeric_limits<int64_t>::min()), kDosFirst) << tz;
    EXPECT_EQ(plat::UnixToDosDateTime(4354819200LL + 86400 * 3), kDosLast) << tz;  // 2108
    EXPECT_EQ(plat::UnixToDosDateTime(std::numeric_limits<int64_t>::max()), kDosLast) << tz;
    TDateTime dt;
    uint32_t first = plat::UnixToDosDateTime(315532800 - 3600 * 14);
    EXPECT_TRUE(plat::DosDateTimeToDateTime(first, dt)) << tz << " gives a valid value at the low edge";
  }
}

// Local conversions must agree with each other whatever the zone and the
// season: a DOS stamp taken from a file and written back stays the same.
TEST(DateTime, LocalRoundTripsInEveryZoneAndSeason) {
  const uint32_t samples[] = {Dos(2023, 1, 15, 10, 30, 0), Dos(2023, 7, 15, 10, 30, 0), Dos(1980, 1, 1, 0, 0, 0),
                              Dos(2037, 6, 1, 23, 59, 58), Dos(2107, 12, 31, 12, 0, 0)};
  for (const char* tz : {"UTC0", "Europe/Berlin", "America/New_York", "Australia/Lord_Howe", "Asia/Kolkata"}) {
    ZoneScope zone(tz);
    for (uint32_t dos : samples) {
      int64_t unixTime = plat::DosDateTimeToUnix(dos);
      ASSERT_NE(unixTime, -1) << tz;
      EXPECT_EQ(plat::UnixToDosDateTime(unixTime), dos) << tz << " " << std::hex << dos;
      TDateTime local = plat::UnixToDateTime(unixTime);
      EXPECT_EQ(plat::DateTimeToDosDateTime(local), dos) << tz;
      EXPECT_EQ(plat::DateTimeToUnix(local), unixTime) << tz;
    }
  }
}

TEST(DateTime, NowIsLocalToday) {
  TDateTime now = plat::Now();
  EXPECT_GT(now, plat::EncodeDateTime(2020, 1, 1, 0, 0, 0, 0));
}

}  // namespace

// The local-time conversion (which does not read the zone file per call)
// agrees with mktime, around DST changes too, except inside the skipped hour.
TEST(DateTime, LocalTimeAgreesWithMktime) {
  for (const char* zone : {"Europe/Berlin", "America/New_York", "Australia/Lord_Howe", "UTC"}) {
    ZoneScope z(zone);
    for (int y : {1985, 2021, 2024}) {
      for (int day = 1; day <= 366; day += 3) {
        for (int h = 0; h < 24; ++h) {
          struct tm t = {};
          t.tm_year = y - 1900;
          t.tm_mon = 0;
          t.tm_mday = day;
          t.tm_hour = h;
          t.tm_min = 30;
          t.tm_isdst = -1;
          const time_t want = mktime(&t);  // normalises the fields
          struct tm back;
          localtime_r(&want, &back);
          if (back.tm_hour != h) continue;  // a skipped hour: mktime's choice is its own
          const uint32_t dos = Dos(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, 0);
          EXPECT_EQ(plat::DosDateTimeToUnix(dos), static_cast<int64_t>(want)) << zone << " " << y << " " << day << " " << h;
        }
      }
    }
  }
}
