#include "frm_video.h"

#include <QCloseEvent>
#include <QLayout>
#include <QMouseEvent>
#include <QTimer>

#include "ui_frm_video.h"

using namespace orb::video;

namespace {
QString Text(const std::string& s) { return QString::fromStdString(s).replace("\r\n", "\n"); }
}  // namespace

TfrmVideo::TfrmVideo(TDM& dm, TVideoEnvironment env, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint), dm_(dm), ui_(std::make_unique<Ui::TfrmVideo>()) {
    ui_->setupUi(this);
    setObjectName("frmVideo");
    setAttribute(Qt::WA_DeleteOnClose);
    // The size menu goes down to 80 x 84: the captions give way rather than hold the window wide.
    layout()->setSizeConstraint(QLayout::SetNoConstraint);
    ui_->lbUser->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    ui_->layCaption->setStretchFactor(ui_->lbUser, 1);
    resize(160, 144);
    ui_->Label3->installEventFilter(this);
    ui_->lbUser->installEventFilter(this);
    ui_->Label4->setStyleSheet("color: white; background: transparent;");
    ui_->pPicture->setStyleSheet("background: black;");

    // Only the window's own list entry changes with the stream; the publishing flag is the room's.
    env.addToList = [this] { dm_.AddVideoWindow(this); };
    env.setPublishing = [this](bool on) { dm_.Room.VideoPublishing = on; };
    session_ = std::make_unique<TVideoSession>(std::move(env), static_cast<IVideoView&>(*this));

    pmSize_ = new QMenu(this);
    struct Item { const char* text; int w, h; };
    const Item items[] = {{"Original Size", 0, 0},
                          {"Very Small (80 x 60)", 80, 84},
                          {"Small Size (160 x 120)", 160, 144},
                          {"Middle Size (320 x 240)", 320, 264},
                          {"Large Size (640 x 480)", 640, 504}};
    for (const Item& it : items)
        pmSize_->addAction(it.text, this, [this, it] {
            if (it.w) resize(it.w, it.h);
            else resize(session_->OutputFormat().biWidth, std::abs(session_->OutputFormat().biHeight) + 24);
        });
    pmSize_->addAction("Close", this, [this] { close(); });
}

// A window closed before (by the user or at shut-down) no longer touches the data module here,
// which may be gone by the time its parent frees it.
TfrmVideo::~TfrmVideo() { FormClose(); }

void TfrmVideo::SetUserCaption(const QString& caption) {
    caption_ = caption;
    ui_->lbUser->setToolTip(caption);
    FitCaption();
}

void TfrmVideo::FitCaption() {
    const QString shown = ui_->lbUser->fontMetrics().elidedText(caption_, Qt::ElideRight, ui_->lbUser->width());
    if (ui_->lbUser->text() != shown) ui_->lbUser->setText(shown);
}
void TfrmVideo::StartPublishing() { session_->StartPublishing(); }
void TfrmVideo::StartViewing() { session_->StartViewing(); }
int TfrmVideo::VideoMode() const { return session_->Mode(); }
int32_t TfrmVideo::VideoUser() const { return session_->UserId; }

void TfrmVideo::CloseVideoWindow() {
    // The stream stops now; the widget goes with the event loop.
    FormClose();
    close();
}

void TfrmVideo::BringVideoWindowToFront() {
    show();
    raise();
    activateWindow();
}

void TfrmVideo::FormClose() {
    if (closed_) return;
    closed_ = true;
    session_->FormClose();
    dm_.RemoveVideoWindow(this);
}

void TfrmVideo::closeEvent(QCloseEvent* e) {
    FormClose();
    e->accept();
}

bool TfrmVideo::eventFilter(QObject* watched, QEvent* e) {
    if (watched == ui_->Label3 && e->type() == QEvent::MouseButtonRelease) {
        Label3Click();
        return true;
    }
    if (watched == ui_->lbUser && e->type() == QEvent::Resize) FitCaption();
    return QWidget::eventFilter(watched, e);
}

void TfrmVideo::Label3Click() {
    if (optionsIsStop_) {
        close();
        return;
    }
    pmSize_->popup(ui_->Label3->mapToGlobal(QPoint(0, ui_->Label3->height())));
}

void TfrmVideo::ShowInfo(const std::string& text) {
    ui_->lbInfo->setText(Text(text));
    // A long reason (no camera, a missing codec) is set smaller until it fits the small window,
    // so it is read whole rather than cut at both ends.
    QFont f = font();
    const int roomWidth = std::max(40, width() - 16), roomHeight = height() - 24 - 16;  // below the caption strip
    for (int points = QFontInfo(f).pointSize(); points > 6; --points) {
        f.setPointSize(points);
        const QRect need = QFontMetrics(f).boundingRect(QRect(0, 0, roomWidth, 10000), Qt::TextWordWrap, Text(text));
        if (need.height() <= roomHeight) break;
    }
    ui_->lbInfo->setFont(f);
    ui_->lbInfo->repaint();
}

void TfrmVideo::ShowMessagePanel() { ui_->stPanels->setCurrentWidget(ui_->pMessage); }
void TfrmVideo::ShowPicturePanel() { ui_->stPanels->setCurrentWidget(ui_->pPicture); }

void TfrmVideo::ShowCameraPanel() {
    ui_->Label4->hide();
    ui_->stPanels->setCurrentWidget(ui_->pPicture);
}

void TfrmVideo::SetClientSize(int width, int height) { resize(width, height); }

void TfrmVideo::ShowPicture(const TPicture& picture) {
    if (picture.width <= 0 || picture.height <= 0 ||
        picture.pixels.size() < size_t(picture.width) * size_t(picture.height))
        return;
    QImage image(reinterpret_cast<const uchar*>(picture.pixels.data()), picture.width, picture.height,
                 picture.width * 4, QImage::Format_RGB32);
    ui_->imgDisplay->SetPicture(image.copy());
}

void TfrmVideo::ShowBufferingLabel(const std::string& text, bool visible) {
    ui_->Label4->setText(Text(text));
    ui_->Label4->setVisible(visible);
}

void TfrmVideo::SetOptionsIsStop() {
    optionsIsStop_ = true;
    ui_->Label3->setText("Stop");
}

void TfrmVideo::CloseWindow() {
    QTimer::singleShot(0, this, [this] { close(); });
}
