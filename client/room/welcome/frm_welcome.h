#pragma once
// TfrmWelcome: the host's welcome page (closes itself after a minute) or the moderator tips (with
// "Do not show these tips any more."), made on demand after entering a room; frees itself when
// closed and reports the check box.

#include <QWidget>
#include <functional>
#include <memory>
#include <string>

#include "libraries/browser_rules.h"
#include "webview/web_view.h"

namespace Ui {
class TfrmWelcome;
}

class TfrmWelcome : public QWidget {
    Q_OBJECT
public:
    // `closed` hears the check box when the window closes.
    TfrmWelcome(orb::IEventLoop& loop, std::function<void(bool dismissChecked)> closed, QWidget* parent = nullptr);
    ~TfrmWelcome() override;

    // Shows the page: tips mode at left/top, host mode centred on the screen. Only web pages open.
    void ShowPage(const std::string& address, bool tips, int left, int top, int height, int width);
    void SetDismissChecked(bool checked);
    QString DismissText() const;
    bool DismissCheckBoxShown() const;
    bool CloseTimerRunning() const { return tmrCloseWellcome.Running(); }
    orb::room::IWebView* View() const { return view_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    std::unique_ptr<Ui::TfrmWelcome> ui_;
    orb::room::IWebView* view_ = nullptr;
    orb::TWelcomeCloseTimer tmrCloseWellcome;
    std::function<void(bool)> closed_;
};
