#pragma once
// Date-times on the wire and in files: float64 days since 30 December 1899, the time of day as the
// fraction, in the writer's local time.

#include <cstdint>

namespace orb {

// Local now as such a date-time.
double NowDateTime();
// Seconds since the Unix epoch (UTC) to a local date-time, and back.
double UnixToLocalDateTime(int64_t unixSeconds);
int64_t LocalDateTimeToUnix(double dateTime);
// Days between 30 December 1899 and 1 January 1970.
constexpr double kUnixEpochDateTime = 25569.0;

}  // namespace orb
