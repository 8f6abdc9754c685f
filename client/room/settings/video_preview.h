#pragma once
// The settings dialog's camera preview: the chosen capture driver opened at the configured frame
// rate and picture size, its pictures shown in a small modal window captioned
// "Preview <width> x <height>". Pictures arrive on the capture thread and are shown in the main
// thread; the capture stops before the window goes.

#include <QDialog>
#include <QImage>
#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "video/video_cap.h"

class QLabel;

class TfrmVideoPreview : public QDialog {
    Q_OBJECT
public:
    TfrmVideoPreview(std::vector<orb::video::TCaptureDriver> drivers, QWidget* parent = nullptr);
    ~TfrmVideoPreview() override;

    // Opens the driver, asks for the picture size (kept as the driver gives it when refused), sizes
    // the window to the picture (height + 25) and starts the capture. False with the driver's
    // message when the camera cannot be opened.
    bool Start(int driver, int frameRate, int width, int height, std::string& error);
    void Stop();
    // The driver's own dialogs as V4L2 offers them: the source dialog (the device's controls,
    // applied as they move) and the format dialog (its formats and sizes, applied on OK). Each is
    // shown only when the driver has something to offer; the display dialog has no V4L2
    // counterpart and is never shown. True when the dialog was shown.
    bool ShowSourceDialog();
    bool ShowFormatDialog();
    // Closes and reopens the driver, then sizes the window to the picture and starts the capture.
    bool Restart(std::string& error);
    int FramesShown() const { return shown_; }

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    void Show(const QImage& image);
    void StartStream();

    std::unique_ptr<orb::video::TVideoCap> cap_;
    int driver_ = -1;
    orb::video::TBitmapInfoHeader format_;
    QLabel* picture_label_ = nullptr;
    QSize picture_;
    int shown_ = 0;
    std::atomic<bool> pending_{false};
};
