// Seconds per page of the print road (PDF -> CUPS -> our filter and backend -> JPEG pages, without
// the upload) for a 20-page and a 100-page document, and the cost of a page beyond the job's start
// (the difference of the two jobs over the 80 pages between them); and of the export road
// (presentation -> LibreOffice -> PDF -> PNG -> JPEG); each against poppler's own rendering of the
// same pages to JPEG in the same run.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <vector>

#include "../bench_summary.h"
#include "cups_scheduler.h"
#include "print/drv_installer.h"
#include "print/presentation_export.h"
#include "print/print_submit.h"
#include "printnotice/print_notice.h"
#include "registry/registry.h"

namespace fs = std::filesystem;
using namespace orb::print;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kPages = 20, kLongPages = 100;

std::string MakePdf(int pages) {
    std::vector<std::string> objects = {"<< /Type /Catalog /Pages 2 0 R >>", ""};
    std::string kids;
    for (int i = 0; i < pages; ++i) {
        const int page = 3 + 2 * i;
        kids += std::to_string(page) + " 0 R ";
        objects.push_back("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Contents " + std::to_string(page + 1) +
                          " 0 R >>");
        std::ostringstream s;
        s << (i % 3) * 0.4 << " 0.3 " << 1 - (i % 3) * 0.4 << " rg 50 " << 600 - 20 * (i % 25) << " 495 120 re f 0 g";
        for (int line = 0; line < 30; ++line) s << " 60 " << 100 + 14 * line << " " << 200 + (line * 37 + i * 11) % 280 << " 6 re f";
        s << "\n";
        objects.push_back("<< /Length " + std::to_string(s.str().size()) + " >>\nstream\n" + s.str() + "endstream");
    }
    objects[1] = "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages) + " >>";
    std::string pdf = "%PDF-1.4\n";
    std::vector<size_t> offsets;
    for (size_t i = 0; i < objects.size(); ++i) {
        offsets.push_back(pdf.size());
        pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const size_t xref = pdf.size();
    pdf += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (size_t o : offsets) {
        char line[32];
        std::snprintf(line, sizeof line, "%010zu 00000 n \n", o);
        pdf += line;
    }
    return pdf + "trailer\n<< /Size " + std::to_string(objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
           std::to_string(xref) + "\n%%EOF\n";
}

std::string MakeFlatOdp(int slides) {
    std::string x = R"(<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0" xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0" xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0" office:version="1.2" office:mimetype="application/vnd.oasis.opendocument.presentation">
<office:automatic-styles><style:style style:name="c" style:family="graphic"><style:graphic-properties draw:fill="solid" draw:fill-color="#3060c0" draw:stroke="none"/></style:style></office:automatic-styles>
<office:body><office:presentation>)";
    for (int i = 0; i < slides; ++i)
        x += "<draw:page draw:name=\"s" + std::to_string(i + 1) + "\"><draw:rect draw:style-name=\"c\" svg:x=\"" +
             std::to_string(1 + i % 10) + "cm\" svg:y=\"2cm\" svg:width=\"12cm\" svg:height=\"8cm\"/></draw:page>";
    return x + "</office:presentation></office:body></office:document>\n";
}

double Seconds(Clock::time_point from) { return std::chrono::duration<double>(Clock::now() - from).count(); }

}  // namespace

int main() {
    if (geteuid() != 0) {
        std::fprintf(stderr, "bench_print_road needs root (it runs its own CUPS scheduler)\n");
        return 1;
    }
    const fs::path root = orbtest::MakeTempFolder();
    const fs::path config = root / "config", machine = root / "machine";
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    setenv("ORB_REGISTRY_MACHINE_DIR", machine.c_str(), 1);
    orb::reg::Registry::Default().Reconfigure(orb::reg::Registry::DefaultFolders());
    TProcessRunner runner(std::chrono::seconds(600));
    int status = 0;
    {
        orbtest::CupsScheduler cups({"XDG_CONFIG_HOME=" + config.string(), "ORB_REGISTRY_MACHINE_DIR=" + machine.string(),
                                     "ORB_PRINT_MONITOR=" + (root / "lib" / kMonitorLibraryFile).string()});
        std::string error;
        if (!cups.Start(error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 1;
        }
        TCupsLayout layout;
        layout.serverBin = cups.ServerBin();
        layout.ppdFolder = root / "ppd";
        layout.monitorFolder = root / "lib";
        TDrvInstaller installer(runner, layout);
        installer.InstallDocumentPrinter(ORB_PRINTER_BUNDLE_DIR, (root / "pages").string() + "/", kPrinterName,
                                         kDriverName, kPortName, kMonitorName);
        int udp = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        bind(udp, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        getsockname(udp, reinterpret_cast<sockaddr*>(&addr), &len);
        fs::create_directories(root / "pages");
        WriteMonitorUserSettings((root / "pages").string() + "/", ntohs(addr.sin_port));

        // One job of `pages` pages: seconds from submitting to the document's end notice, and
        // poppler's seconds for the same pages.
        auto job = [&](int pages, int round, double& road, double& anchor) {
            const std::string name = "bench" + std::to_string(pages) + "-" + std::to_string(round);
            const fs::path pdf = root / (name + ".pdf");
            std::ofstream(pdf, std::ios::binary) << MakePdf(pages);
            auto start = Clock::now();
            SubmitToDocumentPrinter(runner, pdf, root, root / "profile");
            int saved = 0;
            bool ended = false;
            while (!ended && Seconds(start) < 900) {
                pollfd p{udp, POLLIN, 0};
                if (poll(&p, 1, 200) <= 0) continue;
                uint8_t buf[1024];
                orb::TPrintNotice n;
                ssize_t got = recv(udp, buf, sizeof buf, 0);
                if (got > 0 && orb::DecodePrintNotice(std::span(buf, size_t(got)), n)) {
                    saved += n.kind == orb::pnPageSaved;
                    ended = n.kind == orb::pnDocumentEnded || n.kind == orb::pnRenderError;
                }
            }
            road = Seconds(start);
            start = Clock::now();
            runner.Run({"pdftoppm", "-r", "100", "-jpeg", pdf.string(), (root / ("anchor-" + name)).string()},
                       nullptr);
            anchor = Seconds(start);
            std::printf("print road, %3d pages: %d saved, %.3f s/page; poppler to JPEG %.3f s/page; ratio %.1f\n", pages,
                        saved, road / pages, anchor / pages, road / anchor);
            if (saved != pages) status = 1;
        };
        // A job's start alone varies by a good part of the 80 pages' time (the scheduler's own
        // pace), and three rounds left the median ratio anywhere between 0.9 and 1.6: the pair of
        // jobs is run seven times (a second or so each) and the round with the median ratio taken.
        struct Round {
            double perPage, anchorPerPage, ratio;
        };
        std::vector<Round> rounds;
        for (int round = 1; round <= 7; ++round) {
            double road20 = 0, anchor20 = 0, road100 = 0, anchor100 = 0;
            job(kPages, round, road20, anchor20);
            job(kLongPages, round, road100, anchor100);
            const double perPage = (road100 - road20) / (kLongPages - kPages);
            const double anchorPerPage = (anchor100 - anchor20) / (kLongPages - kPages);
            rounds.push_back({perPage, anchorPerPage, anchorPerPage > 0 ? perPage / anchorPerPage : 0});
            std::printf("  round %d: %.2f ms a page beyond the start; poppler %.2f ms; ratio %.2f\n", round, perPage * 1e3,
                        anchorPerPage * 1e3, rounds.back().ratio);
        }
        close(udp);
        std::sort(rounds.begin(), rounds.end(), [](const Round& a, const Round& b) { return a.ratio < b.ratio; });
        const auto [perPage, anchorPerPage, ratio] = rounds[rounds.size() / 2];
        std::printf("print road per page beyond the job's start: %.2f ms; poppler %.2f ms; ratio %.2f (median of %zu "
                    "rounds)\n",
                    perPage * 1e3, anchorPerPage * 1e3, ratio, rounds.size());
        orb::bench::Summary("print road per page beyond the job's start vs poppler", "<= 1.5", ratio,
                            ratio > 0 && ratio <= 1.5);
    }

    std::ofstream(root / "deck.fodp") << MakeFlatOdp(kPages);
    runner.Run({"soffice", "-env:UserInstallation=file://" + (root / "profile").string(), "--headless", "--norestore",
                "--convert-to", "odp", "--outdir", root.string(), (root / "deck.fodp").string()},
               nullptr);
    TExportRequest request;
    request.document = root / "deck.odp";
    request.workBase = root / "work";
    TExportEvents events;
    int uploaded = 0;
    events.upload = [&](const fs::path&, int32_t, int type) {
        uploaded += type == kUploadPage;
        return true;
    };
    auto start = Clock::now();
    const bool ok = ExportAndUploadPresentation(request, SystemExportTools(runner, root / "profile"), events).ok;
    const double exportRoad = Seconds(start);
    runner.Run({"soffice", "-env:UserInstallation=file://" + (root / "profile").string(), "--headless", "--norestore",
                "--convert-to", "pdf", "--outdir", root.string(), (root / "deck.odp").string()},
               nullptr);
    start = Clock::now();
    runner.Run({"pdftoppm", "-r", "96", "-jpeg", (root / "deck.pdf").string(), (root / "slide").string()}, nullptr);
    const double exportAnchor = Seconds(start);
    std::printf("export road: %d of %d slides, %.3f s/slide; poppler to JPEG %.3f s/slide; ratio %.1f\n", uploaded,
                kPages, exportRoad / kPages, exportAnchor / kPages, exportRoad / exportAnchor);
    if (!ok || uploaded != kPages) status = 1;
    fs::remove_all(root);
    return status;
}
