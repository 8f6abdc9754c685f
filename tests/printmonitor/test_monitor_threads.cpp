#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "monitor.h"
#include "registry/registry.h"
#include "spooler/spooler.h"
#include "test_support.h"

namespace {

using testpm::Stream;
using testpm::W;

class Monitor : public ::testing::Test {
protected:
    void SetUp() override {
        orb::reg::Registry::Default().Reconfigure({dir.path / "user", dir.path / "machine"});
        pagorix::FreeMonitor();
        m = &pagorix::InitializeMonitor(nullptr)->Monitor;
        pagorix::Renderer().SetNoticeSink([this](const orb::TPrintNotice& n, const std::string&, int) {
            notices.push_back(n);
        });
        pagorix::Renderer().SetPageSaver([](const pagorix::PageBitmap&, int, const std::string&) { return true; });
    }
    void TearDown() override { pagorix::FreeMonitor(); }
    testpm::TempDir dir;
    const MONITOR* m = nullptr;
    std::vector<orb::TPrintNotice> notices;  // appended under the monitor's lock
};

// Spooler threads calling the entries at once, each with its own port: the lock keeps the shared
// renderer and list consistent (also checked under ThreadSanitizer).
TEST_F(Monitor, ConcurrentJobsOnSeveralPorts) {
    constexpr int kPorts = 4;
    for (int i = 0; i < kPorts; ++i) {
        std::u16string name = u"T" + std::u16string(1, char16_t(u'0' + i));
        ASSERT_TRUE(m->pfnAddPort(name.data(), nullptr, W(u"M")));
    }
    auto s = Stream().cmd(0x45).cmd(0x72).y(10).x(10).fill(30, 9, 9, 9).cmd(0x73).b;
    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    for (int i = 0; i < kPorts; ++i)
        threads.emplace_back([&, i] {
            std::u16string name = u"T" + std::u16string(1, char16_t(u'0' + i));
            for (int round = 0; round < 5; ++round) {
                HANDLE h = nullptr;
                if (!m->pfnOpenPort(name.data(), &h)) { ++failures; continue; }
                std::u16string printer = u"X";
                if (!m->pfnStartDocPort(h, printer.data(), DWORD(i), 1, nullptr)) ++failures;
                DWORD w = 0;
                for (size_t off = 0; off < s.size(); off += 5)
                    if (!m->pfnWritePort(h, s.data() + off, DWORD(std::min<size_t>(5, s.size() - off)), &w)) ++failures;
                DWORD needed = 0, count = 0;
                m->pfnEnumPorts(nullptr, 1, nullptr, 0, &needed, &count);
                if (!m->pfnEndDocPort(h) || !m->pfnClosePort(h)) ++failures;
            }
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(failures.load(), 0);
    // Pages of documents that overlap on the one renderer are not meaningful; their starts and ends are.
    EXPECT_EQ(std::count_if(notices.begin(), notices.end(), [](auto& n) { return n.kind == 2; }), kPorts * 5);
    EXPECT_EQ(std::count_if(notices.begin(), notices.end(), [](auto& n) { return n.kind == 3; }), kPorts * 5);
}

// A printer handle closed by one thread while another deletes a job through it: the job call
// either finds the handle or reports it invalid, never reads a freed one.
TEST(SpoolerHandles, ClosingWhileDeletingAJob) {
    auto& sp = orb::spooler::Spooler::Instance();
    sp.Clear();
    sp.AddPrinter(u"Room Printer", u"P");
    for (int round = 0; round < 200; ++round) {
        DWORD job = sp.AddJob(u"Room Printer", u"ann", u"doc");
        std::u16string name = u"Room Printer";
        HANDLE h = nullptr;
        ASSERT_TRUE(OpenPrinterW(name.data(), &h, nullptr));
        std::thread closer([h] { ClosePrinter(h); });
        SetJob(h, job, 0, nullptr, JOB_CONTROL_DELETE);
        closer.join();
        sp.DeleteJob(job);
    }
    sp.Clear();
}

}  // namespace
