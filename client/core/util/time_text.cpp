#include "util/time_text.h"

#include <chrono>
#include <cstdio>
#include <ctime>

namespace orb {

std::string MinutesToHourMin(int64_t minutes) {
    if (minutes < 0) minutes = 0;
    char buf[40];
    std::snprintf(buf, sizeof buf, "%lld:%02lld", static_cast<long long>(minutes / 60),
                  static_cast<long long>(minutes % 60));
    return buf;
}

std::string MillisecondsToTimeText(int64_t ms) {
    if (ms < 0) ms = 0;
    int64_t s = ms / 1000;
    char buf[48];
    std::snprintf(buf, sizeof buf, "%lld:%02lld:%02lld", static_cast<long long>(s / 3600),
                  static_cast<long long>(s / 60 % 60), static_cast<long long>(s % 60));
    return buf;
}

double ShiftTimeZone(double dateTime, int32_t minutesA, int32_t minutesB) {
    return dateTime - minutesA / 1440.0 + minutesB / 1440.0;
}

int32_t GetTimeZoneBias() {
    std::time_t now = std::time(nullptr);
    std::tm tm {};
    if (!localtime_r(&now, &tm)) return 0;
    return static_cast<int32_t>(-tm.tm_gmtoff / 60);
}

double NowUTC() {
    using namespace std::chrono;
    double ms = static_cast<double>(duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count());
    return 25569.0 + ms / 86'400'000.0;
}

}  // namespace orb
