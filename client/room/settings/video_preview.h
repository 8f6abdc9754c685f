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
    QSize PictureSize() const { return picture_; }
    int FramesShown() const { return shown_; }

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    void Show(const QImage& image);

    std::unique_ptr<orb::video::TVideoCap> cap_;
    orb::video::TBitmapInfoHeader format_;
    QLabel* picture_label_ = nullptr;
    QSize picture_;
    int shown_ = 0;
    std::atomic<bool> pending_{false};
};
