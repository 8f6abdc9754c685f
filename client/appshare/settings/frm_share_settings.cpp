#include "appshare/settings/frm_share_settings.h"

#include <QIcon>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QScreen>

#include "ui_frm_share_settings.h"

using namespace orb::appshare;

TfrmNewAppShareSettings::TfrmNewAppShareSettings(QWidget* parent)
    : QWidget(parent), ui_(std::make_unique<Ui::TfrmNewAppShareSettings>()) {
    ui_->setupUi(this);
    setObjectName(QStringLiteral("TfrmNewAppShareSettings"));
    ui_->imgDesktopPreview->installEventFilter(this);
    // X capture always takes what the screen shows (with a compositor, the composited picture,
    // translucent windows included): there is nothing for this box to switch.
    ui_->cbCapTransp->hide();
    connect(ui_->rbDesktop, &QRadioButton::clicked, this, [this] { SelectMode(kShareModeDesktop); });
    connect(ui_->rbScreenArea, &QRadioButton::clicked, this, [this] { SelectMode(kShareModeArea); });
    connect(ui_->rbApplication, &QRadioButton::clicked, this, [this] { SelectMode(kShareModeWindow); });
    connect(ui_->cbShowTaskBar, &QCheckBox::clicked, this, [this] {
        if (mode_ == kShareModeDesktop) ShowPreview();
    });
    connect(ui_->tbRefresh, &QSlider::valueChanged, this, [this](int v) {
        Refresh = RefreshOfPosition(v);
        if (Hooks.StoreRefresh) Hooks.StoreRefresh(Refresh);
    });
    connect(ui_->cbPixelFormat, &QComboBox::currentIndexChanged, this, [this](int i) {
        PixelFormat = PixelFormatOfEntry(i);
        if (Hooks.StorePixelFormat) Hooks.StorePixelFormat(PixelFormat);
    });
    connect(ui_->bStart, &QPushButton::clicked, this, [this] { StartClicked(); });
    connect(ui_->bCancel, &QPushButton::clicked, this, [this] { close(); });
}

TfrmNewAppShareSettings::~TfrmNewAppShareSettings() = default;

void TfrmNewAppShareSettings::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    // Centred on the screen.
    if (isWindow() && screen()) move(screen()->geometry().center() - QPoint(width() / 2, height() / 2));
    Prepare();
}

// Enter starts and Escape cancels, as in a dialog.
void TfrmNewAppShareSettings::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
        StartClicked();
        return;
    }
    if (e->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(e);
}

void TfrmNewAppShareSettings::Prepare() {
    ui_->rbDesktop->setChecked(true);
    const int32_t refresh = Refresh, format = PixelFormat;
    ui_->tbRefresh->setValue(RefreshOfPosition(refresh));
    ui_->cbPixelFormat->setCurrentIndex(EntryOfPixelFormat(uint8_t(format)));
    // X has no drag-full-windows option: the box is shown unchecked and has nothing to change.
    ui_->cbShowContents->setChecked(false);
    SelectMode(kShareModeDesktop);
}

void TfrmNewAppShareSettings::SelectMode(int mode) {
    mode_ = mode;
    selection_ = {};
    const bool area = mode == kShareModeArea;
    ui_->pPages->setCurrentWidget(mode == kShareModeWindow ? ui_->pWindows : ui_->pDesktop);
    ui_->cbShowTaskBar->setEnabled(mode == kShareModeDesktop);
    if (area) ui_->cbShowTaskBar->setChecked(true);
    ui_->lbTip->setVisible(area);
    ui_->cbShowBorder->setVisible(area);
    ui_->cbShowBorder->setChecked(area);
    ui_->imgDesktopPreview->setCursor(area ? Qt::CrossCursor : Qt::ArrowCursor);
    if (mode == kShareModeWindow) {
        ui_->lvWindows->clear();
        windows_ = Hooks.ListWindows ? Hooks.ListWindows() : std::vector<orb::xdesktop::WindowEntry>{};
        for (const auto& w : windows_) {
            auto* item = new QListWidgetItem(QString::fromUtf8(w.title.data(), qsizetype(w.title.size())));
            if (!w.icon.empty()) {
                QImage icon(reinterpret_cast<const uchar*>(w.icon.data()), w.iconWidth, w.iconHeight,
                            QImage::Format_ARGB32);
                item->setIcon(QIcon(QPixmap::fromImage(icon.copy())));
            }
            ui_->lvWindows->addItem(item);
        }
    } else {
        ShowPreview();
    }
}

void TfrmNewAppShareSettings::ShowPreview() {
    const orb::sharing::TRect screen = Hooks.ScreenRect ? Hooks.ScreenRect() : orb::sharing::TRect{};
    orb::sharing::TRect source = screen;
    if (mode_ == kShareModeDesktop && !ui_->cbShowTaskBar->isChecked() && Hooks.WorkArea) source = Hooks.WorkArea();
    preview_ = Hooks.CapturePreview ? Hooks.CapturePreview(source) : QImage();
    if (!preview_.isNull())
        preview_ = preview_.scaled(kPreviewWidth, kPreviewHeight, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    DrawSelection();
}

void TfrmNewAppShareSettings::DrawSelection() {
    QImage shown = preview_.isNull() ? QImage(kPreviewWidth, kPreviewHeight, QImage::Format_RGB32) : preview_.copy();
    if (preview_.isNull()) shown.fill(Qt::gray);
    const auto& s = selection_;
    if (mode_ == kShareModeArea && (s.x0 != s.x1 || s.y0 != s.y1)) {
        QPainter p(&shown);
        p.setPen(QPen(Qt::red, 2));
        p.setBrush(QColor(0xFF, 0x80, 0x80, 90));
        p.drawRect(QRect(QPoint(std::min(s.x0, s.x1), std::min(s.y0, s.y1)),
                         QPoint(std::max(s.x0, s.x1), std::max(s.y0, s.y1))));
    }
    ui_->imgDesktopPreview->setPixmap(QPixmap::fromImage(shown));
}

bool TfrmNewAppShareSettings::eventFilter(QObject* watched, QEvent* e) {
    if (watched != ui_->imgDesktopPreview || mode_ != kShareModeArea) return QWidget::eventFilter(watched, e);
    auto point = [](QEvent* ev) {
        QPoint p = static_cast<QMouseEvent*>(ev)->position().toPoint();
        return QPoint(std::clamp(p.x(), 0, kPreviewWidth), std::clamp(p.y(), 0, kPreviewHeight));
    };
    switch (e->type()) {
        case QEvent::MouseButtonPress: {
            const QPoint p = point(e);
            selection_ = {p.x(), p.y(), p.x(), p.y()};
            dragging_ = true;
            DrawSelection();
            return true;
        }
        case QEvent::MouseMove:
            if (dragging_) {
                const QPoint p = point(e);
                selection_.x1 = p.x();
                selection_.y1 = p.y();
                DrawSelection();
            }
            return true;
        case QEvent::MouseButtonRelease: {
            dragging_ = false;
            const QPoint p = point(e);
            selection_.x1 = p.x();
            selection_.y1 = p.y();
            selection_ = ReleaseSelection(selection_);
            DrawSelection();
            return true;
        }
        default:
            return QWidget::eventFilter(watched, e);
    }
}

TShareSettingsChoice TfrmNewAppShareSettings::Choice() const {
    TShareSettingsChoice c;
    c.mode = mode_;
    c.showTaskbar = ui_->cbShowTaskBar->isChecked();
    c.showCursor = ui_->cbShowCursor->isChecked();
    c.pixelFormat = PixelFormat;
    c.refresh = Refresh;
    c.selection = selection_;
    const int row = ui_->lvWindows->currentRow();
    if (mode_ == kShareModeWindow && row >= 0 && size_t(row) < windows_.size())
        c.window = TShareWindowChoice{windows_[size_t(row)].window, windows_[size_t(row)].title};
    c.screen = Hooks.ScreenRect ? Hooks.ScreenRect() : orb::sharing::TRect{};
    c.workArea = Hooks.WorkArea ? Hooks.WorkArea() : c.screen;
    c.ownUserId = Hooks.OwnUserId ? Hooks.OwnUserId() : 0;
    c.ownName = Hooks.OwnName ? Hooks.OwnName() : std::string();
    return c;
}

void TfrmNewAppShareSettings::StartClicked() {
    const TShareStart start = BuildShareStart(Choice());
    if (!start.ok) {
        if (Hooks.ShowMessage) Hooks.ShowMessage(start.refusal);
        return;
    }
    // Hidden, not closed: the share runs with these settings.
    hide();
    if (Hooks.Start) Hooks.Start(start, ui_->cbCapTransp->isChecked(), ui_->cbShowBorder->isChecked());
}
