// The Document Uploader's print road over a fake view: what the notices do, what is uploaded, and
// that every exit gives the window its buttons back.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <fstream>
#include <mutex>

#include "print/document_uploader.h"
#include "registry/registry.h"

namespace {

namespace fs = std::filesystem;
using namespace orb::print;

struct FakeView : IDocumentUploaderView {
    std::string status, pageCount;
    bool close = true, upload = false, advanced = false, busy = false, closed = false, listening = false;
    int activations = 0, progress = 0;
    std::vector<std::string> messages;
    TMsgAnswer answer = TMsgAnswer::Ok;
    void SetDocumentPath(const std::string&) override {}
    void SetStatus(const std::string& t) override { status = t; }
    void SetPageCount(const std::string& t) override { pageCount = t; }
    void SetProgressMax(int) override {}
    void SetProgress(int p) override { progress = p; }
    void SetButtons(bool c, bool u, bool a) override { close = c, upload = u, advanced = a; }
    void ShowSlideSize(bool) override {}
    void SetBusy(bool b) override { busy = b; }
    TMsgAnswer ShowMessage(TMsgKind, TMsgButtons, const std::string& text) override {
        messages.push_back(text);
        return answer;
    }
    void Activate() override { ++activations; }
    bool StartListener() override { return listening = true; }
    void StopListener() override { listening = false; }
    void CloseWindow() override { closed = true; }
};

class Uploader : public ::testing::Test {
protected:
    void SetUp() override {
        char t[] = "/tmp/orb-uploader-XXXXXX";
        root = mkdtemp(t);
        setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
        setenv("ORB_REGISTRY_MACHINE_DIR", (root / "machine").c_str(), 1);
        orb::reg::Registry::Default().Reconfigure(orb::reg::Registry::DefaultFolders());
        doc = root / "notes.pdf";
        std::ofstream(doc) << "%PDF";
        services.ownUserId = 5;
        services.workFolder = root / "work";
        services.printerInstalled = [this](std::string& why) {
            why = "not here";
            return installed;
        };
        services.installPrinter = [this](std::string& why) {
            why = "needs root";
            return installed = installWorks;
        };
        services.print = [this](const fs::path&, const fs::path&, std::string&) { return printQueued; };
        services.canOpen = [](const fs::path&) { return true; };
        services.upload = [this](const fs::path& f, int32_t n, int type, const std::string& id) {
            std::lock_guard l(mu);
            EXPECT_EQ(id, uploader->PresentationIdOfJob());
            uploads.push_back(f.filename().string() + ":" + std::to_string(n) + ":" + std::to_string(type));
            return true;
        };
        services.toMainThread = [this](std::function<void()> fn) {
            std::lock_guard l(mu);
            posted.push_back(std::move(fn));
            cv.notify_all();
        };
        uploader = std::make_unique<TDocumentUploader>(view, services);
    }
    void TearDown() override {
        uploader.reset();
        fs::remove_all(root);
    }
    // Runs what the workers posted until `done` holds (or five seconds pass).
    void RunUntil(const std::function<bool()>& done) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!done()) {
            std::unique_lock l(mu);
            if (posted.empty() && !cv.wait_until(l, until, [this] { return !posted.empty(); })) break;
            auto fn = std::move(posted.front());
            posted.pop_front();
            l.unlock();
            fn();
            ++ran;
        }
    }
    std::vector<uint8_t> Notice(int32_t job, int32_t kind, const std::string& path, int32_t page = 0) {
        return orb::EncodePrintNotice(orb::BuildPrintNotice(job, "", page, path, page, kind));
    }
    std::string Page(int n) {
        const fs::path p = uploader->ExportFolder() / ("Slide_" + std::to_string(n) + ".jpg");
        std::ofstream(p, std::ios::binary) << std::string("\xFF\xD8\xFF\xE0", 4);
        return p.string();
    }
    void StartJob() {
        uploader->SelectFile(doc);
        uploader->Upload(false, "", "");
        const int before = ran;
        RunUntil([&] { return ran > before; });  // the print worker's report (nothing to do when queued)
        ASSERT_FALSE(uploader->ExportFolder().empty());
        uploader->UDPPrintReaderUDPRead(Notice(30, 2, uploader->ExportFolder().string()));
    }

    fs::path root, doc;
    FakeView view;
    TUploaderServices services;
    std::unique_ptr<TDocumentUploader> uploader;
    bool installed = true, installWorks = false, printQueued = true;
    std::mutex mu;
    std::condition_variable cv;
    std::deque<std::function<void()>> posted;
    std::vector<std::string> uploads;
    int ran = 0;
};

TEST_F(Uploader, PagesOfThisJobAreUploadedForgedOnesAreNot) {
    StartJob();
    const std::string f = uploader->ExportFolder().string();
    uploader->UDPPrintReaderUDPRead(Notice(30, 5, Page(1), 1));
    // Forged: outside the folder, a link, another job, one byte short.
    const fs::path outside = root / "Slide_2.jpg";
    std::ofstream(outside, std::ios::binary) << std::string("\xFF\xD8\xFF", 3);
    uploader->UDPPrintReaderUDPRead(Notice(30, 5, outside.string(), 2));
    fs::create_symlink(outside, f + "Slide_3.jpg");
    uploader->UDPPrintReaderUDPRead(Notice(30, 5, f + "Slide_3.jpg", 3));
    uploader->UDPPrintReaderUDPRead(Notice(31, 5, Page(4), 4));
    auto shortOne = Notice(30, 5, Page(5), 5);
    shortOne.pop_back();
    uploader->UDPPrintReaderUDPRead(shortOne);
    EXPECT_EQ(view.activations, 2);  // start and the one good page; forged datagrams raise nothing
    uploader->UDPPrintReaderUDPRead(Notice(30, 5, Page(6), 6));
    EXPECT_EQ(view.status, "Counting ... 6");
    uploader->UDPPrintReaderUDPRead(Notice(30, 3, f));
    RunUntil([&] { return view.closed; });
    // Pages go up numbered as uploaded, under the names the presentations library asks for.
    EXPECT_EQ(uploads, (std::vector<std::string>{"Slide_1.JPG:1:5", "Slide_2.JPG:2:5", "notes.pdf:2:4"}));
    EXPECT_EQ(view.messages.back(), kMsgExported);
    EXPECT_TRUE(view.close && view.upload && view.advanced);
    std::ifstream in(f + "notes.pdf", std::ios::binary);
    std::string index((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(index.find("SlidesCount=2\r\n\r\n[Slides]\r\n1=Slide_1.JPG\r\n2=Slide_2.JPG\r\n"), std::string::npos);
    // The monitor was told where this job's pages go.
    auto key = orb::reg::OpenKey(orb::reg::Root::CurrentUser, kUserSettingsKey);
    EXPECT_EQ(key.ReadString("CurrentExportFolder").value_or(""), f);
    EXPECT_EQ(key.ReadDWord("Port").value_or(0), 27777u);
}

TEST_F(Uploader, ManyPagesAskFirstAndAnErrorNoticeEndsTheJob) {
    StartJob();
    for (int i = 1; i <= 11; ++i) uploader->UDPPrintReaderUDPRead(Notice(30, 5, Page(i), i));
    view.answer = TMsgAnswer::Cancel;
    uploader->UDPPrintReaderUDPRead(Notice(30, 3, uploader->ExportFolder().string()));
    EXPECT_EQ(view.messages.back(), ManyPagesQuestion(11));
    EXPECT_TRUE(uploads.empty());
    EXPECT_TRUE(view.close && view.upload && !view.busy);

    view.answer = TMsgAnswer::Ok;
    StartJob();
    uploader->UDPPrintReaderUDPRead(Notice(30, 5, Page(1), 1));
    uploader->UDPPrintReaderUDPRead(Notice(30, 1, uploader->ExportFolder().string()));
    EXPECT_EQ(view.messages.back(), kMsgPrintFailed);
    uploader->UDPPrintReaderUDPRead(Notice(30, 3, uploader->ExportFolder().string()));  // too late: the job is over
    EXPECT_TRUE(uploads.empty());
    EXPECT_TRUE(view.close && view.upload && !view.busy && !view.closed);
}

TEST_F(Uploader, FailedInstallOrPrintStopsTheJobAndRestoresTheWindow) {
    installed = false;
    uploader->SelectFile(doc);
    uploader->Upload(false, "", "");
    RunUntil([&] { return !uploader->Busy(); });  // the installation runs on the worker
    ASSERT_EQ(view.messages.size(), 2u);
    EXPECT_EQ(view.messages[0], kMsgFirstUse);
    EXPECT_NE(view.messages[1].find("needs root"), std::string::npos);
    EXPECT_TRUE(view.close && view.upload && view.advanced && !view.busy);
    EXPECT_FALSE(uploader->Busy());

    installed = true;
    printQueued = false;
    view.messages.clear();
    uploader->Upload(false, "", "");
    RunUntil([&] { return !uploader->Busy(); });
    EXPECT_EQ(view.messages, (std::vector<std::string>{kMsgNoApplication}));
    EXPECT_TRUE(view.close && view.upload && !view.busy);
    EXPECT_FALSE(uploader->Gate().Running());
}

}  // namespace
