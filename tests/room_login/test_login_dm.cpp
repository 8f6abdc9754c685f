// The data module's side of the login dialog: what the typed entries become, and when the dialog
// is shown again.

#include <gtest/gtest.h>

#include <cmath>
#include <deque>

#include "dm/dm.h"
#include "loop/plain_event_loop.h"
#include "protocol/date_time.h"
#include "util/time_text.h"

namespace {

struct Entry {
    bool signIn = true;
    std::string host, user, password;
};

class FakeLoginDialog : public orb::ILoginDialog {
public:
    FakeLoginDialog(std::deque<Entry> entries, int* runs) : entries_(std::move(entries)), runs_(runs) {}
    bool Execute() override {
        ++*runs_;
        if (entries_.empty()) return false;
        current_ = entries_.front();
        entries_.pop_front();
        return current_.signIn;
    }
    std::string HostText() const override { return current_.host; }
    std::string UserNameText() const override { return current_.user; }
    std::string PasswordText() const override { return current_.password; }

private:
    std::deque<Entry> entries_;
    Entry current_;
    int* runs_;
};

class LoginDm : public ::testing::Test {
protected:
    bool Show(std::deque<Entry> entries) {
        dm_.CreateLoginDialog = [this, entries] { return std::make_unique<FakeLoginDialog>(entries, &runs_); };
        return dm_.ShowLoginDialog();
    }
    orb::PlainEventLoop loop_;
    TDM dm_{loop_, 1};
    int runs_ = 0;
};

}  // namespace

TEST_F(LoginDm, HostBoxGivesServerAndPort) {
    struct Case {
        const char* host;
        const char* server;
        int port;
    } cases[] = {
        {"room.example", "room.example", 9910},         // no port
        {"room.example:0", "room.example", 9910},       // port 0
        {"http://room.example:1234", "room.example", 1234},
        {"  room.example:8080 ", "room.example", 8080},
        {"room.example:99999", "room.example", 9910},   // not a port number
        {"room.example:-5", "room.example", 9910},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.host);
        ASSERT_TRUE(Show({{true, c.host, "anna", "pw"}}));
        EXPECT_EQ(dm_.Link.server, c.server);
        EXPECT_EQ(dm_.Link.port, c.port);
        EXPECT_EQ(dm_.ServerHost, c.server);
        EXPECT_EQ(dm_.ServerPort, c.port);
    }
}

TEST_F(LoginDm, MissingEntryShowsTheSameDialogAgainUntilCancel) {
    int made = 0;
    std::deque<Entry> entries = {{true, "room.example", "", "pw"},  // no user name
                                 {true, ":9910", "anna", "pw"},     // no server
                                 {true, "room.example", "   ", "pw"},
                                 {false, "", "", ""}};
    dm_.CreateLoginDialog = [&] {
        ++made;
        return std::make_unique<FakeLoginDialog>(entries, &runs_);
    };
    EXPECT_FALSE(dm_.ShowLoginDialog());
    EXPECT_EQ(runs_, 4);
    EXPECT_EQ(made, 1);

    runs_ = 0;  // no password, then complete
    EXPECT_TRUE(Show({{true, "room.example", "anna", ""}, {true, "room.example", "anna", "pw"}}));
    EXPECT_EQ(runs_, 2);
}

TEST_F(LoginDm, NoDialogMeansNoLogin) {
    EXPECT_FALSE(dm_.ShowLoginDialog());
    dm_.CreateLoginDialog = [] { return std::unique_ptr<orb::ILoginDialog>(); };
    EXPECT_FALSE(dm_.ShowLoginDialog());
}

TEST_F(LoginDm, AccountGetsTrimmedNameAndPasswordAsTyped) {
    dm_.OwnUserId = 77;
    dm_.OwnLoginInfo.SetUserId(77);
    dm_.OwnLoginInfo.SetRoomToEnter(5);
    ASSERT_TRUE(Show({{true, "room.example:9911", "  anna smith \t", "  secret "}}));
    const orb::TLoginInfo& info = dm_.OwnLoginInfo;
    EXPECT_EQ(info.UserName(), "anna smith");
    EXPECT_EQ(info.Password(), "  secret ");
    EXPECT_EQ(dm_.Link.userName, "anna smith");
    EXPECT_EQ(dm_.Link.password, "  secret ");
    EXPECT_EQ(info.UserId(), 0);
    EXPECT_EQ(dm_.OwnUserId, 0);
    EXPECT_EQ(info.RoomToEnter(), 0);
    EXPECT_LT(std::fabs(info.LoginTime() - orb::NowDateTime()), 1.0 / 1440);  // within a minute
    EXPECT_EQ(info.TimeZoneBias(), orb::GetTimeZoneBias());
}

TEST_F(LoginDm, LongEntriesAreCutToFiftyBytesOfWholeCharacters) {
    const std::string sixty(60, 'n');
    // 49 ASCII bytes and a two-byte character: the character does not fit and is left out whole.
    const std::string split = std::string(49, 'p') + "\xC3\xA9";
    ASSERT_TRUE(Show({{true, "room.example", sixty, split}}));
    EXPECT_EQ(dm_.OwnLoginInfo.UserName(), std::string(50, 'n'));
    EXPECT_EQ(dm_.Link.password, std::string(49, 'p'));
}
