// Arbitrary bodies through every whiteboard handler, with the engine drawing what gets through.
// Input: byte 0 picks the kind, byte 1 bit 0 sets a non-zero result code, the rest is the body.
#include <QGuiApplication>
#include <cstdlib>

#include "board/engine/board_engine.h"
#include "boardmsg/board_messages.h"

using namespace orb::board;

namespace {

class NullSession : public IBoardSession {
public:
    bool Connected() const override { return true; }
    bool HasBoardRight() const override { return true; }
    bool PlaybackMode() const override { return false; }
    int32_t OwnLevel1() const override { return 1000; }
    void SetCurrentBoard(int32_t) override {}
    void SendMessage(uint16_t, std::vector<uint8_t>) override {}
    void SendViewMode(int32_t) override {}
    void ClearStatusIcons() override {}
    void PostBoardUpdated(int32_t) override {}
    std::string TempFolder() const override { return {}; }
};

class NullRoom : public IBoardRoom {
public:
    void PostBoardUpdated(int32_t) override {}
    void SendBoardLoadProgress(int32_t, int32_t) override {}
    void PostBoardLoadProgress(int32_t, int32_t) override {}
    void HideProgress() override {}
    void AddServerNotice(const std::string&) override {}
    void StartBoardDownload(int, int32_t, const TResourceInfo&, int32_t) override {}
    bool PlaybackMode() const override { return false; }
};

// Notes which boards an input touched, so only those are wiped before the next one.
class TouchedBoards : public IBoardView {
public:
    bool touched[kBoardCount] = {};
    void LayerChanged(int32_t board) override {
        if (board >= 0 && board < kBoardCount) touched[board] = true;
    }
};

constexpr uint16_t kKinds[] = {vkBoardStrokes, vkBoardPointer, vkAnsiBoardText, vkBoardImage,
                               vkBoardContents, vkClearBoard, vkCurrentBoard, vkSelectBoard,
                               vkSlideToBoard, vkLibraryImageToBoard, vkBoardText};

}  // namespace

// The font system keeps caches for the life of the process; they are not leaks of ours.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\nleak:libQt6Gui.so\nleak:libQt6Core.so\nleak:libfreetype.so\n";
}

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static QGuiApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    static NullSession session;
    static NullRoom room;
    static TBoardEngine engine(session);
    static TouchedBoards view;
    static TBoardMessages messages(engine, room);
    engine.SetView(&view);
    for (int b = 0; b < kBoardCount; ++b)
        if (view.touched[b]) engine.ClearBoard(b);
    std::fill(std::begin(view.touched), std::end(view.touched), false);
    engine.InitWhiteboards();
    TVCRHeader header;
    header.kind = kKinds[data[0] % std::size(kKinds)];
    header.result = data[1] & 1;
    header.bodyLength = int32_t(size - 2);
    messages.Handle(header, std::span<const uint8_t>(data + 2, size - 2));
    return 0;
}
