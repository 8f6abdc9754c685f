#include "protocol/date_time.h"

#include <chrono>
#include <cmath>
#include <ctime>

namespace orb {

namespace {
// Offset of local time from UTC in seconds at the given instant.
long LocalOffsetSeconds(std::time_t t) {
    std::tm local{};
    localtime_r(&t, &local);
    return local.tm_gmtoff;
}
}  // namespace

double NowDateTime() {
    using namespace std::chrono;
    auto now = system_clock::now();
    auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count();
    std::time_t secs = static_cast<std::time_t>(ms / 1000);
    // Every message sent stamps its header: the offset is looked up once a second, not once a
    // message (localtime_r takes the time zone lock each time).
    thread_local std::time_t offsetAt = -1;
    thread_local long offset = 0;
    if (secs != offsetAt) {
        offset = LocalOffsetSeconds(secs);
        offsetAt = secs;
    }
    double localMs = double(ms) + double(offset) * 1000.0;
    return kUnixEpochDateTime + localMs / 86'400'000.0;
}

double UnixToLocalDateTime(int64_t unixSeconds) {
    auto t = static_cast<std::time_t>(unixSeconds);
    return kUnixEpochDateTime + double(unixSeconds + LocalOffsetSeconds(t)) / 86400.0;
}

int64_t LocalDateTimeToUnix(double dateTime) {
    auto localSecs = static_cast<int64_t>(std::llround((dateTime - kUnixEpochDateTime) * 86400.0));
    // The offset at the local instant is close enough to the offset at the UTC instant; correct once.
    long off = LocalOffsetSeconds(static_cast<std::time_t>(localSecs));
    long off2 = LocalOffsetSeconds(static_cast<std::time_t>(localSecs - off));
    return localSecs - off2;
}

}  // namespace orb
