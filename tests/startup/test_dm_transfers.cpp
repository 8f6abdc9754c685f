// The data module's transfer starters: host and port from the session, identity from the own
// account, threads kept until they end and stopped at shut-down.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "dm/dm.h"
#include "loop/plain_event_loop.h"
#include "protocol/wm_app.h"
#include "roomserver/file_transfer_port.h"
#include "transfer/file_transfer.h"
#include "wire/bytes.h"

namespace fs = std::filesystem;
using namespace orb;

namespace {

class DmTransfers : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server_.Start("127.0.0.1", 0));
        dir_ = fs::temp_directory_path() / ("orb_dmt_" + std::to_string(::getpid()) + "_" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        dm_.ServerHost = "127.0.0.1";
        dm_.FileTransferPort = ft_.Port();
        dm_.OwnLoginInfo.SetUserId(4242);
        dm_.OwnRoom = 7;
    }
    void TearDown() override {
        dm_.Transfers.StopAll();
        server_.Stop();
        fs::remove_all(dir_);
    }
    bool Drain() {
        bool done = loop_.RunUntil([&] {
            dm_.Transfers.Reap();
            return dm_.Transfers.Count() == 0;
        }, 10000);
        loop_.ProcessPending();
        return done;
    }

    PlainEventLoop loop_;
    TDM dm_{loop_, 1};
    test::TRoomServer server_;
    test::TFileTransferPort ft_{server_};
    fs::path dir_;
};

TEST_F(DmTransfers, UploadGoesToTheSessionsTransferPortWithTheOwnIdentity) {
    auto file = dir_ / "notes.txt";
    std::ofstream(file, std::ios::binary) << "twelve bytes";
    dm_.StartFileUpload(55, 3, ttDocument, "minutes", file);
    ASSERT_TRUE(Drain());

    auto uploads = ft_.Uploads();
    ASSERT_EQ(uploads.size(), 1u);
    EXPECT_EQ(uploads[0].kind, vkUploadDocument);
    EXPECT_EQ(uploads[0].sender, 4242);
    EXPECT_EQ(uploads[0].room, 7);
    EXPECT_EQ(uploads[0].bytes, "twelve bytes");
    bool told = false;
    for (const auto& m : loop_.TakeLog())
        if (m.target == 55 && m.msg == WM_APP_UPLOADDONE) told = true;
    EXPECT_TRUE(told);
}

TEST_F(DmTransfers, UserPictureDownloadArrivesAndShutDownLeavesNoThread) {
    test::TStoredFile picture;
    picture.bytes = "picture bytes";
    ft_.Put(ttUserImage, "9.jpg", picture);
    auto local = dir_ / "9.jpg";
    dm_.StartFileDownload("", -1, 66, 9, ttUserImage, false, local, "9.jpg");
    ASSERT_TRUE(Drain());
    std::ifstream f(local, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(f), {}), "picture bytes");
    bool done = false;
    for (const auto& m : loop_.TakeLog())
        if (m.target == 66 && m.msg == WM_APP_DOWNLOADDONE && m.wParam == 9 && m.lParam == 0) done = true;
    EXPECT_TRUE(done);

    // A transfer to a port nobody serves is still collected by the shut-down step.
    dm_.FileTransferPort = 1;
    dm_.StartFileDownload("", -1, 66, 9, ttUserImage, false, dir_ / "x.jpg", "x.jpg");
    dm_.Transfers.StopAll();
    EXPECT_EQ(dm_.Transfers.Count(), 0u);
}

}  // namespace
