#pragma once
// Message boxes of the room windows: the text is always plain text, so nothing a server or
// another user sent can turn into markup or a link.

#include <QMessageBox>
#include <string>

namespace orb::room {

int PlainMessageBox(QWidget* parent, QMessageBox::Icon icon, const QString& text,
                    QMessageBox::StandardButtons buttons = QMessageBox::Ok);
inline QString FromUtf8(const std::string& s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

}  // namespace orb::room
