#pragma once
// One row of the summary table that scripts/bench prints at the end: the measure, its goal as
// text, this run's value and whether it meets the goal. scripts/bench takes the median of the runs.
#include <cstdio>

namespace orb::bench {

inline void Summary(const char* measure, const char* goal, double value, const char* met) {
    std::printf("SUMMARY|%s|%s|%.6g|%s\n", measure, goal, value, met);
    std::fflush(stdout);
}
inline void Summary(const char* measure, const char* goal, double value, bool met) {
    Summary(measure, goal, value, met ? "yes" : "no");
}

}  // namespace orb::bench
