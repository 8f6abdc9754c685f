// The image library: the window's commands, and the test room server's library driven over its
// sockets, with what the room sends back drawn by the client's own handlers.
#include <QTest>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include <cstring>

#include "board/library/frm_board_controls.h"
#include "board_fakes.h"
#include "raw_client.h"
#include "net/tcp_client.h"
#include "protocol/framing.h"
#include "protocol/message_kinds.h"
#include "roomserver/extensions.h"
#include "roomserver/file_transfer_port.h"
#include "wire/bytes.h"

using namespace orb;
using namespace orb::board;
using namespace orb::board::test;
using namespace orb::test;

namespace {

TResourceInfo Picture(const std::string& name, const std::string& comment) {
    TResourceInfo r;
    r.fileName = name;
    r.extension = ".jpg";
    r.description = comment;
    r.ownerName = "Ana";
    r.added = 45000.5;
    return r;
}

std::vector<uint8_t> Encoded(const TResourceInfo& r) {
    std::vector<uint8_t> b;
    ByteWriter w(b);
    r.Encode(w);
    return b;
}

// An upload on the transfer port as the client's upload thread makes it.
bool Upload(uint16_t port, TResourceInfo r, const std::vector<uint8_t>& file) {
    TTcpClient c;
    if (!c.Connect("127.0.0.1", port, 2000)) return false;
    c.SetReadTimeout(5000);
    r.fileSize = int32_t(file.size());
    std::vector<uint8_t> body = Encoded(r);
    body.insert(body.end(), file.begin(), file.end());
    TVCRHeader h;
    InitVCRHeader(vkUploadBoardImage, 7, 1002, h);
    h.bodyLength = int32_t(body.size());
    auto bytes = BuildPacketStream(h, body.data(), body.size());
    uint8_t reply[22];
    return c.WriteAll(bytes.data(), bytes.size()) && c.ReadExact(reply, 22) && LoadU16(reply + 20) == 0;
}

}  // namespace

TEST(BoardLibraryServer, ListShowOnTheBoardAndDelete) {
    TRoomServer server;
    TFileTransferPort transfers(server);
    TRoomHandshakeScript script;
    script.perLoginAccounts = true;
    script.fileTransferPort = transfers.Port();
    auto handshake = InstallRoomHandshake(server, script);
    TRoomService rooms(server, handshake);
    TRoomExtensionContext context{server, handshake, rooms, {}};
    context.transfers = &transfers;
    PRoomExtension library = InstallBoardExtension(context);
    ASSERT_TRUE(library);
    ASSERT_TRUE(server.Start("127.0.0.1", 0));

    const std::vector<uint8_t> jpeg = Jpeg(Solid(300, 200, qRgb(0, 160, 0)));
    ASSERT_TRUE(Upload(transfers.Port(), Picture("board_7_1.jpg", "Green field"), jpeg));
    RawClient a, b;
    ASSERT_TRUE(a.SignIn(server.Port(), "moderator1"));
    ASSERT_TRUE(b.SignIn(server.Port(), "bea"));
    ASSERT_TRUE(a.Enter(1002));
    ASSERT_TRUE(b.Enter(1002));

    // The list: a count block, then the records.
    TVCRHeader h;
    std::vector<uint8_t> body;
    ASSERT_TRUE(a.Send(vkBoardImageList, {}, 1002));
    ASSERT_TRUE(a.Next(vkBoardImageList, h, body));
    ASSERT_EQ(body.size(), 2 * TResourceInfo::kSize);
    EXPECT_EQ(LoadU32(body.data()), 1u);
    ByteReader in(body.data() + TResourceInfo::kSize, TResourceInfo::kSize);
    TResourceInfo row;
    ASSERT_TRUE(TResourceInfo::Decode(in, row));
    EXPECT_EQ(row.fileName, "board_7_1.jpg");
    EXPECT_EQ(row.description, "Green field");
    EXPECT_EQ(row.fileSize, int32_t(jpeg.size()));

    // Shown on board 2 for everybody; the receiver's own handler draws it.
    FakeSession session;
    session.level1 = 1000;
    TBoardEngine engine(session);
    engine.InitWhiteboards();
    FakeRoom room;
    TBoardMessages handler(engine, room);
    std::vector<uint8_t> ask(4);
    StoreU32(ask.data(), 2);
    const auto rec = Encoded(row);
    ask.insert(ask.end(), rec.begin(), rec.end());
    ASSERT_TRUE(a.Send(vkLibraryImageToBoard, ask, 1002));
    ASSERT_TRUE(b.Next(vkLibraryImageToBoard, h, body));
    EXPECT_EQ(h.result, 0);
    ASSERT_TRUE(handler.Handle(h, body));
    EXPECT_EQ(engine.CurrentBoard(), 2);
    EXPECT_NEAR(qGreen(engine.BoardImage(2).pixel(100, 100)), 160, 8);
    EXPECT_EQ(engine.BoardImage(2).pixel(500, 500), qRgb(255, 255, 255));
    ASSERT_TRUE(a.Next(vkLibraryImageToBoard, h, body));  // the asker sees it too

    // Deleted: gone from the list, and showing it is refused.
    ASSERT_TRUE(a.Send(vkDeleteBoardImage, rec, 1002));
    ASSERT_TRUE(a.Next(vkDeleteBoardImage, h, body));
    EXPECT_EQ(h.result, 0);
    ASSERT_TRUE(a.Send(vkBoardImageList, {}, 1002));
    ASSERT_TRUE(a.Next(vkBoardImageList, h, body));
    EXPECT_EQ(LoadU32(body.data()), 0u);
    ASSERT_TRUE(a.Send(vkLibraryImageToBoard, ask, 1002));
    ASSERT_TRUE(a.Next(vkLibraryImageToBoard, h, body));
    EXPECT_NE(h.result, 0);
}

TEST(BoardLibraryWindow, LoadAndDeleteFollowTheRights) {
    FakeSession session;
    TBoardEngine engine(session);
    engine.InitWhiteboards();
    session.sent.clear();
    TfrmBoardControls window;
    window.SetEngine(&engine);
    std::vector<QString> errors;
    std::vector<std::string> deleted;
    bool canDelete = false;
    window.Hooks.ShowError = [&](const QString& t) { errors.push_back(t); };
    window.Hooks.CanDelete = [&] { return canDelete; };
    window.Hooks.DeleteResource = [&](const TResourceInfo& r) { deleted.push_back(r.fileName); };
    EXPECT_FALSE(window.acLoad->isEnabled());
    EXPECT_FALSE(window.acDelete->isEnabled());
    window.LoadSelected();
    EXPECT_TRUE(session.sent.empty());

    window.SetItems({Picture("a.jpg", "First <b>bold</b>"), Picture("b.jpg", "Second")});
    auto* list = window.findChild<QTreeWidget*>(QStringLiteral("lvBoardCont"));
    ASSERT_TRUE(list);
    ASSERT_EQ(list->topLevelItemCount(), 2);
    EXPECT_EQ(list->topLevelItem(0)->text(0), QStringLiteral("First <b>bold</b>"));
    EXPECT_EQ(list->topLevelItem(0)->text(1), QStringLiteral("Ana"));
    list->setCurrentItem(list->topLevelItem(1));
    EXPECT_TRUE(window.acLoad->isEnabled());

    window.LoadSelected();
    ASSERT_EQ(session.sent.size(), 1u);
    EXPECT_EQ(session.sent[0].kind, vkLibraryImageToBoard);
    ASSERT_EQ(session.sent[0].body.size(), 777u);
    EXPECT_EQ(LoadU32(session.sent[0].body.data()), 1u);

    session.boardRight = false;
    window.LoadSelected();
    EXPECT_EQ(session.sent.size(), 1u);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], QStringLiteral("You don't have permission to load this resource on a shared board."));

    window.DeleteSelected();
    EXPECT_TRUE(deleted.empty());
    EXPECT_EQ(errors.back(), QStringLiteral("You don't have permission to delete public resources"));
    canDelete = true;
    window.DeleteSelected();
    EXPECT_EQ(deleted, std::vector<std::string>{"b.jpg"});
    window.ResourceDeleted(5);
    EXPECT_EQ(errors.back(),
              QStringLiteral("Unable to delete resource. It may be currently in use or does not exist any more on the server."));
}
