#pragma once
// The session-note prompt ("Session Message"): modal, addressed to one user or to the room.

#include <QDialog>

#include <functional>
#include <memory>

namespace Ui {
class TfrmRequest;
}

namespace orb::room {
// A note of blanks only is not sent.
bool NoteIsEmpty(const QString& text);
constexpr const char* kNothingToSend =
    "Nothing to send. \r\nPlease type your note and press Send. To close without sending press Cancel.";
}  // namespace orb::room

class TfrmRequest final : public QDialog {
    Q_OBJECT
public:
    explicit TfrmRequest(QWidget* parent = nullptr);
    ~TfrmRequest() override;
    Ui::TfrmRequest* ui() const { return ui_.get(); }

    // Clears the note and shows the addressee (plain text).
    void Prepare(const QString& toUser);
    QString Note() const;
    // "Send": accepts unless the note is empty (then warns and stays open).
    void btnSendClick();
    std::function<void(const QString&)> ShowWarning;

protected:
    void showEvent(QShowEvent*) override;

private:
    std::unique_ptr<Ui::TfrmRequest> ui_;
};
