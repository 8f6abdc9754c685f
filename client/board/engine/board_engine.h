#pragma once
// The whiteboard engine: five shared boards and the private board as raster layers, the tools and
// how each draws, the pending stroke buffer sent at mouse-up, the replay of received strokes,
// pictures, text objects, clearing, board selection and the presenter pointer.
//
// No widgets: the board window draws the current layer's image and the overlay (rubber bands and
// the frame of a picture being placed, never drawn into a board) and forwards its mouse events.
// Everything runs on the main thread.

#include <QFont>
#include <QPainter>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "board/engine/board_raster.h"
#include "boardmsg/board_messages.h"

namespace orb::board {

enum class PenMode { Copy, NotXor };
enum class PenStyle : uint8_t { Solid, Dot };
enum class MouseButton { Left, Right, Middle };

// Pen, brush and tool as saved around a text entry, a picture placement or a replayed record.
struct TDrawState {
    TColorRef brushColor = kWhite;
    uint8_t brushStyle = bsClear;
    PenStyle penStyle = PenStyle::Solid;
    int penWidth = 1;
    TColorRef penColor = kBlack;
    uint8_t tool = btNone;
};

struct TBoardFont {
    std::string name = "Arial";
    int size = 12;  // points
    TColorRef color = kBlack;
    bool bold = false;
    bool italic = false;
    bool underline = false;
};

// One board layer: its bitmap and its canvas state.
struct TBoardLayer {
    QImage image;
    TColorRef penColor = kBlack;
    int penWidth = 1;
    PenStyle penStyle = PenStyle::Solid;
    PenMode penMode = PenMode::Copy;
    TColorRef brushColor = kWhite;
    uint8_t brushStyle = bsClear;
    QPoint penPos;
    TBoardFont font;
};

// Notifications to the board window; every method has an empty default.
class IBoardView {
public:
    virtual ~IBoardView() = default;
    // The main window should show the whiteboard view.
    virtual void ShowWhiteboardView() {}
    // A board became current: show its layer on top, the board button shows its action.
    virtual void BoardShown(int32_t) {}
    // Tool 11: press "Nothing", default cursor.
    virtual void ToolReset() {}
    virtual void LayerChanged(int32_t) {}
    virtual void OverlayChanged() {}
    // Pointer type 0 hides both images; (x, y) are board pixels.
    virtual void PointerChanged(int, int, int, bool) {}
    virtual void MouseAttached(bool) {}
    // WM_APP_STARTTEXTEDIT for a layer point.
    virtual void StartTextEdit(int, int) {}
};

constexpr int kLayoutWidth = 1024;
constexpr int kLayoutHeight = 768;
constexpr int kStampCount = 13;

class TBoardEngine : public IBoardSink {
public:
    explicit TBoardEngine(IBoardSession& session);

    void SetView(IBoardView* view) { view_ = view; }
    void InitWhiteboards();

    // --- state ---
    int32_t CurrentBoard() const override { return currentBoard_; }
    uint8_t Tool() const { return tool_; }
    void SetTool(uint8_t tool) { tool_ = tool; }
    bool Drawing() const { return drawing_; }
    TBoardLayer& Layer(int32_t board) { return layers_[size_t(board)]; }
    const TBoardLayer& Layer(int32_t board) const { return layers_[size_t(board)]; }
    const QImage& BoardImage(int32_t board) const { return layers_[size_t(board)].image; }
    TBoardLayer& CurrentLayer() { return layers_[size_t(currentBoard_)]; }
    // Rubber bands and the placement frame in the colours not-xor gives over the current layer,
    // transparent elsewhere; same size as the current layer. The view draws it over the layer.
    const QImage& Overlay() const { return overlay_; }
    // What changed on the current board since the last call (board pixels); the view repaints it.
    QRect TakeDirty();
    // What changed in the overlay since the last call.
    QRect TakeOverlayDirty();
    const std::vector<TStrokeRecord>& Pending() const { return pending_; }
    QPoint RemoteLastPoint() const { return remoteLast_; }

    // The current choices of the pickers, applied to the current layer.
    void SetPenColor(TColorRef c) { CurrentLayer().penColor = c; }
    void SetPenWidth(int w) { CurrentLayer().penWidth = w; CurrentLayer().penStyle = PenStyle::Solid; }
    void SetPenStyle(PenStyle s) { CurrentLayer().penStyle = s; }
    void SetBrushColor(TColorRef c) { CurrentLayer().brushColor = c; }
    void SetBrushStyle(uint8_t s) { CurrentLayer().brushStyle = s; }
    void SetDefaults(int penWidth, TColorRef penColor) { defPenWidth_ = penWidth; defPenColor_ = penColor; }
    // The pickers' last choices, kept as the defaults: line width and colour, fill colour and style.
    void SetDefaults(int penWidth, TColorRef penColor, TColorRef brushColor, uint8_t brushStyle) {
        SetDefaults(penWidth, penColor);
        defBrushColor_ = brushColor;
        defBrushStyle_ = brushStyle;
    }
    int DefaultPenWidth() const { return defPenWidth_; }
    TColorRef DefaultPenColor() const { return defPenColor_; }
    TColorRef DefaultBrushColor() const { return defBrushColor_; }
    uint8_t DefaultBrushStyle() const { return defBrushStyle_; }
    void SetGridSize(int grid) { if (grid > 0) gridSize_ = grid; }
    int GridSize() const { return gridSize_; }
    void SetSnapToGrid(bool snap) { snap_ = snap; }
    // The mark button's tag: the stamp drawn is image tag + 1.
    void SetMarkTag(int tag) { markTag_ = tag; }
    void SetPointerButtons(bool left, bool right) { ptLeft_ = left; ptRight_ = right; }
    bool PointerRightDown() const { return ptRight_; }

    // --- engine operations ---
    void SelectBoard(int32_t board, bool announce) override;
    void DrawShape(int32_t board, QPoint p1, bool local, PenMode mode, QPoint p2);
    void SaveDrawState(int32_t board);
    void RestoreDrawState(int32_t board);
    TDrawState CaptureDrawState(int32_t board) const;
    void ApplyDrawState(int32_t board, const TDrawState& state);
    void ApplyStrokeStyle(int32_t board, const TStrokeRecord& record);
    void ReplayStrokes(std::span<const TStrokeRecord> records) override;
    // Local clear (also a clear received from the room): no message is sent.
    void ClearBoard(int32_t board) override;
    void ClearBoardForAll(int32_t board);
    void PaintBoardWhite(int32_t board);
    void FlushStrokes();
    void ShowBoardPointer(int x, int y, bool scroll, int pointerType) override;
    int PointerType() const { return pointerType_; }
    QPoint PointerPos() const { return pointerPos_; }
    // Image index of the mark stamps; a null image outside the list.
    QImage GetMarkBitmap(int index) const;
    // The picture (image n) and mask (image n + 1) of the mark cursor; false when either is missing.
    bool LoadMarkCursor(int n, QImage& picture, QImage& mask) const;
    void SetLayerMouseAttached(bool attached) override;
    bool LayerMouseAttached() const { return mouseAttached_; }

    void DrawBoardText(int32_t board, const TBoardTextObject& text) override;
    bool DrawBoardPicture(int32_t board, int left, int top, std::span<const uint8_t> jpeg, PictureMode mode) override;
    // Recorded file downloads (kinds 19, 21, 35, 54): the header and the body after it.
    void ReplayBoardFile(const TVCRHeader& header, std::span<const uint8_t> body);
    // Grows a layer (never shrinks) to hold right x bottom, up to the size cap; new area white.
    void GrowLayer(int32_t board, int64_t right, int64_t bottom);

    // --- senders ---
    bool SendBoardImage(const QImage& picture, QRect rect);
    void SendBoardText(const std::u16string& text, const TBoardFont& font, int32_t board, QRect rect);
    void SendBoardPointer(int x, int y, int pointerType);
    void SendCurrentBoard();
    // Kind 126 for the main window's current presentation (none: nothing is sent); askPrivate answers
    // the question whether to open the slide on the private board instead, in which case the
    // slide's picture (privatePicture) is drawn on board 0 here and nothing is sent.
    bool SendSlideToBoard(const TResourceInfo* presentation, int32_t slide, const std::function<bool()>& askPrivate,
                          const std::function<QImage()>& privatePicture = {});

    // An opened picture drawn with its top-left at (left, top); the layer grows to hold it.
    void PutPicture(int32_t board, const QImage& picture, int left, int top);
    // Kind 127: a library picture shown on the current board for everybody.
    bool SendLibraryImageToBoard(const TResourceInfo& resource);
    bool HasBoardRight() const { return session_.HasBoardRight(); }
    bool Connected() const { return session_.Connected(); }
    bool PlaybackMode() const { return session_.PlaybackMode(); }

    // --- picture placement (tool 13) ---
    // Starts placing a picture: saves the draw state and shows its frame at (0, 0). A null picture
    // starts nothing: the tool stays as it is and no frame is drawn.
    void BeginPlacement(const QImage& picture, bool dottedFrame);
    const QImage& PlacementBitmap() const { return placement_; }

    // --- mouse entry points of the board window (layer pixels) ---
    void Image5MouseDown(MouseButton button, int x, int y);
    void Image5MouseMove(bool leftHeld, bool rightHeld, int x, int y);
    void Image5MouseUp(MouseButton button, int x, int y);

private:
    struct RubberBand {
        int32_t board;
        uint8_t tool;
        QPoint p1, p2;
        bool operator==(const RubberBand&) const = default;
    };

    // One painter stays open on an image over a run of records that draw with it (a replayed
    // message), so a record does not pay a painter's set-up; it ends before any direct pixel
    // work and at the end of the run.
    QPainter& PainterOn(QImage& target);
    void EndPainter() {
        if (painter_) ClosePainter();
    }
    void ClosePainter();
    // Draws the airbrush lines a replay kept, if any may be kept.
    void FlushAirRun() {
        if (airRun_) {
            airRun_ = false;
            airBrush_.FlushRun();
        }
    }

    bool CanSendOnCurrent() const;
    void Render(QImage& target, TBoardLayer& canvas, uint8_t tool, QPoint p1, QPoint p2, bool overlay, bool local);
    // Render's free-hand, eraser and highlighter on a layer (never the overlay), the painter closed.
    void RenderFreeHand(QImage& target, TBoardLayer& canvas, uint8_t tool, QPoint p1, bool local);
    void ToggleRubberBand(const RubberBand& band);
    void ClearOverlay();
    void DrawPictureAt(int32_t board, const QImage& picture, int left, int top);
    void BuildStamps();
    // A layer changed inside rect (null: all of it); the current board's changes add up in dirty_.
    void Changed(int32_t board, QRect rect = {});
    // A box of pixels, edges included, as QRect keeps it (null: right = left - 1, bottom = top - 1).
    struct TBox {
        int l, t, r, b;
    };
    // Changed's part that adds up the current board's changes in dirty_; the view is not told.
    void AddDirty(int32_t board, TBox box);
    // The box a stroke may change, for the layer's pen of penWidth.
    TBox StrokeBox(int32_t board, uint8_t tool, int penWidth, QPoint p1, QPoint p2, bool local) const;
    QRect StrokeBounds(int32_t board, uint8_t tool, QPoint p1, QPoint p2, bool local) const;

    IBoardSession& session_;
    IBoardView* view_ = nullptr;
    std::array<TBoardLayer, kBoardCount> layers_;
    int32_t currentBoard_ = 1;
    uint8_t tool_ = btNone;
    bool drawing_ = false;
    QPoint startPoint_, currentPoint_, localLast_, remoteLast_;
    std::optional<TDrawState> savedDrawState_;
    std::vector<TStrokeRecord> pending_;
    QImage placement_;
    bool placementDotted_ = true;
    int gridSize_ = 25;
    int defPenWidth_ = 3;
    TColorRef defPenColor_ = kBlack;
    TColorRef defBrushColor_ = kWhite;
    uint8_t defBrushStyle_ = bsClear;
    TAirBrush airBrush_;
    // Set when lines may be kept in airBrush_'s run (DeferLine was called since the last flush).
    bool airRun_ = false;
    std::vector<QImage> ilCursors24_;
    QImage overlay_;
    std::optional<RubberBand> band_;
    bool snap_ = false;
    int markTag_ = 2;
    bool ptLeft_ = false, ptRight_ = false;
    bool pointerDrag_ = false;
    int pointerType_ = 0;
    QPoint pointerPos_;
    bool mouseAttached_ = true;
    QRect dirty_;
    QRect bandRect_, overlayDirty_;
    std::unique_ptr<QPainter> painter_;
    QImage* painterTarget_ = nullptr;
    bool replaying_ = false;
};

}  // namespace orb::board
