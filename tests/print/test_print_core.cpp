// The print path's decisions without a scheduler: which notices a job accepts, the upload order,
// the index file, the installer's order over a recorded command runner, the export road over
// fake tools.
#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <set>

#include "print/drv_installer.h"
#include "print/presentation_export.h"
#include "print/presentation_files.h"
#include "print/print_notice_gate.h"
#include "registry/registry.h"
#include "util/images.h"

namespace {

namespace fs = std::filesystem;
using namespace orb::print;

struct TempDir {
    TempDir() {
        char t[] = "/tmp/orb-print-XXXXXX";
        path = mkdtemp(t);
    }
    ~TempDir() { fs::remove_all(path); }
    fs::path path;
};

void WriteBytes(const fs::path& p, const std::string& bytes) { std::ofstream(p, std::ios::binary) << bytes; }

std::vector<uint8_t> Notice(int32_t job, int32_t kind, const std::string& path, int32_t page = 1) {
    return orb::EncodePrintNotice(orb::BuildPrintNotice(job, "", page, path, kind >= 4 ? page : 0, kind));
}

TEST(PrintNoticeGate, AcceptsOnlyThisJobsOwnPages) {
    TempDir tmp;
    const fs::path folder = tmp.path / "job";
    fs::create_directories(folder);
    const std::string f = folder.string() + "/";
    const std::string jpeg = std::string("\xFF\xD8\xFF\xE0", 4) + "rest";
    WriteBytes(folder / "Slide_1.jpg", jpeg);
    WriteBytes(folder / "Slide_2.jpg", "PNG not a jpeg");
    WriteBytes(tmp.path / "Slide_3.jpg", jpeg);  // outside the folder
    fs::create_symlink(folder / "Slide_1.jpg", folder / "Slide_4.jpg");
    WriteBytes(folder / "Page_5.jpg", jpeg);
    fs::create_directories(folder / "Slide_6.jpg");

    TPrintNoticeGate gate;
    orb::TPrintNotice n;
    fs::path page;
    // Nothing before the job runs; nothing of the job before its start notice.
    EXPECT_EQ(gate.Check(Notice(7, 2, f), n, page), TNoticeVerdict::Ignore);
    gate.Begin(folder.string() + "/", "Slide_");
    EXPECT_EQ(gate.Check(Notice(7, 5, f + "Slide_1.jpg"), n, page), TNoticeVerdict::Ignore);
    // Another job's start (another folder) does not take the job.
    EXPECT_EQ(gate.Check(Notice(8, 2, tmp.path.string() + "/"), n, page), TNoticeVerdict::Ignore);
    auto start = Notice(7, 2, f);
    EXPECT_EQ(gate.Check(std::span(start).first(517), n, page), TNoticeVerdict::Ignore);
    start.push_back(0);
    EXPECT_EQ(gate.Check(start, n, page), TNoticeVerdict::Ignore);
    ASSERT_EQ(gate.Check(Notice(7, 2, f), n, page), TNoticeVerdict::Started);
    EXPECT_EQ(gate.JobId(), 7);

    struct Case {
        int32_t job, kind;
        std::string path;
        TNoticeVerdict want;
    } cases[] = {
        {7, 5, f + "Slide_1.jpg", TNoticeVerdict::PageSaved},
        {8, 5, f + "Slide_1.jpg", TNoticeVerdict::Ignore},                      // wrong job id
        {7, 5, f + "Slide_2.jpg", TNoticeVerdict::Ignore},                      // not a JPEG
        {7, 5, tmp.path.string() + "/Slide_3.jpg", TNoticeVerdict::Ignore},     // outside the folder
        {7, 5, f + "../Slide_3.jpg", TNoticeVerdict::Ignore},
        {7, 5, f + "./Slide_1.jpg", TNoticeVerdict::Ignore},
        {7, 5, f + "Slide_4.jpg", TNoticeVerdict::Ignore},                      // a link
        {7, 5, f + "Page_5.jpg", TNoticeVerdict::Ignore},                       // another prefix
        {7, 5, f + "Slide_6.jpg", TNoticeVerdict::Ignore},                      // a folder
        {7, 5, f + "Slide_9.jpg", TNoticeVerdict::Ignore},                      // missing
        {7, 4, f, TNoticeVerdict::Activate},
        {7, 9, f, TNoticeVerdict::Activate},
        {8, 1, f, TNoticeVerdict::Ignore},
        {8, 3, f, TNoticeVerdict::Ignore},
        {7, 3, f, TNoticeVerdict::Ended},
        {7, 1, f, TNoticeVerdict::Failed},
    };
    for (const auto& c : cases) {
        page.clear();
        EXPECT_EQ(gate.Check(Notice(c.job, c.kind, c.path), n, page), c.want) << c.path << " kind " << c.kind;
        if (c.want == TNoticeVerdict::PageSaved) {
            EXPECT_EQ(page, fs::path(c.path));
        }
    }
    gate.End();
    EXPECT_EQ(gate.Check(Notice(7, 5, f + "Slide_1.jpg"), n, page), TNoticeVerdict::Ignore);
}

TEST(PresentationUpload, PagesInOrderThenIndexStoppingAtTheFirstFailure) {
    std::vector<std::string> calls;
    int failAt = 0;
    auto upload = [&](const fs::path& p, int32_t number, int type) {
        calls.push_back(p.filename().string() + ":" + std::to_string(number) + ":" + std::to_string(type));
        return int(calls.size()) != failAt;
    };
    std::vector<fs::path> pages = {"/x/Slide_1.jpg", "/x/Slide_2.jpg", "/x/Slide_3.jpg"};
    EXPECT_TRUE(UploadPresentation(pages, "/x/doc.pdf", 3, upload));
    EXPECT_EQ(calls, (std::vector<std::string>{"Slide_1.jpg:1:5", "Slide_2.jpg:2:5", "Slide_3.jpg:3:5", "doc.pdf:3:4"}));
    calls.clear();
    failAt = 2;
    EXPECT_FALSE(UploadPresentation(pages, "/x/doc.pdf", 3, upload));
    EXPECT_EQ(calls.size(), 2u);
    // A job that printed nothing still sends its index.
    calls.clear();
    failAt = 0;
    EXPECT_TRUE(UploadPresentation({}, "/x/doc.pdf", 0, upload));
    EXPECT_EQ(calls, (std::vector<std::string>{"doc.pdf:0:4"}));
    EXPECT_FALSE(NeedsUploadConfirmation(10));
    EXPECT_TRUE(NeedsUploadConfirmation(11));
}

TEST(PresentationIndex, WindowsIniTextInTheAnsiCodePage) {
    TPresentationIndex index;
    index.name = index.fileName = "Café.pdf";
    index.slidesCount = 2;
    index.slides = {{1, "Slide_1.jpg"}, {2, "Slide_2.jpg"}};
    EXPECT_EQ(index.Text(),
              "[Presentation]\r\nName=Caf\xE9.pdf\r\nFileName=Caf\xE9.pdf\r\nSlidesCount=2\r\n\r\n[Slides]\r\n"
              "1=Slide_1.jpg\r\n2=Slide_2.jpg\r\n");
    EXPECT_EQ(PresentationId(42, 123456), "Pres_42_123456");
    EXPECT_TRUE(IsPresentationFile("a/b.PPTX"));
    EXPECT_FALSE(IsPresentationFile("a/b.pdf"));
    EXPECT_EQ(RouteOf("x.PDF"), TPrintRoute::Direct);
    EXPECT_EQ(RouteOf("x.docx"), TPrintRoute::Office);
}

// Answers lpstat from a list of queues and records every command.
struct FakeRunner : ICommandRunner {
    std::vector<std::string> commands;
    std::vector<std::string> queues;
    bool schedulerRunning = true;
    int Run(const std::vector<std::string>& argv, std::string* out) override {
        std::string line;
        for (const auto& a : argv) line += (line.empty() ? "" : " ") + a;
        commands.push_back(line);
        std::string o;
        if (argv[0] == "lpstat" && argv[1] == "-r") o = schedulerRunning ? "scheduler is running\n" : "scheduler is not running\n";
        if (argv[0] == "lpstat" && argv[1] == "-v")
            for (const auto& q : queues) o += "device for " + q + ": pagorix:/OrbeloLive6DocLoader\n";
        if (argv[0] == "lpadmin") queues.push_back(argv[2]);
        if (out) *out = o;
        return argv[0] == "lpstat" && argv[1] == "-v" && queues.empty() ? 1 : 0;
    }
    int Count(const std::string& prefix) const {
        int n = 0;
        for (const auto& c : commands) n += c.rfind(prefix, 0) == 0;
        return n;
    }
};

// Without root the printer is installed through the administrator prompt: pkexec runs our installer;
// whatever stops it, the user is told plainly what to run instead, and a prompt that this desktop
// could not show (no polkit daemon or agent: the same exit statuses as a refusal) is not called refused.
TEST(AdminPromptInstall, OutcomesOfThePromptAndWhatTheUserIsTold) {
    struct StatusRunner : ICommandRunner {
        int status = 0;
        std::string said;
        std::vector<std::string> argv;
        int Run(const std::vector<std::string>& a, std::string* out) override {
            argv = a;
            if (out) *out = said;
            return status;
        }
    };
    TempDir bin;
    const std::string pkexec = (bin.path / "pkexec").string();
    WriteBytes(pkexec, "#!/bin/sh\n");
    fs::permissions(pkexec, fs::perms::owner_all);
    const char* oldPath = std::getenv("PATH");
    const std::string savedPath = oldPath ? oldPath : "";
    setenv("PATH", bin.path.c_str(), 1);
    const std::string byHand = "run this once as root:\r\nsudo /opt/orbelo/orb-printer-install";
    const char* refused = "administrator prompt was refused or cancelled";
    const char* noPrompt = "This desktop has no administrator prompt";
    struct Case {
        int status;
        const char* said;  // pkexec's standard error, as polkit 122 words it
        TAdminInstall outcome;
        const char* says;
    };
    for (const Case& c : {
             Case{0, "installed\n", TAdminInstall::installed, ""},
             Case{126, "Error executing command as another user: Request dismissed\n", TAdminInstall::refused, refused},
             Case{126, "", TAdminInstall::refused, refused},
             Case{127, "Error executing command as another user: Not authorized\n\nThis incident has been reported.\n",
                  TAdminInstall::refused, refused},
             Case{127, "Error getting authority: Error initializing authority: Could not connect: No such file or directory\n",
                  TAdminInstall::unavailable, "answered: Error getting authority: Error initializing authority"},
             Case{127, "Error executing command as another user: No authentication agent found.\n",
                  TAdminInstall::unavailable, "No authentication agent found."},
             Case{126, "Error executing command as another user: No authentication agent found.\n",
                  TAdminInstall::unavailable, noPrompt},
             Case{127,
                  "Error checking for authorization org.orbelo.live6.printer-install: GDBus.Error:"
                  "org.freedesktop.DBus.Error.ServiceUnknown: The name is not activatable\n",
                  TAdminInstall::unavailable, noPrompt},
             Case{127, "", TAdminInstall::unavailable, noPrompt},
             Case{1, "lpadmin: Unable to connect to server\n", TAdminInstall::failed,
                  "could not install the document printer (exit status 1)"}}) {
        SCOPED_TRACE(std::to_string(c.status) + " " + c.said);
        StatusRunner runner;
        runner.status = c.status;
        runner.said = c.said;
        std::string why;
        EXPECT_EQ(InstallThroughAdminPrompt(runner, "/opt/orbelo", why), c.outcome);
        EXPECT_EQ(runner.argv, (std::vector<std::string>{"pkexec", "/opt/orbelo/orb-printer-install"}));
        if (c.outcome == TAdminInstall::installed) {
            EXPECT_TRUE(why.empty());
        } else {
            EXPECT_NE(why.find(c.says), std::string::npos) << why;
            EXPECT_NE(why.find(byHand), std::string::npos) << why;
            EXPECT_EQ(why.find(c.outcome == TAdminInstall::refused ? noPrompt : refused), std::string::npos) << why;
        }
    }
    // Through a real process: pkexec says why on its standard error, which the runner brings back.
    WriteBytes(pkexec, "#!/bin/sh\necho 'Error executing command as another user: No authentication agent found.' >&2\n"
                       "exit 127\n");
    fs::permissions(pkexec, fs::perms::owner_all);
    {
        TProcessRunner real(std::chrono::seconds(60), true);
        std::string why;
        EXPECT_EQ(InstallThroughAdminPrompt(real, "/opt/orbelo", why), TAdminInstall::unavailable);
        EXPECT_NE(why.find("No authentication agent found."), std::string::npos) << why;
    }
    // A desktop without pkexec: nothing is run, and the command to run is named.
    fs::remove(pkexec);
    StatusRunner runner;
    std::string why;
    EXPECT_EQ(InstallThroughAdminPrompt(runner, "/opt/orbelo", why), TAdminInstall::unavailable);
    EXPECT_TRUE(runner.argv.empty());
    EXPECT_NE(why.find("pkexec and polkitd"), std::string::npos) << why;
    EXPECT_NE(why.find(byHand), std::string::npos) << why;
    setenv("PATH", savedPath.c_str(), 1);
}

class Installer : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("ORB_REGISTRY_MACHINE_DIR", (tmp.path / "machine").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (tmp.path / "config").c_str(), 1);
        orb::reg::Registry::Default().Reconfigure(orb::reg::Registry::DefaultFolders());
        layout.serverBin = tmp.path / "cups";
        layout.ppdFolder = tmp.path / "ppd";
        layout.monitorFolder = tmp.path / "lib";
        source = tmp.path / "source";
        fs::create_directories(source);
        for (const char* f :
             {kMonitorLibraryFile, kBackendFile, kFilterFile, kPdfFilterFile, kPpdFile, kSpoolerLayerFile})
            WriteBytes(source / f, f);
    }
    TempDir tmp;
    TCupsLayout layout;
    fs::path source;
    FakeRunner runner;
};

TEST_F(Installer, InstallsEachItemOnceAndChecksInOrder) {
    TDrvInstaller inst(runner, layout);
    inst.sleep = [](std::chrono::milliseconds) {};
    // Nothing there: the check stops at the monitor and asks the scheduler nothing.
    EXPECT_FALSE(inst.IsDocumentPrinterInstalled(kMonitorName, kPortName, kPrinterName, kDriverName));
    EXPECT_TRUE(runner.commands.empty());

    ASSERT_TRUE(inst.InstallDocumentPrinter(source, "/var/tmp/", kPrinterName, kDriverName, kPortName, kMonitorName))
        << inst.LastError();
    EXPECT_EQ(fs::status(inst.BackendPath()).permissions() & fs::perms::all, fs::perms::owner_all);
    EXPECT_TRUE(fs::exists(layout.monitorFolder / kSpoolerLayerFile));
    auto key = orb::reg::OpenKey(orb::reg::Root::LocalMachine, MonitorKeyPath(kPortName));
    EXPECT_EQ(key.ReadString("FilesRoot").value_or(""), "/var/tmp/");
    EXPECT_EQ(key.ReadString("PortName").value_or(""), kPortName);
    ASSERT_EQ(runner.Count("lpadmin"), 1);
    EXPECT_NE(runner.commands.back().find("lpadmin -p OrbeloLive6DocLoader -D Orbelo Live 6 Document Loader -v "
                                          "pagorix:/OrbeloLive6DocLoader -P " +
                                          inst.PpdPath(kDriverName).string() + " -o printer-error-policy=abort-job -E"),
              std::string::npos)
        << runner.commands.back();
    EXPECT_TRUE(inst.IsDocumentPrinterInstalled(kMonitorName, kPortName, kPrinterName, kDriverName));

    // A second install finds everything and changes nothing.
    const auto before = fs::last_write_time(inst.BackendPath());
    runner.commands.clear();
    EXPECT_FALSE(inst.InstallMonitor(kMonitorName, source, true));
    EXPECT_FALSE(inst.InstallPort(kPortName, "/elsewhere/"));
    EXPECT_FALSE(inst.InstallDriver(kDriverName, source));
    EXPECT_FALSE(inst.InstallPrinter(kPrinterName, kPortName, kDriverName));
    EXPECT_EQ(runner.Count("lpadmin"), 0);
    EXPECT_EQ(fs::last_write_time(inst.BackendPath()), before);
    EXPECT_EQ(key.ReadString("FilesRoot").value_or(""), "/var/tmp/");

    // A missing driver stops the check before the scheduler is asked about the queue.
    fs::remove(inst.PpdPath(kDriverName));
    runner.commands.clear();
    EXPECT_FALSE(inst.IsDocumentPrinterInstalled(kMonitorName, kPortName, kPrinterName, kDriverName));
    EXPECT_EQ(runner.Count("lpstat -v"), 0);
}

TEST_F(Installer, PortIsWrittenWithTheSchedulerStoppedAndRestarted) {
    layout.stopScheduler = {"stop-cups"};
    layout.startScheduler = {"start-cups"};
    TDrvInstaller inst(runner, layout);
    int slept = 0;
    inst.sleep = [&](std::chrono::milliseconds d) {
        EXPECT_EQ(d.count(), 5000);
        ++slept;
    };
    ASSERT_TRUE(inst.InstallPort(kPortName, "/var/tmp/"));
    EXPECT_EQ(runner.Count("stop-cups"), 1);
    EXPECT_EQ(runner.Count("start-cups"), 1);
    EXPECT_EQ(slept, 1);  // the fake scheduler keeps running after its stop: one wait, then on
    // Not running before: neither stopped nor started.
    runner.commands.clear();
    runner.schedulerRunning = false;
    orb::reg::Registry::Default().DeleteKey(orb::reg::Root::LocalMachine, MonitorKeyPath(kPortName));
    ASSERT_TRUE(inst.InstallPort(kPortName, "/var/tmp/"));
    EXPECT_EQ(runner.Count("stop-cups") + runner.Count("start-cups"), 0);
}

TEST_F(Installer, MissingFilesAreReportedNotHalfInstalled) {
    fs::remove(source / kBackendFile);
    fs::remove(source / kFilterFile);
    TDrvInstaller inst(runner, layout);
    EXPECT_FALSE(inst.InstallMonitor(kMonitorName, source, true));
    EXPECT_NE(inst.LastError().find("backend is missing"), std::string::npos);
    EXPECT_FALSE(fs::exists(layout.monitorFolder));
    EXPECT_FALSE(inst.InstallDriver(kDriverName, source));
    EXPECT_FALSE(fs::exists(inst.PpdPath(kDriverName)));
}

// Fake export tools: pages rendered as small PNGs of a grey that tells the page.
struct FakeTools {
    int pages = 3;
    bool convert = true;
    std::set<int> failRender, notPng;
    std::vector<std::string> rendered;
    TExportTools Tools() {
        TExportTools t;
        t.available = [] { return true; };
        t.toPdf = [this](const fs::path& doc, const fs::path& out, fs::path& pdf) {
            pdf = out / (doc.stem().string() + ".pdf");
            WriteBytes(pdf, "pdf");
            return convert;
        };
        t.pageCount = [this](const fs::path&) { return pages; };
        t.renderPage = [this](const fs::path&, int page, int w, int h, const fs::path& png) {
            rendered.push_back(std::to_string(page) + "@" + std::to_string(w) + "x" + std::to_string(h));
            if (failRender.count(page)) return false;
            if (notPng.count(page)) {
                WriteBytes(png, "not a picture");
                return true;
            }
            std::vector<uint8_t> px(4 * 3 * 3, uint8_t(page * 40));
            png_image img{};
            img.version = PNG_IMAGE_VERSION;
            img.width = 4;
            img.height = 3;
            img.format = PNG_FORMAT_RGB;
            return png_image_write_to_file(&img, png.c_str(), 0, px.data(), 0, nullptr) != 0;
        };
        return t;
    }
};

struct Recorded {
    std::vector<std::string> stages, errors, uploads;
    std::vector<std::string> indexText;
    int failUploadAt = 0;
    TExportEvents Events() {
        TExportEvents e;
        e.progress = [this](int stage, int n) { stages.push_back(std::to_string(stage) + ":" + std::to_string(n)); };
        e.error = [this](const std::string& t) { errors.push_back(t); };
        e.upload = [this](const fs::path& p, int32_t number, int type) {
            uploads.push_back(p.filename().string() + ":" + std::to_string(number) + ":" + std::to_string(type));
            if (type == kUploadIndex) {
                std::ifstream in(p, std::ios::binary);
                indexText.emplace_back((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            } else {
                std::ifstream in(p, std::ios::binary);
                char sig[3] = {};
                in.read(sig, 3);
                EXPECT_EQ(std::string(sig, 3), "\xFF\xD8\xFF") << p;  // a JPEG under the .JPG name
            }
            return int(uploads.size()) != failUploadAt;
        };
        return e;
    }
};

class Export : public ::testing::Test {
protected:
    void SetUp() override {
        doc = tmp.path / "deck.odp";
        WriteBytes(doc, "deck");
        request.document = doc;
        request.workBase = tmp.path / "work";
        request.ownUserId = 12;
    }
    // The work folder is gone after every export.
    void TearDown() override { EXPECT_TRUE(fs::is_empty(request.workBase) || !fs::exists(request.workBase)); }
    TempDir tmp;
    fs::path doc;
    TExportRequest request;
    FakeTools tools;
    Recorded rec;
};

TEST_F(Export, SlidesWithAndWithoutSizeThenTheIndex) {
    auto r = ExportAndUploadPresentation(request, tools.Tools(), rec.Events());
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.presentationId.rfind("Pres_12_", 0), 0u);
    EXPECT_EQ(tools.rendered, (std::vector<std::string>{"1@0x0", "2@0x0", "3@0x0"}));
    EXPECT_EQ(rec.stages, (std::vector<std::string>{"1:0", "2:0", "3:3", "4:1", "5:1", "4:2", "5:2", "4:3", "5:3", "6:0"}));
    EXPECT_EQ(rec.uploads, (std::vector<std::string>{"Slide_1.JPG:1:5", "Slide_2.JPG:2:5", "Slide_3.JPG:3:5",
                                                     "deck.odp:3:4"}));
    ASSERT_EQ(rec.indexText.size(), 1u);
    EXPECT_EQ(rec.indexText[0], "[Presentation]\r\nName=deck.odp\r\nFileName=deck.odp\r\nSlidesCount=3\r\n\r\n"
                                "[Slides]\r\n1=Slide_1.JPG\r\n2=Slide_2.JPG\r\n3=Slide_3.JPG\r\n");
    EXPECT_TRUE(rec.errors.empty());

    // A size is used only when both sides are at least 1.
    tools.rendered.clear();
    request.width = 1024;
    request.height = 0;
    ASSERT_TRUE(ExportAndUploadPresentation(request, tools.Tools(), rec.Events()).ok);
    EXPECT_EQ(tools.rendered[0], "1@0x0");
    tools.rendered.clear();
    request.height = 768;
    ASSERT_TRUE(ExportAndUploadPresentation(request, tools.Tools(), rec.Events()).ok);
    EXPECT_EQ(tools.rendered, (std::vector<std::string>{"1@1024x768", "2@1024x768", "3@1024x768"}));
}

TEST_F(Export, SkippedSlidesLeaveNoGapAndTheCountIsWhatWasUploaded) {
    tools.pages = 4;
    tools.failRender = {2};
    tools.notPng = {3};
    ASSERT_TRUE(ExportAndUploadPresentation(request, tools.Tools(), rec.Events()).ok);
    EXPECT_EQ(rec.uploads, (std::vector<std::string>{"Slide_1.JPG:1:5", "Slide_2.JPG:2:5", "deck.odp:2:4"}));
    EXPECT_NE(rec.indexText[0].find("SlidesCount=2\r\n"), std::string::npos);
    EXPECT_NE(rec.indexText[0].find("2=Slide_2.JPG\r\n"), std::string::npos);
}

TEST_F(Export, EmptyFailedAndCutShortExports) {
    tools.pages = 0;
    ASSERT_TRUE(ExportAndUploadPresentation(request, tools.Tools(), rec.Events()).ok);
    EXPECT_EQ(rec.uploads, (std::vector<std::string>{"deck.odp:0:4"}));
    EXPECT_EQ(rec.indexText[0], "[Presentation]\r\nName=deck.odp\r\nFileName=deck.odp\r\nSlidesCount=0\r\n");

    // A conversion that fails: the open message, and no stage after it.
    rec = {};
    tools.convert = false;
    EXPECT_FALSE(ExportAndUploadPresentation(request, tools.Tools(), rec.Events()).ok);
    EXPECT_EQ(rec.stages, (std::vector<std::string>{"1:0", "2:0"}));
    EXPECT_EQ(rec.errors, (std::vector<std::string>{kMsgOpen}));
    EXPECT_TRUE(rec.uploads.empty());

    // An upload failure stops the slides and the index and says so in its own words.
    rec = {};
    tools.convert = true;
    tools.pages = 3;
    rec.failUploadAt = 2;
    EXPECT_FALSE(ExportAndUploadPresentation(request, tools.Tools(), rec.Events()).ok);
    EXPECT_EQ(rec.uploads.size(), 2u);
    EXPECT_EQ(rec.stages.back(), "7:" + std::to_string(kFailedUpload));

    // No converter at all.
    rec = {};
    auto t = tools.Tools();
    t.available = [] { return false; };
    EXPECT_FALSE(ExportAndUploadPresentation(request, t, rec.Events()).ok);
    EXPECT_EQ(rec.errors, (std::vector<std::string>{kMsgConnect}));
    EXPECT_EQ(rec.stages.back(), "7:" + std::to_string(kFailedExport));
    EXPECT_EQ(StageStatus(esExporting, 4), "Exporting Slide 4");
}

}  // namespace
