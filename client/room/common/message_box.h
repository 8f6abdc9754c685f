#pragma once
// Message boxes of the room windows: the text is always plain text, so nothing a server or
// another user sent can turn into markup or a link.

#include <QMessageBox>
#include <functional>
#include <string>

namespace orb::room {

// Modal: runs a loop of its own until the user answers. Only for what the user started.
int PlainMessageBox(QWidget* parent, QMessageBox::Icon icon, const QString& text,
                    QMessageBox::StandardButtons buttons = QMessageBox::Ok);
// Shown without a loop of its own: the caller returns at once and the box frees itself when closed.
// What a received message makes us say goes this way, since the reader waits for its handler and a
// waiting reader answers no heartbeat. `answered` (if set) runs with the button pressed.
QMessageBox* ShowPlainMessage(QWidget* parent, QMessageBox::Icon icon, const QString& text,
                              QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                              std::function<void(int)> answered = {});
inline QString FromUtf8(const std::string& s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }
// A text shown as a menu item's or button's caption: Qt reads "&" as the shortcut marker, so a
// smiley code or a person's name keeps its "&" only doubled.
inline QString MenuCaption(QString text) { return text.replace(QLatin1Char('&'), QLatin1String("&&")); }
// The text such a caption stands for.
inline QString CaptionText(QString caption) { return caption.replace(QLatin1String("&&"), QLatin1String("&")); }

}  // namespace orb::room
