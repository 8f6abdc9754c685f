#pragma once
// What the player window shows, as plain functions of plain values.

#include <cstdint>
#include <string>

namespace orb::player {

constexpr const char* kPlayerTitle = "Orbelo Live Player";
constexpr const char* kSliderHint = "Move the slider to a new position.";

// The title for a download notice (total bytes, bytes so far).
std::string DownloadTitle(int64_t total, int64_t soFar);
// What the player says when the download of a recording passed its cap (bytes) and was stopped.
std::string DownloadCappedText(int64_t cap);
// The download bar's value: so far / total in percent when both are above 0, 100 when they are
// equal, 0 when nothing arrived yet of a known total; otherwise the bar keeps `current`.
int DownloadBarValue(int64_t total, int64_t soFar, int current);
// A percentage as "%2f" writes it, then "%": "12.50%". Position n of count messages, at most 100;
// "0 %" when the recording does not say how many messages it holds.
std::string PositionPercent(int64_t n, int64_t count);
std::string PercentText(double percent);
// Left edge of the slider for position n on a bar of barWidth pixels, kept at 2 or more and at
// most barWidth - sliderWidth - 1.
int SliderLeft(int64_t n, int64_t count, int barWidth, int sliderWidth);
// Left edge of a slider centred on the mouse, within the same limits.
int SliderLeftAtMouse(int mouseX, int barWidth, int sliderWidth);
// The message to jump to for a release at mouseX on the bar (0..count).
uint32_t SliderTarget(int64_t count, int barWidth, int mouseX);
// Elapsed time as hours, minutes and seconds: "1:02:03", "0:00:07".
std::string ElapsedText(int64_t ms);

}  // namespace orb::player
