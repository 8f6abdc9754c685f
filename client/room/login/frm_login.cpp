#include "frm_login.h"

#include <QCheckBox>
#include <QComboBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QShowEvent>
#include <QStyle>

#include "dm/dm.h"
#include "settings/reg_helpers.h"
#include "settings/settings.h"
#include "ui_frm_login.h"
#include "util/text_util.h"
#include "util/url.h"

namespace {

QString Q(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }
std::string S(const QString& s) { return s.toUtf8().toStdString(); }

// The installed icon theme's picture, or the style's own when the theme has none.
QIcon ThemeIcon(const char* name, QStyle::StandardPixmap fallback, const QWidget* widget) {
    QIcon icon = QIcon::fromTheme(QString::fromLatin1(name));
    if (icon.isNull()) icon = widget->style()->standardIcon(fallback, nullptr, widget);
    return icon;
}

// Our own header picture where the icon theme has none: a padlock in the header band's colours.
QPixmap PadlockPicture(int size, qreal ratio) {
    QPixmap pixmap(QSize(size, size) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    p.setPen(QPen(QColor(0xd8, 0xdc, 0xe2), s * 0.1, Qt::SolidLine, Qt::FlatCap));
    const QRectF shackle(s * 0.3, s * 0.08, s * 0.4, s * 0.44);
    p.drawArc(shackle, 0, 180 * 16);
    p.drawLine(QPointF(shackle.left(), shackle.center().y()), QPointF(shackle.left(), s * 0.46));
    p.drawLine(QPointF(shackle.right(), shackle.center().y()), QPointF(shackle.right(), s * 0.46));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xf0, 0xa8, 0x30));
    p.drawRoundedRect(QRectF(s * 0.16, s * 0.42, s * 0.68, s * 0.5), s * 0.08, s * 0.08);
    p.setBrush(QColor(0x1d, 0x4f, 0x7c));
    p.drawEllipse(QPointF(s * 0.5, s * 0.6), s * 0.08, s * 0.08);
    p.drawRect(QRectF(s * 0.465, s * 0.62, s * 0.07, s * 0.17));
    return pixmap;
}

bool IsWebAddress(std::string_view url) {
    auto startsNoCase = [&](std::string_view prefix) {
        return url.size() > prefix.size() && orb::EqualsNoCase(url.substr(0, prefix.size()), prefix);
    };
    return startsNoCase("http://") || startsNoCase("https://");
}

}  // namespace

TfLogin::TfLogin(TDM& dm, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint), dm_(dm), ui_(std::make_unique<Ui::TfLogin>()) {
    ui_->setupUi(this);

    const int iconSize = ui_->imgHeader->minimumWidth();
    const QIcon lock = QIcon::fromTheme(QStringLiteral("dialog-password"));
    const QPixmap header = lock.isNull() ? PadlockPicture(iconSize, devicePixelRatioF())
                                         : lock.pixmap(QSize(iconSize, iconSize), devicePixelRatioF());
    ui_->imgHeader->setPixmap(header);
    setWindowIcon(lock.isNull() ? QIcon(header) : lock);
    ui_->BitBtn1->setIcon(ThemeIcon("go-next", QStyle::SP_DialogOkButton, this));
    ui_->BitBtn2->setIcon(ThemeIcon("process-stop", QStyle::SP_DialogCancelButton, this));

    connect(ui_->BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
    connect(ui_->BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
    // clicked, not toggled: filling the box from the settings must not write them back.
    connect(ui_->cbRememberMe, &QCheckBox::clicked, this, [this] { cbRememberMeClick(); });
    connect(ui_->Label5, &QLabel::linkActivated, this, [this] { Label5Click(); });
    connect(ui_->lbConnectionSettings, &QLabel::linkActivated, this, [this] { BitBtn3Click(); });

    for (QLabel* missing : {ui_->lbHostMissing, ui_->lbUserMissing, ui_->lbPasswordMissing}) missing->hide();
    // A fixed dialog border: the layout decides the size (again whenever a missing entry is named).
    FitSize();
}

void TfLogin::FitSize() {
    setMinimumSize(0, 0);
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    if (layout()) layout()->activate();
    adjustSize();
    setFixedSize(size());
}

TfLogin::~TfLogin() = default;

bool TfLogin::Execute() { return exec() == QDialog::Accepted; }

std::string TfLogin::HostText() const { return S(ui_->eRemoteHost->currentText()); }
std::string TfLogin::UserNameText() const { return S(ui_->eUserName->text()); }
std::string TfLogin::PasswordText() const { return S(ui_->ePassword->text()); }

void TfLogin::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) FormShow();
}

void TfLogin::FormShow() {
    // The data module shows the same dialog again while an entry is missing: what the user typed
    // then must stay, so the settings fill the boxes only once.
    if (!filled_) {
        filled_ = true;
        const orb::SignInSettings s = orb::ReadSignInSettings();
        ui_->cbRememberMe->setChecked(s.RememberMe);
        ui_->eUserName->setText(Q(std::string(orb::Trim(s.UserName))));
        ui_->eRemoteHost->setCurrentText(Q(InitialHostText(s.ServerIP, s.ServerPort, FirstPreset())));
        ui_->ePassword->setText(Q(s.Password));
    }

    // The last missing entry of host, password, user name gets the focus; with none missing the
    // first box in tab order has it. A host box holding only ":9910" names no server, so it counts
    // as blank.
    QWidget* focus = ui_->eRemoteHost;
    if (orb::HostFromURL(HostText()).empty()) focus = ui_->eRemoteHost;
    if (ui_->ePassword->text().isEmpty()) focus = ui_->ePassword;
    if (orb::Trim(UserNameText()).empty()) focus = ui_->eUserName;
    focus->setFocus(Qt::OtherFocusReason);
}

std::string TfLogin::FirstPreset() const {
    return ui_->eRemoteHost->count() > 0 ? S(ui_->eRemoteHost->itemText(0)) : std::string();
}

std::string TfLogin::InitialHostText(const std::string& server, int port, const std::string& firstPreset) {
    // Without a server used before, a preset: a newcomer signs in without knowing the address form.
    const std::string host(orb::Trim(server));
    if (host.empty() && !firstPreset.empty()) return firstPreset;
    return host + ":" + std::to_string(port > 0 ? port : kDefaultPort);
}

TfLogin::TMissing TfLogin::MissingEntries(const std::string& host, const std::string& user,
                                          const std::string& password) {
    return {orb::HostFromURL(host).empty(), orb::Trim(user).empty(), password.empty()};
}

bool TfLogin::ShowMissing() {
    const TMissing m = MissingEntries(HostText(), UserNameText(), PasswordText());
    const std::string example = FirstPreset().empty() ? std::string("127.0.0.1:9910") : FirstPreset();
    ui_->lbHostMissing->setText(Q("The server is missing: type its name or address before the port, for example " +
                                  example + "."));
    ui_->lbUserMissing->setText(QStringLiteral("The user name is missing."));
    ui_->lbPasswordMissing->setText(QStringLiteral("The password is missing."));
    const bool changed = ui_->lbHostMissing->isVisibleTo(this) != m.host ||
                         ui_->lbUserMissing->isVisibleTo(this) != m.user ||
                         ui_->lbPasswordMissing->isVisibleTo(this) != m.password;
    ui_->lbHostMissing->setVisible(m.host);
    ui_->lbUserMissing->setVisible(m.user);
    ui_->lbPasswordMissing->setVisible(m.password);
    if (changed) FitSize();
    // The first missing entry in tab order gets the focus.
    if (m.host)
        ui_->eRemoteHost->setFocus(Qt::OtherFocusReason);
    else if (m.user)
        ui_->eUserName->setFocus(Qt::OtherFocusReason);
    else if (m.password)
        ui_->ePassword->setFocus(Qt::OtherFocusReason);
    return m.host || m.user || m.password;
}

void TfLogin::BitBtn1Click() {
    // Asking again without a word would leave the user guessing: the dialog names what is missing
    // next to its box and stays.
    if (ShowMissing()) return;
    dm_.PlaybackMode = false;
    dm_.Launch = orb::lkNone;
    accept();
}

void TfLogin::cbRememberMeClick() {
    const bool remember = ui_->cbRememberMe->isChecked();
    orb::RegWriteVariant(orb::kSettingsKey, "RememberMe", remember, true);
    // The session start decides by the data module's copy whether to store the account.
    dm_.RememberMe = remember;
}

std::string TfLogin::WhatIsThisURL(const std::string& helpURL) {
    std::string url(orb::Trim(helpURL));
    if (url.empty()) url = kSupportURL;
    url += "?topic=whatserver";
    return IsWebAddress(url) ? url : std::string();
}

void TfLogin::Label5Click() {
    const std::string url = WhatIsThisURL(orb::ReadHelpURL());
    if (!url.empty() && dm_.SessionHooks.OpenWithShell) dm_.SessionHooks.OpenWithShell(url);
}

void TfLogin::BitBtn3Click() {
    if (dm_.SessionHooks.OpenConnectionSettings) dm_.SessionHooks.OpenConnectionSettings();
}

std::unique_ptr<orb::ILoginDialog> MakeLoginDialog(TDM& dm, QWidget* parent) {
    return std::make_unique<TfLogin>(dm, parent);
}
