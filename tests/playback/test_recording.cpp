// The recording file: reader, room settings, end bound, temporary names, and how the data module
// routes replayed messages.
#include <gtest/gtest.h>

#include <fstream>
#include <set>

#include "boardmsg/board_messages.h"
#include "dm/dm.h"
#include "loop/plain_event_loop.h"
#include "playback/recording_reader.h"
#include "playback/session_download.h"
#include "roomserver/recording_writer.h"
#include "test_support.h"

using namespace orb;
using namespace orb::playback;
using orb::test::TRecordingWriter;

namespace orb::playtest {

TempDir::TempDir() {
    char name[] = "/tmp/orb_playbackXXXXXX";
    path_ = mkdtemp(name);
}
TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

}  // namespace orb::playtest

namespace {

using playtest::TempDir;

void Write(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// Kinds read until the reader stops, and how it stopped.
std::pair<std::vector<uint16_t>, TNextResult> ReadAll(TRecordingReader& r, int64_t available, bool complete) {
    std::vector<uint16_t> kinds;
    TVCRHeader h;
    std::vector<uint8_t> m;
    for (;;) {
        TNextResult res = r.ReadNextRecord(available, complete, h, m);
        if (res != TNextResult::Message) return {kinds, res};
        EXPECT_EQ(m.size(), 22u + size_t(h.bodyLength));
        kinds.push_back(h.kind);
    }
}

TEST(RecordingReader, StopsCleanlyAtEveryKindOfEnd) {
    TempDir dir;
    TRecordingWriter base;
    base.Add(vkEnterRoom, 0, test::RoomEntryBody(2)).Add(vkBoardStrokes, 10, test::StrokesBody(1, 1));
    struct Case {
        const char* name;
        std::vector<uint8_t> tail;
        bool head;
        bool complete;
        TNextResult expected;
    };
    const std::vector<Case> cases = {
        {"whole, with head", {}, true, true, TNextResult::End},
        {"whole, growing", {}, true, false, TNextResult::NotYet},
        {"whole, no head", {}, false, true, TNextResult::End},
        {"kind-0 tail, growing", TRecordingWriter::KindZeroHeader(), true, false, TNextResult::NotYet},
        {"kind-0 tail, complete", TRecordingWriter::KindZeroHeader(), true, true, TNextResult::End},
        {"partial body, growing", TRecordingWriter::PartialMessage(vkTextMessage, 100, 40), false, false,
         TNextResult::NotYet},
        {"partial body, complete", TRecordingWriter::PartialMessage(vkTextMessage, 100, 40), false, true,
         TNextResult::End},
        {"21 bytes of a header", std::vector<uint8_t>(21, 1), true, false, TNextResult::NotYet},
        {"length above 16 MiB", TRecordingWriter::PartialMessage(vkTextMessage, kMaxRecordedBody + 1, 10), true,
         false, TNextResult::End},
        {"negative length", TRecordingWriter::PartialMessage(vkTextMessage, -5, 10), true, false, TNextResult::End},
        {"length beyond the file", TRecordingWriter::PartialMessage(vkTextMessage, 0x7FFFFFFF, 3), true, true,
         TNextResult::End},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TRecordingWriter w = base;
        w.AddRaw(c.tail);
        const std::string path = dir.File("a.ob6");
        const auto bytes = w.Bytes(c.head);
        Write(path, bytes);
        TRecordingReader r;
        ASSERT_TRUE(r.Open(path, c.head));
        const int64_t before = int64_t(bytes.size() - c.tail.size());
        auto [kinds, end] = ReadAll(r, int64_t(bytes.size()), c.complete);
        EXPECT_EQ(kinds, (std::vector<uint16_t>{vkEnterRoom, vkBoardStrokes}));
        EXPECT_EQ(end, c.expected);
        // A message that is not there yet leaves the position at its start.
        EXPECT_EQ(r.Position(), before);
    }
}

TEST(RecordingReader, EndBoundIsTheSmallerOfTotalAndFileSize) {
    struct Case {
        int32_t total;
        bool head, complete;
        int64_t fileSize, expected;
    } cases[] = {
        {1000, true, true, 5000, 1000},   // the head's total ends a longer file
        {9000, true, true, 5000, 5000},   // a complete file ends at its size
        {9000, true, false, -1, 9000},    // growing: the total
        {9000, false, false, -1, 8260},   // a stream has no head, its total counts one
        {0, true, true, 5000, 5000},      // total unknown
        {0, true, false, -1, 0},          // unknown and growing: no bound
        {-7, false, true, 300, 300},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ReplayEndBound(c.total, c.head, c.complete, c.fileSize), c.expected) << c.total << " " << c.fileSize;
}

TEST(RecordingReader, CodecIndexFromTheRoomSettingsMessage) {
    TempDir dir;
    struct Case {
        const char* name;
        uint16_t kind;
        std::vector<uint8_t> body;
        int32_t expected;
    };
    std::vector<uint8_t> shortBody = test::RoomEntryBody(5);
    shortBody.resize(54 + 1355 + 3);
    const std::vector<Case> cases = {
        {"full room entry", vkEnterRoom, test::RoomEntryBody(5), 5},
        {"1418-byte room block", vkEnterRoom, test::RoomEntryBody(6, true), 6},
        {"another kind first", vkBoardStrokes, test::RoomEntryBody(5), 0},
        {"index above 7", vkEnterRoom, test::RoomEntryBody(21), 0},
        {"negative index", vkEnterRoom, test::RoomEntryBody(-1), 0},
        {"body too short for the offsets", vkEnterRoom, shortBody, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (bool head : {true, false}) {
            TRecordingWriter w;
            w.Add(c.kind, 0, c.body);
            const auto bytes = w.Bytes(head);
            Write(dir.File("c.tm6"), bytes);
            TRecordingReader r;
            ASSERT_TRUE(r.Open(dir.File("c.tm6"), head));
            EXPECT_EQ(r.ReadCodecIndex(int64_t(bytes.size())), c.expected);
            // Not read while the field is not there yet.
            EXPECT_EQ(r.ReadCodecIndex(r.FirstOffset() + 22 + 100), 0);
        }
    }
}

TEST(SessionDownload, TemporaryNamesNeverCollide) {
    TempDir dir;
    std::set<std::string> names;
    for (int i = 0; i < 50; ++i) {
        const std::string n = MakeSessionTempFile(dir.Path().string());
        ASSERT_FALSE(n.empty());
        const std::string base = std::filesystem::path(n).filename().string();
        EXPECT_EQ(base.rfind("tmp", 0), 0u);
        EXPECT_EQ(base.substr(base.size() - 4), ".tm6");
        EXPECT_TRUE(names.insert(n).second);
    }
}

// Replayed messages reach the same handlers as live ones; board files, whole boards and resource
// notices take the whiteboard's own way.
TEST(ReplayRouting, EveryKindGoesWhereTheRoomSendsIt) {
    PlainEventLoop loop;
    TDM dm(loop, 900);
    struct Board final : board::IBoardMessageHandler {
        std::vector<uint16_t> kinds;
        bool Handle(const TVCRHeader& h, std::span<const uint8_t>) override {
            kinds.push_back(h.kind);
            return true;
        }
    } boardHandler;
    dm.BoardMessages = &boardHandler;
    std::vector<uint16_t> dispatched, files, contents;
    dm.DispatchObserver = [&](const TVCRHeader& h, std::span<const uint8_t>) { dispatched.push_back(h.kind); };
    dm.PlaybackRoomHooks.ReplayBoardFile = [&](const TVCRHeader& h, std::span<const uint8_t>) { files.push_back(h.kind); };
    dm.PlaybackRoomHooks.ReplayBoardContents = [&](const TVCRHeader& h, std::span<const uint8_t>) {
        contents.push_back(h.kind);
    };
    TRecordingWriter w;
    w.Add(vkBoardStrokes, 0, test::StrokesBody(2, 1))
        .Add(vkTextMessage, 0, test::ChatBody(7, 3, u"hi"))
        .Add(vkDownloadBoardImage, 0, {1, 2, 3})
        .Add(vkDownloadSlide, 0, {})
        .Add(vkDownloadDocument, 0, {})
        .Add(vkDownloadUserImage, 0, {})
        .Add(vkBoardContents, 0, {9})
        .Add(vkOpenDocument, 0, test::ResourceNoticeBody(3))
        .Add(vkVoiceIn, 0, test::VoiceBody(1));
    for (const auto& m : w.Each()) {
        TVCRHeader h;
        TVCRHeader::Decode(m, h);
        dm.ReplayRecord(h, m);
    }
    EXPECT_EQ(boardHandler.kinds, (std::vector<uint16_t>{vkBoardStrokes}));
    EXPECT_EQ(dispatched, (std::vector<uint16_t>{vkBoardStrokes, vkTextMessage}));
    EXPECT_EQ(files, (std::vector<uint16_t>{vkDownloadBoardImage, vkDownloadSlide, vkDownloadDocument,
                                            vkDownloadUserImage}));
    EXPECT_EQ(contents, (std::vector<uint16_t>{vkBoardContents}));
}

}  // namespace
