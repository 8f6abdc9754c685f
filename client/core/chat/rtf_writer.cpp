#include "chat/rtf_writer.h"

#include <algorithm>
#include <cstdio>

namespace orb::chat {

TRtfWriter::TRtfWriter(std::string fontName) : font_(Escape(std::u16string(fontName.begin(), fontName.end()))) {}

std::string TRtfWriter::Escape(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char16_t c = text[i];
        if (c == u'\r') {
            if (i + 1 < text.size() && text[i + 1] == u'\n') continue;
            out += "\\par\n";
        } else if (c == u'\n') {
            out += "\\par\n";
        } else if (c == u'\t') {
            out += "\\tab ";
        } else if (c == u'\\' || c == u'{' || c == u'}') {
            out += '\\';
            out += char(c);
        } else if (c < 0x20) {
            // Other control characters have no meaning in a chat line.
        } else if (c < 0x80) {
            out += char(c);
        } else {
            // RTF takes a signed 16-bit number; surrogate halves are written one by one.
            char buf[16];
            std::snprintf(buf, sizeof buf, "\\u%d?", int(int16_t(c)));
            out += buf;
        }
    }
    return out;
}

int TRtfWriter::ColourIndex(uint32_t colour) {
    auto it = std::find(colours_.begin(), colours_.end(), colour & 0xFFFFFF);
    if (it != colours_.end()) return int(it - colours_.begin()) + 1;
    colours_.push_back(colour & 0xFFFFFF);
    return int(colours_.size());
}

void TRtfWriter::Text(std::u16string_view text, bool bold, uint32_t colour, int pointSize) {
    if (text.empty()) return;
    pointSize = std::clamp(pointSize, 1, 1638);
    body_ += "{\\f0\\fs" + std::to_string(pointSize * 2) + "\\cf" + std::to_string(ColourIndex(colour)) +
             (bold ? "\\b " : "\\b0 ") + Escape(text) + "}";
}

void TRtfWriter::Picture(const std::vector<uint8_t>& png, int width, int height) {
    if (png.empty() || width <= 0 || height <= 0) return;
    static const char kHex[] = "0123456789abcdef";
    // Twips at 96 dots per inch: 15 per pixel.
    body_ += "{\\pict\\pngblip\\picw" + std::to_string(width) + "\\pich" + std::to_string(height) + "\\picwgoal" +
             std::to_string(width * 15) + "\\pichgoal" + std::to_string(height * 15) + "\n";
    for (size_t i = 0; i < png.size(); ++i) {
        body_ += kHex[png[i] >> 4];
        body_ += kHex[png[i] & 15];
        if (i % 64 == 63) body_ += '\n';
    }
    body_ += "}";
}

std::string TRtfWriter::Document() const {
    std::string doc = "{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1{\\fonttbl{\\f0\\fswiss\\fcharset0 " + font_ + ";}}\n";
    doc += "{\\colortbl ;";
    for (uint32_t c : colours_)
        doc += "\\red" + std::to_string(c & 0xFF) + "\\green" + std::to_string((c >> 8) & 0xFF) + "\\blue" +
               std::to_string((c >> 16) & 0xFF) + ";";
    doc += "}\n\\pard ";
    doc += body_;
    doc += "\n}\n";
    return doc;
}

}  // namespace orb::chat
