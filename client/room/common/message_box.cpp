#include "common/message_box.h"

namespace orb::room {

int PlainMessageBox(QWidget* parent, QMessageBox::Icon icon, const QString& text, QMessageBox::StandardButtons buttons) {
    QMessageBox box(icon, QStringLiteral("Orbelo Live Browser"), text, buttons, parent);
    box.setTextFormat(Qt::PlainText);
    return box.exec();
}

}  // namespace orb::room
