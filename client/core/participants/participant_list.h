#pragma once
// The participant list as the handlers change it and the list window shows it: one row per user
// id, in display order, each holding its TUserInfo by value. Every change goes through the list's
// setters, which keep the motion counters and hand numbers in step and tell the views what changed:
// one row, the order or length only, or every row. Rows are found by id through an index, so a
// join, a leave or a change costs the same in a room of ten and of a thousand.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "loop/event_loop.h"
#include "participants/user_info.h"

namespace orb {

enum TMikeState : uint8_t { msNone = 0, msRequested = 1, msAllowed = 2, msNotAllowed = 3, msSpeaking = 4 };
enum TCamState : uint8_t { csNone = 0, csRequested = 1, csGranted = 2, csForbidden = 3, csPublishing = 4 };
enum TUserRole : uint8_t { urParticipant = 0, urModerator = 1, urSuperModerator = 2 };

// Motion bits of a row.
constexpr int32_t kMotionHand = 1, kMotionSmile = 2, kMotionApplause = 4, kMotionYes = 8, kMotionNo = 16;

// Icons of the rows (indexes into the 16x16 image list).
constexpr int32_t kIconHand = 9, kIconApplause = 10, kIconSmile = 11, kIconYes = 61, kIconNo = 62;
constexpr int32_t kIconShare = 69, kIconRemoteControl = 70, kIconTyping = 56, kIconTyping2 = 71;
constexpr int32_t kIconAcknowledged = 27;

// Sort modes.
enum TSortMode : int { smName = 0, smMicrophone = 1, smRole = 3, smHands = 4 };

constexpr int kRowHeight = 20, kExpandedRowHeight = 75;
constexpr int64_t kBlinkIntervalMs = 400, kUserTimeIntervalMs = 60000;
constexpr int kBlinkTicks = 11;

struct TParticipantRow {
    int32_t userId = 0;
    std::string caption;      // display name as given to the list, UTF-8
    uint8_t role = urParticipant;
    int32_t level = 0;
    int32_t gmtOffset = 0;    // minutes, UTC minus local
    std::string userTimeText;
    std::string loginText;

    uint8_t mikeState = msNone;
    bool mikeVisible = false;
    uint8_t camState = csNone;
    bool camVisible = false;
    uint8_t presence = 0;     // 0 online, 1 away, 2 audio test
    int32_t shareState = 0;   // 0 none, 1 sharing, 2 remote control given
    int32_t typingState = 0;  // 0 none, 1 typing, 2 second typing icon
    int32_t statusIcon = -1;
    int32_t gestureIcon = -1;
    bool gestureVisible = false;
    int blinkCount = 0;
    bool blinking = false;
    int32_t handOrder = 0;    // 0 = none
    int32_t motions = 0;

    // Rights written by the rights handlers.
    bool maySpeak = false;
    bool spareFlag = false;
    bool boardRight = false;
    bool cameraRight = false;

    bool expanded = false;
    bool selected = false;

    TUserInfo info;            // the record the row was rendered from
    bool hasInfo = false;
    std::string picturePath;   // the user's picture file, once downloaded

    bool HandRaised() const { return motions & kMotionHand; }
    bool Smiling() const { return motions & kMotionSmile; }
    bool Applauding() const { return motions & kMotionApplause; }
    bool SaysYes() const { return motions & kMotionYes; }
    bool SaysNo() const { return motions & kMotionNo; }
    int Height() const { return expanded ? kExpandedRowHeight : kRowHeight; }
};

// One row of the list, by the name the handlers know it by.
using TUserNode = TParticipantRow;

// What RenderUserNode needs beyond the record.
struct TRenderContext {
    int32_t ownUserId = 0;
    bool showMe = false;
    int32_t roomTimeOffset = 0;  // minutes, from the room settings
    int32_t machineBias = 0;     // this machine's bias now, UTC minus local, minutes
    int32_t ownBias = 0;         // the own account's stored bias
    bool playback = false;
};

// ---- Texts and icons of a row (plain functions, shared by every view)

struct TMikeCamIcons {
    int32_t mikeRequest = 12, mikeSpeak = 42, mikeGranted = 58, mikeForbidden = 50;
    int32_t camRequest = 46, camGranted = -1, camForbidden = -1, camBroadcast = 49;
};
int32_t MikeIcon(const TMikeCamIcons& icons, uint8_t state);  // -1: nothing drawn
int32_t CamIcon(const TMikeCamIcons& icons, uint8_t state);
std::string MikeHint(uint8_t state);
std::string CamHint(uint8_t state);
std::string ShareHint(int32_t state);
std::string TypingHint(int32_t state);
std::string RoleText(uint8_t role);

struct TPresenceStyle {
    std::string text;          // presence label
    uint32_t labelColour = 0;  // 0x00BBGGRR
    uint32_t nameColour = 0;
    bool italic = false;
    std::string namePrefix;    // before the caption in the name label
};
TPresenceStyle PresenceStyle(uint8_t presence);
// The name label's text: presence prefix and caption.
std::string NameLabelText(const TParticipantRow& row);
// "h:mm" of the offset's absolute value.
std::string GmtText(int32_t minutes);
// "HH:MM" of a date-time.
std::string ShortTimeText(double dateTime);
// "User Time is: HH:MM (GMT+h:mm)": the user's local time from UTC now and the offset (UTC minus local).
std::string UserTimeText(double utcNow, int32_t gmtOffset);
// "Logged In at: HH:MM (GMT+h:mm)".
std::string LoginTimeText(double loginTime, const TRenderContext& context);
// The name chat lines and notices give a participant: the first name of the record (its display
// name when the first name is blank), " (Moderator)" appended at level 1000 or more; "Unknown"
// without a row. UTF-8.
std::string ChatName(const TParticipantRow* row);
// The icon a motion value shows (-1 none): a combination shows its hand first, else its lowest bit.
int32_t MotionIcon(int32_t motions);

class TParticipantList {
public:
    TParticipantList() = default;
    ~TParticipantList();
    TParticipantList(const TParticipantList&) = delete;
    TParticipantList& operator=(const TParticipantList&) = delete;

    // Blink and user-time timers run on this loop (none without one).
    void SetLoop(IEventLoop* loop);
    // UTC now as a date-time (replaceable for tests).
    std::function<double()> NowUtc;
    // Caption order for sorting; <0, 0, >0. Unset: code-point order. The window sets the locale's.
    std::function<int(const std::string&, const std::string&)> CompareCaptions;

    TMikeCamIcons Icons;

    TParticipantRow* FindUser(int32_t userId);
    const TParticipantRow* FindUser(int32_t userId) const;
    const TUserInfo* FindUserInfo(int32_t userId) const;
    // The existing row of that id (caption updated in place), or a new one at the end.
    TParticipantRow& AddUser(int32_t userId, std::string caption);
    // Turns a record into a row (a repeated id updates its row in place).
    TParticipantRow& RenderUserNode(const TUserInfo& info, const TRenderContext& context);
    bool DeleteUser(int32_t userId);
    void MoveToTop(int32_t userId);
    void Clear();
    void Sort(int mode);
    void ExpandAll();
    void CollapseAll();

    size_t Count() const { return rows_.size(); }
    const TParticipantRow& Row(size_t index) const { return *rows_[index]; }
    TParticipantRow& Row(size_t index) { return *rows_[index]; }
    int IndexOf(int32_t userId) const;
    // Rows shown expanded (the height of the list is Count() rows plus the expanded rows' extra).
    size_t ExpandedCount() const { return expanded_; }

    int HandsCount() const { return hands_; }
    int PositiveCount() const { return positive_; }
    int NegativeCount() const { return negative_; }

    // The signed-in user's row (set by RenderUserNode; null after Clear).
    TParticipantRow* OwnRow() { return ownUserId_ ? FindUser(ownUserId_) : nullptr; }
    TParticipantRow* Selected() { return selected_ ? FindUser(selected_) : nullptr; }
    int32_t SelectedUser() const { return selected_; }

    // ---- Row setters (each tells the views about that row)
    void SetMikeState(TParticipantRow& row, uint8_t state);
    void SetCamState(TParticipantRow& row, uint8_t state);
    void SetMotion(TParticipantRow& row, int32_t bits);
    void SetMotionBit(TParticipantRow& row, int32_t bit, bool on);
    void SetMotionIcon(TParticipantRow& row, int32_t index);
    void SetHandOrder(TParticipantRow& row, int32_t order);
    void SetShareState(TParticipantRow& row, int32_t state);
    void SetTypingState(TParticipantRow& row, int32_t state);
    void SetStatusIcon(TParticipantRow& row, int32_t index);
    void SetPresence(TParticipantRow& row, uint8_t presence);
    void SetRole(TParticipantRow& row, uint8_t role);
    void SetExpanded(TParticipantRow& row, bool expanded);
    void SetSelected(int32_t userId);  // 0 unselects
    void ClearStatusIcons();
    // Recomputes the user time of a row (and of every expanded row on the 60 s tick).
    void SetUserTimeText(TParticipantRow& row);
    void UserTimeTick();
    // One 400 ms blink tick of a row (the timer calls it).
    void BlinkTick(int32_t userId);

    // Tells the views that a row (0: every row, and the order) changed.
    void Changed(int32_t userId) const {
        if (OnChanged) OnChanged(userId);
    }
    std::function<void(int32_t userId)> OnChanged;
    // Rows were added, removed or moved; the rows' own contents are as they were.
    std::function<void()> OnOrderChanged;
    // A row was expanded or collapsed (the window loads its picture).
    std::function<void(int32_t userId, bool expanded)> OnItemExpand;

private:
    void StopBlink(int32_t userId);
    void CloseHandGap(int32_t freedOrder, const TParticipantRow* except);
    double Now() const;
    void OrderChanged() const {
        if (OnOrderChanged) OnOrderChanged();
        else Changed(0);
    }

    std::vector<std::unique_ptr<TParticipantRow>> rows_;
    std::unordered_map<int32_t, TParticipantRow*> byId_;
    size_t expanded_ = 0;
    int hands_ = 0, positive_ = 0, negative_ = 0;
    int32_t ownUserId_ = 0;
    int32_t selected_ = 0;
    IEventLoop* loop_ = nullptr;
    TimerId userTimeTimer_ = 0;
    std::map<int32_t, TimerId> blinkTimers_;
};

}  // namespace orb
