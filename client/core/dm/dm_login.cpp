// The login dialog as the data module drives it: shown until the server, the user name and the
// password are filled, then the own account record, the link values and the connection target hold
// what was typed.

#include "dm/dm.h"
#include "protocol/date_time.h"
#include "util/text_util.h"
#include "util/time_text.h"
#include "util/url.h"
#include "wire/text.h"

using namespace orb;

namespace {

constexpr int32_t kDefaultRoomServerPort = 9910;
// Capacity of the user name and password fields of the account record.
constexpr size_t kAccountFieldBytes = 50;

}  // namespace

bool TDM::ShowLoginDialog() {
    if (!CreateLoginDialog) return false;
    std::unique_ptr<ILoginDialog> dialog = CreateLoginDialog();
    if (!dialog) return false;
    for (;;) {
        if (!dialog->Execute()) return false;

        const std::string hostText = dialog->HostText();
        const std::string server = HostFromURL(hostText);
        int32_t port = PortFromURL(hostText);  // -1 also for anything that is not a port number
        if (port <= 0) port = kDefaultRoomServerPort;
        // The record fields hold 50 bytes; cut whole characters so the server gets valid UTF-8.
        const std::string userName = CutUtf8(Trim(dialog->UserNameText()), kAccountFieldBytes);
        const std::string password = CutUtf8(dialog->PasswordText(), kAccountFieldBytes);

        OwnUserId = 0;
        OwnLoginInfo.SetUserId(0);
        OwnLoginInfo.SetUserName(userName);
        OwnLoginInfo.SetPassword(password);
        OwnLoginInfo.SetRoomToEnter(0);
        OwnLoginInfo.SetLoginTime(NowDateTime());
        OwnLoginInfo.SetTimeZoneBias(GetTimeZoneBias());

        Link.server = server;
        Link.port = port;
        Link.userName = userName;
        Link.password = password;
        ServerHost = server;
        ServerPort = static_cast<uint16_t>(port);

        if (!server.empty() && !userName.empty() && !password.empty()) return true;
    }
}
