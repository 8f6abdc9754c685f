#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "transfer/safe_files.h"

namespace fs = std::filesystem;
using namespace orb;

TEST(SafeNames, HostileNamesStayInsideTheFolder) {
    EXPECT_EQ(SafeBaseName("report.pdf"), "report.pdf");
    EXPECT_EQ(SafeBaseName("../../etc/passwd"), "passwd");
    EXPECT_EQ(SafeBaseName("..\\..\\Windows\\win.ini"), "win.ini");
    EXPECT_EQ(SafeBaseName("C:evil.exe"), "Cevil.exe");
    EXPECT_EQ(SafeBaseName("a/.."), "");
    EXPECT_EQ(SafeBaseName(".."), "");
    EXPECT_EQ(SafeBaseName(""), "");
    EXPECT_EQ(SafeBaseName(".bashrc"), "bashrc");
    EXPECT_EQ(SafeBaseName(std::string("x\ny\0z", 5)), "xyz");
    EXPECT_EQ(SafeBaseName(std::string(300, 'a')).size(), kMaxSafeNameLength);
    // A cut never leaves half a UTF-8 character.
    std::string umlauts;
    for (int i = 0; i < 150; ++i) umlauts += "\xC3\xA4";
    std::string cut = SafeBaseName("x" + umlauts);
    EXPECT_EQ(cut.size(), kMaxSafeNameLength - 1);

    EXPECT_EQ(PathInFolder("/data/UserImages", "../../x.jpg"), fs::path("/data/UserImages/x.jpg"));
    EXPECT_TRUE(PathInFolder("/data", "/").empty());
}

TEST(SafeNames, ExtensionsAreShortLettersAndDigits) {
    EXPECT_EQ(SafeExtension(".JPG"), ".JPG");
    EXPECT_EQ(SafeExtension("pdf"), ".pdf");
    EXPECT_EQ(SafeExtension("slides.v2.pptx"), ".pptx");
    EXPECT_EQ(SafeExtension(".j/../pg"), "");
    EXPECT_EQ(SafeExtension(".sh "), "");
    EXPECT_EQ(SafeExtension("."), "");
    EXPECT_EQ(SafeExtension("." + std::string(17, 'a')), "");
}

TEST(AtomicFile, OnlyACommittedFileReplacesTheOldOne) {
    auto dir = fs::temp_directory_path() / ("orb_atomic_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    auto target = dir / "pic.jpg";
    std::ofstream(target) << "old";
    {
        TAtomicFileWriter w(target);
        ASSERT_TRUE(w.Open());
        EXPECT_TRUE(w.Write("partial", 7));
        EXPECT_TRUE(fs::exists(w.TempPath()));
    }  // abandoned
    std::ifstream in(target);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "old");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);

    TAtomicFileWriter w(target);
    ASSERT_TRUE(w.Open());
    EXPECT_TRUE(w.Write("new!", 4));
    EXPECT_TRUE(w.Commit());
    EXPECT_EQ(fs::file_size(target), 4u);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);

    TAtomicFileWriter nowhere(dir / "missing" / "x.jpg");
    EXPECT_FALSE(nowhere.Open());
    fs::remove_all(dir);
}
