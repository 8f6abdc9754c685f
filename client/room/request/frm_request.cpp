#include "request/frm_request.h"


#include "common/message_box.h"
#include "common/window_drag.h"
#include "ui_frm_request.h"

bool orb::room::NoteIsEmpty(const QString& text) { return text.trimmed().isEmpty(); }

TfrmRequest::TfrmRequest(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), ui_(std::make_unique<Ui::TfrmRequest>()) {
    ui_->setupUi(this);
    setObjectName(QStringLiteral("TfrmRequest"));
    setModal(true);
    connect(ui_->btnSend, &QPushButton::clicked, this, [this] { btnSendClick(); });
    connect(ui_->btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(ui_->btnClose, &QToolButton::clicked, this, &QDialog::reject);
    new orb::room::TWindowDrag(this, {ui_->navRequest, ui_->lbTitle});
}

TfrmRequest::~TfrmRequest() = default;

void TfrmRequest::Prepare(const QString& toUser) {
    ui_->eToUser->setText(toUser);
    ui_->eComment->clear();
}

QString TfrmRequest::Note() const { return ui_->eComment->toPlainText(); }

void TfrmRequest::btnSendClick() {
    if (orb::room::NoteIsEmpty(Note())) {
        const QString text = QString::fromLatin1(orb::room::kNothingToSend);
        if (ShowWarning) ShowWarning(text);
        else orb::room::PlainMessageBox(this, QMessageBox::Warning, text);
        return;
    }
    accept();
}

void TfrmRequest::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    ui_->eComment->setFocus();
}

