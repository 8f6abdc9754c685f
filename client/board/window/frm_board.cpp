#include "board/window/frm_board.h"

#include <QPaintEvent>
#include <QPainter>
#include <QScrollArea>
#include <QVBoxLayout>

class TfrmBoard::TCanvas final : public QWidget {
public:
    explicit TCanvas(QWidget* parent) : QWidget(parent) { setAttribute(Qt::WA_OpaquePaintEvent); }
    orb::board::TBoardEngine* engine = nullptr;

    void Fit() {
        if (!engine) return;
        const QImage& image = engine->BoardImage(engine->CurrentBoard());
        setFixedSize(image.isNull() ? QSize(orb::board::kLayoutWidth, orb::board::kLayoutHeight) : image.size());
        update();
    }

protected:
    void paintEvent(QPaintEvent* e) override {
        QPainter p(this);
        p.fillRect(e->rect(), Qt::white);
        if (!engine) return;
        // Only the exposed part is drawn: a stroke repaints a few pixels, not the board.
        const QImage& image = engine->BoardImage(engine->CurrentBoard());
        p.drawImage(e->rect(), image, e->rect());
        const QImage& overlay = engine->Overlay();
        if (!overlay.isNull()) p.drawImage(e->rect(), overlay, e->rect());
    }
};

TfrmBoard::TfrmBoard(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("TfrmBoard"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    scroll_ = new QScrollArea(this);
    scroll_->setObjectName(QStringLiteral("sbBoard"));
    scroll_->setBackgroundRole(QPalette::Dark);
    canvas_ = new TCanvas(scroll_);
    canvas_->setObjectName(QStringLiteral("pbCanvas"));
    canvas_->setFixedSize(orb::board::kLayoutWidth, orb::board::kLayoutHeight);
    scroll_->setWidget(canvas_);
    layout->addWidget(scroll_);
}

void TfrmBoard::SetEngine(orb::board::TBoardEngine* engine) {
    engine_ = engine;
    canvas_->engine = engine;
    if (engine) engine->SetView(this);
    canvas_->Fit();
}

void TfrmBoard::ShowWhiteboardView() {
    if (OnShowWhiteboardView) OnShowWhiteboardView();
}

void TfrmBoard::BoardShown(int32_t) { canvas_->Fit(); }

void TfrmBoard::LayerChanged(int32_t board) {
    if (engine_ && board == engine_->CurrentBoard()) canvas_->Fit();
}

void TfrmBoard::OverlayChanged() { canvas_->update(); }

QWidget* TfrmBoard::Canvas() const { return canvas_; }
