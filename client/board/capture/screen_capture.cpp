#include "board/capture/screen_capture.h"

#include <QClipboard>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPaintEvent>

#include "board/logic/board_logic.h"
#include "screencap/screen.h"

namespace orb::board {

namespace {

QImage ToQImage(const screencap::RgbImage& rgb) {
    if (rgb.width <= 0 || rgb.height <= 0) return {};
    QImage image(rgb.width, rgb.height, QImage::Format_RGB32);
    for (int y = 0; y < rgb.height; ++y) {
        const uint32_t* in = rgb.Row(y);
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < rgb.width; ++x) out[x] = 0xFF000000u | in[x];
    }
    return image;
}

}  // namespace

// ---- the area form

TCaptureRectForm::TCaptureRectForm(const QImage& frozen, QRect screen, QWidget* parent)
    : QDialog(parent, Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint), frozen_(frozen), screen_(screen) {
    setObjectName(QStringLiteral("TCaptureRectForm"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setCursor(Qt::CrossCursor);
    setGeometry(screen);
    timer_.setInterval(100);
    connect(&timer_, &QTimer::timeout, this, &TCaptureRectForm::Tick);
    timer_.start();
}

void TCaptureRectForm::Tick() {
    phase_ = NextAntPhase(phase_);
    if (dragging_) update(QRect(a_, b_).normalized().adjusted(-1, -1, 1, 1));
}

void TCaptureRectForm::InvalidateFrame(QPoint a, QPoint b) {
    // Only the band of the frame is redrawn from the frozen picture.
    const QRect r = QRect(a, b).normalized();
    QRegion band(r.adjusted(-1, -1, 1, 1));
    if (r.width() > 4 && r.height() > 4) band -= QRegion(r.adjusted(2, 2, -2, -2));
    update(band);
}

void TCaptureRectForm::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    p.drawImage(event->rect(), frozen_, event->rect());
    if (!dragging_ || a_ == b_) return;
    // Marching ants: top left to right, right top to bottom, bottom right to left, left bottom to
    // top, one pattern shift per pixel; 5 white and 3 red pixels per dash.
    const QRect r = QRect(a_, b_).normalized();
    uint8_t pattern = phase_;
    auto plot = [&](int x, int y) {
        pattern = NextAntPattern(pattern);
        p.setPen(AntPixelWhite(pattern) ? Qt::white : Qt::red);
        p.drawPoint(x, y);
    };
    for (int x = r.left(); x < r.right(); ++x) plot(x, r.top());
    for (int y = r.top(); y < r.bottom(); ++y) plot(r.right(), y);
    for (int x = r.right(); x > r.left(); --x) plot(x, r.bottom());
    for (int y = r.bottom(); y > r.top(); --y) plot(r.left(), y);
}

void TCaptureRectForm::mousePressEvent(QMouseEvent* event) {
    InvalidateFrame(a_, b_);
    a_ = b_ = event->position().toPoint();
    dragging_ = true;
}

void TCaptureRectForm::mouseMoveEvent(QMouseEvent* event) {
    if (!(event->buttons() & Qt::LeftButton)) return;
    InvalidateFrame(a_, b_);
    b_ = event->position().toPoint();
    InvalidateFrame(a_, b_);
}

void TCaptureRectForm::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    b_ = event->position().toPoint();
    // Form coordinates are screen coordinates less the form's origin.
    const QRect area = CaptureArea(a_, b_, QRect(QPoint(0, 0), screen_.size()) & frozen_.rect());
    if (!area.isEmpty()) {
        area_ = area.translated(screen_.topLeft());
        result_ = frozen_.copy(area);
    }
    dragging_ = false;
    timer_.stop();
    accept();
}

void TCaptureRectForm::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        timer_.stop();
        reject();
    }
}

// ---- the component

void TASGScreenCapture::Wait() const {
    if (Delay <= 0) return;
    // The minimise has to reach the screen: events keep flowing while we wait.
    QEventLoop loop;
    QTimer::singleShot(Delay, &loop, &QEventLoop::quit);
    loop.exec();
}

QImage TASGScreenCapture::Grab(QRect area) {
    std::unique_ptr<screencap::Screen> screen = screencap::Screen::Open(DisplayName, &error_, false);
    if (!screen) return {};
    const screencap::Rect root = screen->RootRect();
    const QRect clipped = area & QRect(root.left, root.top, root.width, root.height);
    if (clipped.isEmpty()) return {};
    screencap::RgbImage rgb;
    rgb.Reset(clipped.width(), clipped.height(), 0);
    if (!screen->CopyToImage({clipped.left(), clipped.top(), clipped.width(), clipped.height()}, rgb, 0, 0)) {
        error_ = screen->LastError();
        return {};
    }
    return ToQImage(rgb);
}

template <class F>
QImage TASGScreenCapture::Run(F grab) {
    const bool minimized = Minimize && MinimizeApplication;
    if (minimized) MinimizeApplication(true);
    QImage result;
    try {
        result = grab();
    } catch (...) {
        result = QImage();
    }
    if (minimized) MinimizeApplication(false);
    if (result.isNull()) return {};
    last_ = result;
    if (Auto) CopyToClipboard();
    if (OnCapture) OnCapture();
    return result.copy();
}

QImage TASGScreenCapture::CaptureDesktop() {
    return Run([this] {
        Wait();
        return Grab(QRect(0, 0, 1 << 16, 1 << 16));
    });
}

QImage TASGScreenCapture::CaptureActiveWindow() {
    return Run([this]() -> QImage {
        Wait();
        std::unique_ptr<screencap::Screen> screen = screencap::Screen::Open(DisplayName, &error_, false);
        if (!screen) return {};
        const std::optional<uint32_t> window = screen->ActiveWindow();
        if (!window) return {};
        const std::optional<screencap::Rect> r = screen->WindowRect(*window);
        if (!r) return {};
        screen.reset();
        return Grab(QRect(r->left, r->top, r->width, r->height));
    });
}

QImage TASGScreenCapture::CaptureSelection(QWidget* parent) {
    return Run([&]() -> QImage {
        Wait();
        const QImage frozen = Grab(QRect(0, 0, 1 << 16, 1 << 16));
        if (frozen.isNull()) return {};
        TCaptureRectForm form(frozen, QRect(QPoint(0, 0), frozen.size()), parent);
        if (form.exec() != QDialog::Accepted || form.Result().isNull()) return {};
        Wait();
        return form.Result();
    });
}

void TASGScreenCapture::CopyToClipboard() const {
    if (last_.isNull()) return;
    if (QClipboard* clipboard = QGuiApplication::clipboard()) clipboard->setImage(last_);
}

}  // namespace orb::board
