#include "video_preview.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPixmap>
#include <QVBoxLayout>
#include <span>

TfrmVideoPreview::TfrmVideoPreview(std::vector<orb::video::TCaptureDriver> drivers, QWidget* parent)
    : QDialog(parent), cap_(std::make_unique<orb::video::TVideoCap>(std::move(drivers))) {
    setObjectName(QStringLiteral("TfrmVideoPreview"));
    setWindowTitle(QStringLiteral("Preview"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    picture_label_ = new QLabel(this);
    picture_label_->setObjectName(QStringLiteral("pPicture"));
    picture_label_->setAlignment(Qt::AlignCenter);
    picture_label_->setStyleSheet(QStringLiteral("background: black;"));
    layout->addWidget(picture_label_);
}

TfrmVideoPreview::~TfrmVideoPreview() { Stop(); }

bool TfrmVideoPreview::Start(int driver, int frameRate, int width, int height, std::string& error) {
    try {
        cap_->SetDriverIndex(driver);
        cap_->SetDriverOpen(true);
        cap_->SetPreviewRate(frameRate);
        cap_->SetFrameRate(frameRate);
        cap_->VideoPreview = true;
        orb::video::TBitmapInfoHeader wanted = cap_->VideoFormatHeader();
        if (width > 0 && height > 0 && (wanted.biWidth != width || std::abs(wanted.biHeight) != height)) {
            wanted.biWidth = width;
            wanted.biHeight = wanted.biHeight < 0 ? -height : height;
            wanted.biSizeImage = 0;
            try {
                cap_->SetVideoFormat(wanted);
            } catch (const orb::video::EFalseFormat&) {
                // The camera keeps the size it offers.
            }
        }
        format_ = cap_->VideoFormatHeader();
        picture_ = QSize(format_.biWidth, std::abs(format_.biHeight));
        setWindowTitle(QStringLiteral("Preview %1 x %2").arg(picture_.width()).arg(picture_.height()));
        setFixedSize(picture_.width(), picture_.height() + 25);
        // Runs on the capture thread: converts, then hands the newest picture to the main thread
        // unless one is still waiting there.
        cap_->OnVideoStream = [this](const uint8_t* data, size_t size) {
            if (pending_.exchange(true)) return;
            std::vector<uint32_t> rgb;
            if (!orb::video::CapturePictureToRgb(format_, std::span<const uint8_t>(data, size), rgb) ||
                rgb.size() < size_t(picture_.width()) * size_t(picture_.height())) {
                pending_ = false;
                return;
            }
            QImage image(picture_.width(), picture_.height(), QImage::Format_RGB32);
            for (int y = 0; y < image.height(); ++y)
                std::memcpy(image.scanLine(y), rgb.data() + size_t(y) * size_t(image.width()),
                            size_t(image.width()) * 4);
            QMetaObject::invokeMethod(this, [this, image] { Show(image); }, Qt::QueuedConnection);
        };
        cap_->StartCapture();
        return true;
    } catch (const std::exception& e) {
        error = e.what();
        Stop();
        return false;
    }
}

void TfrmVideoPreview::Show(const QImage& image) {
    pending_ = false;
    ++shown_;
    picture_label_->setPixmap(QPixmap::fromImage(image));
}

void TfrmVideoPreview::Stop() {
    if (!cap_) return;
    try {
        cap_->StopCapture();
        cap_->SetDriverOpen(false);
    } catch (...) {
    }
    cap_->OnVideoStream = nullptr;
}

void TfrmVideoPreview::closeEvent(QCloseEvent* e) {
    Stop();
    QDialog::closeEvent(e);
}
