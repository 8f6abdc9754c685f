#include "frm_browser.h"

#include <QCloseEvent>
#include <QLineEdit>

#include "common/message_box.h"
#include "common/theme_icons.h"
#include "dm/dm.h"
#include "libraries/browser_rules.h"
#include "libraries/library_records.h"
#include "settings/settings.h"
#include "ui_frm_browser.h"

using orb::room::FromUtf8;
using orb::room::PlainMessageBox;

TfrmBrowser::TfrmBrowser(QWidget* parent) : QWidget(parent), ui_(std::make_unique<Ui::TfrmBrowser>()) {
    ui_->setupUi(this);
    setObjectName(QStringLiteral("TfrmBrowser"));
    using orb::room::ThemeIcon;
    ui_->btnBack->setIcon(ThemeIcon({"go-previous"}, tr("Back")));
    ui_->btnForward->setIcon(ThemeIcon({"go-next"}, tr("Forward")));
    ui_->btnReload->setIcon(ThemeIcon({"view-refresh"}, tr("Reload")));
    ui_->imgUploadRes->setIcon(ThemeIcon({"bookmark-new", "list-add"}, tr("Add")));

    connect(ui_->cbResource->lineEdit(), &QLineEdit::returnPressed, this,
            [this] { Navigate(ui_->cbResource->currentText()); });
    connect(ui_->cbResource, &QComboBox::activated, this,
            [this](int index) { Navigate(ui_->cbResource->itemText(index)); });
    connect(ui_->btnReload, &QToolButton::clicked, this, [this] { Navigate(ui_->cbResource->currentText()); });
    connect(ui_->btnBlank, &QToolButton::clicked, this, [this] { Navigate(QStringLiteral("about:blank")); });
    connect(ui_->btnBack, &QToolButton::clicked, this, [this] {
        if (auto* v = EnsureView()) v->Back();
    });
    connect(ui_->btnForward, &QToolButton::clicked, this, [this] {
        if (auto* v = EnsureView()) v->Forward();
    });
    connect(ui_->imgUploadRes, &QToolButton::clicked, this, &TfrmBrowser::AddToLibrary);
}

TfrmBrowser::~TfrmBrowser() = default;

orb::room::IWebView* TfrmBrowser::EnsureView() {
    // Made when first needed: the web engine is loaded and starts its processes with the first view.
    if (view_) return view_;
    orb::room::TWebViewHooks hooks;
    hooks.navigationRequested = [this](const QUrl& url, bool formSubmission, bool mainFrame) {
        return NavigationRequested(url, formSubmission, mainFrame);
    };
    // A pop-up opens in this view, so nobody's tour leaves the room window.
    hooks.allowPopup = [this] { return AllowPopup(); };
    hooks.loadFinished = [this](bool ok) { LoadFinished(ok); };
    view_ = orb::room::MakeWebView(ui_->pWeb, std::move(hooks), QStringLiteral("wbVisuals"));
    if (view_) ui_->layWeb->addWidget(view_->Widget());
    return view_;
}

void TfrmBrowser::Bind(TDM* dm, orb::Settings* settings) {
    dm_ = dm;
    settings_ = settings;
}

void TfrmBrowser::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    EnsureView();
    pusher_ = 0;
    const bool moderator = dm_ && dm_->OwnLoginInfo.Level() >= 1000;
    ui_->cbResource->setEnabled(moderator);
    ui_->imgUploadRes->setEnabled(moderator);
    ui_->btnBlank->setEnabled(moderator);
}

void TfrmBrowser::closeEvent(QCloseEvent* event) {
    if (dm_ && dm_->BoardRight) dm_->SendBrowserClosed();
    QWidget::closeEvent(event);
}

void TfrmBrowser::OpenPage(const std::string& address, int32_t pusher, int32_t type, int32_t flag,
                           const std::string&) {
    try {
        pusher_ = pusher;
        type_ = type;
        flag_ = flag;
        awaitingLoad_ = true;
        const QString text = FromUtf8(address);
        ui_->cbResource->setEditText(text);
        if (auto* v = EnsureView()) v->Load(QUrl(text));
    } catch (...) {
    }
}

void TfrmBrowser::Navigate(const QString& address) {
    const std::string text = address.trimmed().toStdString();
    if (text.empty() || !dm_) return;
    dm_->OpenWebPage(text, dm_->OwnLoginInfo.UserId(), 2, text);
}

bool TfrmBrowser::NavigationRequested(const QUrl& url, bool formSubmission, bool mainFrame) {
    if (!dm_) return mainFrame ? false : true;
    const std::string address = url.toString(QUrl::FullyEncoded).toStdString();
    const orb::TNavigationDecision d = orb::DecideNavigation(mainFrame, address, formSubmission, pusher_,
                                                             dm_->OwnLoginInfo.UserId(), dm_->OwnLoginInfo.Level());
    if (!d.accept) return false;
    if (!mainFrame || pusher_ != dm_->OwnLoginInfo.UserId() || dm_->OwnLoginInfo.Level() <= 999) return true;
    const QString shown = url.toString();
    if (ui_->cbResource->findText(shown.trimmed()) < 0) ui_->cbResource->addItem(shown.trimmed());
    ui_->cbResource->setEditText(shown);
    if (d.broadcast) {
        const std::string title = view_ ? view_->Title().trimmed().toStdString() : std::string();
        if (auto record = orb::WebLinkRecord(address, title, dm_->OwnLoginInfo.FullName()))
            dm_->SendOpenResource(*record, orb::rtWebLink);
    }
    if (!d.message.empty()) {
        // Not inside the engine's callback: the box runs its own loop.
        const QString text = FromUtf8(d.message);
        QMetaObject::invokeMethod(
            this, [this, text] { PlainMessageBox(this, QMessageBox::Warning, text); }, Qt::QueuedConnection);
    }
    return true;
}

bool TfrmBrowser::AllowPopup() {
    if (!settings_ || !settings_->BlockPopups) return true;
    return PlainMessageBox(this, QMessageBox::Question, FromUtf8(orb::kPopupQuestion),
                           QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

void TfrmBrowser::LoadFinished(bool ok) {
    if (!awaitingLoad_ || !ok) return;
    awaitingLoad_ = false;
    if (dm_) dm_->SendAcknowledge(pusher_);
}

void TfrmBrowser::AddToLibrary() {
    const std::string address = ui_->cbResource->currentText().trimmed().toStdString();
    if (address.empty() || !dm_) return;
    std::string error;
    if (dm_->SendAddWebLink(address, address, &error))
        PlainMessageBox(this, QMessageBox::Information, FromUtf8(orb::kBookmarkedText));
    else if (!error.empty())
        PlainMessageBox(this, QMessageBox::Critical, FromUtf8(error));
}
