#pragma once
// A web view behind a small interface. The web engine lives in a module loaded at run time, when the
// first view is made (from beside the program, else where it was built): a client that never shows
// a page never loads the engine.

#include <QString>
#include <QUrl>
#include <functional>

class QWidget;

namespace orb::room {

struct TWebViewHooks {
    // A navigation is about to start; false stops it. Empty: every navigation goes.
    std::function<bool(const QUrl& url, bool formSubmission, bool mainFrame)> navigationRequested;
    // A page asks for a new window; true opens it in this view. Empty: refused.
    std::function<bool()> allowPopup;
    std::function<void(bool ok)> loadFinished;
};

class IWebView {
public:
    // The view is its widget: deleting the widget (or its parent) ends both.
    virtual ~IWebView() = default;
    virtual QWidget* Widget() = 0;
    virtual void Load(const QUrl& url) = 0;
    virtual void Back() = 0;
    virtual void Forward() = 0;
    // The current page's title.
    virtual QString Title() const = 0;
};

// A new view, a child of `parent`; null when the web engine cannot be loaded.
IWebView* MakeWebView(QWidget* parent, TWebViewHooks hooks, const QString& objectName);
// Whether the web engine has been loaded into this process.
bool WebEngineLoaded();

}  // namespace orb::room

// The module's one entry point.
extern "C" {
typedef orb::room::IWebView* (*OrbMakeWebViewProc)(QWidget* parent, const orb::room::TWebViewHooks* hooks,
                                                   const QString* objectName);
}
