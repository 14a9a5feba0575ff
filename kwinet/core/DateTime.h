/// @file
/// Date and time values: a double counting days since 1899-12-30 00:00, with
/// the time of day as the fraction.
#pragma once

#include <cstdint>
#include <ctime>

#include "kwinet/core/String.h"

namespace kwinet {

using TDateTime = double;

constexpr double HoursPerDay = 24;
constexpr double MinsPerDay = 24 * 60;
constexpr double SecsPerDay = 24 * 60 * 60;
constexpr double MSecsPerDay = SecsPerDay * 1000;
/// Days from 1899-12-30 to 1970-01-01.
constexpr double UnixDateDelta = 25569;

bool IsLeapYear(int Year);
int DaysInMonth(int Year, int Month);

bool TryEncodeDate(int Year, int Month, int Day, TDateTime& Date);
bool TryEncodeTime(int Hour, int Min, int Sec, int MSec, TDateTime& Time);
/// Raise EConvertError for parts that name no real date or time.
TDateTime EncodeDate(int Year, int Month, int Day);
TDateTime EncodeTime(int Hour, int Min, int Sec, int MSec);
void DecodeDate(TDateTime Date, int& Year, int& Month, int& Day);
void DecodeTime(TDateTime Time, int& Hour, int& Min, int& Sec, int& MSec);
/// 1 = Sunday ... 7 = Saturday.
int DayOfWeek(TDateTime Date);

/// The local date and time now, today's date.
TDateTime Now();
TDateTime Date();

/// Unix seconds (UTC, no local conversion) to and from TDateTime.
TDateTime UnixToDateTime(std::int64_t Seconds);
std::int64_t DateTimeToUnix(TDateTime Value);
/// File time: 100-nanosecond intervals since 1601-01-01 UTC.
std::int64_t TimespecToFileTime(const struct timespec& ts);
struct timespec FileTimeToTimespec(std::int64_t FileTime);
TDateTime FileTimeToDateTime(std::int64_t FileTime);
std::int64_t DateTimeToFileTime(TDateTime Value);

/// Local time zone at a moment given as Unix seconds: the bias in minutes
/// (UTC = local + bias, so a zone east of Greenwich has a negative bias) and
/// whether daylight saving time is in force.
struct TTimeZoneInfo {
  int Bias = 0;
  bool Daylight = false;
};
TTimeZoneInfo LocalTimeZone(std::int64_t UnixSeconds);
TDateTime LocalToUTC(TDateTime Local);
TDateTime UTCToLocal(TDateTime UTC);

/// "YYYY-MM-DD HH:MM:SS".
String DateTimeToISOString(TDateTime Value);

}  // namespace kwinet
