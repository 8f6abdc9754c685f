#include "settings/colour_text.h"

#include <charconv>
#include <cstdio>

#include "util/text_util.h"

namespace orb {

namespace {

struct Named {
    int32_t colour;
    const char* name;
};

constexpr Named kNames[] = {
    {0x000000, "clBlack"},     {0x000080, "clMaroon"}, {0x008000, "clGreen"},  {0x008080, "clOlive"},
    {0x800000, "clNavy"},      {0x800080, "clPurple"}, {0x808000, "clTeal"},   {0x808080, "clGray"},
    {0xC0C0C0, "clSilver"},    {0x0000FF, "clRed"},    {0x00FF00, "clLime"},   {0x00FFFF, "clYellow"},
    {0xFF0000, "clBlue"},      {0xFF00FF, "clFuchsia"}, {0xFFFF00, "clAqua"},  {0xFFFFFF, "clWhite"},
    {0xC0DCC0, "clMoneyGreen"}, {0xF0CAA6, "clSkyBlue"}, {0xF0FBFF, "clCream"}, {0xA4A0A0, "clMedGray"},
    {0x1FFFFFFF, "clNone"},    {0x20000000, "clDefault"},
};

}  // namespace

std::string ColorToString(int32_t colour) {
    for (const auto& n : kNames)
        if (n.colour == colour) return n.name;
    char buf[16];
    std::snprintf(buf, sizeof buf, "$%08X", static_cast<uint32_t>(colour));
    return buf;
}

std::optional<int32_t> StringToColor(std::string_view text) {
    std::string_view t = Trim(text);
    if (t.empty()) return std::nullopt;
    for (const auto& n : kNames)
        if (EqualsNoCase(t, n.name)) return n.colour;
    bool negative = false;
    if (t[0] == '-' || t[0] == '+') {
        negative = t[0] == '-';
        t.remove_prefix(1);
    }
    int base = 10;
    if (!t.empty() && t[0] == '$') {
        base = 16;
        t.remove_prefix(1);
    } else if (t.size() > 1 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
        base = 16;
        t.remove_prefix(2);
    }
    if (t.empty()) return std::nullopt;
    uint64_t v = 0;
    auto [p, ec] = std::from_chars(t.data(), t.data() + t.size(), v, base);
    if (ec != std::errc() || p != t.data() + t.size()) return std::nullopt;
    if (base == 16 ? v > 0xFFFFFFFFull : v > (negative ? 0x80000000ull : 0x7FFFFFFFull)) return std::nullopt;
    auto u = static_cast<uint32_t>(v);
    return static_cast<int32_t>(negative ? 0u - u : u);
}

}  // namespace orb
