// The print road through a real CUPS scheduler: the document printer installed into a private
// scheduler, a three-page PDF printed to it by the Document Uploader's own submission, our filter
// and backend and the monitor writing JPEG pages, the notices collected and the presentation
// uploaded; the pages match poppler's rendering of the same PDF. The uploader's own list refreshes,
// and a second client in the room lists the presentation and shows its page 2 on its board.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <grp.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <deque>
#include <fstream>
#include <mutex>
#include <sstream>

#include <QColor>
#include <QImage>

#include "board/engine/board_engine.h"
#include "boardmsg/board_dm_link.h"
#include "boardmsg/board_messages.h"
#include "cups_scheduler.h"
#include "dm/dm.h"
#include "libraries/library_records.h"
#include "roomserver/ext_libraries.h"
#include "loop/plain_event_loop.h"
#include "print/document_uploader.h"
#include "roomserver/file_transfer_port.h"
#include "transfer/file_transfer.h"
#include "print/drv_installer.h"
#include "print/print_submit.h"
#include "registry/registry.h"
#include "util/images.h"

namespace {

namespace fs = std::filesystem;
using namespace orb::print;

struct Colour {
    double r, g, b;
};
// Each page: a full-width coloured band and a black box, at places that differ per page.
const Colour kBands[3] = {{0.9, 0.1, 0.1}, {0.1, 0.6, 0.2}, {0.1, 0.2, 0.9}};

std::string MakePdf() {
    std::vector<std::string> objects;
    objects.push_back("<< /Type /Catalog /Pages 2 0 R >>");
    objects.push_back("<< /Type /Pages /Kids [3 0 R 5 0 R 7 0 R] /Count 3 >>");
    for (int i = 0; i < 3; ++i) {
        const int content = 4 + 2 * i;
        objects.push_back("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Contents " +
                          std::to_string(content) + " 0 R >>");
        std::ostringstream s;
        s << kBands[i].r << " " << kBands[i].g << " " << kBands[i].b << " rg 50 " << 650 - 150 * i
          << " 495 120 re f 0 0 0 rg " << 100 + 120 * i << " 150 150 150 re f\n";
        objects.push_back("<< /Length " + std::to_string(s.str().size()) + " >>\nstream\n" + s.str() + "endstream");
    }
    std::string pdf = "%PDF-1.4\n";
    std::vector<size_t> offsets;
    for (size_t i = 0; i < objects.size(); ++i) {
        offsets.push_back(pdf.size());
        pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const size_t xref = pdf.size();
    pdf += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (size_t o : offsets) {
        char line[32];
        std::snprintf(line, sizeof line, "%010zu 00000 n \n", o);
        pdf += line;
    }
    pdf += "trailer\n<< /Size " + std::to_string(objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
           std::to_string(xref) + "\n%%EOF\n";
    return pdf;
}

bool ReadFile(const fs::path& p, std::vector<uint8_t>& out) {
    std::ifstream in(p, std::ios::binary);
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !out.empty();
}

// A client in the room: its data module with the whiteboard engine on its board messages.
struct RoomClient {
    orb::PlainEventLoop loop;
    TDM dm{loop, 900};
    orb::board::TDMBoardLink link{dm};
    orb::board::TBoardEngine engine{link};
    orb::board::TBoardMessages messages{engine, link};

    RoomClient() {
        dm.BoardMessages = &messages;
        dm.BoardSink = &engine;
        engine.InitWhiteboards();
    }
    ~RoomClient() {
        dm.StopReaderThread();
        dm.StopWriterThread();
        dm.Transfers.StopAll();
    }
    bool Join(orb::test::TRoomServer& room, uint16_t filesPort, int32_t id, int32_t level) {
        dm.OwnLoginInfo.SetUserId(id);
        dm.OwnLoginInfo.SetLevel(level);
        dm.OwnUserId = id;
        dm.BoardRight = level >= 1000;
        dm.ServerHost = "127.0.0.1";
        dm.FileTransferPort = filesPort;
        const size_t before = room.Connections().size();
        if (!dm.vcrClient.Connect("127.0.0.1", room.Port(), 2000) || !room.WaitForConnections(before + 1)) return false;
        room.Connection(room.Connections().back())->userId = id;
        dm.StartReaderThread();
        dm.StartWriterThread(1 << 22);
        return true;
    }
    bool PumpUntil(const std::function<bool()>& done) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < until) {
            loop.ProcessPending();
            if (done()) return true;
            poll(nullptr, 0, 2);
        }
        return done();
    }
};

struct NullView : IDocumentUploaderView {
    std::vector<std::string> messages;
    bool closed = false;
    void SetDocumentPath(const std::string&) override {}
    void SetStatus(const std::string&) override {}
    void SetPageCount(const std::string&) override {}
    void SetProgressMax(int) override {}
    void SetProgress(int) override {}
    void SetButtons(bool, bool, bool) override {}
    void ShowSlideSize(bool) override {}
    void SetBusy(bool) override {}
    TMsgAnswer ShowMessage(TMsgKind, TMsgButtons, const std::string& text) override {
        messages.push_back(text);
        return TMsgAnswer::Ok;
    }
    void Activate() override {}
    bool StartListener() override { return true; }
    void StopListener() override {}
    void CloseWindow() override { closed = true; }
};

TEST(CupsRoad, PdfPrintedToTheDocumentPrinterBecomesAnUploadedPresentation) {
    ASSERT_EQ(geteuid(), 0u) << "the scheduler and the installer run as root";
    // The scheduler passes these to our backend: the settings the test writes are the ones it reads.
    const fs::path root = orbtest::MakeTempFolder();
    struct Remove {
        fs::path p;
        ~Remove() { fs::remove_all(p); }
    } removeRoot{root};
    const fs::path config = root / "config", machine = root / "machine";
    orbtest::CupsScheduler scheduler({"XDG_CONFIG_HOME=" + config.string(), "ORB_REGISTRY_MACHINE_DIR=" + machine.string(),
                                      "ORB_PRINT_MONITOR=" + (root / "lib" / kMonitorLibraryFile).string()});
    std::string error;
    ASSERT_TRUE(scheduler.Start(error)) << error;
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    setenv("ORB_REGISTRY_MACHINE_DIR", machine.c_str(), 1);
    orb::reg::Registry::Default().Reconfigure(orb::reg::Registry::DefaultFolders());

    TProcessRunner runner;
    TCupsLayout layout;
    layout.serverBin = scheduler.ServerBin();
    layout.ppdFolder = root / "ppd";
    layout.monitorFolder = root / "lib";
    TDrvInstaller installer(runner, layout);
    ASSERT_FALSE(installer.IsDocumentPrinterInstalled(kMonitorName, kPortName, kPrinterName, kDriverName));
    ASSERT_TRUE(installer.InstallDocumentPrinter(ORB_PRINTER_BUNDLE_DIR, (root / "unused").string() + "/", kPrinterName,
                                                 kDriverName, kPortName, kMonitorName))
        << installer.LastError() << scheduler.ErrorLog();
    ASSERT_TRUE(installer.IsDocumentPrinterInstalled(kMonitorName, kPortName, kPrinterName, kDriverName));
    // Installing again adds nothing.
    EXPECT_FALSE(installer.InstallDocumentPrinter(ORB_PRINTER_BUNDLE_DIR, "/elsewhere/", kPrinterName, kDriverName,
                                                  kPortName, kMonitorName));
    std::string queues;
    orbtest::RunCommand({"lpstat", "-v"}, &queues);
    EXPECT_EQ(queues, "device for OrbeloLive6DocLoader: pagorix:/OrbeloLive6DocLoader\n");

    // The notice listener, on a port of its own.
    int udp = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(udp, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    socklen_t len = sizeof addr;
    getsockname(udp, reinterpret_cast<sockaddr*>(&addr), &len);

    const fs::path pdf = root / "handout.pdf";
    std::ofstream(pdf, std::ios::binary) << MakePdf();

    std::mutex mu;
    std::deque<std::function<void()>> posted;
    std::vector<std::string> uploads;
    std::vector<fs::path> uploadedPages;
    TUploaderServices services;
    services.ownUserId = 9;
    services.workFolder = root / "work";
    services.noticePort = ntohs(addr.sin_port);
    services.printerInstalled = [&](std::string&) {
        return installer.IsDocumentPrinterInstalled(kMonitorName, kPortName, kPrinterName, kDriverName);
    };
    services.print = [&](const fs::path& doc, const fs::path& folder, std::string& job) {
        return SubmitToDocumentPrinter(runner, doc, folder, root / "profile", nullptr, &job);
    };
    services.waitPrinted = [&](const std::string& job, const std::atomic<bool>& stop) {
        WaitForPrintJob(runner, job, stop, std::chrono::seconds(120));
    };
    // Uploads go to the test room server's file-transfer port, one connection each.
    orb::test::TRoomServer room;
    orb::test::TFileTransferPort files{room};
    const orb::test::PRoomExtension library = orb::test::MakeLibrariesExtension(room, &files);
    ASSERT_TRUE(room.Start());
    // The uploader's own client, and a second presenter in the same room.
    RoomClient own, other;
    ASSERT_TRUE(own.Join(room, files.Port(), 9, 1000));
    ASSERT_TRUE(other.Join(room, files.Port(), 20, 1000));
    services.requestPresentationList = [&] { own.dm.SendPresentationListRequest(); };
    orb::PlainEventLoop loop;
    services.upload = [&](const fs::path& f, int32_t n, int type, const std::string& id) {
        orb::TTransferEndpoint endpoint;
        endpoint.host = "127.0.0.1";
        endpoint.port = files.Port();
        orb::TTransferIdentity me;
        me.userId = 9;
        orb::TFileUploadThread t(loop, endpoint, {}, 0, n, type, id, f, me);
        t.Start();
        t.Join();
        std::lock_guard l(mu);
        uploads.push_back(f.filename().string() + ":" + std::to_string(n) + ":" + std::to_string(type));
        if (type == kUploadPage) uploadedPages.push_back(f);
        return t.Finished() && t.ReturnValue() == orb::kTransferOk;
    };
    services.toMainThread = [&](std::function<void()> fn) {
        std::lock_guard l(mu);
        posted.push_back(std::move(fn));
    };
    // Runs one Upload of `doc` until the window closes or the job ends; the view afterwards.
    auto runJob = [&](NullView& view, const fs::path& doc, bool untilClosed) {
        TDocumentUploader uploader(view, services);
        uploader.SelectFile(doc);
        uploader.Upload(false, "", "");
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(120);
        while (!view.closed && (untilClosed || uploader.Busy()) && std::chrono::steady_clock::now() < until) {
            pollfd p{udp, POLLIN, 0};
            if (poll(&p, 1, 50) > 0) {
                uint8_t buf[2048];
                ssize_t n = recv(udp, buf, sizeof buf, 0);
                if (n > 0) uploader.UDPPrintReaderUDPRead(std::span(buf, size_t(n)));
            }
            std::deque<std::function<void()>> run;
            {
                std::lock_guard l(mu);
                run.swap(posted);
            }
            for (auto& fn : run) fn();
            loop.ProcessPending();
        }
        if (view.closed) uploader.Closing();  // as the window's close does
    };
    NullView view;
    runJob(view, pdf, true);
    ASSERT_TRUE(view.closed) << scheduler.ErrorLog();
    EXPECT_EQ(view.messages, (std::vector<std::string>{kMsgExported}));
    EXPECT_EQ(uploads, (std::vector<std::string>{"Slide_1.JPG:1:5", "Slide_2.JPG:2:5", "Slide_3.JPG:3:5",
                                                 "handout.pdf:3:4"}));
    ASSERT_EQ(uploadedPages.size(), 3u);
    // What the server received: three slides (kind 51) then the index (kind 50), all of one
    // presentation, with the pages' own bytes.
    const auto received = files.Uploads();
    ASSERT_EQ(received.size(), 4u);
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(received[i].kind, i < 3 ? 51 : 50);
        EXPECT_EQ(orb::test::TFileTransferPort::ShortString(received[i].descriptor, 431, 200).rfind("Pres_9_", 0), 0u);
        EXPECT_EQ(orb::test::TFileTransferPort::I32(received[i].descriptor, 769), i < 3 ? int(i) + 1 : 3);
    }
    EXPECT_EQ(orb::test::TFileTransferPort::ShortString(received[3].descriptor, 4, 200), "handout.pdf");
    EXPECT_NE(received[3].bytes.find("SlidesCount=3\r\n"), std::string::npos) << received[3].bytes;

    // Poppler's own rendering of the same pages at the printer's resolution (100 dpi).
    ASSERT_EQ(orbtest::RunCommand({"pdftoppm", "-r", "100", "-png", pdf.string(), (root / "ref").string()}), 0);
    for (int i = 0; i < 3; ++i) {
        std::vector<uint8_t> jpeg, png;
        ASSERT_TRUE(ReadFile(uploadedPages[size_t(i)], jpeg));
        ASSERT_TRUE(ReadFile(root / ("ref-" + std::to_string(i + 1) + ".png"), png));
        orb::Bitmap page, ref;
        ASSERT_TRUE(orb::JpegToBitmap(jpeg.data(), jpeg.size(), page));
        ASSERT_TRUE(orb::PngToBitmap(png.data(), png.size(), ref));
        EXPECT_NEAR(page.width, ref.width, 2);
        EXPECT_NEAR(page.height, ref.height, 2);
        const int w = std::min(page.width, ref.width), h = std::min(page.height, ref.height) - 25;  // above the footer
        double sum = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                for (int c = 0; c < 3; ++c)
                    sum += std::abs(int(page.rgb[(size_t(y) * page.width + x) * 3 + c]) -
                                    int(ref.rgb[(size_t(y) * ref.width + x) * 3 + c]));
        EXPECT_LT(sum / (double(w) * h * 3), 3.0) << "page " << i + 1;
        // The band's colour in the middle of the band.
        const int bandY = int((842 - (650 - 150 * i) - 60) * 100 / 72.0);
        const uint8_t* px = &page.rgb[(size_t(bandY) * page.width + page.width / 2) * 3];
        EXPECT_NEAR(px[0], kBands[i].r * 255, 12);
        EXPECT_NEAR(px[1], kBands[i].g * 255, 12);
        EXPECT_NEAR(px[2], kBands[i].b * 255, 12);
    }

    // Closing the window refreshed the uploader's own presentations list.
    ASSERT_TRUE(own.PumpUntil([&] { return own.dm.Libraries.presentations.size() == 1; }));
    // The other client lists the presentation and shows page 2 on its board.
    ASSERT_TRUE(other.dm.SendPresentationListRequest());
    ASSERT_TRUE(other.PumpUntil([&] { return other.dm.Libraries.presentations.size() == 1; }));
    const TResourceInfo deck = other.dm.Libraries.presentations[0];
    const auto row = orb::ResourceRow(vkPresentationList, deck);
    EXPECT_EQ(row.columns[0], "handout.pdf");
    EXPECT_EQ(row.columns[1], "3");
    const int bandY2 = int((842 - 500 - 60) * 100 / 72.0);
    auto boardPixel = [&](int x, int y) {
        const QImage& board = other.engine.Layer(other.engine.CurrentBoard()).image;
        return x < board.width() && y < board.height() ? QColor(board.pixel(x, y)) : QColor();
    };
    auto showsBand2 = [&] {
        const QColor c = boardPixel(400, bandY2);
        return c.isValid() && std::abs(c.red() - 25) < 15 && std::abs(c.green() - 153) < 15 && std::abs(c.blue() - 51) < 15;
    };
    ASSERT_TRUE(other.engine.SendSlideToBoard(&deck, 2, nullptr));
    ASSERT_TRUE(other.PumpUntil(showsBand2)) << "page 2 not on the other client's board";
    {
        std::vector<uint8_t> png;
        orb::Bitmap ref;
        ASSERT_TRUE(ReadFile(root / "ref-2.png", png));
        ASSERT_TRUE(orb::PngToBitmap(png.data(), png.size(), ref));
        const QImage& board = other.engine.Layer(other.engine.CurrentBoard()).image;
        board.save(ORB_TEST_ARTIFACTS "/print_cups_page2_on_board.png");
        const int w = std::min(board.width(), ref.width), h = std::min(board.height(), ref.height) - 25;
        double sum = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const QRgb b = board.pixel(x, y);
                const uint8_t* r = &ref.rgb[(size_t(y) * ref.width + x) * 3];
                sum += std::abs(qRed(b) - r[0]) + std::abs(qGreen(b) - r[1]) + std::abs(qBlue(b) - r[2]);
            }
        EXPECT_LT(sum / (double(w) * h * 3), 3.0) << "page 2 on the board";
    }

    // A second job numbers its pages from 1 again: the filter starts every job with the reset.
    uploads.clear();
    NullView again;
    runJob(again, pdf, true);
    EXPECT_EQ(uploads, (std::vector<std::string>{"Slide_1.JPG:1:5", "Slide_2.JPG:2:5", "Slide_3.JPG:3:5",
                                                 "handout.pdf:3:4"}));

    // A job that fails before the monitor could say anything (a monitor that does not load) ends
    // as failed once CUPS is done with it, instead of leaving the window waiting.
    std::ofstream(root / "lib" / kMonitorLibraryFile, std::ios::trunc) << "not a library";
    uploads.clear();
    NullView failed;
    runJob(failed, pdf, false);
    EXPECT_EQ(failed.messages, (std::vector<std::string>{kMsgPrintFailed}));
    EXPECT_TRUE(uploads.empty());
    EXPECT_FALSE(failed.closed);
    close(udp);
}

// An ordinary user (not root, known to the system only through nss_wrapper) prints with lp under
// their own uid: the backend becomes that user, reads that user's settings below their home and
// writes the pages into that user's export folder, owned by them.
TEST(CupsRoad, AJobOfAnOrdinaryUserLandsAsPagesInThatUsersExportFolder) {
    ASSERT_EQ(geteuid(), 0u) << "the scheduler and the installer run as root";
    constexpr uid_t kUid = 54321;
    const fs::path root = orbtest::MakeTempFolder();
    struct Remove {
        fs::path p;
        ~Remove() { fs::remove_all(p); }
    } removeRoot{root};
    const fs::path home = root / "home" / "orbprint", machine = root / "machine", exportFolder = home / "export";
    fs::create_directories(exportFolder);
    // The system's users and groups, and ours.
    auto withLine = [](const char* system, const std::string& line) {
        std::ifstream in(system);
        std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (!all.empty() && all.back() != '\n') all += '\n';
        return all + line + "\n";
    };
    std::ofstream(root / "passwd") << withLine("/etc/passwd", "orbprint:x:54321:54321:Orb Print:" + home.string() +
                                                              ":/bin/sh");
    std::ofstream(root / "group") << withLine("/etc/group", "orbprint:x:54321:");
    const std::vector<std::string> nss = {"LD_PRELOAD=libnss_wrapper.so", "NSS_WRAPPER_PASSWD=" + (root / "passwd").string(),
                                          "NSS_WRAPPER_GROUP=" + (root / "group").string()};
    std::vector<std::string> jobEnv = nss;
    jobEnv.push_back("ORB_REGISTRY_MACHINE_DIR=" + machine.string());
    jobEnv.push_back("ORB_PRINT_MONITOR=" + (root / "lib" / kMonitorLibraryFile).string());
    orbtest::CupsScheduler scheduler(jobEnv);
    std::string error;
    ASSERT_TRUE(scheduler.Start(error)) << error;

    // The user's own settings, as the Document Uploader writes them, below the user's home.
    setenv("XDG_CONFIG_HOME", (home / ".config").c_str(), 1);
    setenv("ORB_REGISTRY_MACHINE_DIR", machine.c_str(), 1);
    orb::reg::Registry::Default().Reconfigure(orb::reg::Registry::DefaultFolders());
    int udp = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(udp, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    socklen_t len = sizeof addr;
    getsockname(udp, reinterpret_cast<sockaddr*>(&addr), &len);
    ASSERT_TRUE(WriteMonitorUserSettings(exportFolder.string() + "/", ntohs(addr.sin_port)));

    TProcessRunner runner;
    TCupsLayout layout;
    layout.serverBin = scheduler.ServerBin();
    layout.ppdFolder = root / "ppd";
    layout.monitorFolder = root / "lib";
    TDrvInstaller installer(runner, layout);
    ASSERT_TRUE(installer.InstallDocumentPrinter(ORB_PRINTER_BUNDLE_DIR, "/var/tmp/", kPrinterName, kDriverName,
                                                 kPortName, kMonitorName))
        << installer.LastError() << scheduler.ErrorLog();
    // The scheduler hands no LD_PRELOAD to its backends: our backend is started through a script
    // that preloads nss_wrapper, so it finds the user the way it would find a real one. Mode 0700
    // keeps it started as root. In the AddressSanitizer build the sanitizer's runtime must accept
    // the preload ahead of it, and nss_wrapper must not open libc with RTLD_DEEPBIND, which the
    // runtime refuses; both settings mean nothing to the plain build.
    const fs::path backend = installer.BackendPath(), real = backend.string() + ".real";
    fs::rename(backend, real);
    std::ofstream(backend) << "#!/bin/sh\nASAN_OPTIONS=verify_asan_link_order=0 NSS_WRAPPER_DISABLE_DEEPBIND=1 "
                              "LD_PRELOAD=libnss_wrapper.so exec "
                           << real.string() << " \"$@\"\n";
    fs::permissions(backend, fs::perms::owner_all);
    const fs::path pdf = home / "notes.pdf";
    std::ofstream(pdf, std::ios::binary) << MakePdf();
    for (const auto& e : fs::recursive_directory_iterator(root / "home")) ASSERT_EQ(lchown(e.path().c_str(), kUid, kUid), 0);
    ASSERT_EQ(chown((root / "home").c_str(), kUid, kUid), 0);

    // lp, run by the user with the user's own ids.
    int out[2];
    ASSERT_EQ(pipe(out), 0);
    const pid_t child = fork();
    if (child == 0) {
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        for (const auto& e : nss) putenv(const_cast<char*>(e.c_str()));
        setenv("HOME", home.c_str(), 1);
        setenv("USER", "orbprint", 1);
        if (setgroups(0, nullptr) != 0 || setgid(kUid) != 0 || setuid(kUid) != 0) _exit(126);
        execlp("lp", "lp", "-d", kPrinterQueue, pdf.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);
    std::string said;
    char buf[256];
    for (ssize_t n; (n = read(out[0], buf, sizeof buf)) > 0;) said.append(buf, size_t(n));
    close(out[0]);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << said << scheduler.ErrorLog();
    const std::string lead = "request id is ";
    ASSERT_NE(said.find(lead), std::string::npos) << said;
    const std::string job = said.substr(said.find(lead) + lead.size(), said.find(' ', said.find(lead) + lead.size()) -
                                                                            said.find(lead) - lead.size());
    std::atomic<bool> stop{false};
    WaitForPrintJob(runner, job, stop, std::chrono::seconds(120));

    // What the backend said, for a failure's message.
    std::string backendSaid;
    {
        std::ifstream log(scheduler.Root() / "log" / "error_log");
        for (std::string line; std::getline(log, line);)
            if (line.find("ERROR:") != std::string::npos || line.find("INFO: ") != std::string::npos)
                backendSaid += line + "\n";
    }
    // Three pages, written by the user and announced to the user's client.
    for (int i = 1; i <= 3; ++i) {
        const fs::path page = exportFolder / ("Slide_" + std::to_string(i) + ".jpg");
        struct stat st {};
        ASSERT_EQ(stat(page.c_str(), &st), 0) << page << "\n" << backendSaid;
        EXPECT_EQ(st.st_uid, kUid) << page;
        std::vector<uint8_t> jpeg;
        orb::Bitmap bitmap;
        ASSERT_TRUE(ReadFile(page, jpeg));
        EXPECT_TRUE(orb::JpegToBitmap(jpeg.data(), jpeg.size(), bitmap)) << page;
    }
    int pageNotices = 0;
    for (pollfd p{udp, POLLIN, 0}; poll(&p, 1, 0) > 0;) {
        uint8_t notice[2048];
        if (recv(udp, notice, sizeof notice, 0) >= 518 && notice[514] == 5) ++pageNotices;
    }
    EXPECT_EQ(pageNotices, 3);
    close(udp);
    unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
