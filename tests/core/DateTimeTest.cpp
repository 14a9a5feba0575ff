#include <gtest/gtest.h>

#include <cmath>

#include "kwinet/core/DateTime.h"
#include "kwinet/core/Exceptions.h"

using namespace kwinet;

TEST(DateTime, EncodeDecodeAgainstKnownValues) {
  struct Case {
    int y, m, d;
    double serial;
    int dow;
  } cases[] = {
      {1899, 12, 30, 0, 7}, {1900, 1, 1, 2, 2}, {1970, 1, 1, 25569, 5},
      {2000, 2, 29, 36585, 3}, {2023, 2, 25, 44982, 7}, {1899, 12, 29, -1, 6},
      {1, 1, 1, -693593, 2}, {9999, 12, 31, 2958465, 6},
  };
  for (const auto& c : cases) {
    EXPECT_DOUBLE_EQ(EncodeDate(c.y, c.m, c.d), c.serial) << c.y << "-" << c.m << "-" << c.d;
    int y, m, d;
    DecodeDate(c.serial, y, m, d);
    EXPECT_EQ(y * 10000 + m * 100 + d, c.y * 10000 + c.m * 100 + c.d);
    EXPECT_EQ(DayOfWeek(c.serial), c.dow);
  }
  TDateTime t = EncodeDate(2023, 2, 25) + EncodeTime(18, 39, 37, 250);
  int h, mi, s, ms;
  DecodeTime(t, h, mi, s, ms);
  EXPECT_EQ(h * 10000000 + mi * 100000 + s * 1000 + ms, 183937250);
  EXPECT_EQ(DateTimeToISOString(t), u"2023-02-25 18:39:37");
  // Before 1899-12-30 the fraction still counts forward from midnight.
  DecodeTime(-1.25, h, mi, s, ms);
  EXPECT_EQ(h, 6);
}

TEST(DateTime, ImpossiblePartsRaise) {
  TDateTime v;
  for (auto [y, m, d] : {std::tuple{2023, 2, 29}, {2023, 13, 1}, {2023, 0, 1}, {0, 1, 1}, {2023, 4, 31}})
    EXPECT_FALSE(TryEncodeDate(y, m, d, v)) << y << "-" << m << "-" << d;
  EXPECT_THROW(EncodeDate(1900, 2, 29), EConvertError);
  EXPECT_THROW(EncodeTime(24, 0, 0, 0), EConvertError);
  EXPECT_THROW(EncodeTime(0, 60, 0, 0), EConvertError);
  try {
    EncodeDate(2023, 2, 30);
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), u"Invalid argument to date encode");
  }
}

TEST(DateTime, UnixAndFileTimeConversions) {
  EXPECT_DOUBLE_EQ(UnixToDateTime(0), 25569);
  EXPECT_EQ(DateTimeToUnix(EncodeDate(2023, 2, 25) + EncodeTime(18, 39, 37, 0)), 1677350377);
  // 1601-01-01 is file time 0; the Unix epoch is 116444736000000000.
  EXPECT_EQ(DateTimeToFileTime(EncodeDate(1970, 1, 1)), 116444736000000000LL);
  EXPECT_DOUBLE_EQ(FileTimeToDateTime(0), EncodeDate(1601, 1, 1));
  struct timespec ts{1677350377, 123456700};
  std::int64_t ft = TimespecToFileTime(ts);
  struct timespec back = FileTimeToTimespec(ft);
  EXPECT_EQ(back.tv_sec, ts.tv_sec);
  EXPECT_EQ(back.tv_nsec, ts.tv_nsec);
  // Now is close to the system clock in local time.
  std::int64_t nowUnix = ::time(nullptr);
  double local = UnixToDateTime(nowUnix) - LocalTimeZone(nowUnix).Bias / MinsPerDay;
  EXPECT_LT(std::fabs(Now() - local) * SecsPerDay, 5);
}
