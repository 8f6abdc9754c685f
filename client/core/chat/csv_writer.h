#pragma once
// Comma-separated text (RFC 4180): the notes-and-requests export.

#include <string>
#include <string_view>
#include <vector>

namespace orb::chat {

// One field, quoted when it holds a comma, a quote, a line break or outer spaces (quotes doubled).
std::string CsvField(std::string_view utf8);
// Rows of fields, each row ended by CR LF.
std::string CsvRows(const std::vector<std::vector<std::string>>& rows);

}  // namespace orb::chat
