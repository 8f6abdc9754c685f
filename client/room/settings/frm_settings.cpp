#include "frm_settings.h"

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QFontDatabase>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QTreeWidgetItem>
#include <QUrl>

#include "audio/init_sound.h"
#include "common/message_box.h"
#include "common/theme_icons.h"
#include "dm/dm.h"
#include "polls/poll_store.h"
#include "ui_frm_settings.h"
#include "video/video_codec.h"
#include "video_preview.h"
#include "voice/voice_thread.h"

using namespace orb;
using namespace orb::prefs;

namespace {

QString Q(const std::string& s) { return room::FromUtf8(s); }
std::string S(const QString& s) { return s.toStdString(); }

// The tree's nodes: 30 pixels high, the picture framed and the caption white on the highlight
// colour when selected, greyed while the page cannot be opened.
class TPageNodeDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* p, const QStyleOptionViewItem& opt, const QModelIndex& index) const override {
        const bool selected = opt.state & QStyle::State_Selected;
        const bool enabled = opt.state & QStyle::State_Enabled;
        p->save();
        if (selected) p->fillRect(opt.rect, opt.palette.color(QPalette::Active, QPalette::Highlight));
        const QRect image(opt.rect.left() + 2, opt.rect.top() + 3, 24, 24);
        index.data(Qt::DecorationRole).value<QIcon>().paint(p, image, Qt::AlignCenter,
                                                              enabled ? QIcon::Normal : QIcon::Disabled);
        if (selected) {
            p->setPen(QColor(0x80, 0x80, 0x80));
            p->drawRect(image.adjusted(-1, -1, 0, 0));
        }
        p->setFont(opt.font);
        p->setPen(selected  ? QColor(Qt::white)
                  : enabled ? QColor(Qt::black)
                            : opt.palette.color(QPalette::Disabled, QPalette::Text));
        const QRect text(opt.rect.left() + 33, opt.rect.top(), opt.rect.width() - 35, opt.rect.height());
        p->drawText(text, Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine, index.data().toString());
        if (selected && (opt.state & QStyle::State_HasFocus)) {
            QStyleOptionFocusRect focus;
            focus.rect = opt.rect.adjusted(0, 0, -1, -1);
            focus.palette = opt.palette;
            focus.backgroundColor = opt.palette.color(QPalette::Highlight);
            QApplication::style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, p);
        }
        p->restore();
    }
    QSize sizeHint(const QStyleOptionViewItem& opt, const QModelIndex& index) const override {
        QSize s = QStyledItemDelegate::sizeHint(opt, index);
        s.setHeight(30);
        return s;
    }
};

// A click on a label.
class TClickFilter : public QObject {
public:
    TClickFilter(QObject* parent, std::function<void()> onClick) : QObject(parent), onClick_(std::move(onClick)) {}
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::MouseButtonRelease && static_cast<QMouseEvent*>(e)->button() == Qt::LeftButton) {
            onClick_();
            return true;
        }
        return false;
    }

private:
    std::function<void()> onClick_;
};

struct TNode {
    const char* caption;
    std::initializer_list<const char*> icons;
    QColor tile;
};

}  // namespace

TfrmSettings::TfrmSettings(TDM& dm, Settings& settings, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::TfrmSettings>()), dm_(dm), settings_(settings) {
    ui_->setupUi(this);
    BuildTree();
    ui_->tbMicThreshold->setRange(kMinThreshold, kMaxThreshold);
    ui_->trbBufferSize->setRange(kMinBuffer, kMaxBuffer);
    ui_->cbTextBoxFontColor->SetShowStyle(board::TColorComboBoxEx::ssColorAndText);
    ui_->cbMuteSpeakers->setToolTip(QStringLiteral(
        "This option will force your speakers off while you are talking \r\nwith the Speak button or holding down the "
        "push-to-talk key. This will \r\nremove the echo coming from you."));
    auto* numbers = new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), this);
    for (QLineEdit* e : {ui_->eProxyPort, ui_->eGridSize, ui_->eTextBoxFontSize}) e->setValidator(numbers);

    acDeletePoll_ = new QAction(QStringLiteral("Delete"), this);
    acDeletePoll_->setObjectName(QStringLiteral("acDeletePoll"));
    acDeleteAllPolls_ = new QAction(QStringLiteral("Delete All"), this);
    acDeleteAllPolls_->setObjectName(QStringLiteral("acDeleteAllPolls"));
    connect(acDeletePoll_, &QAction::triggered, this, [this] { acDeletePollExecute(); });
    connect(acDeleteAllPolls_, &QAction::triggered, this, [this] { acDeleteAllPollsExecute(); });
    connect(ui_->btnDeletePoll, &QPushButton::clicked, acDeletePoll_, &QAction::trigger);
    connect(ui_->btnDeleteAllPolls, &QPushButton::clicked, acDeleteAllPolls_, &QAction::trigger);
    connect(ui_->lBoxPolls, &QListWidget::itemSelectionChanged, this, [this] { acDeletePollUpdate(); });

    connect(ui_->pcMain, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        const int page = ui_->pcMain->indexOfTopLevelItem(item);
        if (page < 0) return;
        ui_->PCPages->setCurrentIndex(page);
        if (page == tsConnection) eProxyVersionChange();
    });
    connect(ui_->eProxyVersion, &QComboBox::currentIndexChanged, this, [this] { eProxyVersionChange(); });
    connect(ui_->cbProxyAuthentication, &QCheckBox::toggled, this, [this] { eProxyVersionChange(); });
    connect(ui_->trbBufferSize, &QSlider::valueChanged, this, [this](int v) { trbBufferSizeChange(v); });
    connect(ui_->cbAudiCodecs, &QComboBox::activated, this, [this](int index) { cbAudiCodecsChange(index); });
    connect(ui_->cbSupressSilence, &QCheckBox::toggled, ui_->tbMicThreshold, &QWidget::setEnabled);
    connect(ui_->tbMicThreshold, &QSlider::valueChanged, this,
            [this](int v) { ui_->lbThreshold->setText(QStringLiteral("(%1)").arg(v)); });
    connect(ui_->cbTextBoxFontColor, &board::TColorComboBoxEx::ColorChanged, this, [this] {
        if (!filling_) colourChosen_ = true;
    });
    connect(ui_->Button3, &QPushButton::clicked, this, [this] { Button3Click(); });
    connect(ui_->JvXPButton6, &QPushButton::clicked, this, [this] { JvXPButton6Click(); });
    connect(ui_->BitBtn7, &QPushButton::clicked, this, [this] { BitBtn7Click(); });
    ui_->lbDownloadCodec->installEventFilter(new TClickFilter(this, [this] { lbDownloadCodecClick(); }));
    connect(ui_->BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
    connect(ui_->BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
}

TfrmSettings::~TfrmSettings() = default;

void TfrmSettings::BuildTree() {
    static const TNode nodes[kSettingsPageCount] = {
        {"Connection", {"network-wired", "network-workgroup"}, QColor(0x3b6ea5)},
        {"Audio", {"audio-card", "audio-speakers"}, QColor(0x2e8b57)},
        {"Room Voice", {"audio-input-microphone"}, QColor(0x2e8b57)},
        {"Silence Suppression", {"microphone-sensitivity-muted", "audio-volume-muted"}, QColor(0x2e8b57)},
        {"Notifications", {"preferences-desktop-notification", "dialog-information"}, QColor(0xc07020)},
        {"Recorder", {"media-record"}, QColor(0xb03030)},
        {"Whiteboard", {"applications-graphics", "insert-text"}, QColor(0x6a4fa0)},
        {"Video", {"camera-web", "camera-video"}, QColor(0x3b6ea5)},
        {"Stored Polls", {"view-list-details", "view-list"}, QColor(0x808000)},
    };
    ui_->pcMain->setItemDelegate(new TPageNodeDelegate(ui_->pcMain));
    ui_->pcMain->setUniformRowHeights(true);
    for (const TNode& n : nodes) {
        auto* item = new QTreeWidgetItem(ui_->pcMain, QStringList(QString::fromLatin1(n.caption)));
        item->setIcon(0, room::ThemeIcon(n.icons, QString::fromLatin1(n.caption), n.tile));
        nodes_.push_back(item);
    }
}

TRoomFacts TfrmSettings::Facts() const {
    if (Hooks.RoomFacts) return Hooks.RoomFacts();
    TRoomFacts f;
    f.inRoom = dm_.Room.InRoom;
    f.connected = dm_.vcrClient.Connected();
    f.playback = dm_.PlaybackMode;
    f.moderator = dm_.HasModerationRights();
    f.voiceRunning = dm_.Voice.thread != nullptr;
    return f;
}

bool TfrmSettings::Ask(const QString& text) {
    if (Hooks.Ask) return Hooks.Ask(text);
    return room::PlainMessageBox(this, QMessageBox::Question, text, QMessageBox::Yes | QMessageBox::No) ==
           QMessageBox::Yes;
}

void TfrmSettings::Tell(const QString& text, bool error) {
    if (Hooks.Tell) return Hooks.Tell(text, error);
    room::PlainMessageBox(this, error ? QMessageBox::Critical : QMessageBox::Information, text);
}

void TfrmSettings::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    if (!shown_) FormShow();
}

void TfrmSettings::FormShow() {
    shown_ = true;
    filling_ = true;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const TRoomFacts facts = Facts();
    for (int p = 0; p < kSettingsPageCount; ++p) {
        const bool on = PageSelectable(TSettingsPage(p), facts);
        nodes_[size_t(p)]->setFlags(on ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags);
        ui_->PCPages->widget(p)->setEnabled(on);
    }
    // Each list is filled on its own: a device or camera layer that fails leaves the rest shown.
    auto guarded = [](auto&& step) {
        try {
            step();
        } catch (...) {
        }
    };
    guarded([this] { FillDevices(); });
    guarded([this] { FillVoicePage(); });
    guarded([this] { FillFonts(); });
    guarded([this] { WriteForm(FormFromSettings(settings_)); });
    guarded([this] { FillVideoPage(); });
    guarded([this] { FillPolls(); });
    ui_->Button3->setEnabled(AudioReconnectAllowed(facts));
    ui_->JvXPButton6->setEnabled(!facts.playback && Hooks.RunAudioWizard != nullptr);
    shownBuffer_ = ui_->trbBufferSize->value();
    eProxyVersionChange();
    acDeletePollUpdate();
    UpdateVideoActions();
    QApplication::restoreOverrideCursor();
    filling_ = false;
    SelectPage(wanted_);
}

void TfrmSettings::FillDevices() {
    auto fill = [](QComboBox* box, const std::vector<std::string>& names, int wanted) {
        box->clear();
        for (const std::string& n : names) box->addItem(Q(n));
        // A device that is gone selects the first one.
        box->setCurrentIndex(wanted >= 0 && wanted < box->count() ? wanted : box->count() > 0 ? 0 : -1);
        return box->currentIndex();
    };
    std::vector<std::string> out, in;
    if (Hooks.OutputDevices) out = Hooks.OutputDevices();
    else media::FillWaveOutDevices(out);
    if (Hooks.InputDevices) in = Hooks.InputDevices();
    else media::FillWaveInDevices(in);
    shownOut_ = fill(ui_->cbAudioOut, out, settings_.AudioOutDeviceID);
    shownIn_ = fill(ui_->cbAudioIn, in, settings_.AudioInDeviceID);
}

void TfrmSettings::FillVoicePage() {
    std::vector<std::string> codecs;
    if (Hooks.CodecNames) codecs = Hooks.CodecNames();
    else media::FillCodecList(codecs);
    ui_->cbAudiCodecs->clear();
    for (const std::string& c : codecs) ui_->cbAudiCodecs->addItem(Q(c));
    const int codec = dm_.VoiceCodecIndex;
    shownCodec_ = codec >= 0 && codec < ui_->cbAudiCodecs->count() ? codec : -1;
    ui_->cbAudiCodecs->setCurrentIndex(shownCodec_);
    shownTalkers_ = dm_.Speakers >= 1 && dm_.Speakers <= 5 ? dm_.Speakers - 1 : -1;
    ui_->cbMikesCount->setCurrentIndex(shownTalkers_);
}

void TfrmSettings::FillFonts() {
    ui_->cbTextBoxFont->clear();
    ui_->cbTextBoxFont->addItems(QFontDatabase::families());
}

void TfrmSettings::FillVideoPage() {
    std::vector<video::TCaptureDriver> devices = Hooks.CaptureDrivers ? Hooks.CaptureDrivers() : video::ListCaptureDrivers();
    if (devices.size() > 10) devices.resize(10);
    // The test picture is offered after the devices, and selected only when the user chose it:
    // a machine without a camera shows no camera selected.
    drivers_ = devices;
    drivers_.push_back(video::SyntheticCameraDriver());
    ui_->cbCapDriver->clear();
    for (const auto& d : drivers_) ui_->cbCapDriver->addItem(Q(d.name));
    int selected = -1;
    if (settings_.SyntheticVideoCamera) {
        selected = int(drivers_.size()) - 1;
    } else if (!devices.empty()) {
        const int d = settings_.DefaultVideoCaptureDriver;
        selected = d >= 0 && d < int(devices.size()) ? d : 0;
    }
    ui_->cbCapDriver->setCurrentIndex(selected);
    const uint32_t codec = uint32_t(settings_.DefaultVideoCompressor);
    const bool installed = video::VideoCodecInstalled(codec);
    ui_->lbVideoCodecMissing->setText(Q(video::VideoCodecMissingText(codec)));
    ui_->lbVideoCodecMissing->setVisible(!installed);
    // Codecs come with the system's libavcodec: there is nothing to download.
    ui_->lbDownloadCodec->setVisible(false);
    ui_->lbPromptedNote->setVisible(!installed);
}

void TfrmSettings::FillPolls() {
    ui_->lBoxPolls->clear();
    pollDeletions_.clear();
    for (const std::string& name : GetStoredPollNames()) {
        // Shown as the question; the key name escapes the characters a key name cannot hold.
        auto* item = new QListWidgetItem(Q(orb::polls::StoredPollCaption(name)), ui_->lBoxPolls);
        // The exact key name, whatever its text shows.
        item->setData(Qt::UserRole, QByteArray::fromStdString(name));
    }
}

void TfrmSettings::WriteForm(const TSettingsForm& f) {
    ui_->eProxyVersion->setCurrentIndex(f.proxyVersion);
    ui_->eProxyHost->setText(Q(f.proxyHost));
    ui_->eProxyPort->setText(Q(f.proxyPort));
    ui_->cbProxyAuthentication->setChecked(f.proxyAuthentication);
    ui_->eProxyUserName->setText(Q(f.proxyUserName));
    ui_->eProxyPassword->setText(Q(f.proxyPassword));
    ui_->cbPushToTalk->setCurrentIndex(f.pushToTalk);
    ui_->trbBufferSize->setValue(f.bufferSize);
    ui_->trbBufferSize->setToolTip(Q(BufferHint(ui_->trbBufferSize->value())));
    ui_->cbMuteSpeakers->setChecked(f.muteSpeakers);
    ui_->cbSupressSilence->setChecked(f.suppressSilence);
    ui_->tbMicThreshold->setValue(f.threshold);
    ui_->tbMicThreshold->setEnabled(f.suppressSilence);
    ui_->lbThreshold->setText(QStringLiteral("(%1)").arg(ui_->tbMicThreshold->value()));
    ui_->cbNoPopUpsOnPostIt->setChecked(f.rollOutNotes);
    ui_->cbPopupChat->setChecked(f.rollOutChat);
    ui_->cbPopUpBlocked->setChecked(f.blockPopups);
    ui_->cbShowMe->setChecked(f.showMe);
    ui_->cbBeepOnConnect->setChecked(f.beepOnConnect);
    ui_->cbBeepOnDisconnect->setChecked(f.beepOnDisconnect);
    ui_->cbBeepOnMessage->setChecked(f.beepOnMessage);
    ui_->cbBeepOnMotion->setChecked(f.beepOnMotion);
    ui_->cbShowModeratorTips->setChecked(f.showModeratorTips);
    ui_->cbFlashWindow->setChecked(f.flashWindow);
    ui_->eRecUserName->setText(Q(f.recorderUserName));
    ui_->eGridSize->setText(Q(f.gridSize));
    // A font this screen does not have stays the choice until another is picked.
    int font = ui_->cbTextBoxFont->findText(Q(f.textBoxFont), Qt::MatchFixedString);
    if (font < 0 && !f.textBoxFont.empty()) {
        ui_->cbTextBoxFont->insertItem(0, Q(f.textBoxFont));
        font = 0;
    }
    ui_->cbTextBoxFont->setCurrentIndex(font);
    ui_->eTextBoxFontSize->setText(Q(f.textBoxFontSize));
    storedColour_ = f.textBoxFontColor;
    colourChosen_ = false;
    ui_->cbTextBoxFontColor->SetColorValue(f.textBoxFontColor);
    QRadioButton* refresh[] = {ui_->rbRefresh0, ui_->rbRefresh1, ui_->rbRefresh2};
    if (f.refresh >= 0 && f.refresh < 3) refresh[f.refresh]->setChecked(true);
    ui_->cbFormat->setCurrentIndex(f.formatSize);
}

TSettingsForm TfrmSettings::ReadForm() const {
    TSettingsForm f;
    f.proxyVersion = std::max(0, ui_->eProxyVersion->currentIndex());
    f.proxyHost = S(ui_->eProxyHost->text());
    f.proxyPort = S(ui_->eProxyPort->text());
    f.proxyAuthentication = ui_->cbProxyAuthentication->isChecked();
    f.proxyUserName = S(ui_->eProxyUserName->text());
    f.proxyPassword = S(ui_->eProxyPassword->text());
    f.pushToTalk = ui_->cbPushToTalk->currentIndex();
    f.bufferSize = ui_->trbBufferSize->value();
    f.muteSpeakers = ui_->cbMuteSpeakers->isChecked();
    f.suppressSilence = ui_->cbSupressSilence->isChecked();
    f.threshold = ui_->tbMicThreshold->value();
    f.rollOutNotes = ui_->cbNoPopUpsOnPostIt->isChecked();
    f.rollOutChat = ui_->cbPopupChat->isChecked();
    f.blockPopups = ui_->cbPopUpBlocked->isChecked();
    f.showMe = ui_->cbShowMe->isChecked();
    f.beepOnConnect = ui_->cbBeepOnConnect->isChecked();
    f.beepOnDisconnect = ui_->cbBeepOnDisconnect->isChecked();
    f.beepOnMessage = ui_->cbBeepOnMessage->isChecked();
    f.beepOnMotion = ui_->cbBeepOnMotion->isChecked();
    f.showModeratorTips = ui_->cbShowModeratorTips->isChecked();
    f.flashWindow = ui_->cbFlashWindow->isChecked();
    f.recorderUserName = S(ui_->eRecUserName->text());
    f.gridSize = S(ui_->eGridSize->text());
    f.textBoxFont = S(ui_->cbTextBoxFont->currentText());
    f.textBoxFontSize = S(ui_->eTextBoxFontSize->text());
    f.textBoxFontColor = colourChosen_ ? ui_->cbTextBoxFontColor->ColorValue() : storedColour_;
    f.refresh = ui_->rbRefresh0->isChecked() ? 0 : ui_->rbRefresh1->isChecked() ? 1 : ui_->rbRefresh2->isChecked() ? 2 : -1;
    f.formatSize = ui_->cbFormat->currentIndex();
    return f;
}

void TfrmSettings::trbBufferSizeChange(int value) {
    ui_->trbBufferSize->setToolTip(Q(BufferHint(value)));
    // The buffer follows the slider at once, also when the dialog is then cancelled.
    if (!filling_) settings_.InputAudioQueueSizeEx = value;
}

void TfrmSettings::cbAudiCodecsChange(int index) {
    if (index > 2)
        Tell(QStringLiteral("You are changing the current audio compression level !\r\n\r\nUsing a higher quality "
                            "compressor requires more bandwidth which may lead to voice breaking \r\nif you or "
                            "your attendees are on a slow or inconsistent connection."),
             false);
}

void TfrmSettings::eProxyVersionChange() {
    const bool proxy = ui_->eProxyVersion->currentIndex() > 0;
    const bool auth = proxy && ui_->cbProxyAuthentication->isChecked();
    for (QWidget* w : std::initializer_list<QWidget*>{ui_->eProxyHost, ui_->lbProxyHost, ui_->eProxyPort,
                                                      ui_->lbProxyPort, ui_->cbProxyAuthentication})
        w->setEnabled(proxy);
    for (QWidget* w : std::initializer_list<QWidget*>{ui_->eProxyUserName, ui_->lbProxyUserName, ui_->eProxyPassword,
                                                      ui_->lbProxyPassword})
        w->setEnabled(auth);
}

void TfrmSettings::acDeletePollUpdate() {
    acDeletePoll_->setEnabled(!ui_->lBoxPolls->selectedItems().isEmpty());
    acDeleteAllPolls_->setEnabled(ui_->lBoxPolls->count() > 0);
    ui_->btnDeletePoll->setEnabled(acDeletePoll_->isEnabled());
    ui_->btnDeleteAllPolls->setEnabled(acDeleteAllPolls_->isEnabled());
}

void TfrmSettings::UpdateVideoActions() {
    ui_->BitBtn7->setEnabled(!dm_.Room.VideoPublishing && ui_->cbCapDriver->currentIndex() >= 0);
}

bool TfrmSettings::PageEnabled(TSettingsPage page) const {
    return page >= 0 && page < kSettingsPageCount && (nodes_[size_t(page)]->flags() & Qt::ItemIsEnabled);
}

void TfrmSettings::SelectPage(TSettingsPage page) {
    wanted_ = page;
    if (!shown_) return;
    if (!PageEnabled(page)) page = tsConnection;
    ui_->pcMain->setCurrentItem(nodes_[size_t(page)]);
    ui_->PCPages->setCurrentIndex(page);
}

TSettingsPage TfrmSettings::CurrentPage() const { return TSettingsPage(ui_->PCPages->currentIndex()); }

bool TfrmSettings::BitBtn1Click() {
    const TSettingsForm f = ReadForm();
    if (auto problem = ValidateForm(f); problem && PageEnabled(problem->page)) {
        SelectPage(problem->page);
        if (auto* w = findChild<QWidget*>(Q(problem->control))) w->setFocus();
        Tell(Q(problem->message), true);
        return false;
    }
    Settings after = settings_;
    ApplyForm(f, after);
    if (ui_->cbAudioOut->currentIndex() >= 0) after.AudioOutDeviceID = ui_->cbAudioOut->currentIndex();
    if (ui_->cbAudioIn->currentIndex() >= 0) after.AudioInDeviceID = ui_->cbAudioIn->currentIndex();
    if (const int driver = ui_->cbCapDriver->currentIndex(); driver >= 0 && driver < int(drivers_.size())) {
        after.SyntheticVideoCamera = drivers_[size_t(driver)].synthetic;
        if (!after.SyntheticVideoCamera) after.DefaultVideoCaptureDriver = driver;
    }
    const bool saved = Hooks.Save ? Hooks.Save(after) : SaveSettings(after);
    if (!saved) {
        Tell(QStringLiteral("Unable to save the settings.\r\nYour changes were not stored; please try again."), true);
        return false;
    }
    const Settings before = settings_;
    settings_ = after;
    for (const std::string& name : pollDeletions_) DeleteStoredPoll(name);
    pollDeletions_.clear();
    RunRoomSteps(before, after);
    if (Hooks.Applied) Hooks.Applied(settings_);
    accept();
    return true;
}

void TfrmSettings::RunRoomSteps(const Settings&, const Settings& after) {
    const TRoomFacts facts = Facts();
    if (RoomVoiceStepsAllowed(facts) && PageEnabled(tsVoice)) {
        const int talkers = ui_->cbMikesCount->currentIndex();
        if (talkers >= 0 && talkers + 1 != dm_.Speakers) {
            if (Hooks.SendMaxSpeakers) Hooks.SendMaxSpeakers(talkers + 1);
            else dm_.SendMaxSpeakers(talkers + 1);
        }
        const int codec = ui_->cbAudiCodecs->currentIndex();
        if (codec >= 0 && codec != dm_.VoiceCodecIndex) {
            if (Hooks.SendForcedCodec) Hooks.SendForcedCodec(codec);
            else dm_.SendForcedCodec(codec);
        }
    }
    const bool devicesChanged = (shownOut_ >= 0 && after.AudioOutDeviceID != shownOut_) ||
                                (shownIn_ >= 0 && after.AudioInDeviceID != shownIn_);
    if (devicesChanged && AudioReconnectAllowed(facts)) {
        Tell(QStringLiteral("The modifications you made require re-establishing your audio connection.\r\nOrbelo will "
                            "now reconnect your audio."),
             false);
        // The new connection takes every audio setting from the store.
        if (Hooks.ReconnectAudio) Hooks.ReconnectAudio();
        else dm_.ReconnectAudio();
        return;
    }
    if (const std::shared_ptr<TVoiceThread> voice = dm_.Voice.thread) {
        if (after.InputAudioQueueSizeEx != shownBuffer_) voice->SetPlaybackBuffers(after.InputAudioQueueSizeEx);
        voice->SetMuteSpeakersWhileTalking(after.MuteSpeakersWhileTalking);
        voice->SetSilenceSuppression(after.SuppressSilence);
        voice->SetSilenceThreshold(after.SilenceSuppressionLevel);
    }
}

void TfrmSettings::Button3Click() {
    if (!AudioReconnectAllowed(Facts())) return;
    if (!Ask(QStringLiteral("Do you want to reset your audio connection?"))) return;
    if (Hooks.ReconnectAudio) Hooks.ReconnectAudio();
    else dm_.ReconnectAudio();
}

void TfrmSettings::JvXPButton6Click() {
    if (!Hooks.RunAudioWizard || Facts().playback) return;
    Hooks.RunAudioWizard();
    // The wizard chose devices, volumes and silence options of its own and stored them.
    filling_ = true;
    try {
        FillDevices();
    } catch (...) {
    }
    ui_->trbBufferSize->setValue(settings_.InputAudioQueueSizeEx);
    shownBuffer_ = ui_->trbBufferSize->value();
    ui_->cbSupressSilence->setChecked(settings_.SuppressSilence);
    ui_->tbMicThreshold->setValue(settings_.SilenceSuppressionLevel);
    ui_->tbMicThreshold->setEnabled(settings_.SuppressSilence);
    filling_ = false;
}

void TfrmSettings::BitBtn7Click() {
    const int driver = ui_->cbCapDriver->currentIndex();
    if (dm_.Room.VideoPublishing || driver < 0) return;
    if (Hooks.Preview) return Hooks.Preview(driver);
    static const QSize sizes[] = {{160, 120}, {176, 144}, {320, 240}, {352, 288}};
    const int format = ui_->cbFormat->currentIndex();
    const QSize size = format >= 0 && format < 4 ? sizes[format] : QSize();
    const int rate = RefreshRateOf(ReadForm().refresh, settings_.VideoFrameRate);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    TfrmVideoPreview preview(drivers_, this);
    std::string error;
    bool started = preview.Start(driver, rate, size.width(), size.height(), error);
    QApplication::restoreOverrideCursor();
    if (!started) return Tell(Q(error), true);
    // The driver's source and format dialogs, in this order, where the device offers them; then
    // the driver is opened afresh with what they set.
    const bool sourceShown = preview.ShowSourceDialog();
    const bool formatShown = preview.ShowFormatDialog();
    if ((sourceShown || formatShown) && !preview.Restart(error)) return Tell(Q(error), true);
    preview.exec();
    preview.Stop();
}

void TfrmSettings::lbDownloadCodecClick() {
    if (Hooks.OpenAddress) Hooks.OpenAddress(kCodecDownloadAddress);
    else QDesktopServices::openUrl(QUrl(QString::fromLatin1(kCodecDownloadAddress)));
}

void TfrmSettings::acDeletePollExecute() {
    const QList<QListWidgetItem*> selected = ui_->lBoxPolls->selectedItems();
    if (selected.isEmpty()) return;
    QListWidgetItem* item = selected.front();
    pollDeletions_.push_back(item->data(Qt::UserRole).toByteArray().toStdString());
    delete item;
    acDeletePollUpdate();
}

void TfrmSettings::acDeleteAllPollsExecute() {
    while (ui_->lBoxPolls->count() > 0) {
        QListWidgetItem* item = ui_->lBoxPolls->item(0);
        pollDeletions_.push_back(item->data(Qt::UserRole).toByteArray().toStdString());
        delete item;
    }
    acDeletePollUpdate();
}
