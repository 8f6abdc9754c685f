#include "video_preview.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
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
        driver_ = driver;
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
        StartStream();
        return true;
    } catch (const std::exception& e) {
        error = e.what();
        Stop();
        return false;
    }
}

bool TfrmVideoPreview::Restart(std::string& error) {
    try {
        cap_->StopCapture();
        cap_->SetDriverOpen(false);
        cap_->SetDriverOpen(true);
        cap_->VideoPreview = true;
        StartStream();
        return true;
    } catch (const std::exception& e) {
        error = e.what();
        Stop();
        return false;
    }
}

void TfrmVideoPreview::StartStream() {
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
            std::memcpy(image.scanLine(y), rgb.data() + size_t(y) * size_t(image.width()), size_t(image.width()) * 4);
        QMetaObject::invokeMethod(this, [this, image] { Show(image); }, Qt::QueuedConnection);
    };
    cap_->StartCapture();
}

bool TfrmVideoPreview::ShowSourceDialog() {
    if (!cap_->DriverOpen() || !cap_->GetDriverCaps().hasDlgVideoSource) return false;
    QDialog dialog(parentWidget());
    dialog.setWindowTitle(QStringLiteral("Video Source"));
    auto* form = new QFormLayout(&dialog);
    for (const orb::video::TCaptureControl& c : cap_->Controls()) {
        const QString name = QString::fromStdString(c.name);
        const uint32_t id = c.id;
        switch (c.type) {
        case orb::video::TCaptureControl::Integer: {
            auto* slider = new QSlider(Qt::Horizontal, &dialog);
            slider->setRange(c.minimum, c.maximum);
            slider->setSingleStep(c.step);
            slider->setValue(c.value);
            connect(slider, &QSlider::valueChanged, &dialog, [this, id](int v) { cap_->SetControl(id, v); });
            form->addRow(name, slider);
            break;
        }
        case orb::video::TCaptureControl::Boolean: {
            auto* box = new QCheckBox(&dialog);
            box->setChecked(c.value != 0);
            connect(box, &QCheckBox::toggled, &dialog, [this, id](bool on) { cap_->SetControl(id, on ? 1 : 0); });
            form->addRow(name, box);
            break;
        }
        case orb::video::TCaptureControl::Menu: {
            auto* box = new QComboBox(&dialog);
            for (const auto& [value, text] : c.menu) box->addItem(QString::fromStdString(text), value);
            box->setCurrentIndex(std::max(0, box->findData(c.value)));
            connect(box, &QComboBox::activated, &dialog,
                    [this, id, box](int i) { cap_->SetControl(id, box->itemData(i).toInt()); });
            form->addRow(name, box);
            break;
        }
        case orb::video::TCaptureControl::Button: {
            auto* button = new QPushButton(name, &dialog);
            connect(button, &QPushButton::clicked, &dialog, [this, id] { cap_->SetControl(id, 1); });
            form->addRow(QString(), button);
            break;
        }
        }
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    form->addRow(buttons);
    dialog.exec();
    return true;
}

bool TfrmVideoPreview::ShowFormatDialog() {
    if (!cap_->DriverOpen() || !cap_->GetDriverCaps().hasDlgVideoFormat) return false;
    const std::vector<orb::video::TCaptureFormatChoice> choices = cap_->FormatChoices();
    const orb::video::TBitmapInfoHeader current = cap_->VideoFormatHeader();
    QDialog dialog(parentWidget());
    dialog.setWindowTitle(QStringLiteral("Video Format"));
    auto* layout = new QVBoxLayout(&dialog);
    auto* list = new QListWidget(&dialog);
    list->setObjectName(QStringLiteral("lbFormats"));
    for (const auto& c : choices) {
        list->addItem(QStringLiteral("%1, %2 x %3").arg(QString::fromStdString(c.description)).arg(c.width).arg(c.height));
        if (c.compression == current.biCompression && c.width == current.biWidth &&
            c.height == std::abs(current.biHeight))
            list->setCurrentRow(list->count() - 1);
    }
    layout->addWidget(list);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    if (dialog.exec() != QDialog::Accepted) return true;
    const int row = list->currentRow();
    if (row < 0 || size_t(row) >= choices.size()) return true;
    orb::video::TBitmapInfoHeader wanted = current;
    wanted.biCompression = choices[size_t(row)].compression;
    wanted.biWidth = choices[size_t(row)].width;
    wanted.biHeight = choices[size_t(row)].height;
    wanted.biBitCount = wanted.biCompression == 0 ? 24 : wanted.biBitCount;
    wanted.biSizeImage = 0;
    cap_->StopCapture();
    try {
        cap_->SetVideoFormat(wanted);
    } catch (const orb::video::EFalseFormat&) {
        // The camera keeps its format.
    }
    StartStream();
    return true;
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
