#pragma once
// "Participants": the floating list from which the sharer hands remote control to a participant
// and takes it back, dragged by its title strip.

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

    // The participants to list (user id, name), the own share's state, and the two actions.
    std::function<std::vector<std::pair<int32_t, std::string>>()> Participants;
    std::function<bool()> OwnShareRunning;
    std::function<int32_t()> OwnUserId;
    std::function<void(int32_t user, bool give)> GrantControl;

    // Closes it when it is visible; else shows it at the bounds, stay-on-top, with the control
    // buttons only while the own user shares.
    void ShowDetached(int left, int top, int height, int width);
    void Refill();
    // The selected participant (0 when none, or the own row).
    int32_t SelectedUser() const;
    Ui::TfrmAttendeeSelect& Ui() { return *ui_; }

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    std::unique_ptr<Ui::TfrmAttendeeSelect> ui_;
    QPoint pressWindow_, pressPointer_;
};
