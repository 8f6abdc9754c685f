#include "polls/poll_store.h"

#include <algorithm>
#include <fstream>

#include "util/answers.h"
#include "util/text_util.h"
#include "wire/bytes.h"
#include "wire/text.h"

namespace orb::polls {

uint32_t AnswerMaskFromChecks(const std::array<bool, 26>& checked) {
    std::string digits;
    for (bool c : checked) digits += c ? '1' : '0';
    return uint32_t(BinStrToInt64(digits)) & kAnswerMaskBits;
}

std::string RecordQuestion(std::string_view utf8) { return CutUtf8(Trim(utf8), kQuestionBytes); }

TPollInfo NewPollRecord(std::string_view question, uint32_t mask) {
    TPollInfo p;
    p.pingType = TPollInfo::ptPoll;
    p.answerMask = int32_t(mask & kAnswerMaskBits);
    p.question = RecordQuestion(question);
    return p;
}

std::string StoredPollKeyName(std::string_view question) {
    std::string out;
    for (char c : question) {
        if (c == '%') out += "%25";
        else if (c == '\\') out += "%5C";
        else if (c == '/') out += "%2F";
        else out += c;
    }
    return out;
}

std::string StoredPollCaption(std::string_view keyName) {
    std::string out;
    for (size_t i = 0; i < keyName.size(); ++i) {
        std::string_view rest = keyName.substr(i);
        if (rest.starts_with("%25")) out += '%', i += 2;
        else if (rest.starts_with("%5C") || rest.starts_with("%5c")) out += '\\', i += 2;
        else if (rest.starts_with("%2F") || rest.starts_with("%2f")) out += '/', i += 2;
        else out += keyName[i];
    }
    return out;
}

TStoredPolls::TStoredPolls(reg::Registry& registry, std::string baseKey)
    : registry_(registry), baseKey_(std::move(baseKey)) {}

bool TStoredPolls::SaveStoredPoll(const TPollInfo& poll) {
    const std::string question = RecordQuestion(poll.question);
    if (question.empty()) return false;
    reg::Key k = registry_.Create(reg::HKEY_CURRENT_USER, baseKey_ + "\\" + StoredPollKeyName(question));
    if (!k) return false;
    reg::Registry::Batch batch(registry_, reg::HKEY_CURRENT_USER);
    bool ok = k.WriteDWord("Id", uint32_t(poll.id)) && k.WriteDWord("FromId", uint32_t(poll.fromId)) &&
              k.WriteDWord("ToId", uint32_t(poll.toId)) && k.WriteDWord("PingType", poll.pingType) &&
              k.WriteDWord("AnswerMask", uint32_t(poll.answerMask)) &&
              k.WriteDWord("MustReply", poll.mustReply ? 1 : 0) &&
              k.WriteDWord("MultipleAns", poll.multipleAns ? 1 : 0);
    return batch.Commit() && ok;
}

std::vector<std::string> TStoredPolls::GetStoredPollNames() {
    std::vector<std::string> out;
    reg::Key k = registry_.Create(reg::HKEY_CURRENT_USER, baseKey_);
    if (!k) return out;
    for (const std::string& name : k.SubKeyNames()) out.push_back(StoredPollCaption(name));
    return out;
}

std::optional<TPollInfo> TStoredPolls::LoadStoredPoll(std::string_view caption) {
    const std::string question = RecordQuestion(caption);
    if (question.empty()) return std::nullopt;
    reg::Key k = registry_.Open(reg::HKEY_CURRENT_USER, baseKey_ + "\\" + StoredPollKeyName(question));
    if (!k) return std::nullopt;
    auto i32 = [&k](const char* name) { return int32_t(k.ReadDWord(name).value_or(0)); };
    TPollInfo p;
    p.id = i32("Id");
    p.fromId = i32("FromId");
    p.toId = i32("ToId");
    p.pingType = uint16_t(i32("PingType"));
    p.answerMask = int32_t(uint32_t(i32("AnswerMask")) & kAnswerMaskBits);
    p.mustReply = i32("MustReply") != 0;
    p.multipleAns = i32("MultipleAns") != 0;
    p.question = question;
    return p;
}

bool TStoredPolls::DeleteStoredPoll(std::string_view caption) {
    const std::string question = RecordQuestion(caption);
    if (question.empty()) return false;
    return registry_.DeleteKey(reg::HKEY_CURRENT_USER, baseKey_ + "\\" + StoredPollKeyName(question));
}

bool WriteExamFile(const std::filesystem::path& file, const TPollInfo& poll, std::string* error) {
    ByteWriter w;
    poll.Encode(w);
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (out) out.write(reinterpret_cast<const char*>(w.buffer().data()), std::streamsize(w.size()));
    if (out) out.flush();
    if (!out) {
        if (error) *error = "cannot write " + file.string();
        return false;
    }
    return true;
}

TExamFile ReadExamFile(const std::filesystem::path& file, size_t maxRecords) {
    TExamFile r;
    std::ifstream in(file, std::ios::binary | std::ios::ate);
    if (!in) return r;
    const std::streamoff size = in.tellg();
    if (size < 0) return r;
    in.seekg(0);
    r.opened = true;
    const size_t whole = size_t(size) / TPollInfo::kSize;
    r.trailingBytes = size_t(size) % TPollInfo::kSize;
    r.truncated = whole > maxRecords;
    std::vector<uint8_t> rec(TPollInfo::kSize);
    for (size_t i = 0; i < std::min(whole, maxRecords); ++i) {
        if (!in.read(reinterpret_cast<char*>(rec.data()), std::streamsize(rec.size()))) break;
        ByteReader br(rec);
        TPollInfo p;
        if (!TPollInfo::Decode(br, p)) break;
        p.answerMask = int32_t(uint32_t(p.answerMask) & kAnswerMaskBits);
        r.records.push_back(std::move(p));
    }
    return r;
}

}  // namespace orb::polls
