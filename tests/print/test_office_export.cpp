// The export road with the real converter: a small presentation (made here from a flat ODP by
// LibreOffice) exported through soffice, pdfinfo and pdftoppm, with and without a slide size, and a
// document LibreOffice cannot read.
#include <gtest/gtest.h>

#include <fstream>

#include "cups_scheduler.h"
#include "print/presentation_export.h"
#include "util/images.h"

namespace {

namespace fs = std::filesystem;
using namespace orb::print;

const char* kFlatOdp = R"(<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0"
 xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0"
 xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0"
 office:version="1.2" office:mimetype="application/vnd.oasis.opendocument.presentation">
<office:automatic-styles>
<style:style style:name="red" style:family="graphic"><style:graphic-properties draw:fill="solid" draw:fill-color="#e01010" draw:stroke="none"/></style:style>
<style:style style:name="blue" style:family="graphic"><style:graphic-properties draw:fill="solid" draw:fill-color="#1020e0" draw:stroke="none"/></style:style>
</office:automatic-styles>
<office:body><office:presentation>
<draw:page draw:name="one"><draw:rect draw:style-name="red" svg:x="0cm" svg:y="0cm" svg:width="28cm" svg:height="21cm"/></draw:page>
<draw:page draw:name="two"><draw:rect draw:style-name="blue" svg:x="0cm" svg:y="0cm" svg:width="28cm" svg:height="21cm"/></draw:page>
</office:presentation></office:body></office:document>
)";

struct Uploaded {
    std::string name;
    int32_t number;
    int type;
    orb::Bitmap picture;
};

class OfficeExport : public ::testing::Test {
protected:
    void SetUp() override {
        root = orbtest::MakeTempFolder();
        std::ofstream(root / "deck.fodp") << kFlatOdp;
        ASSERT_EQ(orbtest::RunCommand({"soffice", "-env:UserInstallation=file://" + (root / "profile").string(),
                                       "--headless", "--norestore", "--convert-to", "odp", "--outdir", root.string(),
                                       (root / "deck.fodp").string()}),
                  0);
        ASSERT_TRUE(fs::exists(root / "deck.odp"));
    }
    void TearDown() override { fs::remove_all(root); }

    TExportResult Run(const fs::path& doc, int w, int h) {
        uploads.clear();
        stages.clear();
        errors.clear();
        TExportRequest r;
        r.document = doc;
        r.workBase = root / "work";
        r.width = w;
        r.height = h;
        TExportEvents e;
        e.progress = [this](int s, int n) { stages.push_back(std::to_string(s) + ":" + std::to_string(n)); };
        e.error = [this](const std::string& t) { errors.push_back(t); };
        e.upload = [this](const fs::path& f, int32_t n, int type) {
            Uploaded u{f.filename().string(), n, type, {}};
            if (type == kUploadPage) {
                std::ifstream in(f, std::ios::binary);
                std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
                EXPECT_TRUE(orb::JpegToBitmap(bytes.data(), bytes.size(), u.picture)) << f;
            }
            uploads.push_back(std::move(u));
            return true;
        };
        return ExportAndUploadPresentation(r, SystemExportTools(runner, root / "profile"), e);
    }

    orb::print::TProcessRunner runner;
    fs::path root;
    std::vector<Uploaded> uploads;
    std::vector<std::string> stages, errors;
};

TEST_F(OfficeExport, SlidesBecomeJpegPagesWithAndWithoutASize) {
    ASSERT_TRUE(Run(root / "deck.odp", 0, 0).ok);
    EXPECT_EQ(stages, (std::vector<std::string>{"1:0", "2:0", "3:2", "4:1", "5:1", "4:2", "5:2", "6:0"}));
    ASSERT_EQ(uploads.size(), 3u);
    EXPECT_EQ(uploads[0].name, "Slide_1.JPG");
    EXPECT_EQ(uploads[1].name, "Slide_2.JPG");
    EXPECT_EQ(uploads[2].name, "deck.odp");
    EXPECT_EQ(uploads[2].number, 2);
    EXPECT_EQ(uploads[2].type, kUploadIndex);
    // The slide's own size at 96 dpi (28 cm x 15.75 cm).
    EXPECT_NEAR(uploads[0].picture.width, 1058, 2);
    const auto& centre = uploads[0].picture;
    const uint8_t* px = &centre.rgb[(size_t(centre.height / 2) * centre.width + centre.width / 2) * 3];
    EXPECT_NEAR(px[0], 0xe0, 8);
    EXPECT_NEAR(px[2], 0x10, 8);
    const auto& second = uploads[1].picture;
    px = &second.rgb[(size_t(second.height / 2) * second.width + second.width / 2) * 3];
    EXPECT_NEAR(px[2], 0xe0, 8);

    ASSERT_TRUE(Run(root / "deck.odp", 320, 240).ok);
    ASSERT_EQ(uploads.size(), 3u);
    EXPECT_EQ(uploads[0].picture.width, 320);
    EXPECT_EQ(uploads[0].picture.height, 240);
}

TEST_F(OfficeExport, ADocumentTheConverterCannotReadIsNotExported) {
    std::ofstream(root / "broken.pptx") << "this is not a presentation";
    EXPECT_FALSE(Run(root / "broken.pptx", 0, 0).ok);
    EXPECT_EQ(errors, (std::vector<std::string>{kMsgOpen}));
    EXPECT_TRUE(uploads.empty());
    EXPECT_FALSE(Run(root / "missing.pptx", 0, 0).ok);
    EXPECT_TRUE(fs::is_empty(root / "work"));
}

}  // namespace
