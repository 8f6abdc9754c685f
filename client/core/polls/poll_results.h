#pragma once
// The poll results as the results window shows them: one row per participant (its answer, or
// "<No Answer>"), the tally of equal answers (without regard to case) and the bar chart laid out
// from it, plus the plain-text form the window saves.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "participants/participant_list.h"
#include "protocol/records.h"

namespace orb::polls {

inline constexpr const char* kNoAnswer = "<No Answer>";

struct TPollResultRow {
    int32_t userId = 0;
    std::string name;
    std::string answer;
};

struct TPollResultEntry {
    std::string answer;
    int count = 0;
    int answeredWhenMade = 0;
};

// One bar of the chart and its label, in the scroll box's coordinates.
struct TPollChartBar {
    int left = 0, top = 0, width = 0, height = 15;
    int labelLeft = 5, labelTop = 0;
    std::string label;
    bool bold = true;
};

// count / rows as "25.00%"; "0.00%" without rows.
std::string PercentText(int count, int rows);

// Whether a received poll opens an answer window: only a poll (type 2) from a participant who is
// a moderator in the list; others are ignored.
bool PollOpensAnswerWindow(const TPollInfo& poll, const TParticipantList& participants, int32_t ownId);

class TPollResults {
public:
    std::string question;

    const std::vector<TPollResultRow>& Rows() const { return rows_; }
    const std::vector<TPollResultEntry>& Entries() const { return entries_; }
    const std::string& Summary() const { return summary_; }

    // A new poll: rows, entries and summary emptied.
    void Clear();
    // A "<No Answer>" row for every participant other than the own user who has none yet.
    void AddMissingRows(const TParticipantList& participants, int32_t ownId);
    // The answer (option 1..26) of a user: the row's answer, or a new row. False and no change for
    // an option outside 1..26.
    bool SetAnswer(int32_t userId, std::string_view name, int32_t option);
    // A row as it stands (a list kept or restored by the window).
    void AddRow(TPollResultRow row) { rows_.push_back(std::move(row)); }
    // Rows whose answer is not "<No Answer>".
    int CountAnswered() const;
    // Equal answers (case-insensitive) counted into entries, in row order.
    void TallyAnswers();
    // Bars and labels for a scroll box of that width; also rebuilds the summary text.
    std::vector<TPollChartBar> DrawPollChart(int boxWidth);
    // Tally and chart at once.
    std::vector<TPollChartBar> Refresh(int boxWidth) {
        TallyAnswers();
        return DrawPollChart(boxWidth);
    }
    // The saved form: the question, one line per row (name, tab, answer), then the summary.
    std::string SaveText() const;

private:
    std::vector<TPollResultRow> rows_;
    std::vector<TPollResultEntry> entries_;
    std::string summary_;
};

}  // namespace orb::polls
