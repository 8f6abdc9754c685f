#include "chat/smileys.h"

namespace orb::chat {

namespace {

struct TCode {
    std::u16string_view code;
    int picture;
};

// Longer codes first where one code is the start of another.
constexpr TCode kCodes[] = {
    {u":-@", 0},  {u":@", 0},   {u"8-)", 1},   {u":,-(", 2}, {u":,(", 2},  {u"(blush)", 3},
    {u":-&", 4},  {u":-(", 5},  {u":(", 5},    {u"O :-)", 6}, {u":*", 7},  {u":-D", 8},
    {u":D", 8},   {u"LOL", 8},  {u":-$", 9},   {u":-X", 10}, {u":-x", 10}, {u":-)", 11},
    {u":)", 11},  {u":-o", 12}, {u":-p", 13},  {u":-/", 14}, {u":-\\", 14}, {u";-)", 15},
};

}  // namespace

std::vector<TChatPiece> SplitSmileys(std::u16string_view text) {
    std::vector<TChatPiece> out;
    size_t pending = 0;
    for (size_t i = 0; i < text.size();) {
        const TCode* hit = nullptr;
        for (const TCode& c : kCodes)
            if (text.substr(i, c.code.size()) == c.code) {
                hit = &c;
                break;
            }
        if (!hit) {
            ++i;
            continue;
        }
        if (i > pending) out.push_back({std::u16string(text.substr(pending, i - pending)), -1});
        out.push_back({std::u16string(), hit->picture});
        i += hit->code.size();
        pending = i;
    }
    if (pending < text.size()) out.push_back({std::u16string(text.substr(pending)), -1});
    return out;
}

const std::vector<std::u16string>& MenuSmileyCodes() {
    static const std::vector<std::u16string> codes = {u":-@", u"8-)",  u":,(", u"(blush)", u":-&", u":-(",
                                                      u"O :-)", u":*", u"LOL", u":-$",    u":-x", u":-)",
                                                      u":-o", u":-p",  u":-\\", u";-)"};
    return codes;
}

int SmileyPicture(std::u16string_view code) {
    for (const TCode& c : kCodes)
        if (c.code == code) return c.picture;
    return -1;
}

}  // namespace orb::chat
