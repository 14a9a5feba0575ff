/// @file
/// Date and time values: a double counting days since 1899-12-30 00:00, with
/// the time of day as the fraction.
#pragma once

#include <cstdint>
#include <ctime>

#include "kwinet/core/String.h"

namespace kwinet {

/// Days since 1899-12-30 00:00, with the time of day as the fraction.
using TDateTime = double;

/// Hours in a day.
constexpr double HoursPerDay = 24;
/// Minutes in a day.
constexpr double MinsPerDay = 24 * 60;
/// Seconds in a day.
constexpr double SecsPerDay = 24 * 60 * 60;
/// Milliseconds in a day.
constexpr double MSecsPerDay = SecsPerDay * 1000;
/// Days from 1899-12-30 to 1970-01-01.
constexpr double UnixDateDelta = 25569;

/// Whether Year (Gregorian) has 366 days.
bool IsLeapYear(int Year);
/// The number of days of Month (1 to 12) in Year.
int DaysInMonth(int Year, int Month);

///@{
/// The date or the time of day from its parts; false for parts that name no
/// real date or time.
bool TryEncodeDate(int Year, int Month, int Day, TDateTime& Date);
bool TryEncodeTime(int Hour, int Min, int Sec, int MSec, TDateTime& Time);
///@}
///@{
/// Raise EConvertError for parts that name no real date or time.
TDateTime EncodeDate(int Year, int Month, int Day);
TDateTime EncodeTime(int Hour, int Min, int Sec, int MSec);
///@}
///@{
/// The parts of a date or of a time of day.
void DecodeDate(TDateTime Date, int& Year, int& Month, int& Day);
void DecodeTime(TDateTime Time, int& Hour, int& Min, int& Sec, int& MSec);
///@}
/// 1 = Sunday ... 7 = Saturday.
int DayOfWeek(TDateTime Date);

///@{
/// The local date and time now, today's date.
TDateTime Now();
TDateTime Date();
///@}

///@{
/// Unix seconds (UTC, no local conversion) to and from TDateTime.
TDateTime UnixToDateTime(std::int64_t Seconds);
std::int64_t DateTimeToUnix(TDateTime Value);
///@}
///@{
/// File time: 100-nanosecond intervals since 1601-01-01 UTC.
std::int64_t TimespecToFileTime(const struct timespec& ts);
struct timespec FileTimeToTimespec(std::int64_t FileTime);
TDateTime FileTimeToDateTime(std::int64_t FileTime);
std::int64_t DateTimeToFileTime(TDateTime Value);
///@}

/// Local time zone at a moment given as Unix seconds: the bias in minutes
/// (UTC = local + bias, so a zone east of Greenwich has a negative bias) and
/// whether daylight saving time is in force.
struct TTimeZoneInfo {
  /// Minutes: UTC = local + Bias.
  int Bias = 0;
  /// Whether daylight saving time is in force.
  bool Daylight = false;
};
/// The local time zone at UnixSeconds.
TTimeZoneInfo LocalTimeZone(std::int64_t UnixSeconds);
/// A local date and time in UTC.
TDateTime LocalToUTC(TDateTime Local);
/// A UTC date and time in local time.
TDateTime UTCToLocal(TDateTime UTC);

/// "YYYY-MM-DD HH:MM:SS".
String DateTimeToISOString(TDateTime Value);

}  // namespace kwinet
