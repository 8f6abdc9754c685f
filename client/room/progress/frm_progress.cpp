#include "frm_progress.h"

#include <QApplication>
#include <QCloseEvent>
#include <QScreen>

#include "ui_frm_progress.h"

TfrmProgress::TfrmProgress(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint), ui_(std::make_unique<Ui::TfrmProgress>()) {
    ui_->setupUi(this);
}

TfrmProgress::~TfrmProgress() = default;

QProgressBar* TfrmProgress::pBar() const { return ui_->pBar; }
QLabel* TfrmProgress::lbAction() const { return ui_->lbAction; }
QLabel* TfrmProgress::lbVer() const { return ui_->lbVer; }

void TfrmProgress::ShowCentered() {
    if (QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen()) {
        QRect area = screen->geometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
    ui_->lbVer->setText(QStringLiteral("Version 6.2"));
    show();
}

void TfrmProgress::SetRange(int maximum) {
    ui_->pBar->setMinimum(0);
    ui_->pBar->setMaximum(maximum);
    ui_->pBar->setValue(0);
}

void TfrmProgress::SetStep(int position, const std::string& text) {
    ui_->pBar->setValue(position);
    ui_->lbAction->setText(QString::fromStdString(text));
    // The caller usually blocks on the network next, so the step is painted now; the event loop
    // is not run here, so no handler can re-enter the sequence that shows this step.
    if (isVisible()) repaint();
}

void TfrmProgress::HideProgress() { hide(); }

void TfrmProgress::closeEvent(QCloseEvent* event) { FormClose(event); }

void TfrmProgress::FormClose(QCloseEvent* event) {
    // The window lives for the whole run; closing it only hides it.
    event->accept();
    hide();
}
