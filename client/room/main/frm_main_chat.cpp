// The main window's chat, notes, menus and volume sliders: the chat views and the input, the
// send-to menu, the chat input's pop-up menu, the notes-and-requests list with its export, theme,
// connection speed, and the two volume trackbars.

#include <QActionGroup>
#include <QApplication>
#include <QFileDialog>
#include <QKeyEvent>
#include <QMenu>
#include <QSaveFile>
#include <QScreen>
#include <QTime>
#include <QToolButton>
#include <QTreeWidget>

#include "audio/init_sound.h"
#include "chat/chat_dialogs.h"
#include "chat/chat_input.h"
#include "chat/chat_views.h"
#include "chat/csv_writer.h"
#include "chat/requests.h"
#include "chat/smiley_pictures.h"
#include "chat/smileys.h"
#include "common/message_box.h"
#include "main/frm_main.h"
#include "protocol/date_time.h"
#include "protocol/wm_app.h"
#include "settings/settings.h"
#include "trackbar/xi_trackbar.h"
#include "ui_frm_main.h"
#include "wire/text.h"

namespace {

QString Q16(const std::u16string& s) { return QString::fromUtf16(s.data(), qsizetype(s.size())); }
std::u16string U16(const QString& s) { return std::u16string(reinterpret_cast<const char16_t*>(s.utf16()), size_t(s.size())); }
QString Q8(const std::string& s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

constexpr int kVolumeStep = 6553;
constexpr int kNoteUserRole = Qt::UserRole;
constexpr int kNoteTimeRole = Qt::UserRole + 1;
constexpr const char* kSupportAddress = "https://www.orbelo.com/support";

bool WriteWhole(const QString& file, const QByteArray& bytes) {
    // Written to a temporary name and renamed: a failed save never leaves half a file.
    QSaveFile f(file);
    if (!f.open(QIODevice::WriteOnly)) return false;
    if (f.write(bytes) != bytes.size()) {
        f.cancelWriting();
        return false;
    }
    return f.commit();
}

}  // namespace

using orb::room::TChatBrowser;
using orb::room::TChatViews;

void TfOrbeloMain::SetupChatUi() {
    chatViews_ = std::make_unique<TChatViews>(ui_->pnlChatViews);
    chatViews_->SetContextMenu([this](TChatBrowser* v, const QPoint& p) { pmChat_->popup(v->mapToGlobal(p)); });

    // ---- The chat input's pop-up menu, in its order around the permissions.
    QAction* perms = miChatPermissions_->menuAction();
    QMenu* smilies = new QMenu(QStringLiteral("Insert smilies"), pmChat_);
    smilies->setObjectName(QStringLiteral("miInsertSmilies"));
    const auto& codes = orb::chat::MenuSmileyCodes();
    for (int i = 0; i < int(codes.size()); ++i) {
        QAction* a = smilies->addAction(QIcon(QPixmap::fromImage(orb::room::SmileyImage(orb::chat::SmileyPicture(codes[size_t(i)])))),
                                        orb::room::MenuCaption(Q16(codes[size_t(i)])));
        a->setIconVisibleInMenu(true);
        connect(a, &QAction::triggered, this, [this, i] { InsertSmiley(i); });
    }
    pmChat_->insertMenu(perms, smilies);
    miSeparateChat_ = new QAction(QStringLiteral("Show text messages in a separate window"), pmChat_);
    miSeparateChat_->setObjectName(QStringLiteral("ToggleMessageHolder"));
    connect(miSeparateChat_, &QAction::triggered, this, [this] { ToggleSeparateChat(); });
    pmChat_->insertAction(perms, miSeparateChat_);
    QAction* multi = new QAction(QStringLiteral("Toggle multi-line editor"), pmChat_);
    connect(multi, &QAction::triggered, this, [this] { SetMultiLine(!multiLine_); });
    pmChat_->insertAction(perms, multi);
    miShowTiming_ = new QAction(QStringLiteral("Show Timing"), pmChat_);
    miShowTiming_->setCheckable(true);
    connect(miShowTiming_, &QAction::triggered, this, [this](bool on) {
        chatViews_->SetShowTiming(on);
        if (chat_.settings) {
            chat_.settings->ShowChatTiming = on;
            if (chat_.saveSettings) chat_.saveSettings();
        }
    });
    pmChat_->insertAction(perms, miShowTiming_);
    QMenu* fonts = new QMenu(QStringLiteral("Font Size"), pmChat_);
    fontGroup_ = new QActionGroup(this);
    for (auto [caption, size] : {std::pair{"Small", 7}, std::pair{"Normal", 8}, std::pair{"Large", 10}}) {
        QAction* a = fonts->addAction(QString::fromLatin1(caption));
        a->setCheckable(true);
        a->setChecked(size == 8);
        a->setProperty("Tag", size);
        fontGroup_->addAction(a);
        connect(a, &QAction::triggered, this, [this, size = size] { ChangeFontSize(size); });
    }
    pmChat_->insertMenu(perms, fonts);
    for (QAction* a : miChatPermissions_->actions())
        connect(a, &QAction::triggered, this, [this, a] {
            // The moderator's own menu follows what was sent (the server tells only the others).
            for (QAction* other : miChatPermissions_->actions()) other->setChecked(other == a);
            if (dm_ && dm_->IsModerator()) dm_->SendChatPermission(a->property("Tag").toInt());
        });
    QMenu* notesPerm = pmChat_->addMenu(QStringLiteral("Notes Permissions"));
    notesPerm->setObjectName(QStringLiteral("miNotesPermissions"));
    for (int tag : {0, 1}) {
        QAction* a = notesPerm->addAction(tag == 0 ? QStringLiteral("Enable Notes") : QStringLiteral("Disable Notes"));
        a->setCheckable(true);
        a->setChecked(tag == 0);
        miNotesPerm_[tag] = a;
        connect(a, &QAction::triggered, this, [this, tag] {
            if (dm_ && dm_->IsModerator()) dm_->SendNotesSwitch(tag == 1);
        });
    }
    notesPerm->menuAction()->setVisible(false);
    pmChat_->addSeparator();
    pmChat_->addAction(QStringLiteral("Clear all text messages"), this, [this] {
        if (AskYesNo("Do you want to clear all text messages?")) chatViews_->ClearAll();
    });
    QAction* save = pmChat_->addAction(QStringLiteral("Save the text messages"));
    connect(save, &QAction::triggered, ui_->acSavePublicChat, &QAction::trigger);
    pmChat_->addSeparator();
    pmChat_->addAction(QStringLiteral("Select All"), this, [this] {
        if (TChatBrowser* v = chatViews_->FindMessageList(chatViews_->FrontKey())) {
            v->Flush();
            v->selectAll();
        }
    });
    pmChat_->addAction(QStringLiteral("Copy"), this, [this] {
        if (TChatBrowser* v = chatViews_->FindMessageList(chatViews_->FrontKey())) {
            v->Flush();
            v->copy();
        }
    });
    // The smilies button pops up the whole chat menu (its smileys included) below itself.
    ui_->btnSmilies->setIcon(QIcon(QPixmap::fromImage(orb::room::SmileyImage(11))));
    ui_->tbSessionNotes->setEnabled(true);

    // ---- The input.
    ui_->eMsg->setEnabled(true);
    ui_->eMultiMsg->setEnabled(true);
    ui_->btnSendMsg->setEnabled(true);
    ui_->eMsg->setMaxLength(32767);
    ui_->pnlMessageSender->setFixedHeight(orb::chat::InputPanelHeight(false));
    connect(ui_->btnSendMsg, &QPushButton::clicked, this, [this] { SendChatInput(); });
    connect(ui_->eMsg, &QLineEdit::textChanged, this, [this] { InputChanged(); });
    connect(ui_->eMultiMsg, &QPlainTextEdit::textChanged, this, [this] { InputChanged(); });
    ui_->hdrTextMessages->setCursor(Qt::PointingHandCursor);
    ui_->hdrTextMessages->setToolTip(QStringLiteral("Click to choose whom to send messages to"));

    pmSendTo_ = new QMenu(this);
    pmSendTo_->setObjectName(QStringLiteral("pmSendTo"));
    QAction* pub = pmSendTo_->addAction(QStringLiteral("Public Messages"));
    pub->setProperty("Tag", 0);
    connect(pmSendTo_, &QMenu::triggered, this, [this](QAction* a) { ChooseSendTo(a); });

    // ---- Requests to the moderator.
    pmRequest_ = new QMenu(this);
    pmRequest_->setObjectName(QStringLiteral("pmRequest"));
    for (int tag = 0; tag < orb::chat::kRequestCaptionCount; ++tag)
        pmRequest_->addAction(QString::fromLatin1(orb::chat::kRequestCaptions[tag]), this, [this, tag] {
            if (dm_) dm_->SendUserRequest(0, uint8_t(tag));
        });
    auto* requestButton = new QToolButton(ui_->pMotionStats);
    requestButton->setObjectName(QStringLiteral("btnRequest"));
    requestButton->setText(QStringLiteral("Request"));
    requestButton->setToolTip(QStringLiteral("Send a request to the moderator"));
    requestButton->setMenu(pmRequest_);
    PopUpOnClick(requestButton);
    if (QLayout* l = ui_->pMotionStats->layout()) l->addWidget(requestButton);

    // ---- Notes and questions.
    ui_->lvRequests->setEnabled(true);
    ui_->lvRequests->setContextMenuPolicy(Qt::CustomContextMenu);
    ui_->lvRequests->setAccessibleName(QStringLiteral("Notes list"));
    pmNotes_ = new QMenu(this);
    pmNotes_->setObjectName(QStringLiteral("pmNotes"));
    const char* const notes[] = {"New Note", "Display Selected Item", "Mark Selected as Complete",
                                 "Delete Selected Item", "Clear All", "Save Notes...", "Disable Notes"};
    for (int i = 0; i < 7; ++i) {
        QAction* a = pmNotes_->addAction(QString::fromLatin1(notes[i]));
        a->setObjectName(QStringLiteral("acNote%1").arg(i));
        connect(a, &QAction::triggered, this, [this, i] { NotesCommand(i); });
    }
    connect(pmNotes_, &QMenu::aboutToShow, this, [this] {
        const auto acts = pmNotes_->actions();
        const bool selected = ui_->lvRequests->currentItem() != nullptr;
        const bool notesOff = dm_ && dm_->NotesDisabled;
        acts[0]->setEnabled(!notesOff);
        for (int i : {1, 2, 3}) acts[i]->setEnabled(selected);
        acts[6]->setVisible(dm_ && dm_->IsModerator());
        acts[6]->setText(notesOff ? QStringLiteral("Enable Notes") : QStringLiteral("Disable Notes"));
    });
    connect(ui_->lvRequests, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& p) { pmNotes_->popup(ui_->lvRequests->viewport()->mapToGlobal(p)); });
    connect(ui_->lvRequests, &QTreeWidget::itemDoubleClicked, this, [this] { ShowSelectedNote(); });
    connect(ui_->tbSessionNotes, &QAction::triggered, this, [this] {
        if (dm_) dm_->ShowSessionMessageDialog(0);
    });

    // ---- File menu: themes, connection speed, saving the chat; Help.
    themeGroup_ = qobject_cast<QActionGroup*>(ui_->miThemeStandard->actionGroup());
    for (QAction* a : ui_->menuChangeTheme->actions()) {
        a->setEnabled(true);
        a->setCheckable(true);
        connect(a, &QAction::triggered, this, [this, a] { ApplyTheme(a->property("Tag").toInt()); });
    }
    for (QAction* a : speedGroup_->actions()) {
        a->setEnabled(true);
        connect(a, &QAction::triggered, this, [this, a] { ChooseSpeed(a); });
    }
    ui_->acSavePublicChat->setEnabled(true);
    connect(ui_->acSavePublicChat, &QAction::triggered, this, [this] {
        if (!chatViews_->FindMessageList(0)) return;
        const QString file = AskSaveFile(
            QStringLiteral("Save public text messages"),
            Q8(orb::chat::ExportFileName("Orbelo Text Messages ", orb::NowDateTime(), ".rtf")),
            QStringLiteral("Rich Text Format (*.rtf)"));
        if (!file.isEmpty() && !SavePublicChat(file)) ShowError("Unable to save the text messages.");
    });
    ui_->acHelpSupport->setEnabled(true);
    connect(ui_->acHelpSupport, &QAction::triggered, this, [this] {
        if (chat_.openUrl) chat_.openUrl(QString::fromLatin1(kSupportAddress));
    });

    // ---- Audio: the volume sliders, the steps and the boost.
    for (TXiTrackBar* bar : {ui_->xiMikeVolume, ui_->xiWaveVolume}) {
        bar->SetColorScheme(csSky);
        bar->SetColor(TXiTrackBar::BackColor, 0xF0F0F0);  // the room window's own colours
        bar->SetTickStyle(orb::room::TTickStyle::None);
        bar->SetMin(0);
        bar->SetMax(65535);
        bar->setEnabled(false);
    }
    QAction* first = ui_->menuAudio->actions().value(1);
    QMenu* speakers = new QMenu(QStringLiteral("Speakers"), ui_->menuAudio);
    speakers->addAction(QStringLiteral("Increase Volume"), this, [this] { StepVolume(false, kVolumeStep); });
    speakers->addAction(QStringLiteral("Decrease Volume"), this, [this] { StepVolume(false, -kVolumeStep); });
    QMenu* mic = new QMenu(QStringLiteral("Microphone"), ui_->menuAudio);
    mic->addAction(QStringLiteral("Increase Volume"), this, [this] { StepVolume(true, kVolumeStep); });
    mic->addAction(QStringLiteral("Decrease Volume"), this, [this] { StepVolume(true, -kVolumeStep); });
    ui_->menuAudio->insertMenu(first, speakers);
    ui_->menuAudio->insertMenu(first, mic);
    miMicBoost_ = new QAction(QStringLiteral("Microphone Boost"), ui_->menuAudio);
    miMicBoost_->setCheckable(true);
    connect(miMicBoost_, &QAction::triggered, this, [this] { ToggleMicBoost(); });
    ui_->menuAudio->insertAction(first, miMicBoost_);
    connect(ui_->menuAudio, &QMenu::aboutToShow, this, [this] { ReadVolumes(); });
}

void TfOrbeloMain::BindChat(TChatBindings bindings) {
    chat_ = std::move(bindings);
    if (chat_.settings) {
        miShowTiming_->setChecked(chat_.settings->ShowChatTiming);
        chatViews_->SetShowTiming(chat_.settings->ShowChatTiming);
        chatViews_->SetFontSize(chat_.settings->ChatFontSize);
        for (QAction* a : fontGroup_->actions()) a->setChecked(a->property("Tag").toInt() == chatViews_->FontSize());
        for (QAction* a : ui_->menuChangeTheme->actions())
            a->setChecked(a->property("Tag").toInt() == chat_.settings->ColorTheme);
    }
    if (chat_.holder) {
        chat_.holder->Hooks.TakePanel = [this]() -> QWidget* {
            QWidget* page = ui_->navTextMessages;
            page->layout()->removeWidget(ui_->navTextMessages->findChild<QWidget*>(QStringLiteral("hdrTextMessages")));
            // The whole chat (header, views, input) moves as one panel.
            auto* panel = new QWidget;
            panel->setObjectName(QStringLiteral("pChatPanel"));
            auto* lay = new QVBoxLayout(panel);
            lay->setContentsMargins(0, 0, 0, 0);
            lay->setSpacing(2);
            for (QWidget* w : {static_cast<QWidget*>(ui_->hdrTextMessages), static_cast<QWidget*>(ui_->pnlChatViews),
                               static_cast<QWidget*>(ui_->pnlMessageSender)}) {
                page->layout()->removeWidget(w);
                lay->addWidget(w);
            }
            const int chatPage = ui_->Navigator->indexOf(ui_->navTextMessages);
            ui_->Navigator->setItemEnabled(chatPage, false);
            ui_->Navigator->setCurrentWidget(ui_->navPostIt);
            miSeparateChat_->setEnabled(false);
            return panel;
        };
        chat_.holder->Hooks.ReturnPanel = [this](QWidget* panel) {
            for (QWidget* w : {static_cast<QWidget*>(ui_->hdrTextMessages), static_cast<QWidget*>(ui_->pnlChatViews),
                               static_cast<QWidget*>(ui_->pnlMessageSender)}) {
                panel->layout()->removeWidget(w);
                w->setParent(ui_->navTextMessages);
                ui_->navTextMessages->layout()->addWidget(w);
                w->show();
            }
            panel->deleteLater();
            const int chatPage = ui_->Navigator->indexOf(ui_->navTextMessages);
            ui_->Navigator->setItemEnabled(chatPage, true);
            ui_->Navigator->setCurrentWidget(ui_->navTextMessages);
            miSeparateChat_->setProperty("Tag", 0);
            miSeparateChat_->setEnabled(true);
        };
    }
    // Each of these items is open once something handles it (the command object watches them).
    if (chat_.showUserCard)
        connect(ui_->acViewMyProfile, &QAction::triggered, this, [this] {
            if (dm_ && !dm_->PlaybackMode) chat_.showUserCard(dm_->OwnUserId);
        });
    if (chat_.showProfileEditor)
        connect(ui_->acEditMyProfile, &QAction::triggered, this, [this] {
            if (dm_ && !dm_->PlaybackMode) chat_.showProfileEditor();
        });
}

// ---- Chat input

QString TfOrbeloMain::InputText() const {
    return multiLine_ ? ui_->eMultiMsg->toPlainText() : ui_->eMsg->text();
}

void TfOrbeloMain::ClearInput() {
    ui_->eMsg->clear();
    ui_->eMultiMsg->clear();
}

void TfOrbeloMain::FocusInput() {
    if (multiLine_)
        ui_->eMultiMsg->setFocus();
    else
        ui_->eMsg->setFocus();
}

void TfOrbeloMain::SendChatInput() {
    const QString text = InputText();
    if (!text.isEmpty()) {
        // The record builder cuts what does not fit its byte count; the input sends the whole text.
        if (dm_) dm_->SendChatText(U16(text));
        ClearInput();
    } else if (typing_) {
        typing_ = false;
        if (dm_) dm_->SendTypingState(0);
    }
    FocusInput();
}

void TfOrbeloMain::InputChanged() {
    if (std::optional<int> state = orb::chat::TypingChange(typing_, InputText().isEmpty()); state && dm_)
        dm_->SendTypingState(*state);
}

void TfOrbeloMain::InsertSmiley(int index) {
    const auto& codes = orb::chat::MenuSmileyCodes();
    if (index < 0 || index >= int(codes.size())) return;
    const QString code = Q16(codes[size_t(index)]);
    // At the caret of the draft; the draft is neither replaced nor sent.
    if (multiLine_)
        ui_->eMultiMsg->textCursor().insertText(code);
    else
        ui_->eMsg->insert(code);
    FocusInput();
}

void TfOrbeloMain::SetMultiLine(bool on) {
    if (on == multiLine_) return;
    const QString text = InputText();
    multiLine_ = on;
    ui_->eMultiMsg->setVisible(on);
    ui_->eMsg->setVisible(!on);
    ui_->pnlMessageSender->setFixedHeight(orb::chat::InputPanelHeight(on));
    {
        const QSignalBlocker a(ui_->eMsg), b(ui_->eMultiMsg);
        ui_->eMsg->setText(on ? QString() : QString(text).replace(QLatin1Char('\n'), QLatin1Char(' ')));
        ui_->eMultiMsg->setPlainText(on ? text : QString());
    }
    if (on) ui_->eMultiMsg->moveCursor(QTextCursor::End);
    FocusInput();
}

// ---- Chat target

void TfOrbeloMain::SetChatHeader(const QString& text) { ui_->hdrTextMessages->setText(text); }

void TfOrbeloMain::FillSendToMenu() {
    for (QAction* a : pmSendTo_->actions())
        if (a->property("Tag").toInt() > 0) {
            pmSendTo_->removeAction(a);
            a->deleteLater();
        }
    if (!dm_) return;
    for (size_t i = 0; i < dm_->Participants.Count(); ++i) {
        const orb::TParticipantRow& row = dm_->Participants.Row(i);
        if (row.userId == dm_->OwnUserId || row.userId <= 0) continue;
        QAction* a = pmSendTo_->addAction(orb::room::MenuCaption(Q8(orb::chat::SendToCaption(row.caption, row.level))));
        a->setProperty("Tag", row.userId);
    }
    // The current addressee carries a tick.
    for (QAction* a : pmSendTo_->actions()) {
        a->setCheckable(true);
        a->setChecked(orb::room::CaptionText(a->text()) == ui_->hdrTextMessages->text());
    }
}

void TfOrbeloMain::ChooseSendTo(QAction* item) {
    if (!item) return;
    const int tag = item->property("Tag").toInt();
    SetChatHeader(orb::room::CaptionText(item->text()));
    if (tag <= 0) {
        if (controller_) controller_->HandleMessage(WM_APP_CHATTARGET, 0, 0);
        chatViews_->FindOrCreate(0);
        chatViews_->BringToFront(0);
        SetChatHeader(QStringLiteral("Public Messages"));
    } else if (controller_) {
        controller_->HandleMessage(WM_APP_CHATTARGET, 1, tag);
    }
}

void TfOrbeloMain::SelectChatTarget(int type, int32_t user) {
    TChatBrowser* view = nullptr;
    if (type == 0) {
        bool created = false;
        view = chatViews_->FindOrCreate(0, &created);
        if (created) {
            chatViews_->BringToFront(0);
            SetChatHeader(QStringLiteral("Public Messages"));
        }
    } else if (type == 1 && user != 0 && (!dm_ || user != dm_->OwnUserId)) {
        view = chatViews_->FindOrCreate(user);
        chatViews_->BringToFront(user);
        const orb::TParticipantRow* row = dm_ ? dm_->Participants.FindUser(user) : nullptr;
        SetChatHeader(row ? Q8(row->caption) : QStringLiteral("Unknown User"));
    }
    // Every join and leave chooses the public chat again: the move to the end waits for the turn's
    // end, once, rather than laying the document out for each of them.
    if (view) view->ScrollToEnd();
}

// ---- IChatView

void TfOrbeloMain::AddChatMessage(int32_t key, const std::u16string& sender, bool notice, uint32_t colour,
                                  const std::u16string& text) {
    chatViews_->AddChatMessage(key, Q16(sender), notice, colour, Q16(text));
}

void TfOrbeloMain::AddNoteRow(const orb::chat::TNoteRow& row) {
    auto* item = new QTreeWidgetItem(ui_->lvRequests);
    item->setText(0, Q8(row.time));
    item->setText(1, Q16(row.text));
    item->setText(2, Q8(row.sender));
    item->setText(3, Q8(row.status));
    item->setData(0, kNoteUserRole, row.senderUser);
    item->setData(0, kNoteTimeRole, row.dateTime);
    item->setToolTip(1, Q16(row.text));
    // The oldest rows leave the list: a stream of notes costs the same memory as a few.
    while (ui_->lvRequests->topLevelItemCount() > kMaxNoteRows) delete ui_->lvRequests->takeTopLevelItem(0);
}

void TfOrbeloMain::ClearNotes() { ui_->lvRequests->clear(); }

void TfOrbeloMain::ShowChatPopup(const std::u16string& sender, const std::u16string& text) {
    if (chat_.chatPopup) chat_.chatPopup(Q16(sender), Q16(text));
}

void TfOrbeloMain::ShowUserNote(const std::string& sender, const std::u16string& text, double dateTime) {
    if (chat_.textNote) chat_.textNote(Q8(sender), Q16(text), dateTime);
}

bool TfOrbeloMain::FullScreen() const { return ui_->acFullScreen->isChecked(); }

bool TfOrbeloMain::ChatPageActive() const { return ui_->Navigator->currentWidget() == ui_->navTextMessages; }

bool TfOrbeloMain::SeparateChatWindow() const { return chat_.holder && chat_.holder->isVisible(); }

bool TfOrbeloMain::AskSessionMessage(const std::string& addressee, std::u16string& text) {
    if (!chat_.askSessionMessage) return false;
    QString t;
    if (!chat_.askSessionMessage(Q8(addressee), t) || t.trimmed().isEmpty()) return false;
    text = U16(t);
    return true;
}

void TfOrbeloMain::ToggleSeparateChat() {
    if (!chat_.holder) return;
    QRect screenRect = screen() ? screen()->geometry() : QRect(0, 0, 1024, 768);
    miSeparateChat_->setProperty("Tag", 1);
    chat_.holder->ShowDetached(screenRect.center().x() - 250, screenRect.center().y() - 175, 350, 500);
}

// ---- Notes and questions

void TfOrbeloMain::NotesCommand(int command) {
    QTreeWidgetItem* item = ui_->lvRequests->currentItem();
    switch (command) {
    case 0:  // New Note
        if (dm_ && !dm_->NotesDisabled) dm_->ShowSessionMessageDialog(0);
        break;
    case 1: ShowSelectedNote(); break;
    case 2:
        if (item) {
            item->setText(3, QStringLiteral("Complete"));
            StrikeOut(item);
        }
        break;
    case 3:
        if (item && AskYesNo("Are you sure you want to remove this item from the list?")) delete item;
        break;
    case 4:
        if (dm_ && dm_->OwnLoginInfo.Level() > 999) {
            if (AskYesNo("Are you sure you want to clear all the items?")) dm_->SendClearNotes();
        } else if (AskYesNo("Are you sure you want to clear your local list?")) {
            ClearNotes();
        }
        break;
    case 5: {
        const QString file = AskSaveFile(
            QStringLiteral("Save public text messages"),
            Q8(orb::chat::ExportFileName("Orbelo Session Notes ", orb::NowDateTime(), ".csv")),
            QStringLiteral("Comma-separated values (*.csv);;Text (*.txt)"));
        if (!file.isEmpty() && !SaveNotes(file)) ShowError("Unable to save the notes.");
        break;
    }
    case 6:
        // Sends 1 while notes are enabled, 0 while disabled.
        if (dm_ && dm_->IsModerator()) dm_->SendNotesSwitch(!dm_->NotesDisabled);
        break;
    default: break;
    }
}

void TfOrbeloMain::StrikeOut(QTreeWidgetItem* item) {
    const bool pending = item->text(3) == QLatin1String("Pending");
    for (int c = 0; c < item->columnCount(); ++c) {
        QFont f = item->font(c);
        f.setStrikeOut(!pending);
        item->setFont(c, f);
    }
}

void TfOrbeloMain::ShowSelectedNote() {
    QTreeWidgetItem* item = ui_->lvRequests->currentItem();
    if (!item || !chat_.textNote) return;
    chat_.textNote(item->text(2), item->text(1), item->data(0, kNoteTimeRole).toDouble());
}

bool TfOrbeloMain::SaveNotes(const QString& file) {
    std::vector<std::vector<std::string>> rows;
    rows.push_back({"Orbelo Live Session Notes and Question"});
    rows.push_back({"Date: " + orb::chat::ExportDateText(orb::NowDateTime())});
    rows.push_back({"Time", "Text", "From", "Status", "User Id"});
    for (int i = 0; i < ui_->lvRequests->topLevelItemCount(); ++i) {
        QTreeWidgetItem* it = ui_->lvRequests->topLevelItem(i);
        const int user = it->data(0, kNoteUserRole).toInt();
        rows.push_back({it->text(0).toStdString(), it->text(1).toStdString(), it->text(2).toStdString(),
                        it->text(3).toStdString(), user ? std::to_string(user) : std::string()});
    }
    // With a byte-order mark, so spreadsheets read the text as UTF-8.
    return WriteWhole(file, QByteArray("\xEF\xBB\xBF") + QByteArray::fromStdString(orb::chat::CsvRows(rows)));
}

bool TfOrbeloMain::SavePublicChat(const QString& file) {
    TChatBrowser* v = chatViews_->FindMessageList(0);
    if (!v) return false;
    return WriteWhole(file, QByteArray::fromStdString(v->Rtf()));
}

QString TfOrbeloMain::AskSaveFile(const QString& title, const QString& proposed, const QString& filter) {
    if (chat_.askSaveFile) return chat_.askSaveFile(title, proposed, filter);
    return QFileDialog::getSaveFileName(this, title, proposed, filter);
}

// ---- Fonts, themes, speed

void TfOrbeloMain::ChangeFontSize(int size) {
    chatViews_->SetFontSize(size);
    if (chat_.settings) {
        chat_.settings->ChatFontSize = size;
        if (chat_.saveSettings) chat_.saveSettings();
    }
}

void TfOrbeloMain::ApplyTheme(int tag) {
    ApplyColorTheme(tag);
    for (QAction* a : ui_->menuChangeTheme->actions()) a->setChecked(a->property("Tag").toInt() == tag);
    if (chat_.settings) {
        chat_.settings->ColorTheme = tag;
        if (chat_.saveSettings) chat_.saveSettings();
    }
}

void TfOrbeloMain::ChooseSpeed(QAction* item) {
    const int32_t speed = item->property("Tag").toInt();
    if (dm_) dm_->SetBandwidth(speed, true);
    CheckConnectionSpeedItem(speed);
    if (chat_.settings) {
        chat_.settings->ConnectionSpeedBytesPerSec = speed;
        if (chat_.saveSettings) chat_.saveSettings();
    }
}

// ---- Volumes

void TfOrbeloMain::ReadVolumes() {
    // The voice part keeps the sliders: it reads the mixer into them and applies their changes.
    if (dm_) dm_->InitVolumeControls();
}

void TfOrbeloMain::SetMicrophoneBoostItem(bool enabled, bool checked) {
    miMicBoost_->setEnabled(enabled);
    miMicBoost_->setChecked(checked);
}

void TfOrbeloMain::StepVolume(bool microphone, int delta) {
    TXiTrackBar* bar = microphone ? ui_->xiMikeVolume : ui_->xiWaveVolume;
    // The trackbar clamps: 60000 + 6553 lands on the maximum.
    bar->SetPosition(bar->Position() + delta);
}

void TfOrbeloMain::ToggleMicBoost() {
    if (!chat_.settings) return;
    // The microphone opened, which a configured one that is gone has given way to.
    const int device = dm_ ? dm_->Voice.volumeCaptureDevice : chat_.settings->AudioInDeviceID;
    uint32_t boost = 0;
    if (!orb::media::GetMicBoost(device, boost)) {
        miMicBoost_->setChecked(false);
        return;
    }
    const uint32_t next = boost ? 0 : 1;
    if (next) ShowWarning("Boosting your microphone may cause increasing of background noises and echoing.");
    if (orb::media::SetMicBoost(device, next))
        miMicBoost_->setChecked(next != 0);
    else
        miMicBoost_->setChecked(boost != 0);
}

// ---- Slides menu of the board

void TfOrbeloMain::ClearSlidesMenu(QMenu* menu) {
    if (!menu) return;
    for (QAction* a : menu->actions()) {
        menu->removeAction(a);
        a->deleteLater();
    }
}

void TfOrbeloMain::FillSlidesMenu(QMenu* menu, int32_t pageCount, int current, QToolButton* jump) {
    ClearSlidesMenu(menu);
    if (!menu) return;
    const int count = orb::chat::SlideMenuCount(pageCount);
    for (int page = 1; page <= count; ++page) {
        QAction* a = menu->addAction(QString::number(page));
        a->setProperty("Tag", page);
        a->setCheckable(true);
        a->setChecked(page == current);
        if (page == current && jump) jump->setText(QString::number(page));
    }
}
