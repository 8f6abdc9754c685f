#include "chat/chat_dialogs.h"

#include <QCloseEvent>
#include <QLayout>
#include <QPushButton>

#include "chat/chat_input.h"
#include "ui_frm_chat_holder.h"
#include "ui_frm_message_dlg.h"

TfrmChatHolder::TfrmChatHolder(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint), ui_(std::make_unique<Ui::TfrmChatHolder>()) {
    ui_->setupUi(this);
    setObjectName(QStringLiteral("TfrmChatHolder"));
}

TfrmChatHolder::~TfrmChatHolder() = default;

void TfrmChatHolder::ShowDetached(int left, int top, int height, int width) {
    if (isVisible()) {
        close();
        return;
    }
    if (Hooks.TakePanel) panel_ = Hooks.TakePanel();
    if (panel_) {
        panel_->setParent(this);
        layout()->addWidget(panel_);
        panel_->show();
    }
    setGeometry(left, top, width, height);
    show();
    raise();
    activateWindow();
}

void TfrmChatHolder::closeEvent(QCloseEvent* e) {
    if (panel_) {
        layout()->removeWidget(panel_);
        if (Hooks.ReturnPanel) Hooks.ReturnPanel(panel_);
        panel_ = nullptr;
    }
    hide();
    e->accept();
}

TfrmMessageDlg::TfrmMessageDlg(const QString& question, std::function<void()> onOk, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint), ui_(std::make_unique<Ui::TfrmMessageDlg>()) {
    ui_->setupUi(this);
    setObjectName(QStringLiteral("TfrmMessageDlg"));
    setAttribute(Qt::WA_DeleteOnClose);
    ui_->lbMSG->setText(question);
    connect(ui_->buttons, &QDialogButtonBox::accepted, this, [this, onOk = std::move(onOk)] {
        if (onOk) onOk();
        accept();
    });
    connect(ui_->buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

TfrmMessageDlg::~TfrmMessageDlg() = default;

QString TfrmMessageDlg::Question() const { return ui_->lbMSG->text(); }

TfrmMessageDlg* OfferPushedDocument(const QString& question, const std::string& fileName,
                                    const std::filesystem::path& folder,
                                    std::function<void(const std::filesystem::path&, bool)> start, QWidget* parent) {
    const std::string name = orb::chat::SafeDocumentName(fileName);
    if (name.empty() || !start) return nullptr;
    const std::filesystem::path local = folder / name;
    const bool open = !orb::chat::IsExecutableType(name);
    auto* dlg = new TfrmMessageDlg(question, [start = std::move(start), local, open] { start(local, open); }, parent);
    dlg->setModal(false);
    dlg->show();
    return dlg;
}
