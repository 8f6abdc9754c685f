#include "frm_exam.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QGuiApplication>
#include <QScreen>
#include <QToolButton>

#include "common/message_box.h"
#include "common/window_drag.h"
#include "ui_frm_exam.h"
#include "util/answers.h"

TfrmExam::TfrmExam(QWidget* parent) : QWidget(parent), ui_(std::make_unique<Ui::TfrmExam>()) {
    ui_->setupUi(this);
    setObjectName(QStringLiteral("TfrmExam"));
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setAttribute(Qt::WA_DeleteOnClose);
    auto* grid = new QGridLayout(ui_->pButtons);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setSpacing(4);
    grid->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setMinimumWidth(511);
    group_.setExclusive(true);
    timer1_.setInterval(1000);
    connect(&timer1_, &QTimer::timeout, this, &TfrmExam::Timer1Timer);
    connect(ui_->btnOK, &QPushButton::clicked, this, &TfrmExam::btnOKClick);
    connect(ui_->btnCancel, &QPushButton::clicked, this, &TfrmExam::btnCancelClick);
    connect(ui_->btnClose, &QToolButton::clicked, this, &TfrmExam::btnCancelClick);
    new orb::room::TWindowDrag(this, {ui_->pHeader, ui_->lbHeader});
    ShowError = [this](const QString& text) { orb::room::PlainMessageBox(this, QMessageBox::Critical, text); };
}

TfrmExam::~TfrmExam() = default;

int TfrmExam::ShowPoll(const TPollInfo& poll) {
    poll_ = poll;
    poll_.answerMask = int32_t(uint32_t(poll.answerMask) & orb::kAnswerMaskBits);
    ui_->btnCancel->setVisible(poll_.mustReply == 0);
    ui_->mText->setPlainText(orb::room::FromUtf8(poll_.question));
    for (QToolButton* b : buttons_) {
        group_.removeButton(b);
        delete b;
    }
    buttons_.clear();
    auto* grid = static_cast<QGridLayout*>(ui_->pButtons->layout());
    int i = 0;
    for (const std::string& text : orb::AnswerMaskToList(uint32_t(poll_.answerMask))) {
        auto* b = new QToolButton(ui_->pButtons);
        b->setText(QString::fromStdString(text));
        b->setCheckable(true);
        b->setAutoRaise(true);
        b->setFixedSize(45, 45);
        QFont f = b->font();
        f.setPointSize(8);
        b->setFont(f);
        b->setStyleSheet(QStringLiteral("QToolButton { color: black; border: 1px solid #9aa8bb; border-radius: 3px; } "
                                        "QToolButton:checked { background: #c8d8f0; border-color: #3a5f8f; }"));
        group_.addButton(b);
        grid->addWidget(b, i / 10, i % 10, Qt::AlignLeft);
        buttons_.push_back(b);
        ++i;
    }
    adjustSize();
    if (QScreen* s = QGuiApplication::primaryScreen()) move(s->availableGeometry().center() - rect().center());
    show();
    raise();
    return 1;
}

void TfrmExam::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    countdown_ = kCountdownSeconds;
    ui_->lbTime->setText(QString::number(countdown_));
    timer1_.start();
}

void TfrmExam::closeEvent(QCloseEvent* e) {
    timer1_.stop();
    QWidget::closeEvent(e);
}

void TfrmExam::Timer1Timer() {
    ui_->lbTime->setText(QString::number(countdown_));
    if (countdown_ > 0) --countdown_;
    if (countdown_ < 1) {
        timer1_.stop();
        close();
    }
}

void TfrmExam::btnOKClick() {
    int32_t index = 0;
    for (QToolButton* b : buttons_)
        if (b->isChecked()) {
            index = orb::AnswerIndex(b->text().toStdString());
            break;
        }
    if (index == 0) {
        if (ShowError)
            ShowError(QStringLiteral(
                "No answer selected. \r\nPlease select an answer entry by pressing the appropriate answer button."));
        return;
    }
    if (SendAnswer) SendAnswer(poll_.fromId, index);
    close();
}

void TfrmExam::btnCancelClick() { close(); }

