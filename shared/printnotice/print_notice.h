#pragma once
// TPrintNotice: one print event sent by the print monitor to the client as a single UDP datagram
// of exactly 518 bytes (packed, little-endian, no message header).
//
//   0   int32  job id
//   4   s250   always empty
//   255 int32  page number
//   259 s250   export folder (kinds 1-4) or the saved JPEG's full path (kind 5)
//   510 int32  0 for kinds 1-3, the page number for kinds 4 and 5
//   514 int32  kind

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace orb {

constexpr size_t kPrintNoticeSize = 518;
constexpr size_t kPrintNoticeTextCapacity = 250;
constexpr uint16_t kDefaultPrintNoticePort = 27777;
constexpr const char* kDefaultPrintNoticeHost = "127.0.0.1";

enum PrintNoticeKind : int32_t {
    pnRenderError = 1,
    pnDocumentStarted = 2,
    pnDocumentEnded = 3,
    pnPageBegun = 4,
    pnPageSaved = 5,
};

struct TPrintNotice {
    int32_t jobId = 0;
    std::string first;       // always empty on the wire
    int32_t pageNumber = 0;
    std::string path;        // UTF-8, at most 250 bytes once encoded
    int32_t pageValue = 0;   // offset 510
    int32_t kind = 0;
};

// Fills a notice; text longer than 250 bytes is cut to 250 without splitting a UTF-8 character.
TPrintNotice BuildPrintNotice(int32_t jobId, const std::string& first, int32_t pageNumber,
                              const std::string& path, int32_t pageValue, int32_t kind);

// Always exactly kPrintNoticeSize bytes; the bytes after a string's last character are zero.
std::vector<uint8_t> EncodePrintNotice(const TPrintNotice& notice);

// Reads a notice from the start of a datagram; false (and `out` untouched) when it is shorter
// than 518 bytes. Extra bytes after the record are ignored.
bool DecodePrintNotice(std::span<const uint8_t> datagram, TPrintNotice& out);

}  // namespace orb
