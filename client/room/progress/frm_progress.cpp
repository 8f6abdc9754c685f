#include "frm_progress.h"

#include <QApplication>
#include <QCloseEvent>
#include <QScreen>
#include <QTimer>

#include "ui_frm_progress.h"

TfrmProgress::TfrmProgress(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint), ui_(std::make_unique<Ui::TfrmProgress>()) {
    ui_->setupUi(this);
    // Showing it must never take the focus from the window the user types into.
    setAttribute(Qt::WA_ShowWithoutActivating);
    if (qApp) qApp->installEventFilter(this);
}

TfrmProgress::~TfrmProgress() {
    if (qApp) qApp->removeEventFilter(this);
}

QProgressBar* TfrmProgress::pBar() const { return ui_->pBar; }
QLabel* TfrmProgress::lbAction() const { return ui_->lbAction; }
QLabel* TfrmProgress::lbVer() const { return ui_->lbVer; }

void TfrmProgress::ShowCentered() {
    if (QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen()) {
        QRect area = screen->geometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
    ui_->lbVer->setText(QStringLiteral("Version 6.2"));
    wanted_ = true;
    Resume();
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

void TfrmProgress::HideProgress() {
    wanted_ = false;
    hide();
}

bool TfrmProgress::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::Show && type != QEvent::Hide) return false;
    auto* w = qobject_cast<QWidget*>(watched);
    if (!w || w == this || !w->isWindow()) return false;
    if (type == QEvent::Show && w->isModal()) {
        if (!waiting_.contains(w)) {
            waiting_.append(w);
            connect(w, &QObject::destroyed, this, [this] { Resume(); }, Qt::QueuedConnection);
        }
        hide();
        // Above every window of ours and with the keys, whatever was active before.
        QTimer::singleShot(0, w, [w] {
            if (!w->isVisible()) return;
            w->raise();
            w->activateWindow();
        });
    } else if (type == QEvent::Hide && waiting_.contains(w)) {
        // Looked at once the hiding is done (and after whatever the question's answer started).
        QTimer::singleShot(0, this, [this] { Resume(); });
    }
    return false;
}

void TfrmProgress::Resume() {
    waiting_.removeIf([](const QPointer<QWidget>& w) { return !w || !w->isVisible(); });
    if (wanted_ && waiting_.isEmpty() && !isVisible()) show();
}

void TfrmProgress::closeEvent(QCloseEvent* event) { FormClose(event); }

void TfrmProgress::FormClose(QCloseEvent* event) {
    // The window lives for the whole run; closing it only hides it (until the next sequence).
    event->accept();
    wanted_ = false;
    hide();
}
