#pragma once
// "Settings": every setting of the client edited in one dialog, a tree of pages beside their
// stack. The dialog shows the data module's settings as they are now; OK checks every page first,
// writes the settings store once and only then applies the changes (the room's talkers and codec,
// the own audio connection, the voice options, the windows that use the values); Cancel and
// closing drop the edits except the audio buffer size, which its slider applies at once.

#include <QDialog>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "settings/settings.h"
#include "settings_logic.h"
#include "video/video_cap.h"

class TDM;
class QTreeWidgetItem;

namespace Ui {
class TfrmSettings;
}

class TfrmSettings : public QDialog {
    Q_OBJECT
public:
    TfrmSettings(TDM& dm, orb::Settings& settings, QWidget* parent = nullptr);
    ~TfrmSettings() override;

    // What the dialog does outside itself. Unset entries use the data module's routines, the
    // settings store and modal message boxes; tests and the program replace them.
    struct THooks {
        std::function<orb::prefs::TRoomFacts()> RoomFacts;
        std::function<bool(int count)> SendMaxSpeakers;
        std::function<bool(int codec)> SendForcedCodec;
        std::function<void()> ReconnectAudio;
        // Runs the audio wizard modally (unset: the button does nothing).
        std::function<void()> RunAudioWizard;
        // Writes the whole settings store; false when it could not be written.
        std::function<bool(const orb::Settings&)> Save;
        // After a successful OK, with the settings now in force.
        std::function<void(const orb::Settings&)> Applied;
        std::function<void(const std::string& address)> OpenAddress;
        std::function<std::vector<std::string>()> OutputDevices, InputDevices, CodecNames;
        std::function<std::vector<orb::video::TCaptureDriver>()> CaptureDrivers;
        // Opens the preview of a driver modally (unset: the dialog's own preview window).
        std::function<void(int driver)> Preview;
        // Message boxes: a question (true for Yes), and information or an error.
        std::function<bool(const QString&)> Ask;
        std::function<void(const QString&, bool error)> Tell;
    } Hooks;

    // Selects the page's node and shows the page; a page that cannot be opened yet shows the
    // connection page. Before the dialog is shown it names the page to open on.
    void SelectPage(orb::prefs::TSettingsPage page);
    orb::prefs::TSettingsPage CurrentPage() const;
    bool PageEnabled(orb::prefs::TSettingsPage page) const;

    // The handlers, callable from tests.
    void FormShow();
    bool BitBtn1Click();  // OK: true when the settings were written and the dialog closed
    void Button3Click();  // Force Audio Reconnection
    void JvXPButton6Click();  // Run the Audio Wizard
    void BitBtn7Click();  // Preview
    void lbDownloadCodecClick();
    void trbBufferSizeChange(int value);
    void cbAudiCodecsChange(int index);
    void acDeletePollExecute();
    void acDeleteAllPollsExecute();

    // The controls' values as plain data.
    orb::prefs::TSettingsForm ReadForm() const;
    Ui::TfrmSettings* ui() const { return ui_.get(); }

    static constexpr const char* kCodecDownloadAddress =
        "https://www.microsoft.com/windows/windowsmedia/forpros/format/codecdownload.aspx";

protected:
    void showEvent(QShowEvent* e) override;

private:
    void BuildTree();
    void WriteForm(const orb::prefs::TSettingsForm& f);
    void FillDevices();
    void FillVoicePage();
    void FillFonts();
    void FillVideoPage();
    void FillPolls();
    void eProxyVersionChange();
    void acDeletePollUpdate();
    void UpdateVideoActions();
    void RunRoomSteps(const orb::Settings& before, const orb::Settings& after);
    orb::prefs::TRoomFacts Facts() const;
    bool Ask(const QString& text);
    void Tell(const QString& text, bool error);

    std::unique_ptr<Ui::TfrmSettings> ui_;
    TDM& dm_;
    orb::Settings& settings_;
    std::vector<QTreeWidgetItem*> nodes_;
    orb::prefs::TSettingsPage wanted_ = orb::prefs::tsConnection;
    bool shown_ = false;
    bool filling_ = false;
    // Remembered when shown: the devices and buffer, the room's talkers and codec.
    int shownOut_ = -1, shownIn_ = -1, shownBuffer_ = 3;
    int shownTalkers_ = -1, shownCodec_ = -1;
    // The colour box shows only its sixteen colours: another stored colour is kept unless one is chosen.
    uint32_t storedColour_ = 0;
    bool colourChosen_ = false;
    std::vector<std::string> pollDeletions_;
    std::vector<orb::video::TCaptureDriver> drivers_;
    class QAction* acDeletePoll_ = nullptr;
    class QAction* acDeleteAllPolls_ = nullptr;
};
