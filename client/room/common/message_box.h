#pragma once
// Message boxes of the room windows: the text is always plain text, so nothing a server or
// another user sent can turn into markup or a link.

#include <QMessageBox>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>

namespace orb::room {

// Modal: runs a loop of its own until the user answers. Only for what the user started.
int PlainMessageBox(QWidget* parent, QMessageBox::Icon icon, const QString& text,
                    QMessageBox::StandardButtons buttons = QMessageBox::Ok);
// Shown without a loop of its own: the caller returns at once and the box frees itself when closed.
// What a received message makes us say goes this way, since the reader waits for its handler and a
// waiting reader answers no heartbeat. `answered` (if set) runs with the button pressed.
// Without `answered` the box is one of the bounded notices (TNoticeBoxes): the same text while its
// box is open only counts in that box, and few boxes are open at once. Null when nothing new opened
// (queued, or dropped past the queue).
QMessageBox* ShowPlainMessage(QWidget* parent, QMessageBox::Icon icon, const QString& text,
                              QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                              std::function<void(int)> answered = {});
inline QString FromUtf8(const std::string& s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }
// A text shown as a menu item's or button's caption: Qt reads "&" as the shortcut marker, so a
// smiley code or a person's name keeps its "&" only doubled.
inline QString MenuCaption(QString text) { return text.replace(QLatin1Char('&'), QLatin1String("&&")); }
// The text such a caption stands for.
inline QString CaptionText(QString caption) { return caption.replace(QLatin1String("&&"), QLatin1String("&")); }

// How many notice boxes a stream of received messages may cost: a text already shown adds to its
// box, a few distinct texts are open at once, a few more wait for a box to close, the rest are
// dropped (what they say is already on the screen many times over).
class TNoticeBoxes {
public:
    static constexpr size_t kMaxOpen = 3;
    static constexpr size_t kMaxQueued = 8;
    enum class TOffer { Open, Added, Queued, Dropped };

    TOffer Offer(const std::string& key);
    // The box of `key` closed: the queued key to open now, if any (it counts as open).
    std::optional<std::string> Closed(const std::string& key);
    // How often the key was offered while its box was open or queued (0: neither).
    int Count(const std::string& key) const;
    size_t OpenCount() const { return open_.size(); }
    size_t QueuedCount() const { return queued_.size(); }

private:
    std::map<std::string, int> open_;
    std::deque<std::pair<std::string, int>> queued_;
};

// Number of notice boxes open now (those ShowPlainMessage opened without `answered`).
size_t OpenNoticeBoxes();

}  // namespace orb::room
