#pragma once
// Our raster printer driver: turns page images into the printer byte stream the print monitor
// renders (one-byte commands, 16-bit little-endian parameters, positioned runs of RGB bytes).

#include <cstdint>
#include <string>
#include <vector>

namespace orb::rasterdriver {

struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;  // rows top-down, 3 bytes per pixel
};

enum class Paper { Letter = 0, Legal = 1, A4 = 2, A3 = 3 };

struct DriverSettings {
    Paper paper = Paper::A4;
    bool landscape = false;
    int dpi = 300;       // 600, 300, 200, 100 or 60
    int quality = 50;    // 50, 70, 80, 90 or 100
};

// Stream commands.
enum : uint8_t {
    kCmdPortrait = 0x01,
    kCmdLandscape = 0x02,
    kCmdPaperBase = 0x21,  // + 2 x paper + landscape
    kCmdResolutionBase = 0x41,
    kCmdReset = 0x71,
    kCmdNewPage = 0x72,
    kCmdEndPage = 0x73,
    kCmdResetCounter = 0x74,
    kCmdQualityBase = 0x81,
    kCmdSetX = 0x91,
    kCmdSetY = 0x92,
    kCmdRun = 0x93,
    kCmdOriginX = 0x94,
};

// False when a setting is not one the printer offers.
bool ValidSettings(const DriverSettings& s);

// The paper of a page by its size in points, either orientation, 3 points of slack; false for
// none of the printer's papers.
bool PaperOfPoints(unsigned w, unsigned h, Paper& paper, bool& landscape);

// The page bitmap the renderer will paint for these settings (landscape swaps the sides).
void PageSize(const DriverSettings& s, int& width, int& height);

// Reset, counter reset, paper, resolution and quality.
void AppendJobStart(std::vector<uint8_t>& out, const DriverSettings& s);
// New page, the image's non-white spans as positioned runs (cut to the page), end of page.
void AppendPage(std::vector<uint8_t>& out, const RgbImage& page, const DriverSettings& s);
std::vector<uint8_t> BuildJobStream(const std::vector<RgbImage>& pages, const DriverSettings& s);

// Reads a binary PPM (P6, maxval 255) or a PNG. Images above 16384 pixels a side or 64 megapixels
// are refused.
bool LoadPageImage(const std::string& path, RgbImage& out, std::string& error);

}  // namespace orb::rasterdriver
