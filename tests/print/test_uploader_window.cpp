// The Document Uploader window on the offscreen platform: its panels and buttons follow the chosen
// file, notices reach it over its UDP listener, and a picture of it goes into test-artifacts.
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QUdpSocket>
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "frm_pptexport.h"
#include "registry/registry.h"
#include "ui_frm_pptexport.h"

namespace {

namespace fs = std::filesystem;
using namespace orb::print;

TEST(UploaderWindow, PanelsButtonsAndNoticesOverItsListener) {
    char t[] = "/tmp/orb-uploader-win-XXXXXX";
    const fs::path root = mkdtemp(t);
    setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
    orb::reg::Registry::Default().Reconfigure(orb::reg::Registry::DefaultFolders());
    std::ofstream(root / "minutes.pdf") << "%PDF";
    std::ofstream(root / "talk.pptx") << "deck";

    QUdpSocket probe;  // a free port for the window's listener
    ASSERT_TRUE(probe.bind(QHostAddress::LocalHost, 0));
    const uint16_t port = probe.localPort();
    probe.close();

    TUploaderServices s;
    s.workFolder = root / "work";
    s.noticePort = port;
    s.printerInstalled = [](std::string&) { return true; };
    s.print = [](const fs::path&, const fs::path&, std::string&) { return true; };
    s.canOpen = [](const fs::path&) { return true; };
    bool listRequested = false;
    s.requestPresentationList = [&] { listRequested = true; };
    TfrmPPTExport w(std::move(s));
    std::vector<std::string> messages;
    w.answer = [&](TMsgKind, TMsgButtons, const std::string& text) {
        messages.push_back(text);
        return TMsgAnswer::Ok;
    };
    w.show();
    EXPECT_EQ(w.windowTitle(), "Document Uploader");
    EXPECT_FALSE(w.Ui().bUpload->isEnabled());
    EXPECT_TRUE(w.Ui().bClose->isEnabled());

    w.Uploader().SelectFile(root / "talk.pptx");
    EXPECT_TRUE(w.Ui().pSlideSize->isVisible());
    EXPECT_FALSE(w.Ui().pHint->isVisible());
    w.Ui().cbSize->setChecked(true);
    w.Ui().eWidth->setText("wide");
    emit w.Ui().eWidth->editingFinished();
    EXPECT_EQ(w.Ui().eWidth->text(), "800");

    w.Uploader().SelectFile(root / "minutes.pdf");
    EXPECT_FALSE(w.Ui().pSlideSize->isVisible());
    EXPECT_EQ(w.Ui().lStatus->text(), "Idle");
    EXPECT_TRUE(w.Ui().bUpload->isEnabled() && w.Ui().bAdvancedUpload->isEnabled());

    QTest::mouseClick(w.Ui().bUpload, Qt::LeftButton);
    ASSERT_FALSE(w.Uploader().ExportFolder().empty());
    EXPECT_FALSE(w.Ui().bUpload->isEnabled());
    const std::string folder = w.Uploader().ExportFolder().string();
    std::ofstream(folder + "Slide_1.jpg", std::ios::binary) << std::string("\xFF\xD8\xFF\xE0", 4);
    QUdpSocket sender;
    auto send = [&](int32_t kind, const std::string& path, int32_t page) {
        const auto bytes = orb::EncodePrintNotice(orb::BuildPrintNotice(3, "", page, path, page, kind));
        sender.writeDatagram(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()), QHostAddress::LocalHost,
                             port);
    };
    send(2, folder, 0);
    send(5, folder + "Slide_1.jpg", 1);
    QTRY_COMPARE(w.Uploader().PagesReceived(), 1);
    EXPECT_EQ(w.Ui().lStatus->text(), "Counting ... 1");

    fs::create_directories(ORB_TEST_ARTIFACTS);
    EXPECT_TRUE(w.grab().save(QString(ORB_TEST_ARTIFACTS) + "/document_uploader.png"));

    // Closing while waiting for more pages: the listener goes and the library is asked again.
    send(1, folder, 0);  // the monitor failed: the job ends, the window gets its buttons back
    QTRY_VERIFY(w.Ui().bUpload->isEnabled());
    EXPECT_EQ(messages.back(), kMsgPrintFailed);
    w.close();
    EXPECT_TRUE(listRequested);
    fs::remove_all(root);
}

}  // namespace
