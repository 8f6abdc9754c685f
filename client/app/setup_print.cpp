// Print path into presentations, presentation export: what the program binds for this area.
#include <unistd.h>

#include <QCoreApplication>
#include <QStandardPaths>
#include <QUrl>
#include <QDesktopServices>

#include "frm_pptexport.h"
#include "print/drv_installer.h"
#include "print/print_submit.h"
#include "program.h"
#include "util/folders.h"

namespace orb {

namespace {

// The installer's source folder: the document printer's files beside the program, else the
// build's collection of them.
std::filesystem::path PrinterFiles() {
    const std::filesystem::path own = QCoreApplication::applicationDirPath().toStdString();
    if (std::filesystem::exists(own / print::kBackendFile)) return own;
    return ORB_PRINTER_BUNDLE_DIR;
}

}  // namespace

void TProgram::SetupPrint() {
    TDM& dm = *tdm_;
    dm.ShowDocumentUploader = [this, &dm] {
        static print::TProcessRunner runner;
        const std::string temp = ProgramTempFolder().value_or("/tmp/");
        print::TUploaderServices s;
        s.ownUserId = dm.OwnLoginInfo.UserId();
        s.workFolder = std::filesystem::path(temp) / "export";
        const std::filesystem::path profile = std::filesystem::path(temp) / "office-profile";
        s.upload = [up = dm.MakePresentationUploader()](const std::filesystem::path& file, int32_t number, int type,
                                                        const std::string& id) { return up(file.string(), id, number, type); };
        s.printerInstalled = [](std::string& why) {
            print::TDrvInstaller inst(runner);
            const bool ok = inst.IsDocumentPrinterInstalled(print::kMonitorName, print::kPortName, print::kPrinterName,
                                                            print::kDriverName);
            if (!ok) why = "Install it once as root with: " + print::TDrvInstaller::RootInstallCommand(PrinterFiles());
            return ok;
        };
        s.installPrinter = [workFolder = s.workFolder](std::string& why) {
            print::TDrvInstaller inst(runner);
            if (geteuid() != 0) {
                // Not root: the desktop's administrator prompt runs the installer, else the user
                // is told what to run.
                // A person types a password there: more time than any command of ours takes.
                // pkexec's standard error is read: it says whether a prompt could be shown at all.
                static print::TProcessRunner adminRunner(std::chrono::minutes(10), true);
                const auto outcome = print::InstallThroughAdminPrompt(adminRunner, PrinterFiles(), why);
                return outcome == print::TAdminInstall::installed;
            }
            const bool ok = inst.InstallDocumentPrinter(PrinterFiles(), workFolder.string() + "/", print::kPrinterName,
                                                        print::kDriverName, print::kPortName, print::kMonitorName);
            if (!ok)
                why = inst.LastError() + "\r\nInstall it once as root with: " +
                      print::TDrvInstaller::RootInstallCommand(PrinterFiles());
            return ok;
        };
        s.print = [profile](const std::filesystem::path& doc, const std::filesystem::path& folder, std::string& job) {
            return print::SubmitToDocumentPrinter(runner, doc, folder, profile, nullptr, &job);
        };
        s.waitPrinted = [](const std::string& job, const std::atomic<bool>& stop) {
            print::WaitForPrintJob(runner, job, stop, std::chrono::minutes(30));
        };
        s.open = [](const std::filesystem::path& doc) {
            return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(doc.string())));
        };
        s.canOpen = [](const std::filesystem::path& doc) { return print::CanPrintDocument(runner, doc); };
        s.requestPresentationList = [&dm] { dm.SendPresentationListRequest(); };
        s.exportTools = print::SystemExportTools(runner, profile);
        TfrmPPTExport window(std::move(s), main_.get());
        window.exec();
    };
}

}  // namespace orb
