#pragma once
// A small RTF writer for the chat export (Qt reads and writes no RTF): coloured and bold runs of
// UTF-16 text, paragraph breaks and PNG pictures. Text is escaped ("\", "{" and "}"), characters
// beyond ASCII are written as \uN? and line breaks as \par, so any text round-trips.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orb::chat {

class TRtfWriter {
public:
    explicit TRtfWriter(std::string fontName = "Tahoma");
    // A run of text; "\n" (or "\r\n") ends a paragraph.
    void Text(std::u16string_view text, bool bold, uint32_t colour /*0x00BBGGRR*/, int pointSize);
    // A PNG picture of the given size in pixels (shown at 96 dots per inch).
    void Picture(const std::vector<uint8_t>& png, int width, int height);
    // The whole document.
    std::string Document() const;

    // The escaped form of text (no group, no formatting).
    static std::string Escape(std::u16string_view text);

private:
    int ColourIndex(uint32_t colour);
    std::string font_;
    std::vector<uint32_t> colours_;
    std::string body_;
};

}  // namespace orb::chat
