#pragma once
// The room list shown after login: the own account, the server, and one row per room of the
// server's list. Clicking any label of a row chooses that room and asks to enter it; "Sign Out" or
// two minutes without a choice close it with -1.

#include <QDialog>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "session/session_records.h"

class QLabel;

namespace Ui {
class TfrmRoomList;
}

class TfrmRoomList final : public QDialog {
    Q_OBJECT
public:
    static constexpr int kTimeoutMs = 120000;
    static constexpr int kTitleTop = 5;
    static constexpr int kRowHeight = 20;
    static constexpr int kFirstRowTop = 20;
    static constexpr int kNumberLeft = 10;
    static constexpr int kNameLeft = 50;
    static constexpr int kAccessLeft = 300;

    // `enterRoom` sends the room-entry request for the chosen room.
    TfrmRoomList(std::string server, const orb::TLoginInfo& account, std::function<void(int32_t)> enterRoom,
                 QWidget* parent = nullptr);
    ~TfrmRoomList() override;

    // The access column's text of a room: its privacy, or its state when that keeps it closed.
    static QString AccessText(const orb::TRoomListItem& room);

    void AddRoomRow(const orb::TRoomListItem& room);
    // Starts the time-out and fills the account, the server and the column titles.
    void FormShow();
    void Timer1Timer();
    void Label7Click();  // "Sign Out"

    int RowCount() const { return rowCount_; }
    // 0 while nothing was chosen, the room number after a click, -1 after "Sign Out" or the time-out.
    int32_t ChosenRoom() const { return chosenRoom_; }
    const QTimer& Timer1() const { return timer1_; }
    // The labels of row `row` (number, name, access), for the tests.
    std::vector<QLabel*> RowLabels(int row) const;
    Ui::TfrmRoomList* ui() const { return ui_.get(); }

    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLabel* AddLabel(const QString& text, int left, int top, int width, const QFont& font, bool title);
    void ChooseRoom(int32_t room);
    void FormClose();

    std::unique_ptr<Ui::TfrmRoomList> ui_;
    std::string server_;
    orb::TLoginInfo account_;
    std::function<void(int32_t)> enterRoom_;
    QTimer timer1_;
    int rowCount_ = 0;
    int32_t chosenRoom_ = 0;
    bool titlesShown_ = false;
    bool closing_ = false;
    std::vector<QLabel*> rowLabels_;
};

// Creates the room list for the server and account, adds the rooms, runs it modally, frees it and
// returns the chosen room number (0 or -1 when none was chosen).
int RunRoomList(QWidget* parent, const std::string& server, const orb::TLoginInfo& account,
                const std::vector<orb::TRoomListItem>& rooms, std::function<void(int32_t)> enterRoom);
