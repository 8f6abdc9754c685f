#include "frm_web_links.h"

#include "common/message_box.h"
#include "dm/dm.h"
#include "libraries/library_records.h"
#include "protocol/wm_app.h"
#include "ui_frm_web_links.h"

using namespace orb;
using orb::room::FromUtf8;
using orb::room::PlainMessageBox;

TfrmWebLinks::TfrmWebLinks(QWidget* parent) : QWidget(parent), ui_(std::make_unique<Ui::TfrmWebLinks>()) {
    ui_->setupUi(this);
    setObjectName(QStringLiteral("TfrmWebLinks"));
    ui_->lvLinks->setColumnWidth(0, 180);
    connect(ui_->acReloadList, &QAction::triggered, this, [this] {
        if (dm_) dm_->SendWebLinkListRequest();
    });
    connect(ui_->acUploadLink, &QAction::triggered, this, &TfrmWebLinks::UploadLink);
    connect(ui_->acExecuteLink, &QAction::triggered, this, &TfrmWebLinks::ExecuteLink);
    connect(ui_->lvLinks, &QTreeWidget::itemDoubleClicked, this, &TfrmWebLinks::ExecuteLink);
    connect(ui_->acDeleteLink, &QAction::triggered, this, &TfrmWebLinks::DeleteLink);
    connect(ui_->eURL, &QLineEdit::textChanged, this, &TfrmWebLinks::UpdateActions);
    connect(ui_->eComment, &QLineEdit::textChanged, this, &TfrmWebLinks::UpdateActions);
    connect(ui_->lvLinks, &QTreeWidget::itemSelectionChanged, this, &TfrmWebLinks::UpdateActions);
    connect(ui_->btnClose, &QToolButton::clicked, this, &QWidget::close);
    UpdateActions();
}

TfrmWebLinks::~TfrmWebLinks() = default;

void TfrmWebLinks::Bind(TDM* dm) {
    dm_ = dm;
    dm_->Libraries.webLinksWindow =
        window_.Register(dm_->Loop(), [this](uint32_t msg, std::intptr_t w, std::intptr_t) { Message(msg, w); });
}

void TfrmWebLinks::Fill() {
    if (dm_) library::FillList(ui_->lvLinks, vkWebLinkList, dm_->Libraries.webLinks);
    UpdateActions();
}

void TfrmWebLinks::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (dm_) dm_->SendWebLinkListRequest();
}

void TfrmWebLinks::UpdateActions() {
    ui_->acUploadLink->setEnabled(!ui_->eURL->text().trimmed().isEmpty() &&
                                  !ui_->eComment->text().trimmed().isEmpty());
    ui_->acDeleteLink->setEnabled(!ui_->lvLinks->selectedItems().isEmpty());
}

void TfrmWebLinks::Message(uint32_t msg, std::intptr_t wParam) {
    if (!dm_) return;
    if (msg == WM_APP_WEBLINKADDED) {
        if (wParam != 0) {
            PlainMessageBox(this, QMessageBox::Critical, tr("Error occured while uploading resource! Please try again."));
            return;
        }
        dm_->SendWebLinkListRequest();
        ui_->eURL->clear();
        ui_->eComment->clear();
    } else if (msg == WM_APP_RESOURCEDELETED) {
        if (wParam != 0)
            PlainMessageBox(this, QMessageBox::Critical,
                            tr("Unable to delete resource. It may be currently in use or does not exist any more on "
                               "the server."));
        else
            dm_->SendWebLinkListRequest();
    }
}

void TfrmWebLinks::UploadLink() {
    if (!dm_ || !ui_->acUploadLink->isEnabled()) return;
    std::string error;
    if (!dm_->SendAddWebLink(ui_->eComment->text().toStdString(), ui_->eURL->text().toStdString(), &error) &&
        !error.empty())
        PlainMessageBox(this, QMessageBox::Critical, FromUtf8(error));
}

void TfrmWebLinks::ExecuteLink() {
    if (!dm_) return;
    auto record = library::Selected(ui_->lvLinks, dm_->Libraries.webLinks);
    if (!record) return;
    dm_->OpenWebPage(record->fileName, dm_->OwnLoginInfo.UserId(), rtWebLink, record->description);
}

void TfrmWebLinks::DeleteLink() {
    if (!dm_) return;
    auto record = library::Selected(ui_->lvLinks, dm_->Libraries.webLinks);
    if (!record) return;
    if (!dm_->IsPresenter()) {
        PlainMessageBox(this, QMessageBox::Critical, tr("You don't have permission to delete public resources."));
        return;
    }
    dm_->SendDeleteResource(rtWebLink, *record);
}
