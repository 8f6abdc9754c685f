#pragma once
// TfrmBoard: shows the current board of the whiteboard engine, scrolled inside the main area, and
// repaints what the engine changed. The drawing tools come with the board's own tool windows.

#include <QWidget>

#include <functional>

#include "board/engine/board_engine.h"

class QScrollArea;

class TfrmBoard final : public QWidget, public orb::board::IBoardView {
    Q_OBJECT
public:
    explicit TfrmBoard(QWidget* parent = nullptr);

    // The engine whose boards are shown (not owned); the window becomes its view.
    void SetEngine(orb::board::TBoardEngine* engine);
    // The main window switches to the whiteboard view.
    std::function<void()> OnShowWhiteboardView;

    QWidget* Canvas() const;

    // IBoardView
    void ShowWhiteboardView() override;
    void BoardShown(int32_t board) override;
    void LayerChanged(int32_t board) override;
    void OverlayChanged() override;

private:
    class TCanvas;
    orb::board::TBoardEngine* engine_ = nullptr;
    QScrollArea* scroll_ = nullptr;
    TCanvas* canvas_ = nullptr;
};
