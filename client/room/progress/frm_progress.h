#pragma once
// The small always-on-top window that shows how far connecting, logging in and entering a room
// has come. Created once, shown and hidden as needed; closing it only hides it. While any modal
// window (a message box, a question, a dialog) is up, it stays out of the way: it would cover the
// question and take its keys.

#include <QList>
#include <QPointer>
#include <QWidget>

#include <memory>

#include "session/progress_view.h"

namespace Ui {
class TfrmProgress;
}
class QLabel;
class QProgressBar;

class TfrmProgress final : public QWidget, public orb::IProgressView {
    Q_OBJECT
public:
    explicit TfrmProgress(QWidget* parent = nullptr);
    ~TfrmProgress() override;

    void ShowCentered() override;
    void SetRange(int maximum) override;
    void SetStep(int position, const std::string& text) override;
    void HideProgress() override;

    QProgressBar* pBar() const;
    QLabel* lbAction() const;
    QLabel* lbVer() const;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormClose(QCloseEvent* event);
    // Shown again once no modal window is up and the sequence still runs.
    void Resume();
    std::unique_ptr<Ui::TfrmProgress> ui_;
    bool wanted_ = false;
    QList<QPointer<QWidget>> waiting_;  // modal windows on the screen
};
