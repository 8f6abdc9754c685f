#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <cstdlib>

#include "keyboard_hook.h"
#include "loop/plain_event_loop.h"
#include "protocol/wm_app.h"
#include "support/xvfb_server.h"

using namespace orb;

namespace {

// One private X server for the whole program; the hook library keeps its display connection.
orb::test::XvfbServer g_xvfb;

struct Key {
    std::intptr_t vk;
    uint32_t flags;
    bool operator==(const Key& o) const { return vk == o.vk && flags == o.flags; }
};

class KeyboardHook : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        if (g_xvfb.Display().empty()) {
            ASSERT_TRUE(g_xvfb.Start(640, 480, 24, &error)) << error;
        }
        display_ = g_xvfb.Display();
        setenv("DISPLAY", display_.c_str(), 1);
        x_ = XOpenDisplay(display_.c_str());
        ASSERT_NE(x_, nullptr);
        window_ = loop_.RegisterWindow([this](uint32_t msg, std::intptr_t w, std::intptr_t l) {
            if (msg == WM_APP_HOOKKEY) keys_.push_back({w, uint32_t(l)});
        });
    }
    void TearDown() override {
        UninstallKeyboardHook();
        if (x_) XCloseDisplay(x_);
    }
    // A key event as a user would make it, through the server's test extension.
    void Fake(KeySym ks, bool down) {
        XTestFakeKeyEvent(x_, XKeysymToKeycode(x_, ks), down ? True : False, CurrentTime);
        XSync(x_, False);
    }
    bool WaitKeys(size_t n) {
        return loop_.RunUntil([&] { return keys_.size() >= n; }, 5000);
    }

    std::string display_;
    Display* x_ = nullptr;
    PlainEventLoop loop_;
    WindowHandle window_ = 0;
    std::vector<Key> keys_;
};

}  // namespace

TEST_F(KeyboardHook, ReportsPressReleaseAndRepeatWithVirtualKeysUntilUnhooked) {
    ASSERT_TRUE(InstallKeyboardHook(loop_, window_, VORNEX_PATH));
    EXPECT_TRUE(KeyboardHookInstalled());
    // Only the first call installs.
    EXPECT_FALSE(InstallKeyboardHook(loop_, window_, VORNEX_PATH));
    EXPECT_TRUE(KeyboardHookInstalled());

    Fake(XK_Control_L, true);
    Fake(XK_Control_L, false);
    Fake(XK_F3, true);
    Fake(XK_F3, false);
    Fake(XK_a, true);
    Fake(XK_a, true);  // held: the second press is the server's auto-repeat
    Fake(XK_a, false);
    WaitKeys(7);
    std::vector<Key> want = {{17, 0},   {17, 0x80000000u}, {114, 0},           {114, 0x80000000u},
                             {'A', 0},  {'A', 0x40000000u}, {'A', 0x80000000u}};
    EXPECT_EQ(keys_, want);
    if (keys_ != want)
        for (auto& k : keys_) ADD_FAILURE() << "got " << k.vk << " " << std::hex << k.flags;

    UninstallKeyboardHook();
    EXPECT_FALSE(KeyboardHookInstalled());
    keys_.clear();
    Fake(XK_Shift_L, true);
    Fake(XK_Shift_L, false);
    loop_.RunUntil([] { return false; }, 200);
    EXPECT_TRUE(keys_.empty());

    // After unhooking the library can be loaded and hooked again.
    ASSERT_TRUE(InstallKeyboardHook(loop_, window_, VORNEX_PATH));
    Fake(XK_Shift_L, true);
    ASSERT_TRUE(WaitKeys(1));
    EXPECT_EQ(keys_[0], (Key{16, 0}));
    Fake(XK_Shift_L, false);
}

TEST_F(KeyboardHook, MissingLibraryEntryPointsOrDisplayLeaveTheClientWithoutTheHook) {
    EXPECT_FALSE(InstallKeyboardHook(loop_, window_, "/nonexistent/libvornex.so"));
    EXPECT_FALSE(KeyboardHookInstalled());
    UninstallKeyboardHook();

    // A library that lacks the entry points.
    EXPECT_FALSE(InstallKeyboardHook(loop_, window_, "libm.so.6"));
    EXPECT_FALSE(KeyboardHookInstalled());
    UninstallKeyboardHook();

    unsetenv("DISPLAY");
    EXPECT_FALSE(InstallKeyboardHook(loop_, window_, VORNEX_PATH));
    EXPECT_FALSE(KeyboardHookInstalled());
    UninstallKeyboardHook();
    setenv("DISPLAY", display_.c_str(), 1);

    // With no path given the library is looked for beside the program and on the search path;
    // the test program has neither, so the client goes on without the hook.
    EXPECT_FALSE(InstallKeyboardHook(loop_, window_));
    EXPECT_FALSE(KeyboardHookInstalled());
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    int rc = RUN_ALL_TESTS();
    g_xvfb.Stop();
    return rc;
}
