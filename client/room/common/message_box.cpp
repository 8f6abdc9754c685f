#include "common/message_box.h"

namespace orb::room {

namespace {

const QString kCaption = QStringLiteral("Orbelo Live Browser");

}  // namespace

int PlainMessageBox(QWidget* parent, QMessageBox::Icon icon, const QString& text, QMessageBox::StandardButtons buttons) {
    QMessageBox box(icon, kCaption, text, buttons, parent);
    box.setTextFormat(Qt::PlainText);
    return box.exec();
}

QMessageBox* ShowPlainMessage(QWidget* parent, QMessageBox::Icon icon, const QString& text,
                              QMessageBox::StandardButtons buttons, std::function<void(int)> answered) {
    auto* box = new QMessageBox(icon, kCaption, text, buttons, parent);
    box->setTextFormat(Qt::PlainText);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    if (answered)
        QObject::connect(box, &QMessageBox::finished, box, [box, answered = std::move(answered)](int) {
            answered(box->standardButton(box->clickedButton()));
        });
    box->show();
    return box;
}

}  // namespace orb::room
