#include "frm_pptexport.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QMessageBox>
#include <QMouseEvent>
#include <QNetworkDatagram>
#include <QPointer>
#include <QTimer>
#include <QUdpSocket>

#include "ui_frm_pptexport.h"

using namespace orb::print;

namespace {

QString FromText(const std::string& s) { return QString::fromStdString(s).replace("\r\n", "\n"); }

// "A|*.a|B|*.b; *.c" as Qt's "A (*.a);;B (*.b *.c)".
QString QtFilter(const char* filter) {
    const QStringList parts = QString::fromLatin1(filter).split('|');
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2)
        out << parts[i].trimmed() + " (" + QString(parts[i + 1]).replace(";", " ").simplified() + ")";
    return out.join(";;");
}

}  // namespace

TfrmPPTExport::TfrmPPTExport(TUploaderServices services, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::TfrmPPTExport>()) {
    ui_->setupUi(this);
    setObjectName("frmPPTExport");
    setModal(true);
    QPointer<TfrmPPTExport> self(this);
    services.toMainThread = [self](std::function<void()> fn) {
        if (self) QMetaObject::invokeMethod(self.data(), std::move(fn), Qt::QueuedConnection);
    };
    ui_->pSlideSize->hide();
    listenPort_ = services.noticePort;
    uploader_ = std::make_unique<TDocumentUploader>(*this, std::move(services));

    connect(ui_->bSelectFile, &QPushButton::clicked, this, &TfrmPPTExport::SelectFile);
    connect(ui_->bUpload, &QPushButton::clicked, this, [this] {
        NormaliseSize();
        uploader_->Upload(ui_->cbSize->isChecked(), ui_->eWidth->text().toStdString(),
                          ui_->eHeight->text().toStdString());
    });
    connect(ui_->bAdvancedUpload, &QPushButton::clicked, this, [this] { uploader_->AdvancedUpload(); });
    connect(ui_->bClose, &QPushButton::clicked, this, &TfrmPPTExport::close);
    connect(ui_->bPanelClose, &QToolButton::clicked, this, &TfrmPPTExport::close);
    connect(ui_->cbSize, &QCheckBox::toggled, this, [this](bool on) {
        ui_->eWidth->setEnabled(on);
        ui_->eHeight->setEnabled(on);
        if (on) NormaliseSize();
    });
    connect(ui_->eWidth, &QLineEdit::editingFinished, this, &TfrmPPTExport::NormaliseSize);
    connect(ui_->eHeight, &QLineEdit::editingFinished, this, &TfrmPPTExport::NormaliseSize);
    ui_->pHeader->installEventFilter(this);
    ui_->lCaption->installEventFilter(this);
}

TfrmPPTExport::~TfrmPPTExport() {
    // The uploader joins its worker before the window's parts go.
    uploader_.reset();
    SetBusy(false);
}

void TfrmPPTExport::NormaliseSize() {
    ui_->eWidth->setText(QString::fromStdString(NormalisedSide(ui_->eWidth->text().toStdString(), 800)));
    ui_->eHeight->setText(QString::fromStdString(NormalisedSide(ui_->eHeight->text().toStdString(), 600)));
}

void TfrmPPTExport::SelectFile() {
    const QString file = QFileDialog::getOpenFileName(this, QString(), QString(), QtFilter(kFileFilter));
    if (!file.isEmpty()) uploader_->SelectFile(file.toStdString());
}

void TfrmPPTExport::SetDocumentPath(const std::string& path) { ui_->lFileName->setText(QString::fromStdString(path)); }
void TfrmPPTExport::SetStatus(const std::string& text) { ui_->lStatus->setText(QString::fromStdString(text)); }
void TfrmPPTExport::SetPageCount(const std::string& text) { ui_->lPageCount->setText(QString::fromStdString(text)); }
void TfrmPPTExport::SetProgressMax(int max) { ui_->pbProgress->setRange(0, std::max(max, 0)); }
void TfrmPPTExport::SetProgress(int position) { ui_->pbProgress->setValue(position); }

void TfrmPPTExport::SetButtons(bool close, bool upload, bool advanced) {
    ui_->bClose->setEnabled(close);
    ui_->bPanelClose->setEnabled(close);
    ui_->bSelectFile->setEnabled(close);
    ui_->bUpload->setEnabled(upload);
    ui_->bAdvancedUpload->setEnabled(advanced);
}

void TfrmPPTExport::ShowSlideSize(bool show) {
    ui_->pSlideSize->setVisible(show);
    ui_->pHint->setVisible(!show);
}

void TfrmPPTExport::SetBusy(bool busy) {
    if (busy == busyCursor_) return;
    busyCursor_ = busy;
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

TMsgAnswer TfrmPPTExport::ShowMessage(TMsgKind kind, TMsgButtons buttons, const std::string& text) {
    if (answer) return answer(kind, buttons, text);
    QMessageBox box(kind == TMsgKind::Error         ? QMessageBox::Critical
                    : kind == TMsgKind::Confirmation ? QMessageBox::Question
                                                     : QMessageBox::Information,
                    QApplication::applicationDisplayName(), FromText(text), QMessageBox::NoButton, this);
    box.setTextFormat(Qt::PlainText);
    switch (buttons) {
        case TMsgButtons::Ok: box.setStandardButtons(QMessageBox::Ok); break;
        case TMsgButtons::OkCancel: box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel); break;
        case TMsgButtons::YesNo: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
    }
    const bool wasBusy = busyCursor_;
    SetBusy(false);
    const int r = box.exec();
    SetBusy(wasBusy);
    switch (r) {
        case QMessageBox::Ok: return TMsgAnswer::Ok;
        case QMessageBox::Yes: return TMsgAnswer::Yes;
        case QMessageBox::No: return TMsgAnswer::No;
        default: return TMsgAnswer::Cancel;
    }
}

void TfrmPPTExport::Activate() {
    if (isMinimized()) showNormal();
    raise();
    activateWindow();
}

bool TfrmPPTExport::StartListener() {
    if (udp_ && udp_->state() == QAbstractSocket::BoundState) return true;
    delete udp_;
    udp_ = new QUdpSocket(this);
    if (!udp_->bind(QHostAddress::LocalHost, listenPort_)) {
        delete udp_;
        udp_ = nullptr;
        return false;
    }
    connect(udp_, &QUdpSocket::readyRead, this, &TfrmPPTExport::ReadNotices);
    return true;
}

void TfrmPPTExport::StopListener() {
    delete udp_;
    udp_ = nullptr;
}

void TfrmPPTExport::ReadNotices() {
    while (udp_ && udp_->hasPendingDatagrams()) {
        const QNetworkDatagram d = udp_->receiveDatagram(4096);
        const QByteArray bytes = d.data();
        // Checked again by the uploader; datagrams are only taken from this machine.
        if (!d.senderAddress().isLoopback()) continue;
        uploader_->UDPPrintReaderUDPRead(
            std::span(reinterpret_cast<const uint8_t*>(bytes.constData()), static_cast<size_t>(bytes.size())));
    }
}

void TfrmPPTExport::CloseWindow() { close(); }

void TfrmPPTExport::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    uploader_->Shown();
}

void TfrmPPTExport::closeEvent(QCloseEvent* e) {
    // While pages are converted or uploaded the window stays: its worker reports into it.
    if (uploader_->Busy() && !ui_->bClose->isEnabled()) {
        e->ignore();
        return;
    }
    QDialog::closeEvent(e);
}

void TfrmPPTExport::done(int result) {
    if (uploader_->Busy() && !ui_->bClose->isEnabled()) return;  // Escape during work
    uploader_->Closing();
    QDialog::done(result);
}

bool TfrmPPTExport::eventFilter(QObject* watched, QEvent* e) {
    if (watched == ui_->pHeader || watched == ui_->lCaption) {
        if (e->type() == QEvent::MouseButtonPress) {
            auto* m = static_cast<QMouseEvent*>(e);
            if (m->button() == Qt::LeftButton) {
                dragging_ = true;
                dragOffset_ = m->globalPosition().toPoint() - frameGeometry().topLeft();
                raise();
                return true;
            }
        } else if (e->type() == QEvent::MouseMove && dragging_) {
            move(static_cast<QMouseEvent*>(e)->globalPosition().toPoint() - dragOffset_);
            return true;
        } else if (e->type() == QEvent::MouseButtonRelease) {
            dragging_ = false;
        }
    }
    return QDialog::eventFilter(watched, e);
}
