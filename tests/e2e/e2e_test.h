#pragma once
// The frame of an end-to-end test: a private Xvfb, the XTest driver on it, the test room server
// in this process on a free loopback port, and real client programs, each with its own folders.
// Everything is stopped by process id when the test ends, also when it fails; the clients' output
// is printed when it failed.

#include <gtest/gtest.h>

#include <QImage>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "client_process.h"
#include "roomserver/room_handshake.h"
#include "roomserver/room_server.h"
#include "roomserver/room_service.h"
#include "roomserver/extensions.h"
#include "roomserver/file_transfer_port.h"
#include "support/peer_process.h"
#include "support/xvfb_server.h"
#include "x_driver.h"

namespace orb::test {

class TEndToEnd : public ::testing::Test {
protected:
    static constexpr int kScreenWidth = 1280;
    static constexpr int kScreenHeight = 800;
    // Bound of every wait for the client: start-up, sign-in, windows appearing.
    static constexpr int kWaitMs = 20000;

    void SetUp() override;
    void TearDown() override;

    // The room server on 127.0.0.1 and a free port, as the program serves it: an account per login
    // and the rooms answering the room-entry requests.
    void StartRoomServer(TRoomHandshakeScript script = PerLoginScript());
    static TRoomHandshakeScript PerLoginScript() {
        TRoomHandshakeScript s;
        s.perLoginAccounts = true;
        return s;
    }
    uint16_t Port() const { return server_.Port(); }
    // "ORB6JOIN://127.0.0.1,<port>,user,password,room".
    std::string JoinLink(const std::string& user, const std::string& password, int room) const;

    // Starts the client program with its own folders under the test's folder; null (with the
    // test failed) when it could not be started.
    TClientProcess* StartClient(const std::string& name, const std::vector<std::string>& args = {});

    // The next room connection that passes the handshake (signed in), not returned before; 0 when
    // none did within the wait.
    int WaitForSignIn();
    std::vector<TReceivedMessage> From(int connection, uint16_t kind) const;
    bool WaitFor(int connection, uint16_t kind);
    // Waits until the server has seen the connection close.
    bool WaitForClosed(int connection);

    // The screen saved as <build>/test-artifacts/<name>.png; the picture, null when it failed.
    QImage Screenshot(const std::string& name);
    // Waits until the window's area of the screen is painted (holds more than black).
    bool WaitForPainted(TXDriver::Window window);

    // Debian's openbox on the test's display, as a desktop has it: windows get frames, stacking
    // layers and focus from it. Stopped by its process id after the clients when the test ends.
    void StartWindowManager();
    // The window manager's frame around a client's top-level window, 0 when it has none; and
    // whether that frame carries decorations (a title bar above the window, on the screen).
    TXDriver::Window FrameOf(TXDriver::Window window);
    bool Decorated(TXDriver::Window window);
    // Asks the window manager to raise and focus a top-level window, as a click on its task-bar
    // button would.
    void Activate(TXDriver::Window window);

    XvfbServer xvfb_;
    TXDriver x_;
    TRoomServer server_;
    std::shared_ptr<TRoomHandshake> handshake_;
    std::unique_ptr<TRoomService> service_;
    std::unique_ptr<TFileTransferPort> transfers_;
    std::vector<PRoomExtension> extensions_;
    std::filesystem::path root_;
    std::vector<std::unique_ptr<TClientProcess>> clients_;
    TPeerProcess windowManager_;

private:
    // The test's own session bus, given to every client unless the test put a bus of its own in
    // the client's runtime folder first. Its socket lies in a short folder of its own: a socket's
    // path is limited to 107 bytes.
    void StartSessionBus();
    TPeerProcess sessionBus_;
    std::filesystem::path busFolder_;
    std::string busAddress_;
    std::set<int> signedIn_;
};

}  // namespace orb::test
