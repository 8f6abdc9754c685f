#pragma once
// The login dialog: the room server's address, the user name and the password, with the choice to
// have them remembered. The data module shows it through orb::ILoginDialog until the three entries
// are filled or the user cancels; the dialog itself only reads and writes the settings and the
// data module's launch state.

#include <QDialog>

#include <memory>
#include <string>

#include "room/room_state.h"

class TDM;
class QShowEvent;

namespace Ui {
class TfLogin;
}

class TfLogin final : public QDialog, public orb::ILoginDialog {
    Q_OBJECT
public:
    static constexpr int kDefaultPort = 9910;
    // Asked for by "What is this?" when the settings name no help address of their own.
    static constexpr const char* kSupportURL = "http://www.orbelo.com/support/";
    // The host box's preset list: the room server for local tests.
    static constexpr const char* kLocalRoomServer = "127.0.0.1:9910";

    // The host box at the first show: the server used last with its port (9910 when none is
    // stored), else the first preset.
    static std::string InitialHostText(const std::string& server, int port, const std::string& firstPreset);
    // Which entries "Sign In" cannot go on without: a host box naming no server (":9910"), a blank
    // user name, an empty password.
    struct TMissing {
        bool host = false, user = false, password = false;
    };
    static TMissing MissingEntries(const std::string& host, const std::string& user, const std::string& password);

    explicit TfLogin(TDM& dm, QWidget* parent = nullptr);
    ~TfLogin() override;

    // orb::ILoginDialog
    bool Execute() override;
    std::string HostText() const override;
    std::string UserNameText() const override;
    std::string PasswordText() const override;

    // Fills the boxes from the settings (on the first show only) and puts the focus on the first
    // entry still missing.
    void FormShow();
    // "Sign In": with every entry filled, a typed login replaces whatever the launch argument asked
    // for; otherwise the dialog stays and names each missing entry under its box.
    void BitBtn1Click();
    // The remember check box is stored at once.
    void cbRememberMeClick();
    // "What is this?": the help page about room server addresses.
    void Label5Click();
    // "Connection Settings".
    void BitBtn3Click();

    // The address "What is this?" opens for the given help address setting; empty when it is not a
    // web address (nothing else is handed to the shell).
    static std::string WhatIsThisURL(const std::string& helpURL);

    Ui::TfLogin* ui() const { return ui_.get(); }

protected:
    void showEvent(QShowEvent* event) override;

private:
    std::string FirstPreset() const;
    // Shows or hides the missing-entry lines; true when something is missing.
    bool ShowMissing();
    void FitSize();
    TDM& dm_;
    std::unique_ptr<Ui::TfLogin> ui_;
    bool filled_ = false;
};

// The dialog the data module's CreateLoginDialog hands out. Without a parent it is a top-level
// window centred on the screen; with one, the caller must free it before the parent.
std::unique_ptr<orb::ILoginDialog> MakeLoginDialog(TDM& dm, QWidget* parent = nullptr);
