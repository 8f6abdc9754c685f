#pragma once
// Monotonic millisecond clock, injectable so that timing behaviour (pacing, heartbeats, countdowns,
// replay) can be tested without sleeping.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>

namespace orb {

class IClock {
public:
    virtual ~IClock() = default;
    virtual int64_t NowMs() = 0;
    virtual void SleepMs(int64_t ms) = 0;
};

class SystemClock final : public IClock {
public:
    int64_t NowMs() override {
        using namespace std::chrono;
        return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    }
    void SleepMs(int64_t ms) override {
        if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
    static SystemClock& Instance() {
        static SystemClock clock;
        return clock;
    }
};

// Time moves only when a test advances it or when code sleeps on it (sleeping advances at once).
class FakeClock final : public IClock {
public:
    explicit FakeClock(int64_t startMs = 1'000'000) : now_(startMs) {}
    int64_t NowMs() override { return now_.load(); }
    void SleepMs(int64_t ms) override {
        if (ms > 0) now_ += ms;
    }
    void Advance(int64_t ms) { now_ += ms; }

private:
    std::atomic<int64_t> now_;
};

}  // namespace orb
