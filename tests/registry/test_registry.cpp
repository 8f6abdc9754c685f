// Registry layer: the file form, key and value operations, and the guarantees between processes
// (atomic replacement, merged writers, interrupted writes, damaged files).

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "registry/registry.h"

namespace fs = std::filesystem;
using namespace orb::reg;

namespace {

class TempDir {
public:
    TempDir() {
        std::string tmpl = (fs::temp_directory_path() / "orbreg-XXXXXX").string();
        path_ = ::mkdtemp(tmpl.data());
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

std::string ReadFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void WriteFile(const fs::path& p, const std::string& text) {
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << text;
}

// Collects reports instead of printing them.
struct Reports {
    Reports() {
        SetErrorHandler([this](const std::string& s) { lines.push_back(s); });
    }
    ~Reports() { SetErrorHandler(nullptr); }
    std::vector<std::string> lines;
};

class RegistryTest : public ::testing::Test {
protected:
    Registry::Folders Folders() const { return {dir.path() / "user", dir.path() / "machine"}; }
    TempDir dir;
    Reports reports;
};

// Runs fn in a child process and returns its wait status.
template <class F>
int InChild(F fn) {
    pid_t pid = ::fork();
    if (pid == 0) {
        fn();
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return status;
}

constexpr const char* kBrowser = "Software\\ORBELO RAREDIDAZEREVA\\Orbelo Live 6\\Browser";

}  // namespace

TEST(RegistryText, ParsesHandWrittenFile) {
    const char* text =
        "; Orbelo Live registry: HKEY_CURRENT_USER\n"
        "[Software\\Vendor\\Prod%5Duct]\r\n"
        "\"Count\"=dword:0000002a\n"
        "\"Big\"=qword:0102030405060708\n"
        "\"Blob\"=hex:00,ff,10\n"
        "\"Empty\"=hex:\n"
        "\"Esc\"=\"a\\\"b\\\\c\\nd\\x01\"\n"
        "@=\"default\"\n"
        "\n"
        "[Software\\Other]\n"
        "; end\n";
    std::string why;
    auto root = ParseRegistryText(text, &why);
    ASSERT_TRUE(root) << why;
    const Node* k = root->Child("software")->Child("VENDOR")->Child("prod]uct");
    ASSERT_NE(k, nullptr);
    EXPECT_EQ(*k->Find("count"), Value::FromDWord(42));
    EXPECT_EQ(*k->Find("Big"), Value::FromQWord(0x0102030405060708ull));
    const uint8_t blob[] = {0, 0xff, 0x10};
    EXPECT_EQ(*k->Find("Blob"), Value::FromBinary(blob, 3));
    EXPECT_EQ(*k->Find("Empty"), Value::FromBinary(nullptr, 0));
    EXPECT_EQ(*k->Find("Esc"), Value::FromString(std::string("a\"b\\c\nd\x01")));
    EXPECT_EQ(*k->Find(""), Value::FromString("default"));
    EXPECT_NE(root->Child("Software")->Child("Other"), nullptr);
}

TEST(RegistryText, RejectsDamagedText) {
    const std::pair<const char*, int> cases[] = {
        {"[A]\n\"x\"=dword:1\n; end\n", 2},              // dword needs 8 digits
        {"\"x\"=dword:00000001\n; end\n", 1},             // value before any key
        {"[A]\n\"x\"=dword:00000001\n", 3},               // cut off: no end line
        {"[A]\n\"x\"=hex:0,1\n; end\n", 2},               // bad byte pairs
        {"[A]\n\"x\"=\"open\n; end\n", 2},                // unterminated text
        {"[A\\\\B]\n; end\n", 1},                         // empty key name part
        {"[A]\n; end\n[B]\n", 3},                         // text after the end line
        {"[A]\ngarbage\n; end\n", 2},
    };
    for (const auto& [text, line] : cases) {
        std::string why;
        EXPECT_FALSE(ParseRegistryText(text, &why)) << text;
        EXPECT_EQ(why.rfind("line " + std::to_string(line) + ":", 0), 0u) << text << " -> " << why;
    }
    EXPECT_TRUE(ParseRegistryText(""));
    EXPECT_TRUE(ParseRegistryText("\n  \n"));
}

TEST(RegistryText, AwkwardNamesSurviveTheRoundTrip) {
    Node root;
    Node& k = root.ChildOrCreate("Poll: 100% [sure]?").ChildOrCreate("line\none\ttab");
    k.Set("quote\"back\\slash", Value::FromString("Ünïcödé ✓ \r\n\x7f"));
    k.Set("", Value::FromDWord(0xffffffffu));
    root.Set("at root", Value::FromQWord(7));
    root.ChildOrCreate("empty key");
    std::string text = FormatRegistryText(root, "HKEY_CURRENT_USER");
    auto back = ParseRegistryText(text);
    ASSERT_TRUE(back);
    EXPECT_EQ(FormatRegistryText(*back, "HKEY_CURRENT_USER"), text);
    const Node* b = back->Child("poll: 100% [SURE]?")->Child("line\none\ttab");
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(*b->Find("QUOTE\"BACK\\SLASH"), Value::FromString("Ünïcödé ✓ \r\n\x7f"));
    EXPECT_NE(back->Child("empty key"), nullptr);
    // Every line is one record: no raw line break hides inside a name or a text.
    size_t lines = 0;
    std::stringstream ss(text);
    for (std::string line; std::getline(ss, line);) lines += line.empty() ? 0 : 1;
    // Not counting blank lines: 2 comments, [] and its value, [empty key], [poll...], [poll...\line...] and its 2 values, end.
    EXPECT_EQ(lines, 10u);
}

TEST_F(RegistryTest, KeysAndTypedValues) {
    Registry reg(Folders());
    EXPECT_FALSE(reg.Open(HKEY_CURRENT_USER, kBrowser));
    Key k = reg.Create(HKEY_CURRENT_USER, std::string("\\") + kBrowser + "\\");
    ASSERT_TRUE(k);
    EXPECT_EQ(k.Path(), kBrowser);
    EXPECT_TRUE(reg.KeyExists(HKEY_CURRENT_USER, "software\\orbelo raredidazereva\\ORBELO LIVE 6\\browser"));
    EXPECT_FALSE(reg.KeyExists(HKEY_LOCAL_MACHINE, kBrowser));

    EXPECT_TRUE(k.WriteDWord("ColorTheme", 3));
    EXPECT_TRUE(k.WriteString("ProxyHost", "proxy.example"));
    const uint8_t eight[8] = {0, 0, 0, 0, 0, 0, 0xf0, 0x3f};
    EXPECT_TRUE(k.WriteBinary("Ratio", eight));
    EXPECT_EQ(k.ReadDWord("colortheme"), 3u);
    EXPECT_EQ(k.ReadString("PROXYHOST"), "proxy.example");
    EXPECT_EQ(k.ReadBinary("Ratio")->size(), 8u);
    // The wrong type reads as nothing.
    EXPECT_FALSE(k.ReadString("ColorTheme"));
    EXPECT_FALSE(k.ReadDWord("ProxyHost"));
    EXPECT_FALSE(k.ReadDWord("Missing"));
    EXPECT_EQ(k.TypeOf("Ratio"), ValueType::Binary);
    // Rewriting with another type replaces the value in place, keeping its first spelling.
    EXPECT_TRUE(k.WriteString("COLORTHEME", "x"));
    EXPECT_EQ(k.ValueNames(), (std::vector<std::string>{"ColorTheme", "ProxyHost", "Ratio"}));

    Key polls = k.CreateSubKey("StoredPolls");
    ASSERT_TRUE(polls);
    ASSERT_TRUE(polls.CreateSubKey("b question"));
    ASSERT_TRUE(polls.CreateSubKey("A question"));
    ASSERT_TRUE(polls.CreateSubKey("c question").WriteDWord("AnswerMask", 1u << 25));
    EXPECT_EQ(polls.SubKeyNames(), (std::vector<std::string>{"A question", "b question", "c question"}));
    EXPECT_TRUE(polls.DeleteSubKey("C QUESTION"));
    EXPECT_FALSE(polls.DeleteSubKey("c question"));
    EXPECT_EQ(polls.SubKeyNames().size(), 2u);

    EXPECT_TRUE(k.DeleteValue("ratio"));
    EXPECT_FALSE(k.DeleteValue("ratio"));
    EXPECT_FALSE(k.ValueExists("Ratio"));

    // A deleted key's handle reads nothing and cannot be written.
    EXPECT_TRUE(reg.DeleteKey(HKEY_CURRENT_USER, "Software\\ORBELO RAREDIDAZEREVA"));
    EXPECT_FALSE(k.Exists());
    EXPECT_FALSE(k.WriteDWord("ColorTheme", 1));
    EXPECT_FALSE(k.ReadString("ProxyHost"));
    EXPECT_FALSE(polls.CreateSubKey("d"));
    EXPECT_FALSE(reg.DeleteKey(HKEY_CURRENT_USER, ""));

    // The per-user folder is private.
    struct stat st {};
    ASSERT_EQ(::stat(Folders().user.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_TRUE(reports.lines.empty());
}

TEST_F(RegistryTest, RootsLiveInTheirOwnFiles) {
    Registry reg(Folders());
    ASSERT_TRUE(reg.Create(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\OrbeloLive6DocLoader")
                    .WriteString("PortName", "OrbeloLive6DocLoader"));
    ASSERT_TRUE(reg.Create(HKEY_CLASSES_ROOT, ".ob6").WriteString("", "ob6file"));
    ASSERT_TRUE(reg.Create(HKEY_CURRENT_USER, "Software\\X").WriteDWord("A", 1));
    EXPECT_EQ(reg.FileOf(HKEY_LOCAL_MACHINE).parent_path(), Folders().machine);
    EXPECT_NE(ReadFile(reg.FileOf(HKEY_LOCAL_MACHINE)).find("\"PortName\"=\"OrbeloLive6DocLoader\""), std::string::npos);
    EXPECT_NE(ReadFile(reg.FileOf(HKEY_CLASSES_ROOT)).find("[.ob6]\n@=\"ob6file\""), std::string::npos);
    EXPECT_EQ(ReadFile(reg.FileOf(HKEY_CURRENT_USER)).find("ob6"), std::string::npos);
}

TEST_F(RegistryTest, DefaultFoldersFollowTheEnvironment) {
    ::setenv("XDG_CONFIG_HOME", (dir.path() / "cfg").c_str(), 1);
    ::setenv("ORB_REGISTRY_MACHINE_DIR", (dir.path() / "m").c_str(), 1);
    auto f = Registry::DefaultFolders();
    EXPECT_EQ(f.user, dir.path() / "cfg" / "orbelo-live6" / "registry");
    EXPECT_EQ(f.machine, dir.path() / "m");
    ::unsetenv("XDG_CONFIG_HOME");
    ::unsetenv("ORB_REGISTRY_MACHINE_DIR");
    EXPECT_EQ(Registry::DefaultFolders().machine, "/var/lib/orbelo-live6/registry");
}

TEST_F(RegistryTest, SecondProcessSeesWritesAndCachedReadersNoticeChanges) {
    Registry reg(Folders());
    Key k = reg.Create(HKEY_CURRENT_USER, kBrowser);
    ASSERT_TRUE(k.WriteString("UserName", "Zoë"));
    int status = InChild([&] {
        Registry other(Folders());
        Key ok = other.Open(HKEY_CURRENT_USER, kBrowser);
        bool good = ok && ok.ReadString("username") == "Zoë";
        good = good && ok.WriteDWord("ServerPort", 9910);
        ::_exit(good ? 0 : 1);
    });
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    // Our cached copy picks up the child's write.
    EXPECT_EQ(k.ReadDWord("ServerPort"), 9910u);
    EXPECT_EQ(k.ReadString("UserName"), "Zoë");
}

TEST_F(RegistryTest, TwoWritingProcessesKeepEachOthersValues) {
    Registry reg(Folders());
    ASSERT_TRUE(reg.Create(HKEY_LOCAL_MACHINE, "K"));
    auto writer = [&](const char* prefix) {
        Registry r(Folders());
        Key k = r.Open(HKEY_LOCAL_MACHINE, "K");
        for (int i = 0; i < 60; ++i)
            if (!k.WriteDWord(prefix + std::to_string(i), static_cast<uint32_t>(i))) ::_exit(1);
    };
    pid_t a = ::fork();
    if (a == 0) {
        writer("a");
        ::_exit(0);
    }
    writer("b");
    int status = 0;
    ::waitpid(a, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    Key k = reg.Open(HKEY_LOCAL_MACHINE, "K");
    EXPECT_EQ(k.ValueNames().size(), 120u);
    EXPECT_EQ(k.ReadDWord("a59"), 59u);
    EXPECT_EQ(k.ReadDWord("b59"), 59u);
}

TEST_F(RegistryTest, ReaderNeverSeesHalfAFile) {
    Registry reg(Folders());
    Key k = reg.Create(HKEY_CURRENT_USER, "K");
    std::string big(20000, 'x');
    ASSERT_TRUE(k.WriteString("V", big + "0"));
    pid_t child = ::fork();
    if (child == 0) {
        Registry r(Folders());
        Key w = r.Open(HKEY_CURRENT_USER, "K");
        for (int i = 1; i <= 150; ++i)
            if (!w.WriteString("V", big + std::to_string(i))) ::_exit(1);
        ::_exit(0);
    }
    // Fresh registries read the file from scratch each time, while the child keeps replacing it.
    int last = 0;
    int status = 0;
    while (::waitpid(child, &status, WNOHANG) == 0) {
        Registry r(Folders());
        auto v = r.Open(HKEY_CURRENT_USER, "K").ReadString("V");
        ASSERT_TRUE(v);
        ASSERT_EQ(v->compare(0, big.size(), big), 0);
        int n = std::stoi(v->substr(big.size()));
        EXPECT_GE(n, last);
        last = n;
    }
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(k.ReadString("V"), big + "150");
    EXPECT_TRUE(reports.lines.empty());
}

TEST_F(RegistryTest, InterruptedWriteLosesNoEarlierSettings) {
    Registry reg(Folders());
    Key k = reg.Create(HKEY_CURRENT_USER, kBrowser);
    ASSERT_TRUE(k.WriteDWord("ColorTheme", 4));
    ASSERT_TRUE(k.WriteString("ProxyHost", "before"));
    std::string before = ReadFile(reg.FileOf(HKEY_CURRENT_USER));
    int status = InChild([&] {
        Registry r(Folders());
        test_hooks::SetBeforeRenameHook([] { ::raise(SIGKILL); });
        r.Open(HKEY_CURRENT_USER, kBrowser).WriteString("ProxyHost", "after");
    });
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGKILL);
    // The killed writer left its temporary file, but the settings file is the old one, whole.
    EXPECT_TRUE(fs::exists(reg.FileOf(HKEY_CURRENT_USER).string() + ".tmp"));
    EXPECT_EQ(ReadFile(reg.FileOf(HKEY_CURRENT_USER)), before);
    Registry fresh(Folders());
    Key f = fresh.Open(HKEY_CURRENT_USER, kBrowser);
    EXPECT_EQ(f.ReadDWord("ColorTheme"), 4u);
    EXPECT_EQ(f.ReadString("ProxyHost"), "before");
    // The lock died with the writer: the next write goes through and the stale temporary is gone.
    EXPECT_TRUE(f.WriteString("ProxyHost", "again"));
    EXPECT_FALSE(fs::exists(reg.FileOf(HKEY_CURRENT_USER).string() + ".tmp"));
    EXPECT_EQ(k.ReadString("ProxyHost"), "again");
    EXPECT_TRUE(reports.lines.empty());
}

TEST_F(RegistryTest, DamagedFileIsReportedOnceKeptAsideAndReadAsEmpty) {
    Registry seed(Folders());
    fs::path file = seed.FileOf(HKEY_CURRENT_USER);
    const std::string junk = "[Software\\X]\n\"A\"=dword:00000001\n\"B\"=dwo";  // cut off mid-line
    WriteFile(file, junk);

    Registry reg(Folders());
    EXPECT_FALSE(reg.Open(HKEY_CURRENT_USER, "Software\\X"));
    EXPECT_FALSE(reg.Open(HKEY_CURRENT_USER, "Software\\X"));
    ASSERT_EQ(reports.lines.size(), 1u);
    EXPECT_NE(reports.lines[0].find("damaged"), std::string::npos);

    std::vector<fs::path> aside;
    for (auto& e : fs::directory_iterator(file.parent_path()))
        if (e.path().filename().string().find(".damaged-") != std::string::npos) aside.push_back(e.path());
    ASSERT_EQ(aside.size(), 1u);
    EXPECT_EQ(ReadFile(aside[0]), junk);

    // Writing starts a fresh file and leaves the damaged copy alone.
    ASSERT_TRUE(reg.Create(HKEY_CURRENT_USER, "Software\\X").WriteDWord("A", 2));
    EXPECT_EQ(ReadFile(aside[0]), junk);
    Registry again(Folders());
    EXPECT_EQ(again.Open(HKEY_CURRENT_USER, "Software\\X").ReadDWord("A"), 2u);
    EXPECT_EQ(reports.lines.size(), 1u);
}

TEST_F(RegistryTest, DamagedFileThatCannotBeMovedIsLeftAloneUntilReplaced) {
    Registry seed(Folders());
    fs::path file = seed.FileOf(HKEY_CURRENT_USER);
    const std::string junk = "[Software\\X]\n\"A\"=dwo";
    WriteFile(file, junk);
    // No lock can be taken, so the damaged file cannot be moved aside.
    fs::path lock = file.string() + ".lock";
    fs::create_directory(lock);

    Registry reg(Folders());
    EXPECT_FALSE(reg.Open(HKEY_CURRENT_USER, "Software\\X"));
    EXPECT_FALSE(reg.Create(HKEY_CURRENT_USER, "Software\\Y"));
    EXPECT_EQ(ReadFile(file), junk);
    EXPECT_FALSE(reports.lines.empty());

    // Someone mends things: another process replaces the file with a good one.
    fs::remove(lock);
    Registry other(Folders());
    ASSERT_TRUE(other.Create(HKEY_CURRENT_USER, "Software\\X").WriteDWord("A", 5));

    // The first registry reads the good file and may write again.
    Key k = reg.Open(HKEY_CURRENT_USER, "Software\\X");
    ASSERT_TRUE(k);
    EXPECT_EQ(k.ReadDWord("A"), 5u);
    EXPECT_TRUE(k.WriteDWord("B", 6));
    EXPECT_EQ(k.ReadDWord("A"), 5u);
    Registry fresh(Folders());
    EXPECT_EQ(fresh.Open(HKEY_CURRENT_USER, "Software\\X").ReadDWord("B"), 6u);
}

TEST_F(RegistryTest, BatchWritesOnceAndKeepsOtherWritersOut) {
    Registry reg(Folders());
    Key k = reg.Create(HKEY_CURRENT_USER, kBrowser);
    std::atomic<int> renames{0};
    test_hooks::SetBeforeRenameHook([&] { ++renames; });
    {
        Registry::Batch batch(reg, HKEY_CURRENT_USER);
        for (int i = 0; i < 50; ++i) {
            std::string name = "V";
            name += std::to_string(i);
            ASSERT_TRUE(k.WriteDWord(name, static_cast<uint32_t>(i)));
        }
        EXPECT_EQ(k.ReadDWord("V49"), 49u);  // visible inside the batch already
        EXPECT_EQ(renames.load(), 0);
        // Another process must wait for the batch: its write lands after ours.
        pid_t child = ::fork();
        if (child == 0) {
            test_hooks::SetBeforeRenameHook(nullptr);
            Registry r(Folders());
            ::_exit(r.Open(HKEY_CURRENT_USER, kBrowser).WriteDWord("V0", 1000) ? 0 : 1);
        }
        EXPECT_TRUE(batch.Commit());
        EXPECT_EQ(renames.load(), 1);
        renames = 0;
        // Leaving the batch releases the lock; then the child writes.
        int status = 0;
        EXPECT_EQ(::waitpid(child, &status, WNOHANG), 0);
        (void)status;
    }
    int status = 0;
    ::wait(&status);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    test_hooks::SetBeforeRenameHook(nullptr);
    EXPECT_EQ(k.ReadDWord("V0"), 1000u);
    EXPECT_EQ(k.ReadDWord("V49"), 49u);
}

TEST_F(RegistryTest, BatchStoresWritesAfterItsCommitAndWritesThroughWithoutItsLock) {
    Registry reg(Folders());
    Key k = reg.Create(HKEY_CURRENT_USER, kBrowser);
    {
        Registry::Batch batch(reg, HKEY_CURRENT_USER);
        ASSERT_TRUE(k.WriteDWord("A", 1));
        ASSERT_TRUE(batch.Commit());
        ASSERT_TRUE(k.WriteDWord("B", 2));  // after the commit: stored when the batch ends
    }
    EXPECT_EQ(Registry(Folders()).Open(HKEY_CURRENT_USER, kBrowser).ReadDWord("B"), 2u);

    // A batch that could not take the lock must not hold changes back: another process's write in
    // between would otherwise make it drop them.
    fs::path lock = reg.FileOf(HKEY_CURRENT_USER).string() + ".lock";
    fs::remove(lock);
    fs::create_directory(lock);
    {
        Registry::Batch batch(reg, HKEY_CURRENT_USER);
        fs::remove(lock);
        ASSERT_TRUE(k.WriteDWord("C", 3));
        ASSERT_TRUE(Registry(Folders()).Open(HKEY_CURRENT_USER, kBrowser).WriteDWord("Other", 4));
        ASSERT_TRUE(k.WriteDWord("D", 5));
    }
    Registry fresh(Folders());
    Key f = fresh.Open(HKEY_CURRENT_USER, kBrowser);
    EXPECT_EQ(f.ReadDWord("C"), 3u);
    EXPECT_EQ(f.ReadDWord("Other"), 4u);
    EXPECT_EQ(f.ReadDWord("D"), 5u);
}

TEST_F(RegistryTest, KeepsOneFilePerRootOpenAndNoMore) {
    auto openFiles = [] {
        size_t n = 0;
        for (auto it = fs::directory_iterator("/proc/self/fd"); it != fs::directory_iterator(); ++it) ++n;
        return n;
    };
    const size_t before = openFiles();
    {
        Registry reg(Folders());
        Registry other(Folders());
        Key k = reg.Create(HKEY_CURRENT_USER, kBrowser);
        Key o = other.Open(HKEY_CURRENT_USER, kBrowser);
        for (int i = 0; i < 40; ++i) {
            ASSERT_TRUE(k.WriteDWord("Mine", static_cast<uint32_t>(i)));
            ASSERT_TRUE(o.WriteDWord("Theirs", static_cast<uint32_t>(i)));
            ASSERT_EQ(k.ReadDWord("Theirs"), static_cast<uint32_t>(i));
        }
        // The file each store last read or wrote stays open, so that a later file cannot take its
        // inode and look unchanged; older ones are closed.
        EXPECT_LE(openFiles(), before + 2);
    }
    EXPECT_EQ(openFiles(), before);
}
