// The settings dialog in the client program: opened from the login dialog's "Connection
// Settings", only its connection page open before a room, a bad proxy port refused with a message,
// then the proxy stored in the client's own registry.

#include <X11/keysym.h>
#include <unistd.h>

#include "e2e_test.h"
#include "registry/registry.h"
#include "settings/reg_helpers.h"
#include "settings/settings.h"

using namespace orb;
using namespace orb::test;

namespace {

const std::string kLoginTitle = "Orbelo Live - Authentication Required";
const std::string kSettingsTitle = "Settings";
const std::string kBoxTitle = "Orbelo Live Browser";
// Login dialog: the "Connection Settings" link, from the client area's lower left corner.
constexpr int kLinkX = 70;
constexpr int kLinkFromBottom = 30;
// Settings dialog (700 x 500): the "Connection" node, and the proxy port box.
constexpr int kConnectionNodeX = 80, kConnectionNodeY = 27;
constexpr int kPortX = 348, kPortY = 139;

class E2ESettings : public TEndToEnd {
protected:
    // Windows showing the message boxes' caption (the main window shows it too before sign-in).
    int Boxes() {
        const std::string all = x_.DescribeWindows();
        int n = 0;
        for (size_t at = all.find("\"" + kBoxTitle + "\""); at != std::string::npos;
             at = all.find("\"" + kBoxTitle + "\"", at + 1))
            ++n;
        return n;
    }
    bool WaitForBoxes(int count) {
        for (int waited = 0; waited < kWaitMs; waited += 50) {
            if (Boxes() == count) return true;
            usleep(50 * 1000);
        }
        return false;
    }
};

}  // namespace

TEST_F(E2ESettings, ConnectionSettingsFromTheLoginDialogStoreTheProxy) {
    StartRoomServer();
    TClientProcess* a = StartClient("pat");
    ASSERT_TRUE(a);
    auto login = x_.WaitForTitle(kLoginTitle, a->Pid(), kWaitMs);
    ASSERT_TRUE(login) << "no login dialog";
    ASSERT_TRUE(WaitForPainted(*login));
    auto box = x_.Geometry(*login);
    ASSERT_TRUE(box);
    x_.Click(box->x + kLinkX, box->y + box->height - kLinkFromBottom);

    auto settings = x_.WaitForTitle(kSettingsTitle, a->Pid(), kWaitMs);
    ASSERT_TRUE(settings) << "no settings dialog\n" << x_.DescribeWindows();
    ASSERT_TRUE(WaitForPainted(*settings));
    x_.Raise(*settings);
    auto dialog = x_.Geometry(*settings);
    ASSERT_TRUE(dialog);
    Screenshot("e2e_settings_from_login");

    // The tree, then the proxy type: SOCKS5; the host; a port out of range.
    x_.Click(dialog->x + kConnectionNodeX, dialog->y + kConnectionNodeY);
    x_.Key(XK_Tab);
    for (int i = 0; i < 3; ++i) x_.Key(XK_Down);
    x_.Key(XK_Tab);
    ASSERT_TRUE(x_.Type("127.0.0.1\t"));
    x_.Key(XK_a, {XK_Control_L});
    ASSERT_TRUE(x_.Type("70000"));
    Screenshot("e2e_settings_proxy_typed");
    const int before = Boxes();
    x_.Key(XK_Return);
    ASSERT_TRUE(WaitForBoxes(before + 1)) << "no message for the bad port\n" << x_.DescribeWindows();
    usleep(300 * 1000);  // its first paint
    Screenshot("e2e_settings_bad_port");
    x_.Key(XK_Return);
    ASSERT_TRUE(WaitForBoxes(before));
    ASSERT_TRUE(x_.FindWindow([](const std::string& t) { return TXDriver::ShowsCaption(t, kSettingsTitle); }, a->Pid()))
        << "the dialog closed on a bad port";

    // Nothing was written yet.
    reg::Registry::Default().Reconfigure({a->Folder() / "config" / "orbelo-live6" / "registry", a->Folder() / "machine"});
    EXPECT_FALSE(RegReadBool(kSettingsKey, "UseProxy", true));

    x_.Click(dialog->x + kPortX, dialog->y + kPortY);
    x_.Key(XK_a, {XK_Control_L});
    ASSERT_TRUE(x_.Type("1080\n"));
    for (int waited = 0; waited < kWaitMs && x_.FindWindow([](const std::string& t) {
             return TXDriver::ShowsCaption(t, kSettingsTitle);
         }, a->Pid());
         waited += 50)
        usleep(50 * 1000);
    EXPECT_FALSE(x_.FindWindow([](const std::string& t) { return TXDriver::ShowsCaption(t, kSettingsTitle); }, a->Pid()))
        << "the dialog stayed open";
    Screenshot("e2e_settings_closed");
    reg::Registry::Default().Reconfigure({a->Folder() / "config" / "orbelo-live6" / "registry", a->Folder() / "machine"});
    EXPECT_TRUE(RegReadBool(kSettingsKey, "UseProxy", true));
    EXPECT_EQ(RegReadInteger(kSettingsKey, "SocksVersion", true), 3);
    EXPECT_EQ(RegReadString(kSettingsKey, "ProxyHost", true), "127.0.0.1");
    EXPECT_EQ(RegReadInteger(kSettingsKey, "ProxyPort", true), 1080);
    // The login dialog is still there for signing in.
    EXPECT_TRUE(x_.WaitForTitle(kLoginTitle, a->Pid(), kWaitMs));
}
