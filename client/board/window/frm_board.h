#pragma once
// TfrmBoard: the whiteboard view of the room window. The engine's current board in a scroll area
// (with the rubber bands and the placement frame over it), the drawing tools and pickers, the board
// tool bar (clear, board choice, screen capture, snap grid), the presenter pointer, the text entry,
// and the commands that open, save and upload board pictures. Mouse input goes to the engine; every
// decision that is not about widgets lives in the engine or in board/logic.

#include <QAction>
#include <QCursor>
#include <QActionGroup>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "board/capture/screen_capture.h"
#include "board/engine/board_engine.h"
#include "board/logic/board_logic.h"
#include "board/textentry/text_entry.h"

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QLabel;
class QMenu;
class QToolButton;

namespace Ui {
class TfrmBoard;
}

namespace orb::board {
class TColorComboBoxEx;
class TLineWidthComboBox;
class TFillStyleComboBox;
}  // namespace orb::board

// What the board window needs from the program; every member has a usable default.
struct TBoardWindowHooks {
    // The own first or second level is 1000 or more (upload to the library).
    std::function<bool()> CanUpload;
    std::function<int32_t()> OwnUserId;
    // The program's temporary folder (with or without a trailing separator).
    std::function<std::string()> TempFolder;
    // Kind 22: upload of a board picture to the library (type 1) with its comment.
    std::function<void(const std::string& path, const std::string& comment)> StartUpload;
    // Floats the image library window.
    std::function<void()> FloatImageLibrary;
    // Stores the text defaults at once (TextBoxFont, TextBoxFontColor, TextBoxFontSize).
    std::function<void(const orb::board::TTextDefaults&)> SaveTextDefaults;
    // Stores DefPenWidth and DefPenColor.
    std::function<void(int width, uint32_t colour)> SavePenDefaults;

    // Dialogs (replaced by tests). Empty text: cancelled.
    std::function<QString()> AskOpenFile;
    std::function<QString()> AskSaveFile;
    // OK / Cancel question.
    std::function<bool(const QString&)> Confirm;
    // Yes (shrink) / No (expand).
    std::function<bool(const QString&)> AskShrink;
    // The comment for an upload; nothing when cancelled.
    std::function<std::optional<QString>()> AskComment;
    std::function<void(const QString&)> ShowError;
    std::function<void(const QString&)> ShowInfo;
};

class TfrmBoard final : public QWidget, public orb::board::IBoardView {
    Q_OBJECT
public:
    explicit TfrmBoard(QWidget* parent = nullptr);
    ~TfrmBoard() override;

    // The engine whose boards are shown (not owned); the window becomes its view.
    void SetEngine(orb::board::TBoardEngine* engine);
    orb::board::TBoardEngine* Engine() const { return engine_; }
    // The main window switches to the whiteboard view.
    std::function<void()> OnShowWhiteboardView;
    TBoardWindowHooks Hooks;
    // The text defaults the next entry opens with.
    orb::board::TTextDefaults TextDefaults;
    // The capture component (the data module's `Capture`).
    orb::board::TASGScreenCapture Capture;
    // Screen cursor 1, the pen of the free-hand tools.
    QCursor PenCursor{Qt::CrossCursor};

    Ui::TfrmBoard& Ui() const { return *ui_; }
    QWidget* Canvas() const;
    orb::board::TTextEditControl* TextEntry() const { return entry_; }
    QAbstractButton* ToolButton(uint8_t code) const;
    QAction* ToolAction(uint8_t code) const;
    orb::board::TColorComboBoxEx* LineColor() const { return cbLineColor_; }
    orb::board::TColorComboBoxEx* FillColor() const { return cbFillColor_; }
    orb::board::TLineWidthComboBox* PenSize() const { return tbPenSize_; }
    orb::board::TFillStyleComboBox* BrushStyle() const { return cbBrushStyle_; }
    QCheckBox* SnapBox() const { return cbSnap_; }
    QLabel* PointerImage(bool left) const { return left ? imgPointerL_ : imgPointerR_; }

    // Picker values from the settings (DefPenWidth, DefPenColor); applied to the current layer.
    void SetPenDefaults(int width, uint32_t colour);
    void SetGridSize(int grid);
    // Runs a tool button's handler (what a click on it does).
    void SelectTool(uint8_t code);
    // FinishCurrentTool: leaves the current tool (committing or cancelling an open text entry).
    void FinishCurrentTool(uint8_t newTool, bool commit);
    // The board menu's handler of every board action (the board by its tag; 0 the private one).
    void acBoard_1Execute(int board);
    // Enabling of the actions by the board right, the current board, the text tool and playback.
    void UpdateActions();

    // Slide navigation of the presentations window, shown on the board tool bar (first, previous,
    // next, last, repeat), followed by the slide-number drop-down `btnJumpToSlide` with `pmSlides`.
    void AddSlideActions(const QList<QAction*>& actions);
    QToolButton* JumpToSlide() const { return btnJumpToSlide_; }
    QMenu* SlidesMenu() const { return pmSlides_; }

    // IBoardView
    void ShowWhiteboardView() override;
    void BoardShown(int32_t board) override;
    void ToolReset() override;
    void LayerChanged(int32_t board) override;
    void OverlayChanged() override;
    void PointerChanged(int type, int x, int y, bool scroll) override;
    void MouseAttached(bool attached) override;
    void StartTextEdit(int x, int y) override;

    // The commands.
    QAction* acClearBoard = nullptr;
    QAction* acSaveToFile = nullptr;
    QAction* acUploadToServer = nullptr;
    QAction* acOpenAPictureFromFile = nullptr;
    QAction* acCaptureDesktop = nullptr;
    QAction* acCaptureWindow = nullptr;
    QAction* acCaptureScreenArea = nullptr;
    QAction* acHideOrbeloWindow = nullptr;
    QAction* acPrivateBoard = nullptr;
    QAction* acBoard[6] = {};

    void ClearBoard();
    void SaveToFile();
    void UploadToServer();
    void OpenPictureFromFile();
    // 0 desktop, 1 active window, 2 dragged area.
    void CaptureOntoBoard(int what);
    // WM_APP_STARTTEXTEDIT: a text entry at layer point (x, y).
    void OpenTextEntry(int x, int y);
    // The permission notices (WM_APP_SHOWERROR, WM_APP_BOARDRIGHT).
    void ShowPermissionError();
    void ShowBoardRightGranted();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    class TCanvas;
    void BuildTools();
    void BuildBoardBar();
    void ShowToolOptions(uint8_t tool);
    void SetLayerCursor(orb::board::LayerCursor cursor);
    void PickersChanged(int which);
    void SetMarkGlyph(int image);
    void MarkButtonClicked(bool down);
    void CanvasMouse(QMouseEvent* event, int stage);

    std::unique_ptr<Ui::TfrmBoard> ui_;
    orb::board::TBoardEngine* engine_ = nullptr;
    TCanvas* canvas_ = nullptr;
    // Changed parts of the board not yet handed to the canvas: one update per turn of the loop,
    // however many stroke messages arrive in it.
    QRect pendingDirty_;
    bool dirtyPosted_ = false;
    QWidget* content_ = nullptr;
    QLabel* imgPointerL_ = nullptr;
    QLabel* imgPointerR_ = nullptr;
    QButtonGroup* tools_ = nullptr;
    QActionGroup* alDrawingTools_ = nullptr;
    QToolButton* ptLeft_ = nullptr;
    QToolButton* ptRight_ = nullptr;
    QToolButton* cursorButton_ = nullptr;
    QToolButton* tbBoard_ = nullptr;
    QToolButton* tbCapture_ = nullptr;
    QMenu* pmCursors_ = nullptr;
    QMenu* pmBoard_ = nullptr;
    QMenu* pmCapture_ = nullptr;
    QWidget* pPenSizeHolder_ = nullptr;
    QWidget* pPenColorHolder_ = nullptr;
    QWidget* pBrushStyleHolder_ = nullptr;
    QWidget* pBrushColorHolder_ = nullptr;
    QLabel* lblOutline_ = nullptr;
    QLabel* lblFilling_ = nullptr;
    orb::board::TLineWidthComboBox* tbPenSize_ = nullptr;
    orb::board::TColorComboBoxEx* cbLineColor_ = nullptr;
    orb::board::TFillStyleComboBox* cbBrushStyle_ = nullptr;
    orb::board::TColorComboBoxEx* cbFillColor_ = nullptr;
    QCheckBox* cbSnap_ = nullptr;
    QAction* slideSeparator_ = nullptr;
    QToolButton* btnJumpToSlide_ = nullptr;
    QMenu* pmSlides_ = nullptr;
    QPointer<orb::board::TTextEditControl> entry_;
    int32_t entryBoard_ = 1;
    int markTag_ = 2;
    bool busy_ = false;
    bool attached_ = true;
};
