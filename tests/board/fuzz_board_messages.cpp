// Arbitrary bodies through every whiteboard handler, with the engine drawing what gets through.
// Input: byte 0 picks the kind, byte 1 bit 0 sets a non-zero result code, the rest is the body.
#include <QGuiApplication>
#include <cstdlib>

#include "board/engine/board_engine.h"
#include "boardmsg/board_messages.h"
#include "boardmsg/board_null.h"

using namespace orb::board;

namespace {

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
    static TNullBoardSession session(true, true, 1000);
    static TNullBoardRoom room;
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
