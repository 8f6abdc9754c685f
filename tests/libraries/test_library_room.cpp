// Two clients share a document and a presentation through the test room server: uploads on the
// file-transfer port, the library lists, a document opened for everybody (handed to a recording
// stand-in for xdg-open), and slides shown one by one on the other client's board.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "board/engine/board_engine.h"
#include "boardmsg/board_dm_link.h"
#include "boardmsg/board_messages.h"
#include "dm/dm.h"
#include "libraries/library_records.h"
#include "libraries/local_files.h"
#include "loop/plain_event_loop.h"
#include "protocol/wm_app.h"
#include "roomserver/ext_libraries.h"
#include "wire/bytes.h"

using namespace orb;
namespace fs = std::filesystem;

namespace {

struct Client : ILibraryView {
    PlainEventLoop loop;
    TDM dm{loop, 900};
    board::TDMBoardLink link{dm};
    board::TBoardEngine engine{link};
    board::TBoardMessages messages{engine, link};
    std::vector<std::pair<std::string, TPushedDocument>> asked;
    std::vector<std::string> refused;

    Client() {
        dm.LibraryView = this;
        dm.BoardMessages = &messages;
        dm.BoardSink = &engine;
        engine.InitWhiteboards();
    }
    ~Client() override {
        dm.StopReaderThread();
        dm.StopWriterThread();
        dm.Transfers.StopAll();
    }
    void AskOpenDocument(const std::string& q, const TPushedDocument& d) override { asked.emplace_back(q, d); }
};

std::string ReadFile(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

class LibraryRoom : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("orb-libroom-" + std::to_string(getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "bin");
        // The desktop's opener: records what it was given.
        const fs::path opener = dir_ / "bin" / "xdg-open";
        std::ofstream(opener) << "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" << (dir_ / "opened.txt").string() << "'\n";
        fs::permissions(opener, fs::perms::owner_all);
        oldPath_ = std::getenv("PATH") ? std::getenv("PATH") : "";
        setenv("PATH", ((dir_ / "bin").string() + ":" + oldPath_).c_str(), 1);

        ext_ = test::MakeLibrariesExtension(server_, &transfers_);
        server_.OnOtherKinds([](test::TRoomServer& s, test::TRoomConnection& c, const TVCRHeader& h,
                                std::span<const uint8_t> body) { s.Relay(c, h, body); });
        ASSERT_TRUE(server_.Start());
        Join(teacher_, 10, 1000, "teacher");
        Join(pupil_, 20, 0, "pupil");
        pupil_.dm.Participants.AddUser(10, "Teacher").level = 1000;
        teacher_.dm.Participants.AddUser(20, "Pupil");
    }
    void TearDown() override {
        setenv("PATH", oldPath_.c_str(), 1);
        server_.Stop();
        fs::remove_all(dir_);
    }
    void Join(Client& c, int32_t id, int32_t level, const std::string& name) {
        c.dm.OwnLoginInfo.SetUserId(id);
        c.dm.OwnLoginInfo.SetLevel(level);
        c.dm.OwnUserId = id;
        c.dm.BoardRight = level >= 1000;
        c.dm.ServerHost = "127.0.0.1";
        c.dm.FileTransferPort = transfers_.Port();
        c.dm.Libraries.DownloadFolder = dir_ / name;
        fs::create_directories(c.dm.Libraries.DownloadFolder);
        c.dm.DownloadActions.openFile = [&c](const fs::path& file) {
            std::string why;
            if (!OpenWithDesktop(file, &why)) c.refused.push_back(why);
        };
        const size_t before = server_.Connections().size();
        ASSERT_TRUE(c.dm.vcrClient.Connect("127.0.0.1", server_.Port(), 2000));
        ASSERT_TRUE(server_.WaitForConnections(before + 1));
        server_.Connection(server_.Connections().back())->userId = id;
        c.dm.StartReaderThread();
        c.dm.StartWriterThread(1 << 22);
    }
    // Runs both clients' main threads until the condition holds.
    bool Pump(const std::function<bool()>& done, int timeoutMs = 10000) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (std::chrono::steady_clock::now() < end) {
            teacher_.loop.ProcessPending();
            pupil_.loop.ProcessPending();
            if (done()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return done();
    }
    fs::path WriteFile(const std::string& name, const std::string& bytes) {
        const fs::path p = dir_ / "upload" / name;
        fs::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << bytes;
        return p;
    }
    std::vector<std::string> Opened() {
        std::vector<std::string> lines;
        std::ifstream f(dir_ / "opened.txt");
        for (std::string l; std::getline(f, l);) lines.push_back(l);
        return lines;
    }
    // A raw open-for-all request from the teacher, as a hostile peer could build it.
    void PushDocument(const std::string& name, const std::string& ext) {
        TResourceInfo r;
        r.fileName = name;
        r.extension = ext;
        std::vector<uint8_t> body;
        ByteWriter w(body);
        w.i32(1);
        r.Encode(w);
        ASSERT_TRUE(teacher_.dm.SendCommand(vkOpenDocument, body));
    }

    fs::path dir_;
    std::string oldPath_;
    test::TRoomServer server_;
    test::TFileTransferPort transfers_{server_};
    test::PRoomExtension ext_;
    Client teacher_, pupil_;
};

}  // namespace

TEST_F(LibraryRoom, DocumentIsUploadedListedPushedDownloadedAndOpened) {
    const std::string text = "Homework: chapters 3 and 4\n";
    teacher_.dm.UploadWindows.sharedDocuments = 901;
    teacher_.dm.StartFileUpload(0, 0, rtDocument, " Week 1 notes ", WriteFile("notes.txt", text));
    ASSERT_TRUE(Pump([&] {
        for (auto& m : teacher_.loop.Log())
            if (m.target == 901 && m.msg == WM_APP_RESOURCELISTCHANGED) return true;
        return false;
    }));
    ASSERT_TRUE(pupil_.dm.SendDocumentListRequest());
    ASSERT_TRUE(Pump([&] { return pupil_.dm.Libraries.documents.size() == 1; }));
    const TResourceInfo doc = pupil_.dm.Libraries.documents[0];
    EXPECT_EQ(ResourceRow(vkDocumentList, doc).columns[0], "notes.txt");
    EXPECT_EQ(ResourceRow(vkDocumentList, doc).columns[4], "Week 1 notes");

    // Launched for everybody: the pupil is asked, agrees, and the desktop gets the received copy.
    ASSERT_TRUE(teacher_.dm.SendOpenResource(doc, rtDocument));
    ASSERT_TRUE(Pump([&] { return pupil_.asked.size() == 1; }));
    EXPECT_EQ(pupil_.asked[0].first.substr(0, 46), "Teacher requests you to open the following fil");
    pupil_.dm.AcceptPushedDocument(pupil_.asked[0].second);
    ASSERT_TRUE(Pump([&] { return Opened().size() == 1; }));
    const fs::path received = Opened()[0];
    EXPECT_EQ(received.parent_path(), pupil_.dm.Libraries.DownloadFolder);
    EXPECT_EQ(received.extension(), ".txt");
    EXPECT_EQ(ReadFile(received), text);

    // A hostile extension is dropped from the local name; a script is never opened.
    transfers_.Put(0, "x.txt", test::Stored("plain"));
    transfers_.Put(0, "run.sh", test::Stored("#!/bin/sh\ntouch /tmp/pwned\n"));
    PushDocument("x.txt", "/../../.profile;rm");
    PushDocument("run.sh", ".sh");
    ASSERT_TRUE(Pump([&] { return pupil_.asked.size() == 3; }));
    EXPECT_EQ(pupil_.asked[1].second.localPath.parent_path(), pupil_.dm.Libraries.DownloadFolder);
    EXPECT_EQ(pupil_.asked[1].second.localPath.extension(), "");
    pupil_.dm.AcceptPushedDocument(pupil_.asked[1].second);
    pupil_.dm.AcceptPushedDocument(pupil_.asked[2].second);
    ASSERT_TRUE(Pump([&] { return Opened().size() == 2 && pupil_.refused.size() == 1; }));
    EXPECT_EQ(fs::path(Opened()[1]), pupil_.asked[1].second.localPath);
    EXPECT_NE(pupil_.refused[0].find(kExecutableRefusedText), std::string::npos);
    EXPECT_TRUE(fs::exists(pupil_.asked[2].second.localPath));  // kept, not run
}

TEST_F(LibraryRoom, PresentationIsListedAndShownSlideBySlideOnTheOtherBoard) {
    const std::string id = "Pres_10_4711";
    const QColor colours[] = {Qt::red, Qt::green, Qt::blue};
    for (int n = 1; n <= 3; ++n) {
        QImage slide(320, 240, QImage::Format_RGB32);
        slide.fill(colours[n - 1]);
        QByteArray jpeg;
        QBuffer buffer(&jpeg);
        buffer.open(QIODevice::WriteOnly);
        slide.save(&buffer, "JPG", 90);
        teacher_.dm.StartFileUpload(0, n, rtSlide, id,
                                    WriteFile("Slide_" + std::to_string(n) + ".JPG", jpeg.toStdString()));
    }
    teacher_.dm.StartFileUpload(0, 3, rtPresentation, id,
                                WriteFile("deck.ppt", "[Presentation]\nName=deck\nFileName=deck.ppt\nSlidesCount=3\n"
                                                      "[Slides]\n1=Slide_1.JPG\n2=Slide_2.JPG\n3=Slide_3.JPG\n"));
    ASSERT_TRUE(Pump([&] { return transfers_.Uploads().size() == 4; }));
    ASSERT_TRUE(pupil_.dm.SendPresentationListRequest());
    ASSERT_TRUE(Pump([&] { return pupil_.dm.Libraries.presentations.size() == 1; }));
    const TResourceInfo deck = pupil_.dm.Libraries.presentations[0];
    EXPECT_EQ(ResourceRow(vkPresentationList, deck).columns[0], "deck.ppt");
    EXPECT_EQ(ResourceRow(vkPresentationList, deck).columns[1], "3");

    TSlideShow show;
    show.Start(deck);
    auto pupilPixel = [&] { return QColor(pupil_.engine.Layer(1).image.pixel(20, 20)); };
    auto near = [](QColor a, QColor b) {
        return std::abs(a.red() - b.red()) < 40 && std::abs(a.green() - b.green()) < 40 &&
               std::abs(a.blue() - b.blue()) < 40;
    };
    using Step = bool (TSlideShow::*)();
    const std::pair<Step, int> steps[] = {{&TSlideShow::Repeat, 1}, {&TSlideShow::Next, 2}, {&TSlideShow::Next, 3},
                                          {&TSlideShow::Next, 3}, {&TSlideShow::Previous, 2}};
    for (auto [step, expected] : steps) {
        ASSERT_TRUE((show.*step)());
        ASSERT_EQ(show.slide, expected);
        ASSERT_TRUE(teacher_.engine.SendSlideToBoard(&show.presentation, show.slide, nullptr));
        EXPECT_TRUE(Pump([&, expected = expected] { return near(pupilPixel(), colours[expected - 1]); })) << "slide " << expected;
    }
}
