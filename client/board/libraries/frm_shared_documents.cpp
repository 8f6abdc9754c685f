#include "frm_shared_documents.h"

#include <QFileDialog>
#include <QInputDialog>
#include <chrono>

#include "common/message_box.h"
#include "dm/dm.h"
#include "libraries/library_records.h"
#include "libraries/local_files.h"
#include "protocol/wm_app.h"
#include "ui_frm_shared_documents.h"

using namespace orb;
using orb::room::FromUtf8;
using orb::room::PlainMessageBox;

namespace {

// The decimal millisecond tick with a running number (see the pushed documents' names).
std::string TickName() {
    using namespace std::chrono;
    static int sequence = 0;
    return std::to_string(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count() & 0x7fffffff) +
           "_L" + std::to_string(++sequence);
}

}  // namespace

TfrmSharedDocuments::TfrmSharedDocuments(QWidget* parent)
    : QWidget(parent), ui_(std::make_unique<Ui::TfrmSharedDocuments>()) {
    ui_->setupUi(this);
    setObjectName(QStringLiteral("TfrmSharedDocuments"));
    ui_->lvDocs->setColumnWidth(0, 180);
    connect(ui_->acUpload, &QAction::triggered, this, &TfrmSharedDocuments::Upload);
    connect(ui_->acReload, &QAction::triggered, this, [this] {
        if (dm_) dm_->SendDocumentListRequest();
    });
    connect(ui_->acDownload, &QAction::triggered, this, &TfrmSharedDocuments::Download);
    connect(ui_->acDelete, &QAction::triggered, this, &TfrmSharedDocuments::Delete);
    connect(ui_->acLaunch, &QAction::triggered, this, &TfrmSharedDocuments::Launch);
    connect(ui_->tbDownload, &QAction::triggered, this, &TfrmSharedDocuments::DownloadAndOpen);
    connect(ui_->lvDocs, &QTreeWidget::itemDoubleClicked, this, &TfrmSharedDocuments::Launch);
    connect(ui_->btnClose, &QToolButton::clicked, this, &QWidget::close);
}

TfrmSharedDocuments::~TfrmSharedDocuments() = default;

void TfrmSharedDocuments::Bind(TDM* dm, std::filesystem::path localData) {
    dm_ = dm;
    localData_ = std::move(localData);
    dm_->Libraries.documentsWindow =
        window_.Register(dm_->Loop(), [this](uint32_t msg, std::intptr_t w, std::intptr_t) { Message(msg, w); });
    // A finished document upload (reply kind 17) reloads this list.
    dm_->UploadWindows.sharedDocuments = dm_->Libraries.documentsWindow;
}

void TfrmSharedDocuments::Fill() {
    if (dm_) library::FillList(ui_->lvDocs, vkDocumentList, dm_->Libraries.documents);
}

void TfrmSharedDocuments::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (dm_) dm_->SendDocumentListRequest();
}

void TfrmSharedDocuments::Message(uint32_t msg, std::intptr_t wParam) {
    if (!dm_) return;
    if (msg == WM_APP_RESOURCEDELETED && wParam != 0) {
        PlainMessageBox(this, QMessageBox::Critical,
                        tr("Unable to delete resource. It may be currently in use or does not exist any more on the "
                           "server."));
    } else if (msg == WM_APP_RESOURCEDELETED || msg == WM_APP_RESOURCELISTCHANGED) {
        dm_->SendDocumentListRequest();
    }
}

void TfrmSharedDocuments::Upload() {
    if (!dm_) return;
    const QString path = QFileDialog::getOpenFileName(this);
    if (path.isEmpty()) return;
    bool ok = false;
    const QString comment = QInputDialog::getText(this, tr("Comment"), tr("Enter a short comment for this file:"),
                                                  QLineEdit::Normal, QFileInfo(path).fileName(), &ok);
    if (!ok) return;
    dm_->StartFileUpload(Handle(), 0, ttDocument, comment.toStdString(), std::filesystem::path(path.toStdString()));
}

void TfrmSharedDocuments::Download() {
    if (!dm_) return;
    auto record = library::Selected(ui_->lvDocs, dm_->Libraries.documents);
    if (!record) return;
    const QString folder = QFileDialog::getExistingDirectory(this, tr("Select a target folder"),
                                                             QString::fromStdString(localData_.string()));
    if (folder.isEmpty()) return;
    // A file already there is kept: the download gets a name of its own beside it.
    const std::filesystem::path local =
        UniqueLocalPath(std::filesystem::path(folder.toStdString()), record->fileName, record->extension);
    if (local.empty()) return;
    dm_->StartFileDownload(record->description, -1, 0, 0, ttDocument, false, local, record->fileName);
}

void TfrmSharedDocuments::Delete() {
    if (!dm_) return;
    auto record = library::Selected(ui_->lvDocs, dm_->Libraries.documents);
    if (!record) return;
    if (!dm_->IsPresenter()) {
        PlainMessageBox(this, QMessageBox::Critical, tr("You don't have permission to delete public resources"));
        return;
    }
    dm_->SendDeleteResource(rtDocument, *record);
}

void TfrmSharedDocuments::Launch() {
    if (!dm_) return;
    auto record = library::Selected(ui_->lvDocs, dm_->Libraries.documents);
    if (!record) return;
    if (dm_->OwnLoginInfo.Level() < 1000) {
        PlainMessageBox(this, QMessageBox::Critical,
                        tr("You don't have permission to load this resource on a shared board."));
        return;
    }
    const std::filesystem::path local = TemporaryPath(*record);
    if (!local.empty()) dm_->StartFileDownload(record->description, -1, 0, 0, ttDocument, true, local, record->fileName);
    dm_->SendOpenResource(*record, rtDocument);
}

std::filesystem::path TfrmSharedDocuments::TemporaryPath(const TResourceInfo& record) const {
    if (!dm_ || dm_->Libraries.DownloadFolder.empty()) return {};
    return UniqueLocalPath(dm_->Libraries.DownloadFolder, TickName(), record.extension);
}

void TfrmSharedDocuments::DownloadAndOpen() {
    if (!dm_) return;
    auto record = library::Selected(ui_->lvDocs, dm_->Libraries.documents);
    if (!record) return;
    const std::filesystem::path local = TemporaryPath(*record);
    if (!local.empty()) dm_->StartFileDownload(record->description, -1, 0, 0, ttDocument, true, local, record->fileName);
}
