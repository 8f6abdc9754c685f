#pragma once
// Poll records kept outside a session: the question editor's answer mask, exam files (".exm": raw
// 221-byte poll records, no header) and the per-user store of favourite polls, one registry key per
// poll named by its question.

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/records.h"
#include "registry/registry.h"

namespace orb::polls {

inline constexpr size_t kQuestionBytes = 200;
// More records than this in one exam file are not loaded at once.
inline constexpr size_t kMaxExamRecords = 1000;

// The mask of the checked options (list order, option 1 first): one digit per option read as a
// binary number, so option 1 is bit 25 and option 26 bit 0.
uint32_t AnswerMaskFromChecks(const std::array<bool, 26>& checked);
// The question as a record carries it: blanks trimmed, cut to 200 bytes without splitting a
// character.
std::string RecordQuestion(std::string_view utf8);
// The editor's record: id, sender and addressee 0, a poll, no flags, the mask's defined bits.
TPollInfo NewPollRecord(std::string_view question, uint32_t mask);

// Registry key names split at "\", so a question is escaped into a single key name ("%" "\" and
// "/" become "%25" "%5C" "%2F") and unescaped back to the caption.
std::string StoredPollKeyName(std::string_view question);
std::string StoredPollCaption(std::string_view keyName);

// The favourites under <settings key>\StoredPolls of HKEY_CURRENT_USER.
class TStoredPolls {
public:
    explicit TStoredPolls(reg::Registry& registry, std::string baseKey);
    // Writes the seven values under the key named by the record's question; false when the key
    // could not be opened or written, or the question is empty.
    bool SaveStoredPoll(const TPollInfo& poll);
    // The captions (questions) of the stored polls; the key is created when missing.
    std::vector<std::string> GetStoredPollNames();
    // The record stored for the caption; none when the key is missing.
    std::optional<TPollInfo> LoadStoredPoll(std::string_view caption);
    bool DeleteStoredPoll(std::string_view caption);

private:
    reg::Registry& registry_;
    std::string baseKey_;
};

// Writes one record; false with the reason in `error` when the file cannot be written whole.
bool WriteExamFile(const std::filesystem::path& file, const TPollInfo& poll, std::string* error = nullptr);

struct TExamFile {
    bool opened = false;
    std::vector<TPollInfo> records;
    // The size was not a whole number of records: the whole ones were read, the rest left.
    size_t trailingBytes = 0;
    // More than the limit were in the file; only the first ones were read.
    bool truncated = false;
};
TExamFile ReadExamFile(const std::filesystem::path& file, size_t maxRecords = kMaxExamRecords);

}  // namespace orb::polls
