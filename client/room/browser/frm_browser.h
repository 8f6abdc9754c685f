#pragma once
// TfrmBrowser: the guided web tour. A moderator's own top-level navigations are shared with the
// room (kind 32); a page pushed by a moderator is loaded and acknowledged (kind 55) once its
// top-level document has loaded. Pop-ups stay inside the view.

#include <QWidget>
#include <memory>
#include <string>

#include "webview/web_view.h"

class TDM;

namespace orb {
struct Settings;
}

namespace Ui {
class TfrmBrowser;
}

class TfrmBrowser : public QWidget {
    Q_OBJECT
public:
    explicit TfrmBrowser(QWidget* parent = nullptr);
    ~TfrmBrowser() override;

    void Bind(TDM* dm, orb::Settings* settings);

    // Goes to the address for whoever pushed it (0: nobody to acknowledge); any failure is swallowed.
    void OpenPage(const std::string& address, int32_t pusher, int32_t type, int32_t flag, const std::string& title);

    orb::room::IWebView* View() const { return view_; }
    // The view, made (and the web engine loaded) when first needed; null when the engine is missing.
    orb::room::IWebView* EnsureView();

    // From the page: its navigations (the top-level document's are recognised) and new windows
    // (kept inside the view).
    bool NavigationRequested(const QUrl& url, bool formSubmission, bool mainFrame);
    bool AllowPopup();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void Navigate(const QString& address);
    void LoadFinished(bool ok);
    void AddToLibrary();

    std::unique_ptr<Ui::TfrmBrowser> ui_;
    orb::room::IWebView* view_ = nullptr;
    TDM* dm_ = nullptr;
    orb::Settings* settings_ = nullptr;
    int32_t pusher_ = 0;
    int32_t type_ = 0;
    int32_t flag_ = 0;
    // Set by OpenPage until the top-level document it started has loaded.
    bool awaitingLoad_ = false;
};
