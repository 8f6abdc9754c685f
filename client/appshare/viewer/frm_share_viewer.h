#pragma once
// The share viewer: the shared screen scaled to fit (letterboxed) or in its original size, docked
// in the main area or floating, for both sharing schemes; while this viewer holds remote control
// its mouse and keys over the picture travel to the sharer as remote input.

#include <QImage>
#include <QWidget>

#include <functional>
#include <memory>

#include "protocol/records.h"
#include "sharing/share_session.h"

namespace Ui {
class TfrmAppShareViewWindow;
}

namespace orb::appshare {

// The picture control: paints the share picture (and the tile scheme's cursor) and turns the
// pointer and keys into remote input while control is held.
class TSharePicture : public QWidget {
    Q_OBJECT
public:
    explicit TSharePicture(QWidget* parent = nullptr);
    QImage& Image() { return image_; }
    void SetFit(bool fit);
    bool Fit() const { return fit_; }
    // The part of the control where the picture is shown.
    sharing::TRect PictureRect() const;
    // Repaints the picture's rectangle `area` only.
    void PictureAreaChanged(const sharing::TRect& area);
    void SetCursorImage(const sharing::TRect& rect, const QImage& cursor);
    void ClearCursor();

    bool forwarding = false;
    std::function<void(const TRemoteInputEvent&)> OnInput;

protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void keyReleaseEvent(QKeyEvent* e) override;
    bool focusNextPrevChild(bool next) override;

private:
    void Mouse(int32_t flags, QPointF at, int32_t data = 0);
    void RemoteKeyHook(QKeyEvent* e, bool up);
    QImage image_;
    QImage cursor_;
    sharing::TRect cursorRect_;
    bool fit_ = true;
};

}  // namespace orb::appshare

class TfrmAppShareViewWindow : public QWidget {
    Q_OBJECT
public:
    explicit TfrmAppShareViewWindow(QWidget* parent = nullptr);
    ~TfrmAppShareViewWindow() override;

    // Remote input to send (the data module's sender).
    std::function<void(const TRemoteInputEvent&)> SendInput;
    // lbFloat pressed, or the floating window closed: the program docks or floats the viewer.
    std::function<void()> OnToggleFloat;
    std::function<void()> OnDockRequested;

    // A segment share: fit on, a black picture of the share's size.
    void OpenSegmentShare(const orb::appshare::TAppShareDescriptor& d);
    void PictureChanged(const orb::appshare::ShareBitmap& picture, const orb::sharing::TRect& dirty);
    void OpenTileShare(const orb::sharing::TRgbPicture& picture);
    void TilePictureChanged(const orb::sharing::TRgbPicture& picture, const orb::sharing::TRect& dirty);
    void TileCursorChanged(const orb::sharing::TRect& rect, const orb::sharing::TRgbPicture& cursor);
    void CloseShare();
    // Remote control held (forward input) or not.
    void SetRemoteControl(bool on);

    // "Fit In My Window" / "Show In Original Size".
    void SetFit(bool fit);
    void ApplyScalingMode();
    void SetFloating(bool floating);
    bool Floating() const { return floating_; }

    orb::appshare::TSharePicture* Picture() { return picture_; }
    Ui::TfrmAppShareViewWindow& Ui() { return *ui_; }

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    std::unique_ptr<Ui::TfrmAppShareViewWindow> ui_;
    orb::appshare::TSharePicture* picture_ = nullptr;
    bool running_ = false;
    bool floating_ = false;
};
