#pragma once
// TASGScreenCapture: pictures of the whole desktop, of the active window (frame included), or of a
// rectangle dragged over a frozen picture of the screen (TCaptureRectForm, framed by marching ants).
// Pixels come from our X capture layer; the result is a plain QImage the caller owns. A capture that
// was cancelled, failed or covers no pixel gives a null image.

#include <QDialog>
#include <QImage>
#include <QTimer>
#include <functional>
#include <string>

namespace orb::board {

class TCaptureRectForm : public QDialog {
    Q_OBJECT
public:
    // `frozen` is the picture of the whole screen; the form covers `screen` with it.
    TCaptureRectForm(const QImage& frozen, QRect screen, QWidget* parent = nullptr);
    // The dragged area's pixels; null when nothing was dragged.
    const QImage& Result() const { return result_; }
    QRect Area() const { return area_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Tick();
    void InvalidateFrame(QPoint a, QPoint b);

    QImage frozen_, result_;
    QRect screen_, area_;
    QPoint a_, b_;
    bool dragging_ = false;
    uint8_t phase_ = 128;
    QTimer timer_;
};

class TASGScreenCapture {
public:
    static constexpr const char* kVersion = "TASGScreenCapture v1.0";

    bool Auto = true;      // copy every capture to the clipboard
    bool Minimize = true;  // minimise the application while capturing
    int Delay = 500;       // ms after minimising and before grabbing
    std::function<void()> OnCapture;
    // Minimises (true) and restores (false) the application; set by the program.
    std::function<void(bool)> MinimizeApplication;
    // The X display to read (empty: $DISPLAY).
    std::string DisplayName;

    QImage CaptureDesktop();
    QImage CaptureActiveWindow();
    QImage CaptureSelection(QWidget* parent = nullptr);
    void CopyToClipboard() const;
    const std::string& LastError() const { return error_; }

private:
    template <class F>
    QImage Run(F grab);
    void Wait() const;
    QImage Grab(QRect area);

    QImage last_;
    std::string error_;
};

}  // namespace orb::board
