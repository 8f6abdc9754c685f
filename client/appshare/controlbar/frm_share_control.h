#pragma once
// The sharer's control bar: a small stay-on-top bar at the top right of the work area while the
// main window is hidden for the share. Stop, Pause, the participants window, the chat, and the
// main window; the grip tucks the bar to the screen's edge and back.

#include <QWidget>

#include <functional>
#include <memory>

namespace Ui {
class TfrmAppShare_Control;
}

class TfrmAppShare_Control : public QWidget {
    Q_OBJECT
public:
    explicit TfrmAppShare_Control(QWidget* parent = nullptr);
    ~TfrmAppShare_Control() override;

    std::function<void()> OnStop;
    std::function<void()> OnPause;
    std::function<void()> OnUsers;
    std::function<void()> OnChat;
    std::function<void()> OnOrbelo;
    std::function<QRect()> WorkArea;

    // At the work area's top right, not tucked.
    void ShowBar();
    void SetPaused(bool paused);
    void ToggleTuck();
    Ui::TfrmAppShare_Control& Ui() { return *ui_; }

private:
    QRect Area() const;
    std::unique_ptr<Ui::TfrmAppShare_Control> ui_;
    bool tucked_ = false;
};
