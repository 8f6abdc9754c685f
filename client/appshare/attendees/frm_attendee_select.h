#pragma once
// "Participants": the floating window from which the sharer hands remote control to a participant
// and takes it back, dragged by its title strip. While it is open it holds the main window's live
// participant panel (rows, icons, joins and departures as they happen), which goes back into the
// main window when it closes.

#include <QPoint>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace Ui {
class TfrmAttendeeSelect;
}

class TfrmAttendeeSelect : public QWidget {
    Q_OBJECT
public:
    explicit TfrmAttendeeSelect(QWidget* parent = nullptr);
    ~TfrmAttendeeSelect() override;

    // The live participant panel to hold while open (taken from its place by the call), and its
    // return when the window closes.
    std::function<QWidget*()> BorrowList;
    std::function<void(QWidget* list)> ReturnList;
    // The participant selected in that panel.
    std::function<int32_t()> SelectedParticipant;
    // Without a panel to borrow: the participants to list (user id, name).
    std::function<std::vector<std::pair<int32_t, std::string>>()> Participants;
    std::function<bool()> OwnShareRunning;
    std::function<int32_t()> OwnUserId;
    std::function<void(int32_t user, bool give)> GrantControl;

    // Closes it when it is visible; else shows it at the bounds, stay-on-top, holding the live
    // panel, with the control buttons only while the own user shares.
    void ShowDetached(int left, int top, int height, int width);
    void Refill();
    // The selected participant (0 when none, or the own row).
    int32_t SelectedUser() const;
    Ui::TfrmAttendeeSelect& Ui() { return *ui_; }

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    void GiveBack();
    QWidget* borrowed_ = nullptr;
    std::unique_ptr<Ui::TfrmAttendeeSelect> ui_;
    QPoint pressWindow_, pressPointer_;
};
