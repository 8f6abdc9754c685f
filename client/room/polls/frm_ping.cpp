#include "frm_ping.h"

#include <QFileDialog>
#include <QListWidgetItem>

#include "common/message_box.h"
#include "polls/poll_store.h"
#include "ui_frm_ping.h"
#include "util/answers.h"
#include "util/text_util.h"

TfrmPing::TfrmPing(QWidget* parent) : QDialog(parent), ui_(std::make_unique<Ui::TfrmPing>()) {
    ui_->setupUi(this);
    for (const char* text : orb::AnswerTexts) {
        auto* item = new QListWidgetItem(QString::fromUtf8(text), ui_->lbAns);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
    }
    connect(ui_->mQuestion, &QPlainTextEdit::textChanged, this, &TfrmPing::UpdateSend);
    connect(ui_->lbAns, &QListWidget::itemChanged, this, &TfrmPing::UpdateSend);
    connect(ui_->btnSend, &QPushButton::clicked, this, [this] {
        if (CanSend()) accept();
    });
    connect(ui_->btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    const QString filter = QStringLiteral("Orbelo Exam Files (*.exm)");
    AskSaveFile = [this, filter] { return QFileDialog::getSaveFileName(this, QString(), QString(), filter); };
    AskOpenFile = [this, filter] { return QFileDialog::getOpenFileName(this, QString(), QString(), filter); };
    ShowError = [this](const QString& text) { orb::room::PlainMessageBox(this, QMessageBox::Critical, text); };
    connect(ui_->btnSaveToFile, &QPushButton::clicked, this, [this] {
        QString f = AskSaveFile ? AskSaveFile() : QString();
        if (f.isEmpty()) return;
        if (!f.endsWith(QStringLiteral(".exm"), Qt::CaseInsensitive)) f += QStringLiteral(".exm");
        SaveToFile(f);
    });
    connect(ui_->btnLoad, &QToolButton::clicked, this, [this] {
        const QString f = AskOpenFile ? AskOpenFile() : QString();
        if (!f.isEmpty()) LoadFromFile(f);
    });
    UpdateSend();
}

TfrmPing::~TfrmPing() = default;

uint32_t TfrmPing::GetAnswerMask() const {
    std::array<bool, 26> checked{};
    for (int i = 0; i < orb::kAnswerCount && i < ui_->lbAns->count(); ++i)
        checked[size_t(i)] = ui_->lbAns->item(i)->checkState() == Qt::Checked;
    return orb::polls::AnswerMaskFromChecks(checked);
}

void TfrmPing::SetAnswerMask(uint32_t mask) {
    for (int i = 0; i < ui_->lbAns->count(); ++i) ui_->lbAns->item(i)->setCheckState(Qt::Unchecked);
    for (const std::string& text : orb::AnswerMaskToList(mask)) {
        const int k = orb::AnswerIndex(text);
        if (k >= 1 && k <= ui_->lbAns->count()) ui_->lbAns->item(k - 1)->setCheckState(Qt::Checked);
    }
}

std::string TfrmPing::Question() const {
    return std::string(orb::Trim(ui_->mQuestion->toPlainText().toStdString()));
}

bool TfrmPing::AddToFavourites() const { return ui_->cbAddToFavs->isChecked(); }

bool TfrmPing::CanSend() const { return !Question().empty() && GetAnswerMask() != 0; }

void TfrmPing::UpdateSend() { ui_->btnSend->setEnabled(CanSend()); }

bool TfrmPing::SaveToFile(const QString& file) {
    const TPollInfo p = orb::polls::NewPollRecord(Question(), GetAnswerMask());
    if (orb::polls::WriteExamFile(file.toStdString(), p)) return true;
    if (ShowError) ShowError(QStringLiteral("Unable to create poll file \r\n") + file);
    return false;
}

bool TfrmPing::LoadFromFile(const QString& file) {
    ui_->edFile->setText(file);
    const orb::polls::TExamFile f = orb::polls::ReadExamFile(file.toStdString(), 1);
    if (f.records.empty()) return false;
    if (f.trailingBytes != 0 && ShowError)
        ShowError(QStringLiteral("The poll file ends with an incomplete record; only its whole records were read.\r\n") +
                  file);
    ui_->mQuestion->setPlainText(orb::room::FromUtf8(f.records.front().question));
    SetAnswerMask(uint32_t(f.records.front().answerMask));
    return true;
}
