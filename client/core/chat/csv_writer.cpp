#include "chat/csv_writer.h"

namespace orb::chat {

std::string CsvField(std::string_view s) {
    bool quote = !s.empty() && (s.front() == ' ' || s.back() == ' ');
    for (char c : s)
        if (c == ',' || c == '"' || c == '\r' || c == '\n') quote = true;
    if (!quote) return std::string(s);
    std::string out = "\"";
    for (char c : s) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
    return out;
}

std::string CsvRows(const std::vector<std::vector<std::string>>& rows) {
    std::string out;
    for (const auto& row : rows) {
        for (size_t i = 0; i < row.size(); ++i) {
            if (i) out += ',';
            out += CsvField(row[i]);
        }
        out += "\r\n";
    }
    return out;
}

}  // namespace orb::chat
