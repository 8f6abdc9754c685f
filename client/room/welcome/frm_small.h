#pragma once
// Two windows the program makes at start that have no behaviour of their own: the connection
// speed chooser and the text messages window.

#include <QWidget>
#include <memory>

namespace Ui {
class TfrmConnectionSpeedChooser;
class TfrmTextMessages;
}  // namespace Ui

class TfrmConnectionSpeedChooser : public QWidget {
    Q_OBJECT
public:
    explicit TfrmConnectionSpeedChooser(QWidget* parent = nullptr);
    ~TfrmConnectionSpeedChooser() override;

private:
    std::unique_ptr<Ui::TfrmConnectionSpeedChooser> ui_;
};

class TfrmTextMessages : public QWidget {
    Q_OBJECT
public:
    explicit TfrmTextMessages(QWidget* parent = nullptr);
    ~TfrmTextMessages() override;

private:
    std::unique_ptr<Ui::TfrmTextMessages> ui_;
};
