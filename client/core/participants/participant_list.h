#pragma once
// The participants of the current room as the handlers change them and the list window shows them:
// one row per user id, in display order. Views are told which row changed (0: the whole list).

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace orb {

enum TMikeState : uint8_t { msNone = 0, msRequested = 1, msAllowed = 2, msNotAllowed = 3, msSpeaking = 4 };
enum TCamState : uint8_t { csNone = 0, csPublishing = 4 };
enum TUserRole : uint8_t { urParticipant = 0, urModerator = 1, urSuperModerator = 2 };

// Motion bits of a row.
constexpr int32_t kMotionHand = 1, kMotionSmile = 2, kMotionApplause = 4, kMotionYes = 8, kMotionNo = 16;

struct TParticipantRow {
    int32_t userId = 0;
    std::string caption;     // display name, UTF-8
    uint8_t role = urParticipant;
    uint8_t mikeState = msNone;
    uint8_t camState = csNone;
    uint8_t presence = 0;    // 0 online, 1 away, 2 audio test
    bool maySpeak = false;   // the row holds the microphone right
    int32_t level = 0;
    int32_t motions = 0;
    std::string picturePath; // the user's picture file, once downloaded
};

class TParticipantList {
public:
    TParticipantRow* FindUser(int32_t userId);
    const TParticipantRow* FindUser(int32_t userId) const;
    // The existing row of that id, or a new one at the end.
    TParticipantRow& AddUser(int32_t userId, std::string caption);
    bool DeleteUser(int32_t userId);
    void MoveToTop(int32_t userId);
    void Clear();

    size_t Count() const { return rows_.size(); }
    const TParticipantRow& Row(size_t index) const { return *rows_[index]; }

    int HandsCount() const { return CountMotion(kMotionHand); }
    int PositiveCount() const { return CountMotion(kMotionYes); }
    int NegativeCount() const { return CountMotion(kMotionNo); }

    // Tells the views that a row (0: the whole list) changed.
    void Changed(int32_t userId) const {
        if (OnChanged) OnChanged(userId);
    }
    std::function<void(int32_t userId)> OnChanged;

private:
    int CountMotion(int32_t bit) const;
    std::vector<std::unique_ptr<TParticipantRow>> rows_;
};

}  // namespace orb
