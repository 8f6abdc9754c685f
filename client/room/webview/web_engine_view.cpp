// The web engine side of the web views: built as a module, loaded at run time by MakeWebView.
#include <QWebEnginePage>
#include <QWebEngineView>

#include "webview/web_view.h"

using orb::room::IWebView;
using orb::room::TWebViewHooks;

namespace {

// Asks the owner before every navigation and keeps new windows inside the view.
class TPage final : public QWebEnginePage {
public:
    TPage(const TWebViewHooks& hooks, QObject* parent) : QWebEnginePage(parent), hooks_(hooks) {}

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override {
        if (!hooks_.navigationRequested) return true;
        return hooks_.navigationRequested(url, type == NavigationTypeFormSubmitted, isMainFrame);
    }
    QWebEnginePage* createWindow(WebWindowType) override {
        return hooks_.allowPopup && hooks_.allowPopup() ? this : nullptr;
    }
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString&, int, const QString&) override {}

private:
    const TWebViewHooks& hooks_;
};

class TView final : public QWebEngineView, public IWebView {
public:
    TView(QWidget* parent, TWebViewHooks hooks) : QWebEngineView(parent), hooks_(std::move(hooks)) {
        page_ = new TPage(hooks_, this);
        setPage(page_);
        connect(page_, &QWebEnginePage::loadFinished, this, [this](bool ok) {
            if (hooks_.loadFinished) hooks_.loadFinished(ok);
        });
    }
    QWidget* Widget() override { return this; }
    void Load(const QUrl& url) override { load(url); }
    void Back() override { back(); }
    void Forward() override { forward(); }
    QString Title() const override { return page_->title(); }

private:
    TWebViewHooks hooks_;
    TPage* page_ = nullptr;
};

}  // namespace

extern "C" __attribute__((visibility("default"))) IWebView* OrbMakeWebView(QWidget* parent, const TWebViewHooks* hooks,
                                                                           const QString* objectName) {
    auto* view = new TView(parent, hooks ? *hooks : TWebViewHooks{});
    if (objectName) view->setObjectName(*objectName);
    return view;
}
