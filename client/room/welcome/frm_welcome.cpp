#include "frm_welcome.h"

#include <QCloseEvent>
#include <QScreen>
#include <QTimer>

#include <malloc.h>

#include "common/message_box.h"
#include "libraries/library_records.h"
#include "ui_frm_welcome.h"

TfrmWelcome::TfrmWelcome(orb::IEventLoop& loop, std::function<void(bool)> closed, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint),
      ui_(std::make_unique<Ui::TfrmWelcome>()),
      tmrCloseWellcome(loop),
      closed_(std::move(closed)) {
    ui_->setupUi(this);
    setObjectName(QStringLiteral("TfrmWelcome"));
    setAttribute(Qt::WA_DeleteOnClose);
    ui_->lbDismiss->setTextFormat(Qt::PlainText);
    connect(ui_->Label1, &QPushButton::clicked, this, &QWidget::close);
}

TfrmWelcome::~TfrmWelcome() {
    // The page's memory goes with the window (its renderer ends with it); what the engine freed in
    // this process goes back to the system once the engine has let go of the page.
    if (view_) QTimer::singleShot(2000, [] { malloc_trim(0); });
}

void TfrmWelcome::SetDismissChecked(bool checked) { ui_->cbDismiss->setChecked(checked); }
QString TfrmWelcome::DismissText() const { return ui_->lbDismiss->text(); }
bool TfrmWelcome::DismissCheckBoxShown() const { return !ui_->cbDismiss->isHidden(); }

void TfrmWelcome::ShowPage(const std::string& address, bool tips, int left, int top, int height, int width) {
    const orb::TWelcomeLayout layout = orb::WelcomeLayout(tips);
    if (width > 0 && height > 0) resize(width, height);
    ui_->lbDismiss->setText(orb::room::FromUtf8(layout.dismissText));
    ui_->layBottom->setContentsMargins(layout.dismissLeft, 4, 8, 4);
    ui_->cbDismiss->setVisible(layout.checkBoxVisible);
    if (layout.centred) {
        if (QScreen* s = screen()) move(s->availableGeometry().center() - rect().center());
    } else {
        move(left, top);
    }
    if (layout.closesItself) tmrCloseWellcome.Start([this] { close(); });
    show();
    // Only web pages: the address comes from the room's settings on the server.
    if (!orb::IsAllowedPageAddress(address)) return;
    if (!view_) {
        // The web engine is loaded with the first page shown, not before.
        view_ = orb::room::MakeWebView(ui_->pWeb, {}, QStringLiteral("wbWelcome"));
        if (!view_) return;
        ui_->layWeb->addWidget(view_->Widget());
    }
    view_->Load(QUrl(orb::room::FromUtf8(address)));
}

void TfrmWelcome::closeEvent(QCloseEvent* event) {
    tmrCloseWellcome.Stop();
    if (closed_) {
        auto closed = std::move(closed_);
        closed_ = nullptr;
        closed(ui_->cbDismiss->isChecked());
    }
    QWidget::closeEvent(event);
}
