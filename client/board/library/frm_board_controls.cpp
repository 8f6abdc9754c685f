#include "board/library/frm_board_controls.h"

#include <QDateTime>
#include <QMessageBox>
#include <QStringDecoder>
#include <QToolBar>

#include "ui_frm_board_controls.h"

namespace {

QString DateTimeText(double days) {
    // Days since 30 December 1899, local time.
    if (!(days > -1e6 && days < 1e6)) return {};
    const QDateTime base(QDate(1899, 12, 30), QTime(0, 0));
    return base.addMSecs(qint64(days * 86400000.0)).toString(QStringLiteral("yyyy-MM-dd hh:mm"));
}

QString Cp1252(const std::string& text) {
    QStringDecoder decode("windows-1252");
    if (!decode.isValid()) return QString::fromLatin1(text.data(), qsizetype(text.size()));
    return decode(QByteArrayView(text.data(), qsizetype(text.size())));
}

}  // namespace

TfrmBoardControls::TfrmBoardControls(QWidget* parent)
    : QWidget(parent), ui_(std::make_unique<Ui::TfrmBoardControls>()) {
    ui_->setupUi(this);
    setObjectName(QStringLiteral("TfrmBoardControls"));
    ui_->lvBoardCont->setColumnWidth(0, 300);
    ui_->lvBoardCont->setColumnWidth(1, 100);
    ui_->lvBoardCont->setColumnWidth(2, 100);
    acReload = ui_->tbLibrary->addAction(QStringLiteral("Refresh"));
    acReload->setObjectName(QStringLiteral("acReload"));
    acReload->setToolTip(QStringLiteral("Reload the image library"));
    acLoad = ui_->tbLibrary->addAction(QStringLiteral("Load"));
    acLoad->setObjectName(QStringLiteral("acLoad"));
    acLoad->setToolTip(QStringLiteral("Open selected image"));
    acDelete = ui_->tbLibrary->addAction(QStringLiteral("Delete"));
    acDelete->setObjectName(QStringLiteral("acDelete"));
    acDelete->setToolTip(QStringLiteral("Delete the selected item"));
    connect(acReload, &QAction::triggered, this, &TfrmBoardControls::Reload);
    connect(acLoad, &QAction::triggered, this, &TfrmBoardControls::LoadSelected);
    connect(acDelete, &QAction::triggered, this, &TfrmBoardControls::DeleteSelected);
    connect(ui_->lvBoardCont, &QTreeWidget::itemDoubleClicked, this, [this] { LoadSelected(); });
    connect(ui_->lvBoardCont, &QTreeWidget::itemSelectionChanged, this, &TfrmBoardControls::UpdateActions);
    Hooks.ShowError = [this](const QString& text) { QMessageBox::critical(this, windowTitle(), text); };
    UpdateActions();
}

TfrmBoardControls::~TfrmBoardControls() = default;

void TfrmBoardControls::SetItems(const std::vector<TResourceInfo>& items) {
    ui_->lvBoardCont->clear();
    rows_ = items;
    for (size_t i = 0; i < rows_.size(); ++i) {
        const TResourceInfo& r = rows_[i];
        auto* row = new QTreeWidgetItem(ui_->lvBoardCont);
        // Names from the room are plain text in the list.
        row->setText(0, QString::fromUtf8(r.description.data(), qsizetype(r.description.size())));
        row->setText(1, Cp1252(r.ownerName));
        row->setText(2, DateTimeText(r.added));
        row->setData(0, Qt::UserRole, qulonglong(i));
    }
    UpdateActions();
}

const TResourceInfo* TfrmBoardControls::Selected() const {
    const QList<QTreeWidgetItem*> selected = ui_->lvBoardCont->selectedItems();
    if (selected.isEmpty()) return nullptr;
    const qulonglong i = selected.first()->data(0, Qt::UserRole).toULongLong();
    return i < rows_.size() ? &rows_[size_t(i)] : nullptr;
}

void TfrmBoardControls::UpdateActions() {
    const bool any = Selected() != nullptr;
    acLoad->setEnabled(any);
    acDelete->setEnabled(any);
}

void TfrmBoardControls::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    Reload();
}

void TfrmBoardControls::Reload() {
    if (Hooks.RequestList) Hooks.RequestList();
}

void TfrmBoardControls::LoadSelected() {
    const TResourceInfo* row = Selected();
    if (!engine_ || !row || engine_->PlaybackMode() || !engine_->Connected()) return;
    if (engine_->CurrentBoard() != orb::board::kPrivateBoard && !engine_->HasBoardRight()) {
        if (Hooks.ShowError) Hooks.ShowError(QStringLiteral("You don't have permission to load this resource on a shared board."));
        return;
    }
    engine_->SendLibraryImageToBoard(*row);
}

void TfrmBoardControls::DeleteSelected() {
    const TResourceInfo* row = Selected();
    if (!row) return;
    if (!Hooks.CanDelete || !Hooks.CanDelete()) {
        if (Hooks.ShowError) Hooks.ShowError(QStringLiteral("You don't have permission to delete public resources"));
        return;
    }
    if (Hooks.DeleteResource) Hooks.DeleteResource(*row);
}

void TfrmBoardControls::ResourceDeleted(int result) {
    if (result != 0) {
        if (Hooks.ShowError)
            Hooks.ShowError(QStringLiteral("Unable to delete resource. It may be currently in use or does not exist any more on the server."));
        return;
    }
    Reload();
}
