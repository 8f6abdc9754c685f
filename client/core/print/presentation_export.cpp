#include "print/presentation_export.h"

#include <cctype>
#include <charconv>
#include <fstream>
#include <sstream>
#include <vector>

#include "util/folders.h"
#include "util/images.h"

namespace orb::print {

namespace fs = std::filesystem;

std::string StageStatus(int stage, int number) {
    switch (stage) {
        case esConnecting:
            return "Connecting...";
        case esOpening:
            return "Openning...";
        case esExporting:
        case esExported:
            return "Exporting Slide " + std::to_string(number);
        default:
            return {};
    }
}

namespace {

bool ReadSmallFile(const fs::path& p, std::vector<uint8_t>& out, size_t cap) {
    std::ifstream in(p, std::ios::binary);
    if (!in) return false;
    in.seekg(0, std::ios::end);
    const auto size = in.tellg();
    if (size <= 0 || static_cast<uint64_t>(size) > cap) return false;
    in.seekg(0);
    out.resize(static_cast<size_t>(size));
    return static_cast<bool>(in.read(reinterpret_cast<char*>(out.data()), size));
}

bool WriteFile(const fs::path& p, const std::vector<uint8_t>& data) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    return out.good();
}

const char* PresentationImportFilter(const fs::path& document) {
    std::string e = document.extension().string();
    for (auto& c : e) c = char(std::tolower(static_cast<unsigned char>(c)));
    if (e == ".ppt") return "MS PowerPoint 97";
    if (e == ".pps") return "MS PowerPoint 97 AutoPlay";
    if (e == ".pptx") return "Impress MS PowerPoint 2007 XML";
    if (e == ".ppsx") return "Impress MS PowerPoint 2007 XML AutoPlay";
    if (e == ".odp") return "impress8";
    return nullptr;
}

}  // namespace

TExportTools SystemExportTools(ICommandRunner& runner, fs::path profileFolder) {
    TExportTools t;
    t.available = [&runner] {
        std::string out;
        return runner.Run({"soffice", "--version"}, &out) == 0;
    };
    t.toPdf = [&runner, profileFolder](const fs::path& document, const fs::path& outFolder, fs::path& pdf) {
        std::error_code ec;
        fs::create_directories(profileFolder, ec);
        // A private profile: a running LibreOffice of the user is neither joined nor disturbed.
        const std::string profile = "-env:UserInstallation=file://" + fs::absolute(profileFolder, ec).string();
        std::vector<std::string> argv = {"soffice", profile, "--headless", "--norestore", "--nolockcheck"};
        // A presentation is read as one: LibreOffice would otherwise open anything it cannot
        // read as a presentation as plain text and "export" that.
        if (const char* filter = PresentationImportFilter(document)) argv.push_back(std::string("--infilter=") + filter);
        argv.insert(argv.end(), {"--convert-to", "pdf", "--outdir", outFolder.string(),
                                 fs::absolute(document, ec).string()});
        int rc = runner.Run(argv, nullptr);
        pdf = outFolder / (document.stem().string() + ".pdf");
        return rc == 0 && fs::is_regular_file(pdf, ec) && fs::file_size(pdf, ec) > 0;
    };
    t.pageCount = [&runner](const fs::path& pdf) {
        std::string out;
        if (runner.Run({"pdfinfo", pdf.string()}, &out) != 0) return -1;
        std::istringstream lines(out);
        std::string line;
        while (std::getline(lines, line)) {
            if (line.rfind("Pages:", 0) != 0) continue;
            size_t i = 6;
            while (i < line.size() && line[i] == ' ') ++i;
            int n = -1;
            auto [p, e] = std::from_chars(line.data() + i, line.data() + line.size(), n);
            return e == std::errc() && n >= 0 && n <= 100000 ? n : -1;
        }
        return -1;
    };
    t.renderPage = [&runner](const fs::path& pdf, int page, int width, int height, const fs::path& png) {
        const std::string n = std::to_string(page);
        std::vector<std::string> argv = {"pdftoppm", "-png", "-f", n, "-l", n, "-singlefile"};
        if (width > 0 && height > 0) {
            argv.insert(argv.end(), {"-scale-to-x", std::to_string(width), "-scale-to-y", std::to_string(height)});
        } else {
            argv.insert(argv.end(), {"-r", "96"});
        }
        fs::path prefix = png;
        prefix.replace_extension();
        argv.insert(argv.end(), {pdf.string(), prefix.string()});
        std::error_code ec;
        return runner.Run(argv, nullptr) == 0 && fs::is_regular_file(png, ec);
    };
    return t;
}

TExportResult ExportAndUploadPresentation(const TExportRequest& request, const TExportTools& tools,
                                          const TExportEvents& events, const std::atomic<bool>* stop) {
    TExportResult result;
    auto progress = [&](int stage, int n) {
        if (events.progress) events.progress(stage, n);
    };
    auto error = [&](const char* text) {
        if (events.error) events.error(text);
    };
    auto stopped = [&] { return stop && stop->load(); };

    const uint32_t tick = TickCount();
    const fs::path work = MakeJobFolder(request.workBase, tick);
    auto cleanUp = [&] {
        if (!work.empty()) DeleteFolder(work.string());
    };
    if (work.empty()) {
        error(kMsgFolder);
        progress(esFailed, kFailedExport);
        return result;
    }

    progress(esConnecting, 0);
    if (!tools.available || !tools.available()) {
        error(kMsgConnect);
        cleanUp();
        progress(esFailed, kFailedExport);
        return result;
    }

    progress(esOpening, 0);
    fs::path pdf;
    std::error_code ec;
    const int count = fs::is_regular_file(request.document, ec) && tools.toPdf(request.document, work, pdf)
                          ? tools.pageCount(pdf)
                          : -1;
    if (count < 0) {
        error(kMsgOpen);
        cleanUp();  // nothing of a failed document is kept
        return result;
    }
    progress(esSlideCount, count);

    result.presentationId =
        request.presentationId.empty() ? PresentationId(request.ownUserId, tick) : request.presentationId;
    TPresentationIndex index;
    index.name = request.document.filename().string();
    index.fileName = index.name;

    const bool sized = request.width >= 1 && request.height >= 1;
    bool ok = true;
    for (int n = 1; n <= count && ok; ++n) {
        if (stopped()) {
            ok = false;
            break;
        }
        progress(esExporting, n);
        const fs::path png = work / ("Slide_" + std::to_string(n) + ".png");
        if (!tools.renderPage(pdf, n, sized ? request.width : 0, sized ? request.height : 0, png)) continue;
        std::vector<uint8_t> pngBytes, jpeg;
        const bool converted = ReadSmallFile(png, pngBytes, 256u << 20) &&
                               PngToJpeg(pngBytes.data(), pngBytes.size(), jpeg);
        fs::remove(png, ec);
        if (!converted) continue;
        // Slides are numbered as they are uploaded, so a skipped slide leaves no gap.
        const int number = result.uploaded + 1;
        const std::string name = "Slide_" + std::to_string(number) + ".JPG";
        if (!WriteFile(work / name, jpeg)) continue;
        progress(esExported, n);
        if (!events.upload || !events.upload(work / name, number, kUploadPage)) {
            ok = false;
            break;
        }
        result.uploaded = number;
        index.slides.emplace_back(number, name);
    }

    index.slidesCount = result.uploaded;
    const fs::path indexFile = work / index.fileName;
    if (ok) ok = index.Save(indexFile) && events.upload && events.upload(indexFile, result.uploaded, kUploadIndex);
    cleanUp();
    result.ok = ok;
    if (ok) {
        progress(esDone, 0);
    } else {
        progress(esFailed, kFailedUpload);
    }
    return result;
}

}  // namespace orb::print
