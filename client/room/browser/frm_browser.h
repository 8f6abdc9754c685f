#pragma once
// TfrmBrowser: the guided web tour. A moderator's own top-level navigations are shared with the
// room (kind 32); a page pushed by a moderator is loaded and acknowledged (kind 55) once its
// top-level document has loaded. Pop-ups stay inside the view.

#include <QWebEnginePage>
#include <QWidget>
#include <memory>
#include <string>

class TDM;
class QWebEngineView;

namespace orb {
struct Settings;
}

namespace Ui {
class TfrmBrowser;
}

class TfrmBrowser;

// Recognises the navigations of the view's own top-level document and keeps new windows inside.
class TBrowserPage final : public QWebEnginePage {
    Q_OBJECT
public:
    TBrowserPage(TfrmBrowser& form, QObject* parent);

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
    QWebEnginePage* createWindow(WebWindowType type) override;
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString&, int, const QString&) override {}

private:
    TfrmBrowser& form_;
};

class TfrmBrowser : public QWidget {
    Q_OBJECT
public:
    explicit TfrmBrowser(QWidget* parent = nullptr);
    ~TfrmBrowser() override;

    void Bind(TDM* dm, orb::Settings* settings);

    // Goes to the address for whoever pushed it (0: nobody to acknowledge); any failure is swallowed.
    void OpenPage(const std::string& address, int32_t pusher, int32_t type, int32_t flag, const std::string& title);

    QWebEngineView* View() const { return view_; }
    QWebEngineView* EnsureView();

    // From the page.
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
    QWebEngineView* view_ = nullptr;
    TBrowserPage* page_ = nullptr;
    TDM* dm_ = nullptr;
    orb::Settings* settings_ = nullptr;
    int32_t pusher_ = 0;
    int32_t type_ = 0;
    int32_t flag_ = 0;
    // Set by OpenPage until the top-level document it started has loaded.
    bool awaitingLoad_ = false;
};
