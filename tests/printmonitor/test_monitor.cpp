#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>

#include "monitor.h"
#include "registry/registry.h"
#include "spooler/spooler.h"
#include "test_support.h"
#include "wire/text.h"

namespace {

using orb::spooler::Spooler;
using testpm::Stream;
using testpm::W;

class Monitor : public ::testing::Test {
protected:
    void SetUp() override {
        orb::reg::Registry::Default().Reconfigure({dir.path / "user", dir.path / "machine"});
        pagorix::FreeMonitor();
        Spooler::Instance().Clear();
        m = &pagorix::InitializeMonitor(nullptr)->Monitor;
        pagorix::Renderer().SetNoticeSink([this](const orb::TPrintNotice& n, const std::string& host, int port) {
            notices.push_back(n);
            addresses.push_back(host + ":" + std::to_string(port));
        });
        pagorix::Renderer().SetPageSaver([this](const pagorix::PageBitmap&, int, const std::string& path) {
            saved.push_back(path);
            return true;
        });
    }
    void TearDown() override { pagorix::FreeMonitor(); }

    // Calls an entry and returns its last-error code (0 for success), checking the BOOL agrees.
    template <typename F>
    DWORD Call(F&& f) {
        SetLastError(0xDEAD);
        BOOL ok = f();
        DWORD e = GetLastError();
        if (ok) return e == 0xDEAD ? 0 : e;
        EXPECT_NE(e, 0u);
        return e == 0 ? 0xFFFFFFFF : e;
    }

    // Starts and ends a document on an opened port; returns the notice of kind 2.
    orb::TPrintNotice RunEmptyDocument(const char16_t* port) {
        HANDLE h = nullptr;
        EXPECT_TRUE(m->pfnOpenPort(W(port), &h));
        EXPECT_TRUE(m->pfnStartDocPort(h, W(u"X"), 5, 1, nullptr));
        orb::TPrintNotice started = notices.back();
        EXPECT_TRUE(m->pfnEndDocPort(h));
        EXPECT_TRUE(m->pfnClosePort(h));
        return started;
    }

    testpm::TempDir dir;
    const MONITOR* m = nullptr;
    std::vector<orb::TPrintNotice> notices;
    std::vector<std::string> addresses;
    std::vector<std::string> saved;
};

TEST_F(Monitor, EntryTableHasFourteenEntriesInOrder) {
    MONITOREX* ex = pagorix::InitializeMonitor(nullptr);
    EXPECT_EQ(ex->dwMonitorSize, sizeof(MONITOR));
    EXPECT_EQ(sizeof(MONITOR), 14 * sizeof(void*));
    if (sizeof(void*) == 4) {
        EXPECT_EQ(ex->dwMonitorSize, 56u);
    }
    const MONITOR& t = ex->Monitor;
    EXPECT_TRUE(t.pfnEnumPorts && t.pfnOpenPort && t.pfnStartDocPort && t.pfnWritePort && t.pfnReadPort &&
                t.pfnEndDocPort && t.pfnClosePort && t.pfnAddPort && t.pfnConfigurePort && t.pfnDeletePort);
    EXPECT_EQ(t.pfnOpenPortEx, nullptr);
    EXPECT_EQ(t.pfnAddPortEx, nullptr);
    EXPECT_EQ(t.pfnGetPrinterDataFromPort, nullptr);
    EXPECT_EQ(t.pfnSetPortTimeOuts, nullptr);
}

TEST_F(Monitor, PortStatesAndErrorCodes) {
    EXPECT_EQ(Call([&] { return m->pfnAddPort(W(u"P1"), nullptr, W(u"Mon")); }), 0u);
    EXPECT_EQ(Call([&] { return m->pfnAddPort(W(u"P1"), nullptr, W(u"Mon")); }), ERROR_ALREADY_EXISTS);
    EXPECT_EQ(Call([&] { return m->pfnAddPort(nullptr, nullptr, W(u"Mon")); }), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(Call([&] { return m->pfnAddPort(W(u""), nullptr, W(u"Mon")); }), ERROR_INVALID_PARAMETER);

    HANDLE h = nullptr, h2 = nullptr;
    EXPECT_EQ(Call([&] { return m->pfnOpenPort(W(u"p1"), &h); }), ERROR_INVALID_NAME);  // names are exact
    EXPECT_EQ(Call([&] { return m->pfnOpenPort(W(u"P1"), &h); }), 0u);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(Call([&] { return m->pfnOpenPort(W(u"P1"), &h2); }), ERROR_BUSY);

    DWORD written = 1234;
    uint8_t byte = 0x10;
    EXPECT_EQ(Call([&] { return m->pfnWritePort(h, &byte, 1, &written); }), ERROR_INVALID_HANDLE);
    EXPECT_EQ(written, 1234u);
    EXPECT_EQ(Call([&] { return m->pfnEndDocPort(h); }), ERROR_INVALID_HANDLE);
    int notAPort = 0;
    EXPECT_EQ(Call([&] { return m->pfnStartDocPort(&notAPort, W(u"X"), 1, 1, nullptr); }), ERROR_INVALID_HANDLE);
    EXPECT_EQ(Call([&] { return m->pfnClosePort(&notAPort); }), ERROR_INVALID_HANDLE);

    EXPECT_EQ(Call([&] { return m->pfnStartDocPort(h, W(u"X"), 1, 1, nullptr); }), 0u);
    EXPECT_EQ(Call([&] { return m->pfnStartDocPort(h, W(u"X"), 2, 1, nullptr); }), ERROR_BUSY);
    EXPECT_EQ(Call([&] { return m->pfnClosePort(h); }), ERROR_INVALID_HANDLE);
    EXPECT_EQ(Call([&] { return m->pfnDeletePort(nullptr, nullptr, W(u"P1")); }), ERROR_BUSY);
    EXPECT_EQ(Call([&] { return m->pfnWritePort(h, &byte, 1, &written); }), 0u);
    EXPECT_EQ(written, 1u);
    EXPECT_EQ(Call([&] { return m->pfnWritePort(h, nullptr, 5, &written); }), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(Call([&] { return m->pfnEndDocPort(h); }), 0u);
    EXPECT_EQ(Call([&] { return m->pfnEndDocPort(h); }), ERROR_INVALID_HANDLE);

    DWORD read = 99;
    EXPECT_EQ(Call([&] { return m->pfnReadPort(h, &byte, 1, &read); }), 0u);
    EXPECT_EQ(read, 0u);
    EXPECT_EQ(Call([&] { return m->pfnConfigurePort(nullptr, nullptr, W(u"P1")); }), 0u);

    EXPECT_EQ(Call([&] { return m->pfnClosePort(h); }), 0u);
    EXPECT_EQ(Call([&] { return m->pfnClosePort(h); }), ERROR_INVALID_HANDLE);
    EXPECT_EQ(Call([&] { return m->pfnStartDocPort(h, W(u"X"), 1, 1, nullptr); }), ERROR_INVALID_HANDLE);
    EXPECT_EQ(Call([&] { return m->pfnDeletePort(nullptr, nullptr, W(u"P2")); }), ERROR_NOT_CONNECTED);
    EXPECT_EQ(Call([&] { return m->pfnDeletePort(nullptr, nullptr, W(u"P1")); }), 0u);
    EXPECT_EQ(Call([&] { return m->pfnOpenPort(W(u"P1"), &h); }), ERROR_INVALID_NAME);
    // A deleted port's old handle is no longer valid.
    EXPECT_EQ(Call([&] { return m->pfnClosePort(h); }), ERROR_INVALID_HANDLE);
}

TEST_F(Monitor, EnumPortsSizesAndLayout) {
    DWORD needed = 0, count = 77;
    // No ports: nothing is needed and nothing returned.
    EXPECT_EQ(Call([&] { return m->pfnEnumPorts(nullptr, 2, nullptr, 0, &needed, &count); }), 0u);
    EXPECT_EQ(needed, 0u);
    EXPECT_EQ(count, 0u);

    ASSERT_TRUE(m->pfnAddPort(W(u"OrbeloDocLoader"), nullptr, W(u"OrbeloDocLoader")));
    // 20 + 2 x (16 + 16 + 1) = 86 where pointers are 4 bytes; the structure is this platform's.
    const DWORD level2 = DWORD(sizeof(PORT_INFO_2W) + 2 * (16 + 16 + 1));
    if (sizeof(void*) == 4) {
        EXPECT_EQ(level2, 86u);
    }
    EXPECT_EQ(Call([&] { return m->pfnEnumPorts(nullptr, 2, nullptr, 0, &needed, &count); }),
              ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(needed, level2);
    ASSERT_TRUE(m->pfnAddPort(W(u"Second"), nullptr, W(u"M")));
    const DWORD level2Both = level2 + DWORD(sizeof(PORT_INFO_2W) + 2 * (7 + 2 + 1));
    std::vector<uint8_t> buf(level2Both + 16, 0xCC);
    EXPECT_EQ(Call([&] { return m->pfnEnumPorts(nullptr, 2, buf.data(), level2Both - 1, &needed, &count); }),
              ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(needed, level2Both);
    // Exactly the needed size: the last string's terminator is the buffer's last two bytes.
    EXPECT_EQ(Call([&] { return m->pfnEnumPorts(nullptr, 2, buf.data(), level2Both, &needed, &count); }), 0u);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(buf[level2Both], 0xCC);
    PORT_INFO_2W info[2];
    std::memcpy(info, buf.data(), sizeof info);
    EXPECT_EQ(std::u16string(info[0].pPortName), u"OrbeloDocLoader");
    EXPECT_EQ(std::u16string(info[0].pMonitorName), u"OrbeloDocLoader");
    EXPECT_EQ(std::u16string(info[0].pDescription), u"");
    EXPECT_EQ(info[0].fPortType, PORT_TYPE_WRITE);
    EXPECT_EQ(std::u16string(info[1].pPortName), u"Second");
    EXPECT_EQ(std::u16string(info[1].pMonitorName), u"M");
    EXPECT_EQ(reinterpret_cast<uint8_t*>(info[1].pDescription) + 2, buf.data() + level2Both);
    EXPECT_EQ(reinterpret_cast<uint8_t*>(info[0].pPortName), buf.data() + 2 * sizeof(PORT_INFO_2W));

    // Level 1 in a larger buffer: structures at the start, strings ending at the buffer's end.
    const DWORD level1 = DWORD(2 * sizeof(PORT_INFO_1W) + 2 * (16 + 7));
    std::vector<uint8_t> big(level1 + 40, 0xCC);
    EXPECT_EQ(Call([&] { return m->pfnEnumPorts(nullptr, 1, big.data(), DWORD(big.size()), &needed, &count); }), 0u);
    EXPECT_EQ(needed, level1);
    PORT_INFO_1W one[2];
    std::memcpy(one, big.data(), sizeof one);
    EXPECT_EQ(std::u16string(one[0].pName), u"OrbeloDocLoader");
    EXPECT_EQ(std::u16string(one[1].pName), u"Second");
    EXPECT_EQ(reinterpret_cast<uint8_t*>(one[1].pName) + 14, big.data() + big.size());
    EXPECT_EQ(Call([&] { return m->pfnEnumPorts(nullptr, 1, nullptr, 5000, &needed, &count); }),
              ERROR_INVALID_PARAMETER);
}

TEST_F(Monitor, JobRunsAndIsDeletedFromTheQueue) {
    auto& spooler = Spooler::Instance();
    spooler.AddPrinter(u"Room Printer", u"P");
    DWORD job = spooler.AddJob(u"Room Printer", u"ann", u"notes.pdf", 7);
    ASSERT_EQ(job, 7u);
    ASSERT_TRUE(m->pfnAddPort(W(u"P"), nullptr, W(u"OrbeloDocLoader")));
    HANDLE h = nullptr;
    ASSERT_TRUE(m->pfnOpenPort(W(u"P"), &h));
    W doc(u"notes.pdf");
    DOC_INFO_1W info{doc, nullptr, nullptr};
    ASSERT_TRUE(m->pfnStartDocPort(h, W(u"Room Printer"), 7, 1, reinterpret_cast<LPBYTE>(&info)));
    EXPECT_EQ(static_cast<pagorix::TvpjPort*>(h)->documentName, u"notes.pdf");
    spooler.TakeDebugLines();
    auto s = Stream().cmd(0x71).cmd(0x74).cmd(0x45).cmd(0x72).cmd(0x73).b;
    DWORD written = 0;
    ASSERT_TRUE(m->pfnWritePort(h, s.data(), DWORD(s.size()), &written));
    EXPECT_EQ(written, s.size());
    EXPECT_EQ(spooler.TakeDebugLines(), std::vector<std::string>{"to write:" + std::to_string(s.size())});
    EXPECT_TRUE(spooler.HasJob(7));
    ASSERT_TRUE(m->pfnEndDocPort(h));
    EXPECT_FALSE(spooler.HasJob(7));
    ASSERT_EQ(notices.size(), 4u);
    int kinds[] = {2, 4, 5, 3};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(notices[i].kind, kinds[i]);
        EXPECT_EQ(notices[i].jobId, 7);
    }
    // Without a FilesRoot the folder is a lone delimiter; the per-user folder is not set here.
    EXPECT_EQ(notices[0].path, "/");
    EXPECT_EQ(notices[0].pageNumber, 0);
    EXPECT_EQ(notices[3].pageNumber, 1);
    EXPECT_EQ(saved, std::vector<std::string>{"/1.jpg"});

    // A printer the spooler does not know: the document still ends, the job stays queued.
    spooler.AddJob(u"Room Printer", u"ann", u"b", 8);
    ASSERT_TRUE(m->pfnStartDocPort(h, W(u"Gone Printer"), 8, 2, nullptr));
    EXPECT_EQ(static_cast<pagorix::TvpjPort*>(h)->documentName, u"");
    ASSERT_TRUE(m->pfnEndDocPort(h));
    EXPECT_TRUE(spooler.HasJob(8));
    EXPECT_EQ(notices.back().kind, 3);
    EXPECT_TRUE(m->pfnClosePort(h));
}

TEST_F(Monitor, FailedNoticesAndPageSavesDoNotReachTheSpooler) {
    pagorix::Renderer().SetNoticeSink([](const orb::TPrintNotice&, const std::string&, int) {
        throw std::runtime_error("network down");
    });
    pagorix::Renderer().SetPageSaver([](const pagorix::PageBitmap&, int, const std::string&) -> bool {
        throw std::runtime_error("disk gone");
    });
    ASSERT_TRUE(m->pfnAddPort(W(u"P"), nullptr, W(u"M")));
    HANDLE h = nullptr;
    ASSERT_TRUE(m->pfnOpenPort(W(u"P"), &h));
    EXPECT_TRUE(m->pfnStartDocPort(h, W(u"X"), 1, 1, nullptr));
    auto s = Stream().cmd(0x71).cmd(0x45).cmd(0x72).cmd(0x73).b;
    DWORD written = 0;
    EXPECT_TRUE(m->pfnWritePort(h, s.data(), DWORD(s.size()), &written));
    EXPECT_TRUE(m->pfnEndDocPort(h));
    EXPECT_TRUE(m->pfnClosePort(h));
}

TEST_F(Monitor, RenderingErrorFailsWritePortUntilTheNextDocument) {
    ASSERT_TRUE(m->pfnAddPort(W(u"P"), nullptr, W(u"M")));
    HANDLE h = nullptr;
    ASSERT_TRUE(m->pfnOpenPort(W(u"P"), &h));
    ASSERT_TRUE(m->pfnStartDocPort(h, W(u"X"), 1, 1, nullptr));
    pagorix::Renderer().SetBitmapByteLimit(100);
    auto s = Stream().cmd(0x71).cmd(0x72).cmd(0x73).b;
    DWORD written = 0;
    SetLastError(0);
    EXPECT_FALSE(m->pfnWritePort(h, s.data(), DWORD(s.size()), &written));
    EXPECT_EQ(GetLastError(), 22u);
    EXPECT_EQ(written, s.size());
    EXPECT_FALSE(m->pfnWritePort(h, s.data(), DWORD(s.size()), &written));
    ASSERT_TRUE(m->pfnEndDocPort(h));
    pagorix::Renderer().SetBitmapByteLimit(pagorix::TvpjRenderer::LargestBitmapBytes());
    ASSERT_TRUE(m->pfnStartDocPort(h, W(u"X"), 2, 1, nullptr));
    EXPECT_TRUE(m->pfnWritePort(h, s.data(), DWORD(s.size()), &written));
    ASSERT_TRUE(m->pfnEndDocPort(h));
    std::vector<int> kinds;
    for (auto& n : notices) kinds.push_back(n.kind);
    EXPECT_EQ(kinds, (std::vector<int>{2, 1, 3, 2, 4, 5, 3}));
    EXPECT_TRUE(m->pfnClosePort(h));
}

constexpr const char* kMonitorKey = "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\OrbeloLive6DocLoader";
constexpr const char16_t* kMonitorKeyW = u"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\OrbeloLive6DocLoader";

TEST_F(Monitor, PortListFromTheMachineKey) {
    using namespace orb::reg;
    // A missing key leaves the list empty.
    pagorix::InitializeMonitor(W(kMonitorKeyW));
    DWORD needed = 1, count = 1;
    EXPECT_TRUE(m->pfnEnumPorts(nullptr, 1, nullptr, 0, &needed, &count));
    EXPECT_EQ(count, 0u);

    Key k = CreateKey(HKEY_LOCAL_MACHINE, kMonitorKey);
    ASSERT_TRUE(k.WriteString("FilesRoot", dir.folder() + "pages"));
    ASSERT_TRUE(k.WriteString("PortName", "OrbeloLive6DocLoader"));
    pagorix::InitializeMonitor(W(kMonitorKeyW));
    pagorix::InitializeMonitor(W(kMonitorKeyW));  // loading again adds nothing
    auto& list = pagorix::PortList();
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Item(0).portName, u"OrbeloLive6DocLoader");
    EXPECT_EQ(list.Item(0).monitorName, u"OrbeloDocLoader");
    EXPECT_EQ(list.FilesRoot(), orb::Utf8ToUtf16(dir.folder() + "pages"));
    // The monitor's folder gets its delimiter at the document start.
    EXPECT_EQ(RunEmptyDocument(u"OrbeloLive6DocLoader").path, dir.folder() + "pages/");

    // Blanks name no port; the key path may also be given directly.
    ASSERT_TRUE(k.WriteString("PortName", "   "));
    list.LoadFromRegistry(kMonitorKeyW);
    EXPECT_EQ(list.Count(), 1);
    ASSERT_TRUE(k.WriteString("PortName", " \t\r\n "));
    list.LoadFromRegistry(kMonitorKeyW);
    EXPECT_EQ(list.Count(), 1);
    // A missing FilesRoot reads as empty: the folder is a lone delimiter.
    ASSERT_TRUE(k.DeleteValue("FilesRoot"));
    list.LoadFromRegistry(u"");
    EXPECT_EQ(RunEmptyDocument(u"OrbeloLive6DocLoader").path, "/");

    // Values of the wrong type take the fallbacks: the default port name and our per-machine folder.
    ASSERT_TRUE(k.WriteDWord("FilesRoot", 1));
    ASSERT_TRUE(k.WriteDWord("PortName", 1));
    list.LoadFromRegistry(u"");
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Item(1).portName, u"OrbeloDocLoader");
    EXPECT_EQ(list.FilesRoot(), orb::Utf8ToUtf16(dir.folder() + "OrbeloTemp/"));
    EXPECT_TRUE(std::filesystem::is_directory(dir.path / "OrbeloTemp"));
}

TEST_F(Monitor, PerUserExportSettings) {
    using namespace orb::reg;
    Key mk = CreateKey(HKEY_LOCAL_MACHINE, kMonitorKey);
    ASSERT_TRUE(mk.WriteString("FilesRoot", "/srv/root"));
    ASSERT_TRUE(mk.WriteString("PortName", "P"));
    pagorix::InitializeMonitor(W(kMonitorKeyW));

    // No per-user key: the monitor's folder and the default notice address.
    EXPECT_EQ(RunEmptyDocument(u"P").path, "/srv/root/");
    EXPECT_EQ(addresses.back(), "127.0.0.1:27777");

    // The client writes the key in upper case; names compare without regard to case.
    Key uk = CreateKey(HKEY_CURRENT_USER, "Software\\ORBELO RAREDIDAZEREVA\\Orbelo Live 6 Document Loader");
    ASSERT_TRUE(uk.WriteString("CurrentExportFolder", "/home/ann/export"));
    ASSERT_TRUE(uk.WriteString("FileNamePattern", "Slide_"));
    ASSERT_TRUE(uk.WriteString("Host", "::1"));
    ASSERT_TRUE(uk.WriteDWord("Port", 4242));
    EXPECT_EQ(RunEmptyDocument(u"P").path, "/home/ann/export/");
    EXPECT_EQ(addresses.back(), "::1:4242");
    EXPECT_EQ(pagorix::Renderer().FilePrefix(), "Slide_");

    // Port 0 means the default port; an empty folder keeps the monitor's.
    ASSERT_TRUE(uk.WriteDWord("Port", 0));
    ASSERT_TRUE(uk.WriteString("CurrentExportFolder", ""));
    EXPECT_EQ(RunEmptyDocument(u"P").path, "/srv/root/");
    EXPECT_EQ(addresses.back(), "::1:27777");

    // A value of the wrong type ends the reading: what came before applies, host and port are defaults.
    ASSERT_TRUE(uk.WriteString("CurrentExportFolder", "/home/ann/second/"));
    ASSERT_TRUE(uk.WriteDWord("FileNamePattern", 3));
    ASSERT_TRUE(uk.WriteDWord("Port", 4242));
    EXPECT_EQ(RunEmptyDocument(u"P").path, "/home/ann/second/");
    EXPECT_EQ(addresses.back(), "127.0.0.1:27777");
    EXPECT_EQ(pagorix::Renderer().FilePrefix(), "Slide_");
}

TEST_F(Monitor, NoticesArriveOverUdp) {
    testpm::UdpListener udp;
    using namespace orb::reg;
    Key mk = CreateKey(HKEY_LOCAL_MACHINE, kMonitorKey);
    ASSERT_TRUE(mk.WriteString("FilesRoot", dir.folder()));
    ASSERT_TRUE(mk.WriteString("PortName", "OrbeloLive6DocLoader"));
    Key uk = CreateKey(HKEY_CURRENT_USER, pagorix::kUserExportKey);
    ASSERT_TRUE(uk.WriteString("FileNamePattern", "Slide_"));
    ASSERT_TRUE(uk.WriteString("Host", "127.0.0.1"));
    ASSERT_TRUE(uk.WriteDWord("Port", uint32_t(udp.port())));
    pagorix::FreeMonitor();  // the renderer's own sender this time
    m = &pagorix::InitializeMonitor(W(kMonitorKeyW))->Monitor;

    HANDLE h = nullptr;
    ASSERT_TRUE(m->pfnOpenPort(W(u"OrbeloLive6DocLoader"), &h));
    ASSERT_TRUE(m->pfnStartDocPort(h, W(u"X"), 1234, 1, nullptr));
    auto s = Stream().cmd(0x71).cmd(0x74).cmd(0x45).cmd(0x72).cmd(0x73).cmd(0x72).cmd(0x73).b;
    DWORD written = 0;
    ASSERT_TRUE(m->pfnWritePort(h, s.data(), DWORD(s.size()), &written));
    ASSERT_TRUE(m->pfnEndDocPort(h));
    ASSERT_TRUE(m->pfnClosePort(h));

    struct Want {
        int kind, page;
        std::string path;
        int value;
    } want[] = {{2, 0, dir.folder(), 0},
                {4, 1, dir.folder(), 1},
                {5, 1, dir.folder() + "Slide_1.jpg", 1},
                {4, 2, dir.folder(), 2},
                {5, 2, dir.folder() + "Slide_2.jpg", 2},
                {3, 2, dir.folder(), 0}};
    for (auto& w : want) {
        std::vector<uint8_t> d;
        ASSERT_TRUE(udp.Receive(d)) << "kind " << w.kind;
        ASSERT_EQ(d.size(), 518u);
        orb::TPrintNotice n;
        ASSERT_TRUE(orb::DecodePrintNotice(d, n));
        EXPECT_EQ(n.jobId, 1234);
        EXPECT_EQ(n.kind, w.kind);
        EXPECT_EQ(n.pageNumber, w.page);
        EXPECT_EQ(n.path, w.path);
        EXPECT_EQ(n.pageValue, w.value);
        EXPECT_TRUE(n.first.empty());
    }
    EXPECT_TRUE(std::filesystem::exists(dir.path / "Slide_2.jpg"));
}

}  // namespace
