#pragma once
// Time texts and time-zone helpers. Date-times are days since 30 December 1899 (see
// protocol/date_time.h).

#include <cstdint>
#include <string>

namespace orb {

// "H:MM" (307 gives "5:07"); a negative count is taken as 0.
std::string MinutesToHourMin(int64_t minutes);
// "H:MM:SS", hours unpadded, the millisecond remainder dropped; a negative time is taken as 0.
std::string MillisecondsToTimeText(int64_t ms);
// The date-time moved by -a and then +b minutes.
double ShiftTimeZone(double dateTime, int32_t minutesA, int32_t minutesB);
// Minutes to add to local time to get UTC now (UTC+2 gives -120), daylight saving included.
int32_t GetTimeZoneBias();
// The current UTC time as a date-time.
double NowUTC();

}  // namespace orb
