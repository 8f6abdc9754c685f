#include "libraries/library_records.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "protocol/message_kinds.h"
#include "util/text_util.h"
#include "wire/bytes.h"
#include "wire/text.h"

namespace orb {

int ExtToImageIndex(std::string_view extension) {
    struct Entry {
        const char* ext;
        int image;
    };
    static constexpr Entry kTable[] = {
        {".DOC", 7},  {".DOT", 7},  {".TXT", 2},  {".CVS", 2},   {".XLS", 3},  {".ZIP", 4},  {".ARJ", 4},
        {".ARC", 4},  {".CAB", 4},  {".BMP", 1},  {".JPG", 1},   {".GIF", 1},  {".PNG", 1},  {".AVI", 6},
        {".MP3", 6},  {".MPEG", 6}, {".MOV", 6},  {".DIVX", 6},  {".HTM", 8},  {".HTML", 8}, {".ASP", 8},
        {".PHP", 8},  {".PPT", 16}, {".PDF", 29},
    };
    const std::string upper = AsciiUpperCase(extension);
    for (const Entry& e : kTable)
        if (upper == e.ext) return e.image;
    return 5;
}

std::string SizeText(int64_t bytes) {
    if (bytes < 0) bytes = 0;
    int64_t kb = bytes / 1024;
    const int64_t rest = bytes % 1024;
    // Bankers' rounding: exactly half a kilobyte goes to the even number.
    if (rest > 512 || (rest == 512 && (kb & 1))) ++kb;
    return std::to_string(kb) + " KB";
}

std::string DateTimeText(double dateTime) {
    if (!std::isfinite(dateTime) || dateTime == 0 || std::fabs(dateTime) > 2958465.0) return {};
    using namespace std::chrono;
    const double dayPart = std::floor(dateTime);
    // Negative date-times count the time of day away from 0, as the format defines them.
    double fraction = std::fabs(dateTime - dayPart);
    if (dateTime < 0) fraction = std::fabs(dateTime - std::ceil(dateTime));
    const int64_t dayNumber = int64_t(dateTime < 0 ? std::ceil(dateTime) : dayPart);
    const year_month_day ymd{sys_days{year{1899} / December / 30} + days{dayNumber}};
    int64_t secs = std::llround(fraction * 86400.0);
    if (secs >= 86400) secs = 86399;
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u %02d:%02d:%02d", int(ymd.year()), unsigned(ymd.month()),
                  unsigned(ymd.day()), int(secs / 3600), int(secs / 60 % 60), int(secs % 60));
    return text;
}

namespace {

bool IsUtf8(std::string_view s) {
    size_t i = 0;
    while (i < s.size()) {
        const auto c = uint8_t(s[i]);
        size_t more = 0;
        uint32_t cp = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            more = 1;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            more = 2;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            more = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + more >= s.size()) return false;
        for (size_t k = 1; k <= more; ++k) {
            const auto d = uint8_t(s[i + k]);
            if ((d & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (d & 0x3F);
        }
        static constexpr uint32_t kMin[] = {0, 0x80, 0x800, 0x10000};
        if (cp < kMin[more] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += more + 1;
    }
    return true;
}

}  // namespace

std::string FieldText(std::string_view raw) {
    std::string text = IsUtf8(raw) ? std::string(raw) : Cp1252ToUtf8(raw);
    // Line breaks and other control bytes would break a list row apart.
    for (char& c : text)
        if (uint8_t(c) < 0x20 || c == 0x7F) c = ' ';
    return text;
}

bool ParseResourceList(uint16_t kind, std::span<const uint8_t> body, std::vector<TResourceInfo>& out) {
    ByteReader r(body);
    int32_t count = 0;
    if (kind == vkWebLinkList) {
        if (!r.i32(count)) return false;
        out.clear();
    } else {
        out.clear();
        std::span<const uint8_t> block = r.view(TResourceInfo::kSize);
        if (!r.ok()) return false;
        count = int32_t(LoadU32(block.data()));
    }
    if (count <= 0) return true;
    const size_t fits = r.remaining() / TResourceInfo::kSize;
    const size_t n = std::min({size_t(count), fits, kMaxListRows});
    out.reserve(n);
    for (size_t i = 0; i < n; ++i) {
        TResourceInfo record;
        if (!TResourceInfo::Decode(r, record)) break;
        out.push_back(std::move(record));
    }
    return true;
}

TResourceRow ResourceRow(uint16_t listKind, const TResourceInfo& r) {
    TResourceRow row;
    const std::string owner = FieldText(Cp1252ToUtf8(r.ownerName));
    const std::string time = DateTimeText(r.added);
    switch (listKind) {
    case vkDocumentList:
        row.columns = {FieldText(r.fileName), SizeText(r.fileSize), owner, time, FieldText(r.description)};
        row.image = ExtToImageIndex(r.extension);
        break;
    case vkBoardImageList:
        row.columns = {FieldText(r.description), owner, time};
        row.image = 15;
        break;
    case vkWebLinkList:
        row.columns = {FieldText(r.description), owner, time, FieldText(r.fileName)};
        break;
    case vkPresentationList:
        row.columns = {FieldText(r.fileName), std::to_string(r.number), owner, time};
        row.image = ExtToImageIndex(r.extension);
        break;
    default:
        break;
    }
    return row;
}

bool IsAllowedPageAddress(std::string_view address) {
    const std::string_view a = Trim(address);
    if (EqualsNoCase(a, "about:blank")) return true;
    size_t hostAt = 0;
    if (a.size() > 7 && EqualsNoCase(a.substr(0, 7), "http://"))
        hostAt = 7;
    else if (a.size() > 8 && EqualsNoCase(a.substr(0, 8), "https://"))
        hostAt = 8;
    else
        return false;
    for (char c : a)
        if (uint8_t(c) <= 0x20 || c == 0x7F || c == '\\') return false;
    // A host must follow: "http:///x" and "http://?x" name none.
    const char first = a[hostAt];
    return first != '/' && first != '?' && first != '#' && first != '@' && first != ':';
}

std::optional<TResourceInfo> WebLinkRecord(std::string_view address, std::string_view description,
                                           std::string_view ownerUtf8, std::string* error) {
    auto refuse = [&](const char* text) -> std::optional<TResourceInfo> {
        if (error) *error = text;
        return std::nullopt;
    };
    const std::string_view url = Trim(address);
    if (url.empty()) return refuse(kEmptyAddressText);
    // Cutting an address would open another page for everybody; it is refused instead.
    if (url.size() > 200) return refuse(kAddressTooLongText);
    if (!IsAllowedPageAddress(url)) return refuse(kAddressNotAllowedText);
    TResourceInfo r;
    r.fileName = std::string(url);
    r.localPath = std::string(url);
    r.extension = "WWW";
    r.description = CutUtf8(Trim(description), 200);
    // The owner field holds 8-bit text: one character is one byte, so the cut keeps whole characters.
    r.ownerName = Utf8ToCp1252(Trim(ownerUtf8)).substr(0, 128);
    return r;
}

}  // namespace orb
