#include "player_logic.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace orb::player {

std::string DownloadTitle(int64_t total, int64_t soFar) {
    std::string t = kPlayerTitle;
    if (total != 0 && total == soFar) return t + " - Downloaded";
    if (total == 0 && soFar == 0) return t + " - Downloaded";
    return t + " - Downloading " + std::to_string(soFar / 1024) + " KB of " + std::to_string(total / 1024) + " KB";
}

std::string DownloadCappedText(int64_t cap) {
    return "The download of the recording was stopped: it is larger than " + std::to_string(cap / 1024) +
           " KB, the most it may be. What arrived until then can still be played.";
}

int DownloadBarValue(int64_t total, int64_t soFar, int current) {
    if (total == soFar) return 100;
    if (total > 0 && soFar > 0) return int(std::clamp<int64_t>(std::llround(double(soFar) * 100.0 / double(total)), 0, 100));
    if (soFar == 0 && total > 0) return 0;
    return current;
}

std::string PercentText(double percent) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%2.2f%%", percent);
    return buf;
}

std::string PositionPercent(int64_t n, int64_t count) {
    if (count <= 0) return "0 %";
    return PercentText(std::min(100.0, double(std::max<int64_t>(n, 0)) * 100.0 / double(count)));
}

namespace {
int Clamp(int left, int barWidth, int sliderWidth) {
    const int hi = barWidth - sliderWidth - 1;
    return std::max(2, std::min(left, hi));
}
}  // namespace

int SliderLeft(int64_t n, int64_t count, int barWidth, int sliderWidth) {
    if (count <= 0 || barWidth <= 0) return Clamp(2, barWidth, sliderWidth);
    const double perPixel = double(count) / double(barWidth);
    return Clamp(int(std::lround(double(n) / perPixel)), barWidth, sliderWidth);
}

int SliderLeftAtMouse(int mouseX, int barWidth, int sliderWidth) {
    return Clamp(mouseX - sliderWidth / 2, barWidth, sliderWidth);
}

uint32_t SliderTarget(int64_t count, int barWidth, int mouseX) {
    if (count <= 0 || barWidth <= 0) return 0;
    const double t = double(count) / double(barWidth) * double(std::max(0, mouseX));
    return uint32_t(std::clamp<int64_t>(std::llround(t), 0, count));
}

std::string ElapsedText(int64_t ms) {
    if (ms < 0) ms = 0;
    const int64_t s = ms / 1000;
    char buf[40];
    std::snprintf(buf, sizeof buf, "%lld:%02lld:%02lld", (long long)(s / 3600), (long long)(s / 60 % 60),
                  (long long)(s % 60));
    return buf;
}

}  // namespace orb::player
