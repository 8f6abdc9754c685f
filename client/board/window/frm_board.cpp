#include "board/window/frm_board.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QImageReader>
#include <QInputDialog>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <chrono>

#include "board/logic/board_logic.h"
#include "board/pickers/pickers.h"
#include "ui_frm_board.h"

using namespace orb::board;

namespace {

// Opened pictures larger than this are refused before any pixel is decoded.
constexpr int kMaxOpenSide = 16384;
constexpr int64_t kMaxOpenPixels = 64ll * 1024 * 1024;

const char* const kNoPermission = "You do not have permission to access the whiteboard.";

// The presenter's pointing hand, 24 x 25, pointing left (or right when mirrored).
QPixmap PointerPicture(bool left) {
    QImage image(24, 25, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        QPainterPath arrow;
        arrow.moveTo(1, 12);
        arrow.lineTo(11, 2);
        arrow.lineTo(11, 8);
        arrow.lineTo(23, 8);
        arrow.lineTo(23, 16);
        arrow.lineTo(11, 16);
        arrow.lineTo(11, 22);
        arrow.closeSubpath();
        p.setPen(QPen(Qt::black, 1));
        p.setBrush(QColor(255, 200, 0));
        p.drawPath(arrow);
    }
    return QPixmap::fromImage(left ? image : image.mirrored(true, false));
}

// A small picture of what each tool draws.
QIcon ToolIcon(uint8_t code) {
    QPixmap pixmap(20, 20);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QPen ink(QColor(30, 30, 30), 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(ink);
    switch (code) {
    case btNone: {
        QPainterPath arrow;
        arrow.moveTo(5, 2);
        arrow.lineTo(5, 16);
        arrow.lineTo(8.5, 12.5);
        arrow.lineTo(11, 18);
        arrow.lineTo(13, 17);
        arrow.lineTo(10.5, 11.5);
        arrow.lineTo(15, 11.5);
        arrow.closeSubpath();
        p.setBrush(Qt::white);
        p.drawPath(arrow);
        break;
    }
    case btLine: p.drawLine(3, 17, 17, 3); break;
    case btRectangle: p.drawRect(QRectF(3, 5, 14, 10)); break;
    case btCircle: p.drawEllipse(QPointF(10, 10), 7, 7); break;
    case btEllipse: p.drawEllipse(QRectF(2, 5, 16, 10)); break;
    case btFreeHand: {
        QPainterPath wave;
        wave.moveTo(2, 14);
        wave.cubicTo(6, 2, 9, 20, 13, 9);
        wave.quadTo(15, 4, 18, 6);
        p.drawPath(wave);
        break;
    }
    case btHighlighter:
        p.setPen(QPen(QColor(255, 220, 0, 200), 6, Qt::SolidLine, Qt::FlatCap));
        p.drawLine(3, 13, 17, 7);
        break;
    case btText: {
        QFont f = p.font();
        f.setBold(true);
        f.setPixelSize(16);
        p.setFont(f);
        p.drawText(QRect(0, 0, 20, 20), Qt::AlignCenter, QStringLiteral("T"));
        break;
    }
    case btAxes1:
        p.setPen(QPen(QColor(192, 192, 192), 1));
        for (int g = 7; g < 18; g += 5) {
            p.drawLine(4, 16 - g + 4, 18, 16 - g + 4);
            p.drawLine(4 + g - 4 + 1, 2, 4 + g - 4 + 1, 16);
        }
        p.setPen(QPen(QColor(128, 0, 0), 1.6));
        p.drawLine(4, 16, 18, 16);
        p.setPen(QPen(QColor(0, 0, 255), 1.6));
        p.drawLine(4, 2, 4, 16);
        break;
    case btAxes4:
        p.setPen(QPen(QColor(192, 192, 192), 1));
        for (int g = 4; g <= 16; g += 6) {
            p.drawLine(2, g, 18, g);
            p.drawLine(g, 2, g, 18);
        }
        p.setPen(QPen(QColor(128, 0, 0), 1.6));
        p.drawLine(2, 10, 18, 10);
        p.setPen(QPen(QColor(0, 0, 255), 1.6));
        p.drawLine(10, 2, 10, 18);
        break;
    case btFloodFill: {
        p.setBrush(QColor(40, 110, 220));
        QPolygonF bucket;
        bucket << QPointF(4, 8) << QPointF(10, 2) << QPointF(16, 8) << QPointF(10, 14);
        p.drawPolygon(bucket);
        p.drawEllipse(QPointF(16, 15), 2, 3);
        break;
    }
    case btEraser:
        p.setBrush(QColor(240, 150, 170));
        p.translate(10, 10);
        p.rotate(-35);
        p.drawRoundedRect(QRectF(-7, -4, 14, 8), 2, 2);
        break;
    case btAreaEraser:
        p.setPen(QPen(QColor(200, 0, 0), 1.2, Qt::DashLine));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(3, 4, 14, 12));
        break;
    default: break;
    }
    return QIcon(pixmap);
}

}  // namespace

// The current board's picture with the overlay over it; mouse input goes to the window.
class TfrmBoard::TCanvas final : public QWidget {
public:
    TCanvas(TfrmBoard* owner, QWidget* parent) : QWidget(parent), owner_(owner) {
        setAttribute(Qt::WA_OpaquePaintEvent);
        setMouseTracking(true);
    }
    TBoardEngine* engine = nullptr;

    void Fit() {
        const QSize size = engine ? engine->BoardImage(engine->CurrentBoard()).size() : QSize(kLayoutWidth, kLayoutHeight);
        if (size != this->size()) {
            setFixedSize(size);
            parentWidget()->setFixedSize(size + QSize(10, 10));
        }
        update();
    }

protected:
    void paintEvent(QPaintEvent* e) override {
        QPainter p(this);
        if (!engine) {
            p.fillRect(e->rect(), Qt::white);
            return;
        }
        // Only what was exposed or changed is drawn: a stroke repaints a few pixels, not the board.
        const QImage& image = engine->BoardImage(engine->CurrentBoard());
        p.drawImage(e->rect().topLeft(), image, e->rect());
        const QImage& overlay = engine->Overlay();
        if (!overlay.isNull()) p.drawImage(e->rect().topLeft(), overlay, e->rect());
    }
    void mousePressEvent(QMouseEvent* e) override { owner_->CanvasMouse(e, 0); }
    void mouseMoveEvent(QMouseEvent* e) override { owner_->CanvasMouse(e, 1); }
    void mouseReleaseEvent(QMouseEvent* e) override { owner_->CanvasMouse(e, 2); }

private:
    TfrmBoard* owner_;
};

TfrmBoard::TfrmBoard(QWidget* parent) : QWidget(parent), ui_(std::make_unique<Ui::TfrmBoard>()) {
    ui_->setupUi(this);
    setObjectName(QStringLiteral("TfrmBoard"));
    ui_->ScrollBox1->setBackgroundRole(QPalette::Dark);
    content_ = new QWidget;
    content_->setObjectName(QStringLiteral("pBoardClient"));
    canvas_ = new TCanvas(this, content_);
    canvas_->setObjectName(QStringLiteral("Image1"));
    canvas_->move(5, 5);
    canvas_->setFixedSize(kLayoutWidth, kLayoutHeight);
    content_->setFixedSize(kLayoutWidth + 10, kLayoutHeight + 10);
    ui_->ScrollBox1->setWidget(content_);
    ui_->ScrollBox1->horizontalScrollBar()->setSingleStep(5);
    ui_->ScrollBox1->verticalScrollBar()->setSingleStep(5);
    for (bool left : {true, false}) {
        auto* label = new QLabel(canvas_);
        label->setObjectName(left ? QStringLiteral("imgPointer_L") : QStringLiteral("imgPointer_R"));
        label->setPixmap(PointerPicture(left));
        label->setFixedSize(24, 25);
        label->setAttribute(Qt::WA_TransparentForMouseEvents);
        label->hide();
        (left ? imgPointerL_ : imgPointerR_) = label;
    }
    BuildTools();
    BuildBoardBar();
    ui_->pBBTools->hide();
    SetMarkGlyph(3);
    ShowToolOptions(btNone);
    // Action lists update when the program is idle; a short timer does the same here.
    auto* updater = new QTimer(this);
    updater->setInterval(200);
    connect(updater, &QTimer::timeout, this, &TfrmBoard::UpdateActions);
    updater->start();
    Hooks.ShowError = [this](const QString& text) { QMessageBox::critical(this, windowTitle(), text); };
    Hooks.ShowInfo = [this](const QString& text) { QMessageBox::information(this, windowTitle(), text); };
    Hooks.Confirm = [this](const QString& text) {
        return QMessageBox::question(this, windowTitle(), text, QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
    };
    Hooks.AskShrink = [this](const QString& text) {
        return QMessageBox::question(this, windowTitle(), text, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
    };
    Hooks.AskOpenFile = [this] {
        return QFileDialog::getOpenFileName(this, QString(), QString(),
                                            QStringLiteral("Pictures (*.bmp *.jpg *.jpeg *.png *.gif *.ico *.svg);;All files (*)"));
    };
    Hooks.AskSaveFile = [this] {
        QString path = QFileDialog::getSaveFileName(this, QString(), QString(), QStringLiteral("Bitmaps (*.bmp)"));
        if (!path.isEmpty() && QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".bmp");
        return path;
    };
    Hooks.AskComment = [this]() -> std::optional<QString> {
        bool ok = false;
        const QString text = QInputDialog::getText(this, QStringLiteral("Comment required"),
                                                   QStringLiteral("Enter a short comment for current image:"),
                                                   QLineEdit::Normal, QString(), &ok);
        if (!ok) return std::nullopt;
        return text;
    };
}

TfrmBoard::~TfrmBoard() {
    if (entry_) delete entry_.data();
    if (busy_) QApplication::restoreOverrideCursor();
    if (Hooks.SavePenDefaults) Hooks.SavePenDefaults(tbPenSize_->LineWidth(), cbLineColor_->ColorValue());
    if (engine_) engine_->SetView(nullptr);
}

void TfrmBoard::BuildTools() {
    QHBoxLayout* row = ui_->hlTools;
    tools_ = new QButtonGroup(this);
    tools_->setExclusive(true);
    alDrawingTools_ = new QActionGroup(this);
    alDrawingTools_->setExclusive(true);
    for (const TToolButton& info : ToolButtons()) {
        auto* action = new QAction(QString::fromUtf8(info.caption), alDrawingTools_);
        action->setObjectName(QStringLiteral("ac_") + QString::fromLatin1(info.name));
        action->setToolTip(QString::fromLatin1(info.hint));
        action->setCheckable(true);
        action->setData(int(info.code));
        auto* button = new QToolButton(ui_->pBBTools);
        button->setObjectName(QString::fromLatin1(info.name));
        button->setText(QString::fromUtf8(info.caption));
        if (info.code != btMarkStamp) {
            button->setIcon(ToolIcon(info.code));
            action->setIcon(button->icon());
        }
        button->setToolTip(QString::fromLatin1(info.hint));
        button->setCheckable(true);
        button->setAutoRaise(true);
        button->setFixedSize(info.code == btMarkStamp ? QSize(36, 26) : QSize(26, 26));
        row->addWidget(button);
        if (info.code == btMarkStamp) {
            cursorButton_ = button;
            pmCursors_ = new QMenu(button);
            pmCursors_->setObjectName(QStringLiteral("pmCursors"));
            auto* marks = new QActionGroup(pmCursors_);
            for (const TMarkItem& mark : MarkItems()) {
                QAction* item = pmCursors_->addAction(QString::fromLatin1(mark.caption));
                const int image = mark.image;
                // The mark in use carries a tick, so choosing it again is seen as already chosen.
                item->setCheckable(true);
                item->setData(image);
                marks->addAction(item);
                connect(item, &QAction::triggered, this, [this, image] {
                    SetMarkGlyph(image);
                    if (cursorButton_->isChecked()) MarkButtonClicked(true);
                });
            }
            button->setMenu(pmCursors_);
            button->setPopupMode(QToolButton::MenuButtonPopup);
            tools_->addButton(button, info.code);
            connect(button, &QToolButton::clicked, this, [this](bool down) { MarkButtonClicked(down); });
            connect(action, &QAction::triggered, this, [this] { MarkButtonClicked(true); });
            continue;
        }
        tools_->addButton(button, info.code);
        const uint8_t code = info.code;
        connect(button, &QToolButton::clicked, this, [this, code] { SelectTool(code); });
        connect(action, &QAction::triggered, this, [this, code] { SelectTool(code); });
        if (info.code == btText) row->addSpacing(4);
    }
    row->addSpacing(6);
    // The presenter's pointer: left or right hand, or neither.
    for (int tag : {1, 2}) {
        auto* b = new QToolButton(ui_->pBBTools);
        b->setObjectName(tag == 1 ? QStringLiteral("ptLeft") : QStringLiteral("ptRight"));
        b->setIcon(QIcon(PointerPicture(tag == 1)));
        b->setToolTip(QStringLiteral("Right click (drag) on the board to show the pointer"));
        // A picture alone names nothing for a screen reader.
        b->setAccessibleName(tag == 1 ? QStringLiteral("Left hand pointer") : QStringLiteral("Right hand pointer"));
        b->setCheckable(true);
        b->setAutoRaise(true);
        b->setFixedSize(26, 26);
        row->addWidget(b);
        (tag == 1 ? ptLeft_ : ptRight_) = b;
    }
    connect(ptLeft_, &QToolButton::toggled, this, [this](bool on) { if (on) ptRight_->setChecked(false); });
    connect(ptRight_, &QToolButton::toggled, this, [this](bool on) { if (on) ptLeft_->setChecked(false); });
    row->addSpacing(6);

    auto holder = [&](const char* name, QWidget* picker) {
        auto* panel = new QWidget(ui_->pBBTools);
        panel->setObjectName(QString::fromLatin1(name));
        auto* l = new QHBoxLayout(panel);
        l->setContentsMargins(0, 0, 0, 0);
        picker->setParent(panel);
        l->addWidget(picker);
        panel->setFixedWidth(60);
        return panel;
    };
    lblOutline_ = new QLabel(QStringLiteral("Outline"), ui_->pBBTools);
    lblOutline_->setObjectName(QStringLiteral("lblOutline"));
    row->addWidget(lblOutline_);
    tbPenSize_ = new TLineWidthComboBox;
    tbPenSize_->setObjectName(QStringLiteral("tbPenSize"));
    pPenSizeHolder_ = holder("pPenSizeHolder", tbPenSize_);
    row->addWidget(pPenSizeHolder_);
    cbLineColor_ = new TColorComboBoxEx;
    cbLineColor_->setObjectName(QStringLiteral("cbLineColor"));
    pPenColorHolder_ = holder("pPenColorHolder", cbLineColor_);
    row->addWidget(pPenColorHolder_);
    lblFilling_ = new QLabel(QStringLiteral(" Filling"), ui_->pBBTools);
    lblFilling_->setObjectName(QStringLiteral("lblFilling"));
    row->addWidget(lblFilling_);
    cbBrushStyle_ = new TFillStyleComboBox;
    cbBrushStyle_->setObjectName(QStringLiteral("cbBrushStyle"));
    pBrushStyleHolder_ = holder("pBrushStyleHolder", cbBrushStyle_);
    row->addWidget(pBrushStyleHolder_);
    cbFillColor_ = new TColorComboBoxEx;
    cbFillColor_->setObjectName(QStringLiteral("cbFillColor"));
    pBrushColorHolder_ = holder("pBrushColorHolder", cbFillColor_);
    row->addWidget(pBrushColorHolder_);
    row->addStretch(1);
    // The boards start with a clear brush over white: the pickers say so.
    cbBrushStyle_->SetFillStyle(bsClear);
    cbFillColor_->SetColorValue(kWhite);
    connect(cbLineColor_, &TColorComboBoxEx::ColorChanged, this, [this] { PickersChanged(0); });
    connect(cbFillColor_, &TColorComboBoxEx::ColorChanged, this, [this] { PickersChanged(0); });
    connect(tbPenSize_, &TLineWidthComboBox::LineWidthChanged, this, [this] { PickersChanged(1); });
    connect(cbBrushStyle_, &TFillStyleComboBox::FillStyleChanged, this, [this] { PickersChanged(2); });
}

void TfrmBoard::BuildBoardBar() {
    QToolBar* bar = ui_->tbar_BoardController;
    acClearBoard = bar->addAction(QStringLiteral("Clear"));
    acClearBoard->setObjectName(QStringLiteral("acClearBoard"));
    acClearBoard->setToolTip(QStringLiteral("Clear the board"));
    connect(acClearBoard, &QAction::triggered, this, &TfrmBoard::ClearBoard);

    pmBoard_ = new QMenu(this);
    pmBoard_->setObjectName(QStringLiteral("pmBoard"));
    static const char* const kSharedBoardActions[] = {"acBoard_1", "acBoard_2", "acBoard_3", "acBoard_4", "acBoard_5"};
    for (int b = 1; b <= 5; ++b) {
        acBoard[b] = pmBoard_->addAction(QStringLiteral("Shared Board %1").arg(b));
        acBoard[b]->setObjectName(QLatin1String(kSharedBoardActions[b - 1]));
    }
    acPrivateBoard = new QAction(QStringLiteral("Private Board"), this);
    acPrivateBoard->setObjectName(QStringLiteral("acPrivateBoard"));
    acBoard[0] = acPrivateBoard;
    pmBoard_->addAction(acPrivateBoard);
    for (int b = 0; b <= 5; ++b) {
        acBoard[b]->setData(b);
        connect(acBoard[b], &QAction::triggered, this, [this, b] { acBoard_1Execute(b); });
    }
    pmBoard_->addSeparator();
    acSaveToFile = pmBoard_->addAction(QStringLiteral("Save current image to local disk"));
    acSaveToFile->setObjectName(QStringLiteral("acSaveToFile"));
    connect(acSaveToFile, &QAction::triggered, this, &TfrmBoard::SaveToFile);
    acUploadToServer = pmBoard_->addAction(QStringLiteral("Upload current image to server"));
    acUploadToServer->setObjectName(QStringLiteral("acUploadToServer"));
    connect(acUploadToServer, &QAction::triggered, this, &TfrmBoard::UploadToServer);
    pmBoard_->addSeparator();
    acOpenAPictureFromFile = pmBoard_->addAction(QStringLiteral("Open a picture from file"));
    acOpenAPictureFromFile->setObjectName(QStringLiteral("acOpenAPictureFromFile"));
    connect(acOpenAPictureFromFile, &QAction::triggered, this, &TfrmBoard::OpenPictureFromFile);
    tbBoard_ = new QToolButton(bar);
    tbBoard_->setObjectName(QStringLiteral("tbBoard"));
    tbBoard_->setToolTip(QStringLiteral("Select public / private board"));
    tbBoard_->setText(acBoard[1]->text());
    tbBoard_->setMenu(pmBoard_);
    // Both parts of the button open the menu; as a split button its items are also reachable
    // through the accessibility tree.
    tbBoard_->setPopupMode(QToolButton::MenuButtonPopup);
    connect(tbBoard_, &QToolButton::clicked, tbBoard_, &QToolButton::showMenu);
    tbBoard_->setToolButtonStyle(Qt::ToolButtonTextOnly);
    bar->addWidget(tbBoard_);

    pmCapture_ = new QMenu(this);
    pmCapture_->setObjectName(QStringLiteral("pmCapture"));
    acCaptureDesktop = pmCapture_->addAction(QStringLiteral("Capture Desktop"));
    acCaptureDesktop->setObjectName(QStringLiteral("acCaptureDesktop"));
    acCaptureWindow = pmCapture_->addAction(QStringLiteral("Capture Window"));
    acCaptureWindow->setObjectName(QStringLiteral("acCaptureWindow"));
    acCaptureScreenArea = pmCapture_->addAction(QStringLiteral("Capture Screen Area"));
    acCaptureScreenArea->setObjectName(QStringLiteral("acCaptureScreenArea"));
    pmCapture_->addSeparator();
    acHideOrbeloWindow = pmCapture_->addAction(QStringLiteral("Hide Orbelo Window"));
    acHideOrbeloWindow->setObjectName(QStringLiteral("acHideOrbeloWindow"));
    acHideOrbeloWindow->setCheckable(true);
    acHideOrbeloWindow->setChecked(true);
    connect(acCaptureDesktop, &QAction::triggered, this, [this] { CaptureOntoBoard(0); });
    connect(acCaptureWindow, &QAction::triggered, this, [this] { CaptureOntoBoard(1); });
    connect(acCaptureScreenArea, &QAction::triggered, this, [this] { CaptureOntoBoard(2); });
    tbCapture_ = new QToolButton(bar);
    tbCapture_->setObjectName(QStringLiteral("tbCapture"));
    tbCapture_->setText(QStringLiteral("Screen Capture"));
    tbCapture_->setToolTip(QStringLiteral("Take a screen shot and paste it on the white board"));
    tbCapture_->setMenu(pmCapture_);
    tbCapture_->setPopupMode(QToolButton::MenuButtonPopup);
    tbCapture_->setToolButtonStyle(Qt::ToolButtonTextOnly);
    connect(tbCapture_, &QToolButton::clicked, this, [this] { acCaptureScreenArea->trigger(); });
    bar->addWidget(tbCapture_);
    slideSeparator_ = bar->addSeparator();

    cbSnap_ = new QCheckBox(QStringLiteral("Snap to 25px"), bar);
    cbSnap_->setObjectName(QStringLiteral("cbSnap"));
    cbSnap_->setToolTip(QStringLiteral("Turn an invisible grid on/off for precise drawing"));
    bar->addWidget(cbSnap_);
    connect(cbSnap_, &QCheckBox::toggled, this, [this](bool on) {
        if (engine_) engine_->SetSnapToGrid(on);
    });
}

void TfrmBoard::AddSlideActions(const QList<QAction*>& actions) {
    QToolBar* bar = ui_->tbar_BoardController;
    bar->insertActions(slideSeparator_, actions);
    if (btnJumpToSlide_) return;
    pmSlides_ = new QMenu(this);
    pmSlides_->setObjectName(QStringLiteral("pmSlides"));
    btnJumpToSlide_ = new QToolButton(bar);
    btnJumpToSlide_->setObjectName(QStringLiteral("btnJumpToSlide"));
    btnJumpToSlide_->setToolTip(QStringLiteral("Jump to slide"));
    btnJumpToSlide_->setAccessibleName(QStringLiteral("Jump to slide"));
    btnJumpToSlide_->setMenu(pmSlides_);
    btnJumpToSlide_->setPopupMode(QToolButton::MenuButtonPopup);
    connect(btnJumpToSlide_, &QToolButton::clicked, btnJumpToSlide_, &QToolButton::showMenu);
    btnJumpToSlide_->setToolButtonStyle(Qt::ToolButtonTextOnly);
    btnJumpToSlide_->setMinimumWidth(36);
    btnJumpToSlide_->setEnabled(false);
    bar->insertWidget(slideSeparator_, btnJumpToSlide_);
}

void TfrmBoard::SetEngine(TBoardEngine* engine) {
    engine_ = engine;
    canvas_->engine = engine;
    if (engine) {
        engine->SetView(this);
        engine->SetSnapToGrid(cbSnap_->isChecked());
        SetMarkGlyph(markTag_ + 1);
        SetGridSize(engine->GridSize());
    }
    canvas_->Fit();
    UpdateActions();
}

void TfrmBoard::SetGridSize(int grid) {
    if (engine_) engine_->SetGridSize(grid);
    cbSnap_->setText(QStringLiteral("Snap to %1px").arg(engine_ ? engine_->GridSize() : grid));
}

void TfrmBoard::SetPenDefaults(int width, uint32_t colour) {
    tbPenSize_->SetLineWidth(width);
    cbLineColor_->SetColorValue(colour);
    if (!engine_) return;
    engine_->SetDefaults(width, cbLineColor_->ColorValue());
    engine_->SetPenWidth(width);
    engine_->SetPenColor(cbLineColor_->ColorValue());
}

QWidget* TfrmBoard::Canvas() const { return canvas_; }

QAbstractButton* TfrmBoard::ToolButton(uint8_t code) const { return tools_->button(code); }

QAction* TfrmBoard::ToolAction(uint8_t code) const {
    for (QAction* a : alDrawingTools_->actions())
        if (a->data().toInt() == code) return a;
    return nullptr;
}

void TfrmBoard::ShowToolOptions(uint8_t tool) {
    const TToolOptions o = orb::board::ShowToolOptions(tool);
    auto apply = [&](QWidget* panel, QWidget* picker, bool shown) {
        panel->setFixedWidth(o.PanelWidth(shown));
        panel->setEnabled(shown);
        picker->setVisible(shown);
    };
    apply(pPenSizeHolder_, tbPenSize_, o.lineWidth);
    apply(pPenColorHolder_, cbLineColor_, o.lineColor);
    apply(pBrushStyleHolder_, cbBrushStyle_, o.fill);
    apply(pBrushColorHolder_, cbFillColor_, o.fill);
    // A shown caption is never narrower than its text in the screen's font.
    auto caption = [](QLabel* label, int width) {
        label->setFixedWidth(width > 1 ? std::max(width, label->sizeHint().width()) : 1);
    };
    caption(lblOutline_, o.OutlineCaptionWidth());
    caption(lblFilling_, o.FillingCaptionWidth());
}

void TfrmBoard::SetLayerCursor(LayerCursor cursor) {
    switch (cursor) {
    case LayerCursor::Unchanged: break;
    case LayerCursor::Arrow: canvas_->setCursor(Qt::ArrowCursor); break;
    case LayerCursor::Cross: canvas_->setCursor(Qt::CrossCursor); break;
    case LayerCursor::Pen: canvas_->setCursor(PenCursor); break;
    case LayerCursor::IBeam: canvas_->setCursor(Qt::IBeamCursor); break;
    case LayerCursor::Mark: {
        QImage picture, mask;
        if (engine_ && engine_->LoadMarkCursor(markTag_ + 1, picture, mask))
            canvas_->setCursor(QCursor(QPixmap::fromImage(picture), 0, 0));
        break;
    }
    }
}

void TfrmBoard::SetMarkGlyph(int image) {
    markTag_ = image - 1;
    if (pmCursors_)
        for (QAction* a : pmCursors_->actions()) a->setChecked(a->data().toInt() == image);
    if (engine_) {
        engine_->SetMarkTag(markTag_);
        const QImage glyph = engine_->GetMarkBitmap(image);
        if (!glyph.isNull()) cursorButton_->setIcon(QIcon(QPixmap::fromImage(glyph.scaled(16, 16))));
    }
}

void TfrmBoard::MarkButtonClicked(bool down) {
    if (!engine_) return;
    if (!down) {
        SelectTool(btNone);
        return;
    }
    QImage picture, mask;
    if (!engine_->LoadMarkCursor(markTag_ + 1, picture, mask)) {
        SelectTool(btNone);
        return;
    }
    FinishCurrentTool(btMarkStamp, true);
    engine_->SetTool(btMarkStamp);
    cursorButton_->setChecked(true);
    if (QAction* a = ToolAction(btMarkStamp)) a->setChecked(true);
    SetLayerCursor(LayerCursor::Mark);
    cbSnap_->setChecked(false);
    ShowToolOptions(btMarkStamp);
}

void TfrmBoard::SelectTool(uint8_t code) {
    if (!engine_) return;
    if (code == btMarkStamp) {
        MarkButtonClicked(true);
        return;
    }
    const TToolButton* info = FindToolButton(code);
    if (!info) return;
    FinishCurrentTool(code, true);
    engine_->SetTool(code);
    if (QAbstractButton* b = tools_->button(code)) b->setChecked(true);
    if (QAction* a = ToolAction(code)) a->setChecked(true);
    SetLayerCursor(info->cursor);
    if (info->snap == SnapChange::Clear) cbSnap_->setChecked(false);
    if (info->snap == SnapChange::Set) cbSnap_->setChecked(true);
    ShowToolOptions(code);
    if (code == btFloodFill && engine_->CurrentLayer().brushStyle == bsClear) {
        cbBrushStyle_->SetFillStyle(bsSolid);
        engine_->SetBrushStyle(bsSolid);
        engine_->SetBrushColor(cbFillColor_->ColorValue());
    }
}

void TfrmBoard::FinishCurrentTool(uint8_t newTool, bool commit) {
    if (!engine_) return;
    if (engine_->Tool() == btMarkStamp) canvas_->setCursor(Qt::ArrowCursor);
    if (entry_) {
        if (commit) {
            std::u16string text;
            QRect panel;
            TBoardFont font;
            entry_->GetTextAndBounds(text, panel, font);
            const QRect rect = TextEntryToLayer(panel, QPoint(0, 0));
            if (!text.empty()) {
                TBoardTextObject object;
                object.board = entryBoard_;
                object.left = rect.left();
                object.top = rect.top();
                object.right = rect.left() + rect.width();
                object.bottom = rect.top() + rect.height();
                object.fontName = font.name;
                object.fontSize = font.size;
                object.fontColor = font.color;
                object.text = text;
                // The text goes on the board it was typed on, even if another became current since.
                engine_->DrawBoardText(entryBoard_, object);
                if (engine_->HasBoardRight() && IsSharedBoard(entryBoard_))
                    engine_->SendBoardText(text, font, entryBoard_, rect);
            }
        }
        TTextEditControl* entry = entry_;
        entry_ = nullptr;
        entry->hide();
        entry->deleteLater();
        engine_->RestoreDrawState(engine_->CurrentBoard());
        canvas_->setFocus();
    }
    if (newTool == btNone) {
        if (QAbstractButton* b = tools_->button(btNone)) b->setChecked(true);
        if (QAction* a = ToolAction(btNone)) a->setChecked(true);
        engine_->SetTool(btNone);
        canvas_->setCursor(Qt::ArrowCursor);
    }
}

void TfrmBoard::OpenTextEntry(int x, int y) {
    if (!engine_) return;
    FinishCurrentTool(btText, true);
    engine_->SetTool(btText);
    if (QAbstractButton* b = tools_->button(btText)) b->setChecked(true);
    canvas_->setCursor(Qt::IBeamCursor);
    engine_->SaveDrawState(engine_->CurrentBoard());
    entryBoard_ = engine_->CurrentBoard();
    entry_ = new TTextEditControl(x, y, QPoint(0, 0), TextDefaults, content_);
    entry_->OnDefaultsChanged = [this](const TTextDefaults& d) {
        TextDefaults = d;
        if (Hooks.SaveTextDefaults) Hooks.SaveTextDefaults(d);
    };
    entry_->raise();
    TTextEditControl* entry = entry_;
    connect(entry, &TTextEditControl::Cancelled, this, [this, entry] {
        if (entry_ == entry) FinishCurrentTool(btNone, false);
    });
    connect(entry, &TTextEditControl::Committed, this, [this, entry](QPoint next) {
        if (entry_ != entry) return;
        FinishCurrentTool(btNone, true);
        // The next line opens once this key press is over, as a posted message would.
        QTimer::singleShot(0, this, [this, next] { OpenTextEntry(next.x(), next.y()); });
    });
    ui_->ScrollBox1->ensureWidgetVisible(entry_);
}

void TfrmBoard::CanvasMouse(QMouseEvent* e, int stage) {
    if (!engine_ || !attached_) return;
    const QPoint p = e->position().toPoint();
    auto button = [](Qt::MouseButton b) {
        return b == Qt::RightButton ? MouseButton::Right : b == Qt::MiddleButton ? MouseButton::Middle : MouseButton::Left;
    };
    switch (stage) {
    case 0:
        engine_->SetSnapToGrid(cbSnap_->isChecked());
        engine_->SetPointerButtons(ptLeft_->isChecked(), ptRight_->isChecked());
        engine_->Image5MouseDown(button(e->button()), p.x(), p.y());
        if (engine_->PointerRightDown() && !ptRight_->isChecked()) ptRight_->setChecked(true);
        break;
    case 1: engine_->Image5MouseMove(e->buttons() & Qt::LeftButton, e->buttons() & Qt::RightButton, p.x(), p.y()); break;
    default: engine_->Image5MouseUp(button(e->button()), p.x(), p.y()); break;
    }
}

void TfrmBoard::PickersChanged(int which) {
    if (!engine_) return;
    switch (which) {
    case 0:
        engine_->SetPenColor(cbLineColor_->ColorValue());
        engine_->SetBrushColor(cbFillColor_->ColorValue());
        break;
    case 1: engine_->SetPenWidth(tbPenSize_->LineWidth()); break;
    default:
        engine_->SetBrushColor(cbFillColor_->ColorValue());
        engine_->SetBrushStyle(uint8_t(cbBrushStyle_->FillStyle()));
        break;
    }
    // Every change keeps all four choices as the defaults, whichever picker moved.
    engine_->SetDefaults(tbPenSize_->LineWidth(), cbLineColor_->ColorValue(), cbFillColor_->ColorValue(),
                         uint8_t(cbBrushStyle_->FillStyle()));
    if (Hooks.SavePenDefaults) Hooks.SavePenDefaults(tbPenSize_->LineWidth(), cbLineColor_->ColorValue());
}

void TfrmBoard::UpdateActions() {
    if (!engine_) return;
    const int32_t board = engine_->CurrentBoard();
    const bool right = engine_->HasBoardRight();
    const bool textTool = engine_->Tool() == btText;
    const bool mayDraw = board == kPrivateBoard || right;
    for (QAction* a : alDrawingTools_->actions()) a->setEnabled(mayDraw);
    for (QAbstractButton* b : tools_->buttons()) b->setEnabled(mayDraw);
    acClearBoard->setEnabled(mayDraw && !textTool);
    acOpenAPictureFromFile->setEnabled(mayDraw && !textTool);
    const bool mayCapture = mayDraw && !textTool && !engine_->PlaybackMode();
    for (QAction* a : {acCaptureDesktop, acCaptureWindow, acCaptureScreenArea, acHideOrbeloWindow}) a->setEnabled(mayCapture);
    tbCapture_->setEnabled(mayCapture);
    acSaveToFile->setEnabled(!textTool);
    acUploadToServer->setEnabled(!textTool && Hooks.CanUpload && Hooks.CanUpload());
    for (QAction* a : acBoard) a->setEnabled(!textTool);
}

// ---- commands

void TfrmBoard::ShowPermissionError() {
    if (Hooks.ShowError) Hooks.ShowError(QString::fromLatin1(kNoPermission));
}

void TfrmBoard::ShowBoardRightGranted() {
    if (Hooks.ShowInfo) Hooks.ShowInfo(QStringLiteral("Your access to the white board is granted."));
}

void TfrmBoard::acBoard_1Execute(int board) {
    if (!engine_) return;
    FinishCurrentTool(btNone, true);
    engine_->SelectBoard(board, true);
}

void TfrmBoard::ClearBoard() {
    if (!engine_) return;
    const int32_t board = engine_->CurrentBoard();
    const QString second = QStringLiteral("\r\nPress OK to continue or Cancel to do nothing.");
    if (board == kPrivateBoard) {
        if (Hooks.Confirm && Hooks.Confirm(QStringLiteral("This operation will clear your private board.") + second))
            engine_->ClearBoard(kPrivateBoard);
    } else if (engine_->HasBoardRight()) {
        if (Hooks.Confirm && Hooks.Confirm(QStringLiteral("This operation will clear the current board for all users.") + second))
            engine_->ClearBoardForAll(board);
    } else {
        QTimer::singleShot(0, this, &TfrmBoard::ShowPermissionError);
    }
    FinishCurrentTool(btNone, true);
    ShowToolOptions(btNone);
}

void TfrmBoard::SaveToFile() {
    if (!engine_ || !Hooks.AskSaveFile) return;
    const QString path = Hooks.AskSaveFile();
    if (path.isEmpty()) return;
    if (!engine_->BoardImage(engine_->CurrentBoard()).save(path, "BMP") && Hooks.ShowError)
        Hooks.ShowError(QStringLiteral("The picture could not be saved."));
}

void TfrmBoard::UploadToServer() {
    if (!engine_) return;
    if (Hooks.FloatImageLibrary) Hooks.FloatImageLibrary();
    const std::optional<QString> comment = Hooks.AskComment ? Hooks.AskComment() : std::nullopt;
    if (!comment || comment->trimmed().isEmpty()) {
        if (Hooks.ShowInfo) Hooks.ShowInfo(QStringLiteral("Image not uploaded"));
        return;
    }
    const QString folder = Hooks.TempFolder ? QString::fromStdString(Hooks.TempFolder()) : QDir::tempPath();
    const auto tick = std::chrono::duration_cast<std::chrono::milliseconds>(
                          std::chrono::steady_clock::now().time_since_epoch()).count();
    const QString path = QDir(folder).filePath(QStringLiteral("board_%1_%2.jpg")
                                                   .arg(Hooks.OwnUserId ? Hooks.OwnUserId() : 0)
                                                   .arg(qint64(tick)));
    if (!engine_->BoardImage(engine_->CurrentBoard()).save(path, "JPEG")) {
        if (Hooks.ShowError) Hooks.ShowError(QStringLiteral("Image not uploaded"));
        return;
    }
    if (Hooks.StartUpload) Hooks.StartUpload(path.toStdString(), comment->toStdString());
}

void TfrmBoard::OpenPictureFromFile() {
    if (!engine_ || !Hooks.AskOpenFile) return;
    const int32_t board = engine_->CurrentBoard();
    if (engine_->Tool() == btText || (board != kPrivateBoard && !engine_->HasBoardRight())) return;
    const QString path = Hooks.AskOpenFile();
    if (path.isEmpty()) return;
    engine_->SaveDrawState(board);
    QImageReader reader(path);
    const QSize size = reader.size();
    QImage picture;
    if (size.isValid() && size.width() > 0 && size.height() > 0 && size.width() <= kMaxOpenSide &&
        size.height() <= kMaxOpenSide && int64_t(size.width()) * size.height() <= kMaxOpenPixels)
        picture = reader.read();
    if (picture.isNull()) {
        engine_->RestoreDrawState(board);
        if (Hooks.ShowError) Hooks.ShowError(QStringLiteral("The picture could not be opened."));
        return;
    }
    const QByteArray format = reader.format().toLower();
    if (format == "ico" || format == "svg" || format == "svgz") {
        // Icons and drawings are painted onto a bitmap one pixel wider and higher than they are.
        QImage bitmap(picture.width() + 1, picture.height() + 1, QImage::Format_RGB32);
        bitmap.fill(Qt::white);
        QPainter(&bitmap).drawImage(0, 0, picture);
        picture = bitmap;
    } else {
        picture = picture.convertToFormat(QImage::Format_RGB32);
    }
    const QSize layer = engine_->BoardImage(board).size();
    if (NeedsFitQuestion(picture.size(), layer) && Hooks.AskShrink &&
        Hooks.AskShrink(QStringLiteral("The size of this image is larger than the white board.\r\nDo you want to shrink "
                                       "the image to fit on the whiteboard or expand the whiteboard up to the image "
                                       "size?\r\nPress Yes to shrink the image or No to expand the whitebaord."))) {
        picture = picture.scaled(ShrinkToFit(picture.size(), layer), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    engine_->PutPicture(board, picture, 0, 0);
    if (board != kPrivateBoard && engine_->HasBoardRight())
        engine_->SendBoardImage(picture, QRect(0, 0, picture.width(), picture.height()));
    engine_->RestoreDrawState(board);
}

void TfrmBoard::CaptureOntoBoard(int what) {
    if (!engine_) return;
    FinishCurrentTool(btNone, true);
    Capture.Minimize = acHideOrbeloWindow->isChecked();
    QImage picture;
    switch (what) {
    case 0: picture = Capture.CaptureDesktop(); break;
    case 1: picture = Capture.CaptureActiveWindow(); break;
    default: picture = Capture.CaptureSelection(this); break;
    }
    // A cancelled or empty capture leaves the board with "Nothing" selected.
    if (picture.isNull()) {
        FinishCurrentTool(btNone, false);
        return;
    }
    engine_->BeginPlacement(picture, what != 0);
    if (QAbstractButton* b = tools_->button(btNone)) b->setChecked(false);
    canvas_->setCursor(Qt::SizeAllCursor);
    QCursor::setPos(canvas_->mapToGlobal(QPoint(0, 0)));
}

// ---- engine notifications

void TfrmBoard::ShowWhiteboardView() {
    if (OnShowWhiteboardView) OnShowWhiteboardView();
}

void TfrmBoard::BoardShown(int32_t board) {
    // An entry belongs to the board it was opened on: it is committed there before the switch shows.
    if (entry_) FinishCurrentTool(btNone, true);
    canvas_->Fit();
    if (board >= 0 && board <= 5 && acBoard[board]) tbBoard_->setText(acBoard[board]->text());
    imgPointerL_->hide();
    imgPointerR_->hide();
    // The main window's rule for the tool box, applied on every change of board as well: the
    // private board can always be drawn on.
    const bool tools = board == kPrivateBoard || (engine_ && engine_->HasBoardRight());
    ui_->pToolBoxHolder->setVisible(tools);
    if (tools) ui_->pBBTools->show();
    UpdateActions();
}

void TfrmBoard::ToolReset() {
    if (QAbstractButton* b = tools_->button(btNone)) b->setChecked(true);
    if (QAction* a = ToolAction(btNone)) a->setChecked(true);
    canvas_->setCursor(Qt::ArrowCursor);
}

void TfrmBoard::LayerChanged(int32_t board) {
    if (!engine_ || board != engine_->CurrentBoard()) return;
    const QRect dirty = engine_->TakeDirty();
    if (canvas_->size() != engine_->BoardImage(board).size()) {
        canvas_->Fit();
        return;
    }
    if (dirty.isEmpty()) return;
    // Hundreds of small rectangles a second would each be merged into the canvas's dirty region.
    pendingDirty_ |= dirty;
    if (dirtyPosted_) return;
    dirtyPosted_ = true;
    QTimer::singleShot(0, this, [this] {
        dirtyPosted_ = false;
        canvas_->update(pendingDirty_);
        pendingDirty_ = QRect();
    });
}

void TfrmBoard::OverlayChanged() {
    const QRect dirty = engine_ ? engine_->TakeOverlayDirty() : QRect();
    if (!dirty.isEmpty()) canvas_->update(dirty);
}

void TfrmBoard::PointerChanged(int type, int x, int y, bool scroll) {
    imgPointerL_->hide();
    imgPointerR_->hide();
    if (type != 1 && type != 2) return;
    QLabel* image = type == 1 ? imgPointerL_ : imgPointerR_;
    image->move(x, y);
    image->show();
    image->raise();
    if (scroll) ui_->ScrollBox1->ensureVisible(x + 5, y + 5, 30, 30);
}

void TfrmBoard::MouseAttached(bool attached) {
    attached_ = attached;
    // A whole board being drawn shows the busy cursor until it is done.
    if (!attached && !busy_) {
        QApplication::setOverrideCursor(Qt::BusyCursor);
        busy_ = true;
    } else if (attached && busy_) {
        QApplication::restoreOverrideCursor();
        busy_ = false;
    }
}

void TfrmBoard::StartTextEdit(int x, int y) {
    // Posted: the entry opens once the mouse press that asked for it is over.
    QTimer::singleShot(0, this, [this, x, y] { OpenTextEntry(x, y); });
}

void TfrmBoard::closeEvent(QCloseEvent* event) { event->ignore(); }
