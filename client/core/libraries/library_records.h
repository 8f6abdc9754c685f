#pragma once
// The rows of the four library lists, the list replies they come from, and the records the client
// builds for web links and pushed pages. Everything read here comes from the server: counts are
// capped by the bytes that follow, strings by their fields.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/records.h"

namespace orb {

// Resource types of the libraries and of the open-for-all requests.
enum TResourceType : int {
    rtDocument = 0,
    rtBoardImage = 1,
    rtWebLink = 2,
    rtPresentation = 4,
    rtSlide = 5,
};

// The longest list accepted from one reply (more rows are dropped).
constexpr size_t kMaxListRows = 5000;

// Image index of a file extension (".jpg", ".DOC", ...), compared without case.
int ExtToImageIndex(std::string_view extension);

// The size column: bytes / 1024 rounded to the nearest integer, a half to the even one, + " KB".
std::string SizeText(int64_t bytes);

// A date-time (days since 30 December 1899, local) as "YYYY-MM-DD hh:mm:ss"; empty for 0.
std::string DateTimeText(double dateTime);

// A text field of a record as UTF-8: kept when it is UTF-8 already, else read as Windows-1252.
std::string FieldText(std::string_view raw);

// The records of a list reply: kinds 18, 20 and 49 carry a 773-byte block whose first int32 is the
// count, kind 24 a bare int32 count. The count is believed only as far as whole records follow;
// false when not even the count is there.
bool ParseResourceList(uint16_t kind, std::span<const uint8_t> body, std::vector<TResourceInfo>& out);

// One row of a library list: the caption first, then the further columns, all UTF-8.
struct TResourceRow {
    std::vector<std::string> columns;
    int image = -1;
};
TResourceRow ResourceRow(uint16_t listKind, const TResourceInfo& record);

// Addresses a page may be opened at: http and https addresses with a host, and about:blank.
bool IsAllowedPageAddress(std::string_view address);

// The record of a web link (kind 25) or of a moderator's pushed page (kind 32): name and path the
// trimmed address, extension "WWW", the trimmed description cut to its field, the owner the own
// full name converted from UTF-8 to the owner field's 8-bit code page once. Nothing (and the reason
// in `error`) when the address is empty, not allowed, or longer than the 200-byte field.
std::optional<TResourceInfo> WebLinkRecord(std::string_view address, std::string_view description,
                                           std::string_view ownerUtf8, std::string* error = nullptr);

// The texts the windows show for a refused address.
inline constexpr const char* kEmptyAddressText = "Please enter a web address.";
inline constexpr const char* kAddressTooLongText =
    "This web address is too long. Addresses of up to 200 characters can be shared.";
inline constexpr const char* kAddressNotAllowedText =
    "Only web addresses starting with http:// or https:// (or about:blank) can be shared.";

}  // namespace orb
