// The settings dialog offscreen on a temporary registry: every control against its setting both
// ways, what OK refuses and what Cancel keeps, the room steps by who opens the dialog where, and a
// picture of every page and of the camera preview.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <QDialog>
#include <QTreeWidget>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "dm/dm.h"
#include "frm_settings.h"
#include "loop/plain_event_loop.h"
#include "registry/registry.h"
#include "settings/reg_helpers.h"
#include "settings_logic.h"
#include "ui_frm_settings.h"
#include "util/scramble.h"
#include "video_preview.h"

using namespace orb;
using namespace orb::prefs;

namespace {

QApplication& App() {
    static int argc = 1;
    static char name[] = "test_settings_dialog";
    static char* argv[] = {name, nullptr};
    // Left for the process end: fonts and styles outlive the tests' own statics.
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

class SettingsDialog : public ::testing::Test {
protected:
    void SetUp() override {
        App();
        dir_ = std::filesystem::temp_directory_path() / ("orbsetdlg-" + std::to_string(::getpid()) + "-" +
                                                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
        reg::Registry::Default().Reconfigure({dir_ / "user", dir_ / "machine"});
        dm_ = std::make_unique<TDM>(loop_, 0);
    }
    void TearDown() override {
        dialog_.reset();
        dm_.reset();
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }

    // A dialog over the settings loaded from the registry, with two devices each way, two cameras
    // and every outside effect recorded.
    TfrmSettings& Open(TRoomFacts facts = {}, TSettingsPage page = tsConnection) {
        LoadSettings(settings_, (dir_ / "").string());
        dialog_ = std::make_unique<TfrmSettings>(*dm_, settings_);
        auto& h = dialog_->Hooks;
        h.RoomFacts = [facts] { return facts; };
        h.OutputDevices = [] { return std::vector<std::string>{"Speakers A (Windows Default)", "Speakers B"}; };
        h.InputDevices = [] { return std::vector<std::string>{"Microphone A (Windows Default)", "Microphone B"}; };
        h.CodecNames = [] {
            std::vector<std::string> names;
            for (int i = 0; i < 8; ++i) names.push_back("Codec " + std::to_string(i));
            return names;
        };
        h.CaptureDrivers = [this] { return cameras_; };
        h.SendMaxSpeakers = [this](int n) { return calls_.push_back("talkers " + std::to_string(n)), true; };
        h.SendForcedCodec = [this](int c) { return calls_.push_back("codec " + std::to_string(c)), true; };
        h.ReconnectAudio = [this] { calls_.push_back("reconnect"); };
        h.Ask = [this](const QString& t) { return told_.push_back(t), true; };
        h.Tell = [this](const QString& t, bool) { told_.push_back(t); };
        dialog_->SelectPage(page);
        dialog_->show();
        return *dialog_;
    }
    std::string RegistryFile() const {
        std::ifstream in(reg::Registry::Default().FileOf(reg::HKEY_CURRENT_USER), std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    std::filesystem::path dir_;
    PlainEventLoop loop_;
    std::unique_ptr<TDM> dm_;
    Settings settings_;
    std::unique_ptr<TfrmSettings> dialog_;
    std::vector<std::string> calls_;
    std::vector<QString> told_;
    std::vector<video::TCaptureDriver> cameras_{{"Camera A", "/dev/video0", false, 0}, {"Camera B", "/dev/video1", false, 0}};
};

QVariant Get(QWidget* w) {
    if (auto* c = qobject_cast<board::TColorComboBoxEx*>(w)) return c->ColorValue();
    if (auto* c = qobject_cast<QAbstractButton*>(w)) return c->isChecked();
    if (auto* c = qobject_cast<QComboBox*>(w)) return c->currentIndex();
    if (auto* c = qobject_cast<QLineEdit*>(w)) return c->text();
    if (auto* c = qobject_cast<QSlider*>(w)) return c->value();
    return {};
}

void Set(QWidget* w, const QVariant& v) {
    if (auto* c = qobject_cast<board::TColorComboBoxEx*>(w)) c->SetColorValue(v.toUInt());
    else if (auto* c = qobject_cast<QAbstractButton*>(w)) c->setChecked(v.toBool());
    else if (auto* c = qobject_cast<QComboBox*>(w)) c->setCurrentIndex(v.toInt());
    else if (auto* c = qobject_cast<QLineEdit*>(w)) c->setText(v.toString());
    else if (auto* c = qobject_cast<QSlider*>(w)) c->setValue(v.toInt());
}

const RegVariant kSkip = std::monostate{};

}  // namespace

// Each row: the registry value before, what the control shows for it, what the user sets, and
// the registry value OK leaves. Empty cells are not checked.
TEST_F(SettingsDialog, EveryControlMapsToItsSettingBothWays) {
    struct Row {
        const char* control;
        const char* value;
        RegVariant before;
        QVariant shown;
        QVariant set;
        RegVariant after;
    };
    const QString scrambled = QString::fromStdString(ScrambleText("secret"));
    const Row rows[] = {
        {"eProxyVersion", "SocksVersion", int32_t(3), 3, 4, int32_t(4)},  // "HTTPS" is version 4
        {nullptr, "UseProxy", true, {}, {}, true},
        {"eProxyHost", "ProxyHost", std::string("proxy.example"), "proxy.example", "other.example", std::string("other.example")},
        {"eProxyPort", "ProxyPort", int32_t(3128), "3128", "8080", int32_t(8080)},
        {"cbProxyAuthentication", "ProxyAuthentication", true, true, false, false},
        {"eProxyUserName", "ProxyUserName", std::string("pat"), "pat", "sam", std::string("sam")},
        {"eProxyPassword", "ProxyPassword", scrambled.toStdString(), "secret", "n3w pass", ScrambleText("n3w pass")},
        {"cbPushToTalk", "PushToTalkKey", int32_t(16), 2, 3, int32_t(27)},
        {"cbAudioOut", "AudioOutDeviceID", int32_t(1), 1, 0, int32_t(0)},
        {"cbAudioIn", "AudioInDeviceID", int32_t(0), 0, 1, int32_t(1)},
        {"trbBufferSize", "InputAudioQueueSizeEx", int32_t(5), 5, 2, int32_t(2)},
        {"cbMuteSpeakers", "MuteSpeakersWhileTalking", true, true, false, false},
        {"cbSupressSilence", "SuppressSilence", false, false, true, true},
        {"tbMicThreshold", "SilenceSuppressionLevel", int32_t(7), 7, 12, int32_t(12)},
        {"cbNoPopUpsOnPostIt", "NoPopUpsOnPostIt", true, false, true, false},       // inverted
        {"cbPopupChat", "DonPopUpChatMessages", false, true, false, true},           // inverted
        {"cbPopUpBlocked", "BlockPopups", true, true, false, false},
        {"cbShowMe", "ShowMe", false, false, true, true},
        {"cbBeepOnConnect", "BeepOnUserConnect", true, true, false, false},
        {"cbBeepOnDisconnect", "BeepOnUserDisconnect", false, false, true, true},
        {"cbBeepOnMessage", "BeepOnNewMessage", true, true, false, false},
        {"cbBeepOnMotion", "BeepOnUserMotions", false, false, true, true},
        {"cbShowModeratorTips", "ShowModeratorTips", false, false, true, true},
        {"cbFlashWindow", "FlashOnActions", true, true, false, false},
        {"eRecUserName", "RecorderUserName", std::string("Robot A"), "Robot A", "Robot B", std::string("Robot B")},
        {"eGridSize", "BoardGridSize", int32_t(30), "30", "10", int32_t(10)},
        {"cbTextBoxFont", "TextBoxFont", std::string("Orbelo Test Font"), 0, {}, std::string("Orbelo Test Font")},
        {"eTextBoxFontSize", "TextBoxFontSize", int32_t(14), "14", "72", int32_t(72)},
        {"cbTextBoxFontColor", "TextBoxFontColor", std::string("clBlue"), 0xFF0000u, 0x0000FFu, std::string("clRed")},
        {"cbCapDriver", "DefaultVideoCaptureDriver", int32_t(1), 1, 0, int32_t(0)},
        {"rbRefresh2", "VideoFrameRate", int32_t(10), true, {}, kSkip},
        {"rbRefresh0", "VideoFrameRate", kSkip, false, true, int32_t(2)},
        {"cbFormat", "VideoFormatSize", int32_t(2), 0, 3, int32_t(3)},  // always 0 at load
    };
    for (const Row& r : rows)
        if (!std::holds_alternative<std::monostate>(r.before)) RegWriteVariant(kSettingsKey, r.value, r.before, true);
    TfrmSettings& d = Open({true, true, false, true, true});
    EXPECT_EQ(d.ui()->eProxyPassword->echoMode(), QLineEdit::Password);
    for (const Row& r : rows) {
        if (!r.control || !r.shown.isValid()) continue;
        auto* w = d.findChild<QWidget*>(QString::fromLatin1(r.control));
        ASSERT_NE(w, nullptr) << r.control;
        EXPECT_EQ(Get(w), r.shown) << r.control;
    }
    for (const Row& r : rows)
        if (r.control && r.set.isValid()) Set(d.findChild<QWidget*>(QString::fromLatin1(r.control)), r.set);
    ASSERT_TRUE(d.BitBtn1Click());
    for (const Row& r : rows) {
        if (std::holds_alternative<std::monostate>(r.after)) continue;
        const RegValueKind kind = std::holds_alternative<bool>(r.after)          ? RegValueKind::Boolean
                                  : std::holds_alternative<std::string>(r.after) ? RegValueKind::String
                                                                                 : RegValueKind::Integer;
        EXPECT_EQ(RegReadVariant(kSettingsKey, r.value, kind, true), r.after) << r.value;
    }
    EXPECT_EQ(settings_.ProxyPassword, "n3w pass");

    // Push-to-talk items and refresh items against their keys and rates, and what no item names.
    for (int i = 0; i < 4; ++i) EXPECT_EQ(PushToTalkIndex(PushToTalkKeyOf(i, -1)), i);
    EXPECT_EQ(PushToTalkIndex(18), -1);
    EXPECT_EQ(PushToTalkKeyOf(-1, 18), 18);
    EXPECT_EQ(RefreshRateOf(RefreshIndex(7), 7), 7);
}

// The test picture follows the devices in the camera list and is selected only when chosen; a
// machine without a camera shows none selected, so OK never chooses it by itself.
TEST_F(SettingsDialog, TheTestPictureIsACameraChoiceNeverTheDefault) {
    RegWriteVariant(kSettingsKey, "DefaultVideoCaptureDriver", int32_t(1), true);
    TfrmSettings& d = Open({}, tsVideo);
    QComboBox* box = d.ui()->cbCapDriver;
    ASSERT_EQ(box->count(), 3);
    EXPECT_EQ(box->itemText(2), QString::fromLatin1(video::kSyntheticCameraName));
    EXPECT_EQ(box->currentIndex(), 1);
    EXPECT_FALSE(d.ui()->lbVideoCodecMissing->isVisibleTo(&d));  // WMV3 is watched and substituted
    box->setCurrentIndex(2);
    ASSERT_TRUE(d.BitBtn1Click());
    EXPECT_EQ(RegReadVariant(kSettingsKey, "SyntheticVideoCamera", RegValueKind::Boolean, true), RegVariant(true));
    EXPECT_EQ(RegReadVariant(kSettingsKey, "DefaultVideoCaptureDriver", RegValueKind::Integer, true),
              RegVariant(int32_t(1)));
    EXPECT_EQ(Open({}, tsVideo).ui()->cbCapDriver->currentIndex(), 2);

    RegWriteVariant(kSettingsKey, "SyntheticVideoCamera", false, true);
    cameras_.clear();
    TfrmSettings& none = Open({}, tsVideo);
    EXPECT_EQ(none.ui()->cbCapDriver->count(), 1);
    EXPECT_EQ(none.ui()->cbCapDriver->currentIndex(), -1);
    ASSERT_TRUE(none.BitBtn1Click());
    EXPECT_EQ(RegReadVariant(kSettingsKey, "SyntheticVideoCamera", RegValueKind::Boolean, true), RegVariant(false));
}

TEST_F(SettingsDialog, BadValuesKeepTheDialogOpenOnTheirPageAndWriteNothing) {
    struct Row {
        const char* control;
        const char* text;
        TSettingsPage page;
    } rows[] = {
        {"eProxyPort", "0", tsConnection},     {"eProxyPort", "65536", tsConnection},
        {"eProxyPort", "", tsConnection},      {"eProxyHost", " ", tsConnection},
        {"eGridSize", "4", tsWhiteboard},      {"eGridSize", "51", tsWhiteboard},
        {"eTextBoxFontSize", "5", tsWhiteboard}, {"eTextBoxFontSize", "101", tsWhiteboard},
    };
    RegWriteVariant(kSettingsKey, "ProxyHost", std::string("proxy.example"), true);
    for (const Row& r : rows) {
        TfrmSettings& d = Open({true, true, false, false, false}, tsAudio);
        const std::string stored = RegistryFile();
        const Settings live = settings_;
        d.ui()->eProxyVersion->setCurrentIndex(3);
        d.ui()->cbBeepOnConnect->setChecked(true);
        d.findChild<QLineEdit*>(QString::fromLatin1(r.control))->setText(QString::fromLatin1(r.text));
        told_.clear();
        EXPECT_FALSE(d.BitBtn1Click()) << r.control << " " << r.text;
        EXPECT_TRUE(d.isVisible());
        EXPECT_EQ(d.CurrentPage(), r.page) << r.control;
        EXPECT_EQ(told_.size(), 1u);
        EXPECT_EQ(RegistryFile(), stored) << r.control;
        EXPECT_FALSE(settings_.BeepOnUserConnect);
        EXPECT_FALSE(settings_.UseProxy);
        (void)live;
    }

    // Without a proxy the port box is not used, so nothing there stops OK.
    TfrmSettings& direct = Open({true, true, false, false, false});
    direct.ui()->eProxyPort->setText(QString());
    EXPECT_TRUE(direct.BitBtn1Click());
    EXPECT_EQ(settings_.ProxyPort, 1080);

    // A store that cannot be written: told, still open, nothing taken over.
    TfrmSettings& failing = Open({true, true, false, false, false});
    failing.Hooks.Save = [](const Settings&) { return false; };
    failing.ui()->cbBeepOnMessage->setChecked(true);
    told_.clear();
    EXPECT_FALSE(failing.BitBtn1Click());
    EXPECT_TRUE(failing.isVisible());
    ASSERT_EQ(told_.size(), 1u);
    EXPECT_TRUE(told_[0].startsWith(QStringLiteral("Unable to save the settings.")));
    EXPECT_FALSE(settings_.BeepOnNewMessage);
}

TEST_F(SettingsDialog, CancelDiscardsEverythingButTheBufferSize) {
    reg::CreateKey(reg::HKEY_CURRENT_USER, std::string(kStoredPollsKey) + "\\Capital of France?");
    reg::CreateKey(reg::HKEY_CURRENT_USER, std::string(kStoredPollsKey) + "\\Is it raining?");
    TfrmSettings& d = Open({true, true, false, false, false}, tsPolls);
    ASSERT_EQ(d.ui()->lBoxPolls->count(), 2);
    EXPECT_FALSE(d.ui()->btnDeletePoll->isEnabled());
    d.ui()->lBoxPolls->setCurrentRow(1);
    EXPECT_TRUE(d.ui()->btnDeletePoll->isEnabled());
    d.ui()->btnDeletePoll->click();
    EXPECT_EQ(d.ui()->lBoxPolls->count(), 1);
    const std::string stored = RegistryFile();
    d.ui()->trbBufferSize->setValue(6);
    d.ui()->cbShowMe->setChecked(true);
    d.ui()->eRecUserName->setText(QStringLiteral("Somebody"));
    d.reject();
    EXPECT_EQ(settings_.InputAudioQueueSizeEx, 6);
    EXPECT_FALSE(settings_.ShowMe);
    EXPECT_EQ(settings_.RecorderUserName, kDefaultRecorderUserName);
    EXPECT_EQ(RegistryFile(), stored);
    EXPECT_EQ(GetStoredPollNames().size(), 2u);

    // OK carries the deletions out; "Delete All" empties the list.
    TfrmSettings& again = Open({true, true, false, false, false}, tsPolls);
    again.ui()->btnDeleteAllPolls->click();
    EXPECT_EQ(again.ui()->lBoxPolls->count(), 0);
    EXPECT_FALSE(again.ui()->btnDeleteAllPolls->isEnabled());
    ASSERT_TRUE(again.BitBtn1Click());
    EXPECT_TRUE(GetStoredPollNames().empty());
    EXPECT_FALSE(DeleteStoredPoll(""));  // never the whole key
}

TEST_F(SettingsDialog, RoomStepsRunOnlyForAModeratorInALiveRoomWithVoice) {
    // Opened from the login dialog: the connection page, nothing else to open, no room steps.
    TfrmSettings& login = Open({}, tsVideo);
    EXPECT_EQ(login.CurrentPage(), tsConnection);
    for (int p = 1; p < kSettingsPageCount; ++p) EXPECT_FALSE(login.PageEnabled(TSettingsPage(p))) << p;
    login.Button3Click();
    login.ui()->cbMikesCount->setCurrentIndex(4);
    login.ui()->cbAudiCodecs->setCurrentIndex(5);
    login.ui()->cbAudioIn->setCurrentIndex(1);
    ASSERT_TRUE(login.BitBtn1Click());
    EXPECT_TRUE(calls_.empty());
    EXPECT_TRUE(told_.empty());

    struct Row {
        TRoomFacts facts;
        bool voicePage;
        std::vector<std::string> calls;
    } rows[] = {
        {{true, true, false, true, true}, true, {"talkers 5", "codec 5", "reconnect"}},
        {{true, true, false, false, true}, false, {"reconnect"}},                // a participant
        {{true, true, false, true, false}, false, {"reconnect"}},                // voice not running
        {{true, false, false, true, true}, false, {}},                           // connection lost
        {{true, true, true, true, true}, false, {}},                             // replaying
    };
    for (const Row& r : rows) {
        dm_->Speakers = 2;
        dm_->VoiceCodecIndex = 2;
        calls_.clear();
        TfrmSettings& d = Open(r.facts, tsAudio);
        EXPECT_EQ(d.PageEnabled(tsVoice), r.voicePage);
        EXPECT_EQ(d.ui()->cbMikesCount->currentIndex(), 1);
        EXPECT_EQ(d.ui()->cbAudiCodecs->currentIndex(), 2);
        d.ui()->cbMikesCount->setCurrentIndex(4);
        d.ui()->cbAudiCodecs->setCurrentIndex(5);
        d.ui()->cbAudioOut->setCurrentIndex(1 - d.ui()->cbAudioOut->currentIndex());
        ASSERT_TRUE(d.BitBtn1Click());
        EXPECT_EQ(calls_, r.calls);
    }

    // Unchanged talkers, codec and devices send nothing; the reconnect button asks first.
    calls_.clear();
    TfrmSettings& same = Open({true, true, false, true, true}, tsVoice);
    EXPECT_EQ(same.CurrentPage(), tsVoice);
    same.Button3Click();
    EXPECT_EQ(calls_, std::vector<std::string>{"reconnect"});
    ASSERT_TRUE(same.BitBtn1Click());
    EXPECT_EQ(calls_, std::vector<std::string>{"reconnect"});
}

TEST_F(SettingsDialog, PicturesOfEveryPageAndOfThePreview) {
    reg::CreateKey(reg::HKEY_CURRENT_USER, std::string(kStoredPollsKey) + "\\Which answer is right?");
    dm_->Speakers = 3;
    TfrmSettings& d = Open({true, true, false, true, true});
    d.ui()->eProxyVersion->setCurrentIndex(3);
    d.ui()->eProxyHost->setText(QStringLiteral("proxy.example"));
    d.ui()->cbProxyAuthentication->setChecked(true);
    EXPECT_TRUE(d.ui()->eProxyUserName->isEnabled());
    static const char* names[] = {"connection", "audio", "voice", "silence", "notifications",
                                  "recorder", "whiteboard", "video", "polls"};
    for (int p = 0; p < kSettingsPageCount; ++p) {
        d.SelectPage(TSettingsPage(p));
        EXPECT_EQ(d.CurrentPage(), p);
        QApplication::processEvents();
        const QString file = QStringLiteral(ORB_ARTIFACTS_DIR "/settings_%1.png").arg(QLatin1String(names[p]));
        EXPECT_TRUE(d.grab().save(file, "PNG")) << file.toStdString();
    }

    TfrmVideoPreview preview({video::TCaptureDriver{video::kSyntheticCameraName, "", true, 0}});
    std::string error;
    ASSERT_TRUE(preview.Start(0, 10, 176, 144, error)) << error;
    EXPECT_EQ(preview.windowTitle(), QStringLiteral("Preview 176 x 144"));
    EXPECT_EQ(preview.size(), QSize(176, 169));
    preview.show();
    EXPECT_TRUE(QTest::qWaitFor([&] { return preview.FramesShown() >= 2; }, 10000));
    EXPECT_TRUE(preview.grab().save(QStringLiteral(ORB_ARTIFACTS_DIR "/settings_preview.png"), "PNG"));

    // The driver's dialogs as V4L2 offers them: the test picture has no controls (no source
    // dialog) but formats and sizes; the one chosen there is what the reopened driver shows.
    EXPECT_FALSE(preview.ShowSourceDialog());
    QString listed;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        auto* formats = dialog ? dialog->findChild<QListWidget*>(QStringLiteral("lbFormats")) : nullptr;
        if (!formats) return;
        listed = dialog->windowTitle();
        const auto found = formats->findItems(QStringLiteral("I420, 320 x 240"), Qt::MatchExactly);
        if (!found.isEmpty()) formats->setCurrentItem(found.front());
        dialog->accept();
    });
    EXPECT_TRUE(preview.ShowFormatDialog());
    EXPECT_EQ(listed, QStringLiteral("Video Format"));
    ASSERT_TRUE(preview.Restart(error)) << error;
    EXPECT_EQ(preview.windowTitle(), QStringLiteral("Preview 320 x 240"));
    preview.Stop();
}
