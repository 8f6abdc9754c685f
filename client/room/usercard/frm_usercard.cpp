#include "usercard/frm_usercard.h"

#include <QBuffer>
#include <QFile>
#include <QFileDialog>
#include <QImageReader>
#include <QMessageBox>
#include <QLayout>

#include "common/message_box.h"
#include "common/window_drag.h"
#include "participants/participant_list.h"
#include "ui_frm_usercard.h"

namespace orb::room {

TPictureCheck CheckOwnPicture(const std::vector<uint8_t>& bytes) {
    if (bytes.size() > size_t(kMaxOwnPictureBytes)) return TPictureCheck::TooLarge;
    QByteArray data(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "jpeg");
    const QSize size = reader.size();
    if (!size.isValid() || size.width() > 4096 || size.height() > 4096) return TPictureCheck::NotJpeg;
    return reader.read().isNull() ? TPictureCheck::NotJpeg : TPictureCheck::Ok;
}

}  // namespace orb::room

using namespace orb;
using namespace orb::room;

namespace {
QString Utf8(const std::string& s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }
}  // namespace

TfrmUserControl::TfrmUserControl(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      ui_(std::make_unique<Ui::TfrmUserControl>()) {
    ui_->setupUi(this);
    setObjectName(QStringLiteral("TfrmUserControl"));
    setAttribute(Qt::WA_StyledBackground);
    tmrRollOut_.setInterval(kRollOutIntervalMs);
    connect(&tmrRollOut_, &QTimer::timeout, this, [this] { RollOutTick(); });
    connect(ui_->btnClose, &QToolButton::clicked, this, &QWidget::hide);
    connect(ui_->lbUpload, &QLabel::linkActivated, this, [this](const QString&) { lbUploadClick(); });
    // The whole card drags, by its title too.
    new orb::room::TWindowDrag(this, {this, ui_->navCard, ui_->lbCardTitle});
    ui_->lbUpload->hide();
    // The card rolls out from width 0: its layout must not hold it wider.
    layout()->setSizeConstraint(QLayout::SetNoConstraint);
    setMinimumSize(0, 0);
}

TfrmUserControl::~TfrmUserControl() = default;

void TfrmUserControl::ShowUser(const TParticipantRow& row, bool own) {
    user_ = row.userId;
    ui_->lbCardTitle->setText(Utf8(row.caption));
    const TUserInfo& info = row.info;
    ui_->lbShortAddress->setText(Utf8(info.ShortAddress()));
    ui_->lbProfession->setText(Utf8(info.Profession()));
    ui_->lbLanguages->setText(Utf8(info.Languages()));
    ui_->lbLocalTime->setText(Utf8(row.userTimeText));
    ui_->lbGender->setText(Utf8(info.Gender()));
    ui_->lbeMail->setText(Utf8(info.Email()));
    const char* role = row.role == 0 ? "Participant" : row.role == 1 ? "Moderator" : row.role == 2 ? "Super Moderator" : "";
    ui_->lbUserType->setText(QString::fromLatin1(role));
    ui_->lbUpload->setVisible(own);
    SetPicture({});
}

void TfrmUserControl::SetPicture(const QImage& image) {
    if (image.isNull()) {
        ui_->imgUser->clear();
        return;
    }
    ui_->imgUser->setPixmap(QPixmap::fromImage(image.scaled(ui_->imgUser->size(), Qt::KeepAspectRatio,
                                                            Qt::SmoothTransformation)));
}

void TfrmUserControl::RollOut(int left, int top) {
    const int h = layout()->heightForWidth(kRollOutWidth);
    resize(0, std::max(h, layout()->sizeHint().height()));
    move(left, top);
    show();
    raise();
    tmrRollOut_.start();
}

void TfrmUserControl::RollOutTick() {
    if (width() < kRollOutWidth) resize(width() + kRollOutStep, height());
    else tmrRollOut_.stop();
}

void TfrmUserControl::DownloadDone(std::intptr_t user, std::intptr_t result) {
    // Only the picture of the user on the card; a late picture of an earlier card is not shown.
    if (result != 0 || user != user_ || UserImagesFolder.empty()) return;
    try {
        QImageReader reader(Utf8(UserImagesFolder + std::to_string(int32_t(user)) + ".jpg"));
        const QSize size = reader.size();
        if (!size.isValid() || size.width() > 4096 || size.height() > 4096) return;
        QImage image = reader.read();
        if (!image.isNull()) SetPicture(image);
    } catch (...) {
    }
}

void TfrmUserControl::lbUploadClick() {
    const QString path = QFileDialog::getOpenFileName(
        this, QString(), QString(), QStringLiteral("JPEG Image File (*.jpg);;JPEG Image File (*.jpeg)"));
    if (path.isEmpty()) return;
    UploadOwnPicture(path);
}

void TfrmUserControl::UploadOwnPicture(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return;
    // Reads one byte past the limit: enough to know a file is too large without reading it all.
    const QByteArray data = file.read(kMaxOwnPictureBytes + 1);
    std::vector<uint8_t> bytes(data.begin(), data.end());
    auto warn = [this](const char* text) {
        if (ShowWarning) ShowWarning(QString::fromLatin1(text));
        else PlainMessageBox(this, QMessageBox::Warning, QString::fromLatin1(text));
    };
    switch (CheckOwnPicture(bytes)) {
    case TPictureCheck::TooLarge: warn(kPictureTooLarge); return;
    case TPictureCheck::NotJpeg: warn(kPictureNotJpeg); return;
    case TPictureCheck::Ok: break;
    }
    QImage image;
    image.loadFromData(data, "jpeg");
    SetPicture(image);
    if (StartUpload) StartUpload(path.toStdString());
}

