#include "appshare/viewer/frm_share_viewer.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <cmath>

#include "appshare/viewer/viewer_input.h"
#include "sharing/remote_input.h"
#include "ui_frm_share_viewer.h"

namespace orb::appshare {

using sharing::TRect;

TSharePicture::TSharePicture(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Image321"));
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TSharePicture::SetFit(bool fit) {
    fit_ = fit;
    update();
}

TRect TSharePicture::PictureRect() const {
    if (image_.isNull()) return {};
    if (fit_) return sharing::LetterboxRect(width(), height(), image_.width(), image_.height());
    return {0, 0, image_.width(), image_.height()};
}

void TSharePicture::PictureAreaChanged(const TRect& area) {
    const TRect p = PictureRect();
    if (p.Empty() || area.Empty()) return;
    // The changed pixels as they lie in the control, one pixel wider for the smoothing.
    const double sx = double(p.width) / image_.width(), sy = double(p.height) / image_.height();
    const int l = int(std::floor(p.left + area.left * sx)) - 1, t = int(std::floor(p.top + area.top * sy)) - 1;
    const int r = int(std::ceil(p.left + (area.left + area.width) * sx)) + 1;
    const int b = int(std::ceil(p.top + (area.top + area.height) * sy)) + 1;
    update(QRect(l, t, r - l, b - t));
}

void TSharePicture::SetCursorImage(const TRect& rect, const QImage& cursor) {
    const TRect old = cursorRect_;
    cursorRect_ = rect;
    cursor_ = cursor;
    PictureAreaChanged(old);
    PictureAreaChanged(rect);
}

void TSharePicture::ClearCursor() {
    const TRect old = cursorRect_;
    cursorRect_ = {};
    cursor_ = QImage();
    PictureAreaChanged(old);
}

void TSharePicture::paintEvent(QPaintEvent* e) {
    QPainter p(this);
    const TRect r = PictureRect();
    const QRect shown(r.left, r.top, r.width, r.height);
    // The margin around a letterboxed picture.
    QRegion margin = QRegion(e->rect()).subtracted(shown);
    for (const QRect& m : margin) p.fillRect(m, palette().color(QPalette::Dark));
    if (r.Empty()) return;
    const QRect exposed = e->rect().intersected(shown);
    if (exposed.isEmpty()) return;
    // Only the exposed part of the picture is scaled and drawn.
    const double sx = double(image_.width()) / r.width, sy = double(image_.height()) / r.height;
    const QRectF source((exposed.left() - r.left) * sx, (exposed.top() - r.top) * sy, exposed.width() * sx,
                        exposed.height() * sy);
    p.setRenderHint(QPainter::SmoothPixmapTransform, fit_);
    p.drawImage(QRectF(exposed), image_, source);
    if (!cursor_.isNull() && !cursorRect_.Empty()) {
        const double kx = double(r.width) / image_.width(), ky = double(r.height) / image_.height();
        p.drawImage(QRectF(r.left + cursorRect_.left * kx, r.top + cursorRect_.top * ky, cursorRect_.width * kx,
                           cursorRect_.height * ky),
                    cursor_);
    }
}

void TSharePicture::Mouse(int32_t flags, QPointF at, int32_t data) {
    if (!forwarding || !OnInput || !flags) return;
    auto remote = sharing::ViewToRemote(PictureRect(), int(std::floor(at.x())), int(std::floor(at.y())));
    if (!remote) return;
    OnInput(sharing::MouseEvent(flags, *remote, data));
}

void TSharePicture::mousePressEvent(QMouseEvent* e) {
    setFocus(Qt::MouseFocusReason);
    Mouse(ButtonFlags(e->button(), true), e->position());
}

void TSharePicture::mouseReleaseEvent(QMouseEvent* e) { Mouse(ButtonFlags(e->button(), false), e->position()); }

void TSharePicture::mouseMoveEvent(QMouseEvent* e) { Mouse(sharing::kMouseMove, e->position()); }

void TSharePicture::wheelEvent(QWheelEvent* e) {
    const int delta = e->angleDelta().y();
    if (delta) Mouse(sharing::kMouseWheel, e->position(), delta);
    e->accept();
}

void TSharePicture::RemoteKeyHook(QKeyEvent* e, bool up) {
    if (!forwarding || !OnInput) {
        if (up)
            QWidget::keyReleaseEvent(e);
        else
            QWidget::keyPressEvent(e);
        return;
    }
    const uint8_t vk = VirtualKeyOf(e->key(), e->nativeVirtualKey());
    if (vk) OnInput(sharing::KeyEvent(vk, ScanCodeOf(vk), up));
    e->accept();
}

void TSharePicture::keyPressEvent(QKeyEvent* e) { RemoteKeyHook(e, false); }
void TSharePicture::keyReleaseEvent(QKeyEvent* e) { RemoteKeyHook(e, true); }

bool TSharePicture::focusNextPrevChild(bool next) {
    // Tab belongs to the shared screen while control is held.
    return forwarding ? false : QWidget::focusNextPrevChild(next);
}

}  // namespace orb::appshare

using namespace orb::appshare;

TfrmAppShareViewWindow::TfrmAppShareViewWindow(QWidget* parent)
    : QWidget(parent), ui_(std::make_unique<Ui::TfrmAppShareViewWindow>()) {
    ui_->setupUi(this);
    setObjectName(QStringLiteral("TfrmAppShareViewWindow"));
    picture_ = new TSharePicture(ui_->pScrollHolder);
    ui_->layScrollHolder->addWidget(picture_);
    picture_->OnInput = [this](const TRemoteInputEvent& e) {
        if (SendInput) SendInput(e);
    };
    ui_->ScrollBox1->hide();
    connect(ui_->btnOriginalSize, &QPushButton::clicked, this, [this] { SetFit(false); });
    connect(ui_->btnFit, &QPushButton::clicked, this, [this] { SetFit(true); });
    connect(ui_->btnHideToolbox, &QPushButton::clicked, this, [this] { ui_->pControls->hide(); });
    connect(ui_->lbFloat, &QPushButton::clicked, this, [this] {
        if (OnToggleFloat) OnToggleFloat();
    });
}

TfrmAppShareViewWindow::~TfrmAppShareViewWindow() = default;

void TfrmAppShareViewWindow::OpenSegmentShare(const TAppShareDescriptor& d) {
    running_ = true;
    picture_->ClearCursor();
    QImage& img = picture_->Image();
    img = QImage(d.pictureWidth, d.pictureHeight, QImage::Format_RGB32);
    img.fill(Qt::black);
    SetFit(true);
}

void TfrmAppShareViewWindow::PictureChanged(const ShareBitmap& picture, const orb::sharing::TRect& dirty) {
    picture_->PictureAreaChanged(CopyToImage(picture, dirty, picture_->Image()));
}

void TfrmAppShareViewWindow::OpenTileShare(const orb::sharing::TRgbPicture& picture) {
    running_ = true;
    picture_->ClearCursor();
    picture_->Image() = QImage();
    CopyToImage(picture, {0, 0, picture.width, picture.height}, picture_->Image());
    // A tile share opens in its original size; "Fit In My Window" scales it.
    SetFit(false);
}

void TfrmAppShareViewWindow::TilePictureChanged(const orb::sharing::TRgbPicture& picture,
                                                const orb::sharing::TRect& dirty) {
    picture_->PictureAreaChanged(CopyToImage(picture, dirty, picture_->Image()));
}

void TfrmAppShareViewWindow::TileCursorChanged(const orb::sharing::TRect& rect, const orb::sharing::TRgbPicture& cursor) {
    QImage img(cursor.width, cursor.height, QImage::Format_ARGB32);
    for (int y = 0; y < cursor.height; ++y)
        std::copy_n(cursor.Row(y), cursor.width, reinterpret_cast<QRgb*>(img.scanLine(y)));
    picture_->SetCursorImage(rect, img);
}

void TfrmAppShareViewWindow::CloseShare() {
    running_ = false;
    SetRemoteControl(false);
    picture_->ClearCursor();
    picture_->Image() = QImage();
    picture_->update();
}

void TfrmAppShareViewWindow::SetRemoteControl(bool on) {
    picture_->forwarding = on;
    if (on) picture_->setFocus(Qt::OtherFocusReason);
}


void TfrmAppShareViewWindow::SetFit(bool fit) {
    picture_->SetFit(fit);
    if (running_) ApplyScalingMode();
}

void TfrmAppShareViewWindow::ApplyScalingMode() {
    if (picture_->Fit()) {
        if (ui_->ScrollBox1->widget() == picture_) ui_->ScrollBox1->takeWidget();
        ui_->ScrollBox1->hide();
        picture_->setParent(ui_->pScrollHolder);
        picture_->setMinimumSize(0, 0);
        picture_->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        ui_->layScrollHolder->addWidget(picture_);
    } else {
        ui_->layScrollHolder->removeWidget(picture_);
        picture_->setFixedSize(picture_->Image().size());
        ui_->ScrollBox1->setWidget(picture_);
        ui_->ScrollBox1->show();
    }
    picture_->show();
    picture_->update();
}

void TfrmAppShareViewWindow::SetFloating(bool floating) {
    floating_ = floating;
    ui_->lbFloat->setText(floating ? QStringLiteral("Dock") : QStringLiteral("Float"));
}

void TfrmAppShareViewWindow::closeEvent(QCloseEvent* e) {
    // A floating viewer goes back into the main window instead of closing.
    if (floating_ && OnDockRequested) {
        e->ignore();
        OnDockRequested();
        return;
    }
    QWidget::closeEvent(e);
}
