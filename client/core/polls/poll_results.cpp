#include "polls/poll_results.h"

#include <cstdio>

#include "util/answers.h"
#include "util/text_util.h"

namespace orb::polls {

std::string PercentText(int count, int rows) {
    const double pct = rows > 0 ? double(count) / double(rows) * 100.0 : 0.0;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2f%%", pct);
    return buf;
}

bool PollOpensAnswerWindow(const TPollInfo& poll, const TParticipantList& participants, int32_t ownId) {
    if (poll.pingType != TPollInfo::ptPoll || poll.fromId == ownId) return false;
    if (poll.toId != 0 && poll.toId != ownId) return false;
    const TParticipantRow* from = participants.FindUser(poll.fromId);
    return from && (from->level >= 1000 || from->role != urParticipant);
}

void TPollResults::Clear() {
    rows_.clear();
    entries_.clear();
    summary_.clear();
}

void TPollResults::AddMissingRows(const TParticipantList& participants, int32_t ownId) {
    for (size_t i = 0; i < participants.Count(); ++i) {
        const TParticipantRow& p = participants.Row(i);
        if (p.userId == ownId) continue;
        bool present = false;
        for (const auto& r : rows_) present = present || r.userId == p.userId;
        if (!present) rows_.push_back({p.userId, p.caption, kNoAnswer});
    }
}

bool TPollResults::SetAnswer(int32_t userId, std::string_view name, int32_t option) {
    const std::string text = AnswerText(option);
    if (text.empty()) return false;
    for (auto& r : rows_)
        if (r.userId == userId) {
            r.answer = text;
            return true;
        }
    rows_.push_back({userId, std::string(name), text});
    return true;
}

int TPollResults::CountAnswered() const {
    int n = 0;
    for (const auto& r : rows_) n += r.answer != kNoAnswer;
    return n;
}

void TPollResults::TallyAnswers() {
    entries_.clear();
    summary_.clear();
    for (const auto& r : rows_) {
        TPollResultEntry* found = nullptr;
        for (auto& e : entries_)
            if (EqualsNoCase(e.answer, r.answer)) found = &e;
        if (found) ++found->count;
        else entries_.push_back({r.answer, 1, CountAnswered()});
    }
}

std::vector<TPollChartBar> TPollResults::DrawPollChart(int boxWidth) {
    std::vector<TPollChartBar> bars;
    summary_.clear();
    const int rows = int(rows_.size());
    for (size_t i = 0; i < entries_.size(); ++i) {
        const TPollResultEntry& e = entries_[i];
        TPollChartBar b;
        b.width = e.count * 5;
        b.top = int(i) * 20 + 5;
        b.left = boxWidth - b.width - 20;
        b.labelTop = b.top;
        b.label = e.answer + " (" + PercentText(e.count, rows) + " or " + std::to_string(e.count) + " users)";
        b.bold = e.answer != kNoAnswer;
        summary_ += b.label + "\r\n";
        bars.push_back(std::move(b));
    }
    return bars;
}

std::string TPollResults::SaveText() const {
    std::string out = question + "\r\n\r\n";
    for (const auto& r : rows_) out += r.name + "\t" + r.answer + "\r\n";
    out += "\r\n" + summary_;
    return out;
}

}  // namespace orb::polls
