#include "kwinet/core/DateTime.h"

#include <cmath>
#include <cstdio>

#include "kwinet/core/Exceptions.h"

namespace kwinet {

bool IsLeapYear(int Year) { return Year % 4 == 0 && (Year % 100 != 0 || Year % 400 == 0); }

int DaysInMonth(int Year, int Month) {
  static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (Month < 1 || Month > 12) return 0;
  return days[Month - 1] + (Month == 2 && IsLeapYear(Year) ? 1 : 0);
}

namespace {

// Days from 0001-01-01 to the given date (proleptic Gregorian).
std::int64_t DaysFromCivil(int y, int m, int d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;  // days since 1970-01-01
}

void CivilFromDays(std::int64_t z, int& y, int& m, int& d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2));
}

}  // namespace

bool TryEncodeDate(int Year, int Month, int Day, TDateTime& Date) {
  if (Year < 1 || Year > 9999 || Month < 1 || Month > 12 || Day < 1 || Day > DaysInMonth(Year, Month)) return false;
  Date = static_cast<double>(DaysFromCivil(Year, Month, Day)) + UnixDateDelta;
  return true;
}

bool TryEncodeTime(int Hour, int Min, int Sec, int MSec, TDateTime& Time) {
  if (Hour < 0 || Hour >= 24 || Min < 0 || Min >= 60 || Sec < 0 || Sec >= 60 || MSec < 0 || MSec >= 1000)
    return false;
  Time = (Hour * 3600000.0 + Min * 60000.0 + Sec * 1000.0 + MSec) / MSecsPerDay;
  return true;
}

TDateTime EncodeDate(int Year, int Month, int Day) {
  TDateTime d;
  if (!TryEncodeDate(Year, Month, Day, d)) throw EConvertError(u"Invalid argument to date encode");
  return d;
}

TDateTime EncodeTime(int Hour, int Min, int Sec, int MSec) {
  TDateTime t;
  if (!TryEncodeTime(Hour, Min, Sec, MSec, t)) throw EConvertError(u"Invalid argument to time encode");
  return t;
}

namespace {
// Milliseconds of the day and the day number, with the framework's rule for
// values before 1899-12-30: the integer part is the day, the fraction's
// magnitude the time.
void SplitDateTime(TDateTime v, std::int64_t& day, std::int64_t& msOfDay) {
  double ip;
  double frac = std::modf(v, &ip);
  day = static_cast<std::int64_t>(ip);
  msOfDay = static_cast<std::int64_t>(std::llround(std::fabs(frac) * MSecsPerDay));
  if (msOfDay >= static_cast<std::int64_t>(MSecsPerDay)) {
    msOfDay -= static_cast<std::int64_t>(MSecsPerDay);
    day += v < 0 ? -1 : 1;
  }
}
}  // namespace

void DecodeDate(TDateTime Date, int& Year, int& Month, int& Day) {
  std::int64_t day, ms;
  SplitDateTime(Date, day, ms);
  CivilFromDays(day - static_cast<std::int64_t>(UnixDateDelta), Year, Month, Day);
}

void DecodeTime(TDateTime Time, int& Hour, int& Min, int& Sec, int& MSec) {
  std::int64_t day, ms;
  SplitDateTime(Time, day, ms);
  Hour = static_cast<int>(ms / 3600000);
  Min = static_cast<int>(ms / 60000 % 60);
  Sec = static_cast<int>(ms / 1000 % 60);
  MSec = static_cast<int>(ms % 1000);
}

int DayOfWeek(TDateTime Date) {
  std::int64_t day, ms;
  SplitDateTime(Date, day, ms);
  // 1899-12-30 was a Saturday (7).
  std::int64_t r = (day - 1) % 7;
  if (r < 0) r += 7;
  return static_cast<int>(r) + 1;
}

TDateTime UnixToDateTime(std::int64_t Seconds) { return Seconds / SecsPerDay + UnixDateDelta; }

std::int64_t DateTimeToUnix(TDateTime Value) {
  return static_cast<std::int64_t>(std::llround((Value - UnixDateDelta) * SecsPerDay));
}

namespace {
constexpr std::int64_t kFileTimeUnixDelta = 116444736000000000LL;  // 1601 -> 1970 in 100 ns
}

std::int64_t TimespecToFileTime(const struct timespec& ts) {
  return static_cast<std::int64_t>(ts.tv_sec) * 10000000 + ts.tv_nsec / 100 + kFileTimeUnixDelta;
}

struct timespec FileTimeToTimespec(std::int64_t FileTime) {
  std::int64_t t = FileTime - kFileTimeUnixDelta;
  std::int64_t sec = t / 10000000;
  std::int64_t rem = t % 10000000;
  if (rem < 0) rem += 10000000, --sec;
  struct timespec ts{};
  ts.tv_sec = static_cast<time_t>(sec);
  ts.tv_nsec = static_cast<long>(rem * 100);
  return ts;
}

TDateTime FileTimeToDateTime(std::int64_t FileTime) {
  return (FileTime - kFileTimeUnixDelta) / (SecsPerDay * 1e7) + UnixDateDelta;
}

std::int64_t DateTimeToFileTime(TDateTime Value) {
  return static_cast<std::int64_t>(std::llround((Value - UnixDateDelta) * SecsPerDay * 1e7)) + kFileTimeUnixDelta;
}

TTimeZoneInfo LocalTimeZone(std::int64_t UnixSeconds) {
  time_t t = static_cast<time_t>(UnixSeconds);
  struct tm tm{};
  TTimeZoneInfo info;
  if (localtime_r(&t, &tm)) {
    info.Bias = static_cast<int>(-tm.tm_gmtoff / 60);
    info.Daylight = tm.tm_isdst > 0;
  }
  return info;
}

TDateTime UTCToLocal(TDateTime UTC) {
  return UTC - LocalTimeZone(DateTimeToUnix(UTC)).Bias / MinsPerDay;
}

TDateTime LocalToUTC(TDateTime Local) {
  // The bias at the local moment, taken as if it were UTC, then corrected once.
  double guess = Local + LocalTimeZone(DateTimeToUnix(Local)).Bias / MinsPerDay;
  return Local + LocalTimeZone(DateTimeToUnix(guess)).Bias / MinsPerDay;
}

TDateTime Now() {
  struct timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  struct tm tm{};
  localtime_r(&ts.tv_sec, &tm);
  TDateTime d, t;
  TryEncodeDate(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, d);
  TryEncodeTime(tm.tm_hour, tm.tm_min, tm.tm_sec > 59 ? 59 : tm.tm_sec, static_cast<int>(ts.tv_nsec / 1000000), t);
  return d + t;
}

TDateTime Date() { return std::floor(Now()); }

String DateTimeToISOString(TDateTime Value) {
  int y, mo, d, h, mi, s, ms;
  DecodeDate(Value, y, mo, d);
  DecodeTime(Value, h, mi, s, ms);
  char buf[40];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", y, mo, d, h, mi, s);
  return Str(buf);
}

}  // namespace kwinet
