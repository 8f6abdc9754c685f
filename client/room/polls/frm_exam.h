#pragma once
// The poll answer window: the question, one button per offered answer, Send, and a two-minute
// countdown after which it closes by itself without an answer.

#include <QButtonGroup>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

#include "protocol/records.h"

namespace Ui {
class TfrmExam;
}
class QToolButton;

class TfrmExam : public QWidget {
    Q_OBJECT
public:
    static constexpr int kCountdownSeconds = 120;

    explicit TfrmExam(QWidget* parent = nullptr);
    ~TfrmExam() override;

    // Sends the chosen option (1..26) to the poll's sender; set by the program.
    std::function<bool(int32_t pollSender, int32_t answer)> SendAnswer;
    // The error box (replaced in tests).
    std::function<void(const QString&)> ShowError;

    // Fills the window from the poll and shows it; returns 1.
    int ShowPoll(const TPollInfo& poll);

    // One second of the countdown: shows it, counts down, closes when it falls below 1.
    void Timer1Timer();
    void btnOKClick();
    void btnCancelClick();

    int Countdown() const { return countdown_; }
    const TPollInfo& Poll() const { return poll_; }
    const std::vector<QToolButton*>& AnswerButtons() const { return buttons_; }
    Ui::TfrmExam& Ui() { return *ui_; }
    QTimer& Timer() { return timer1_; }

protected:
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    std::unique_ptr<Ui::TfrmExam> ui_;
    TPollInfo poll_;
    std::vector<QToolButton*> buttons_;
    QButtonGroup group_;
    QTimer timer1_;
    int countdown_ = kCountdownSeconds;
};
