#pragma once
// A small X client of the tests: paints the root window, records the input that reaches an
// input-only window over the whole screen, and makes windows and window-manager properties.
// Kept apart so Xlib's macros stay out of the tests' other headers.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace orb::test {

constexpr int kW = 320, kH = 200;

class XClient {
public:
    explicit XClient(const std::string& display);
    ~XClient();
    bool Ok() const;
    void Paint(int x0, int y0, int w, int h, uint32_t (*colour)(int, int));
    // The recording window, with the keyboard focus.
    void Recorder();
    // "press 1 at 160,100", "key h", in arrival order since the last call.
    std::vector<std::string> Events();
    uint32_t MakeWindow(const char* title, int x, int width, bool mapped = true);
    void SetIcon(uint32_t window, std::vector<unsigned long> icon);
    void SetClientList(const std::vector<uint32_t>& windows);
    void SetWorkArea(int x, int y, int w, int h);
    void Destroy(uint32_t window);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace orb::test
