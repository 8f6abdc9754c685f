#include "participants/participant_list.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "util/time_text.h"

namespace orb {

// ---- Texts and icons

int32_t MikeIcon(const TMikeCamIcons& i, uint8_t state) {
    switch (state) {
    case msRequested: return i.mikeRequest;
    case msAllowed: return i.mikeGranted;
    case msNotAllowed: return i.mikeForbidden;
    case msSpeaking: return i.mikeSpeak;
    default: return -1;
    }
}

int32_t CamIcon(const TMikeCamIcons& i, uint8_t state) {
    switch (state) {
    case csRequested: return i.camRequest;
    case csGranted: return i.camGranted;
    case csForbidden: return i.camForbidden;
    case csPublishing: return i.camBroadcast;
    default: return -1;
    }
}

std::string MikeHint(uint8_t state) {
    switch (state) {
    case msRequested: return "The user is requesting a microphone";
    case msAllowed: return "The user is allowed to speak";
    case msNotAllowed: return "The user's microphone is forbidden.";
    case msSpeaking: return "The user is currently speaking";
    default: return {};
    }
}

std::string CamHint(uint8_t state) {
    switch (state) {
    case csRequested: return "The user is requesting to start his/her webcam";
    case csGranted: return "The user is given a webcam access";
    case csForbidden: return "The user's webcam is forbidden";
    case csPublishing: return "The user is broadcasting video";
    default: return {};
    }
}

std::string ShareHint(int32_t state) {
    if (state == 1) return "The user is sharing his desktop (or an application)";
    if (state == 2) return "The user has been given a remote control. ";
    return {};
}

std::string TypingHint(int32_t state) { return state == 1 || state == 2 ? "The user is typing a message" : ""; }

std::string RoleText(uint8_t role) { return role == urParticipant ? "Participant" : "Moderator"; }

TPresenceStyle PresenceStyle(uint8_t presence) {
    switch (presence) {
    case 1: return {"AWAY", 0xC0C0C0, 0x808080, true, "Away - "};
    case 2: return {"Audio Test", 0xC0C0C0, 0x0000FF, true, "(In Audio Test) - "};
    default: return {"ONLINE", 0x0000CA, 0x000000, false, ""};
    }
}

std::string NameLabelText(const TParticipantRow& row) {
    // Presence values other than 0..2 only store the value: the label keeps the online form.
    return (row.presence <= 2 ? PresenceStyle(row.presence).namePrefix : std::string()) + row.caption;
}

std::string GmtText(int32_t minutes) {
    int64_t a = std::llabs(int64_t(minutes));
    std::string mm = std::to_string(a % 60);
    if (mm.size() < 2) mm = "0" + mm;
    return std::to_string(a / 60) + ":" + mm;
}

std::string ShortTimeText(double dateTime) {
    if (!std::isfinite(dateTime)) dateTime = 0;
    double frac = dateTime - std::floor(dateTime);
    const int minutes = int(std::llround(frac * 1440.0) % 1440);
    // Formatted in place: a zero put in front of a string is an overlapping copy to GCC 12 at -O3.
    char text[8];
    std::snprintf(text, sizeof text, "%02d:%02d", minutes / 60, minutes % 60);
    return text;
}

std::string UserTimeText(double utcNow, int32_t gmtOffset) {
    const double local = utcNow - double(gmtOffset) / 1440.0;
    const char* sign = gmtOffset == 0 ? " " : gmtOffset < 0 ? "+" : "-";
    return "User Time is: " + ShortTimeText(local) + " (GMT" + sign + GmtText(gmtOffset) + ")";
}

std::string LoginTimeText(double loginTime, const TRenderContext& c) {
    if (!std::isfinite(loginTime)) loginTime = 0;
    const double shown = loginTime + double(c.roomTimeOffset) / 1440.0 - double(c.machineBias) / 1440.0;
    const char* sign = c.ownBias < 0 ? "+" : c.ownBias > 0 ? "-" : "";
    return "Logged In at: " + ShortTimeText(shown) + " (GMT" + sign + GmtText(c.ownBias) + ")";
}

std::string ChatName(const TParticipantRow* row) {
    if (!row) return "Unknown";
    auto blank = [](const std::string& t) { return t.find_first_not_of(" \t\r\n") == std::string::npos; };
    std::string name = row->hasInfo ? row->info.FirstName() : std::string();
    if (blank(name) && row->hasInfo) name = row->info.DisplayName();
    if (blank(name)) name = row->caption;
    if (row->level >= 1000) name += " (Moderator)";
    return name;
}

int32_t MotionIcon(int32_t m) {
    switch (m) {
    case kMotionHand: return kIconHand;
    case kMotionSmile: return kIconSmile;
    case kMotionApplause: return kIconApplause;
    case kMotionYes: return kIconYes;
    case kMotionNo: return kIconNo;
    default: break;
    }
    if (m <= 0) return -1;
    if (m & kMotionHand) return kIconHand;
    for (int32_t bit : {kMotionSmile, kMotionApplause, kMotionYes, kMotionNo})
        if (m & bit) return MotionIcon(bit);
    return -1;
}

// ---- The list

TParticipantList::~TParticipantList() { SetLoop(nullptr); }

void TParticipantList::SetLoop(IEventLoop* loop) {
    if (loop_) {
        for (auto& [id, t] : blinkTimers_) loop_->KillTimer(t);
        if (userTimeTimer_) loop_->KillTimer(userTimeTimer_);
    }
    blinkTimers_.clear();
    userTimeTimer_ = 0;
    loop_ = loop;
    if (loop_) userTimeTimer_ = loop_->SetTimer(kUserTimeIntervalMs, [this] { UserTimeTick(); });
}

double TParticipantList::Now() const { return NowUtc ? NowUtc() : NowUTC(); }

TParticipantRow* TParticipantList::FindUser(int32_t userId) {
    auto it = byId_.find(userId);
    return it == byId_.end() ? nullptr : it->second;
}

const TParticipantRow* TParticipantList::FindUser(int32_t userId) const {
    return const_cast<TParticipantList*>(this)->FindUser(userId);
}

const TUserInfo* TParticipantList::FindUserInfo(int32_t userId) const {
    const TParticipantRow* row = FindUser(userId);
    return row && row->hasInfo ? &row->info : nullptr;
}

int TParticipantList::IndexOf(int32_t userId) const {
    for (size_t i = 0; i < rows_.size(); ++i)
        if (rows_[i]->userId == userId) return int(i);
    return -1;
}

TParticipantRow& TParticipantList::AddUser(int32_t userId, std::string caption) {
    // One row per id: a repeated join updates the row in place.
    if (TParticipantRow* row = FindUser(userId)) {
        row->caption = std::move(caption);
        Changed(userId);
        return *row;
    }
    auto row = std::make_unique<TParticipantRow>();
    row->userId = userId;
    row->caption = std::move(caption);
    row->userTimeText = UserTimeText(Now(), 0);
    byId_[userId] = row.get();
    rows_.push_back(std::move(row));
    OrderChanged();
    return *rows_.back();
}

TParticipantRow& TParticipantList::RenderUserNode(const TUserInfo& record, const TRenderContext& c) {
    TUserInfo info = record;
    const int32_t id = info.UserId();
    const bool own = c.ownUserId != 0 && id == c.ownUserId;
    std::string caption = info.DisplayName() + (own && c.showMe ? " (Me)" : "");
    TParticipantRow& row = AddUser(id, std::move(caption));
    if (own) ownUserId_ = id;
    row.gmtOffset = info.NormalizeGmtOffset();
    SetUserTimeText(row);
    row.info = info;
    row.hasInfo = true;
    row.level = info.Level();
    row.loginText = LoginTimeText(info.LoginTime(), c);
    SetRole(row, info.Level() < 1000 ? urParticipant : urModerator);
    SetPresence(row, info.Presence());
    if (row.role != urParticipant) {
        MoveToTop(id);
        SetMikeState(row, msAllowed);
        row.maySpeak = true;
    } else if (c.playback) {
        SetMikeState(row, msAllowed);
        row.maySpeak = true;
    } else {
        SetMikeState(row, msNotAllowed);
        row.maySpeak = false;
    }
    Changed(id);
    return row;
}

void TParticipantList::CloseHandGap(int32_t freed, const TParticipantRow* except) {
    // The queue order stays as it was, whatever the display order: the hands behind the freed
    // number each move up by one place.
    std::vector<TParticipantRow*> behind;
    for (auto& r : rows_)
        if (r.get() != except && r->handOrder > freed) behind.push_back(r.get());
    std::stable_sort(behind.begin(), behind.end(), [](auto* a, auto* b) { return a->handOrder < b->handOrder; });
    int32_t next = freed;
    for (TParticipantRow* r : behind) {
        r->handOrder = next++;
        Changed(r->userId);
    }
}

bool TParticipantList::DeleteUser(int32_t userId) {
    TParticipantRow* found = FindUser(userId);
    if (!found) return false;
    auto it = std::find_if(rows_.begin(), rows_.end(), [&](auto& r) { return r.get() == found; });
    TParticipantRow& row = **it;
    if (row.SaysYes()) --positive_;
    if (row.SaysNo()) --negative_;
    if (row.HandRaised()) --hands_;
    hands_ = std::max(hands_, 0);
    positive_ = std::max(positive_, 0);
    negative_ = std::max(negative_, 0);
    const int32_t freed = row.handOrder;
    StopBlink(userId);
    if (row.expanded) --expanded_;
    byId_.erase(userId);
    rows_.erase(it);
    // A departed hand frees its number like a lowered one: the next hand raised must not repeat a
    // number still shown.
    if (freed > 0) CloseHandGap(freed, nullptr);
    if (ownUserId_ == userId) ownUserId_ = 0;
    if (TParticipantRow* previous = Selected()) {
        previous->selected = false;
        Changed(previous->userId);
    }
    selected_ = 0;
    OrderChanged();
    if (!rows_.empty()) {
        selected_ = rows_.front()->userId;
        rows_.front()->selected = true;
        Changed(selected_);
    }
    return true;
}

void TParticipantList::MoveToTop(int32_t userId) {
    auto it = std::find_if(rows_.begin(), rows_.end(), [&](auto& r) { return r->userId == userId; });
    if (it == rows_.end() || it == rows_.begin()) return;
    std::rotate(rows_.begin(), it, it + 1);
    OrderChanged();
}

void TParticipantList::Clear() {
    if (loop_)
        for (auto& [id, t] : blinkTimers_) loop_->KillTimer(t);
    blinkTimers_.clear();
    rows_.clear();
    byId_.clear();
    expanded_ = 0;
    hands_ = positive_ = negative_ = 0;
    ownUserId_ = 0;
    selected_ = 0;
    Changed(0);
}

void TParticipantList::Sort(int mode) {
    auto caption = [this](const TParticipantRow& a, const TParticipantRow& b) {
        return (CompareCaptions ? CompareCaptions(a.caption, b.caption) : a.caption.compare(b.caption)) < 0;
    };
    auto less = [&](const std::unique_ptr<TParticipantRow>& pa, const std::unique_ptr<TParticipantRow>& pb) {
        const TParticipantRow& a = *pa;
        const TParticipantRow& b = *pb;
        switch (mode) {
        case smName: return caption(a, b);
        case smMicrophone:
            if (a.mikeState != b.mikeState) return a.mikeState > b.mikeState;
            return caption(a, b);
        case smRole:
            if (a.role != b.role) return a.role > b.role;
            return caption(a, b);
        case smHands: {
            const bool ha = a.handOrder > 0, hb = b.handOrder > 0;
            if (ha != hb) return ha;
            if (ha && a.handOrder != b.handOrder) return a.handOrder < b.handOrder;
            return caption(a, b);
        }
        default: return false;
        }
    };
    if (mode == smName || mode == smMicrophone || mode == smRole || mode == smHands)
        std::stable_sort(rows_.begin(), rows_.end(), less);
    for (auto& r : rows_) r->expanded = false;
    expanded_ = 0;
    Changed(0);
}

void TParticipantList::ExpandAll() {
    for (auto& r : rows_) SetExpanded(*r, true);
}

void TParticipantList::CollapseAll() {
    for (auto& r : rows_) SetExpanded(*r, false);
}

// ---- Row setters

void TParticipantList::SetMikeState(TParticipantRow& row, uint8_t state) {
    row.mikeState = state;
    if (state == msNone) row.mikeVisible = false;
    else if (state <= msSpeaking) row.mikeVisible = true;
    Changed(row.userId);
}

void TParticipantList::SetCamState(TParticipantRow& row, uint8_t state) {
    row.camState = state;
    if (state == csNone) row.camVisible = false;
    else if (state <= csPublishing) row.camVisible = true;
    Changed(row.userId);
}

void TParticipantList::SetMotion(TParticipantRow& row, int32_t bits) {
    // Counters count by bit both ways, so a combined motion leaves them where it found them.
    int32_t freedOrder = 0;
    if (row.HandRaised()) {
        hands_ = std::max(hands_ - 1, 0);
        freedOrder = row.handOrder;
        row.handOrder = 0;
    }
    if (row.SaysYes()) positive_ = std::max(positive_ - 1, 0);
    if (row.SaysNo()) negative_ = std::max(negative_ - 1, 0);
    row.motions = bits;
    if (freedOrder > 0) CloseHandGap(freedOrder, &row);
    if (bits & kMotionHand) {
        ++hands_;
        row.handOrder = hands_;
    }
    if (bits & kMotionYes) ++positive_;
    if (bits & kMotionNo) ++negative_;
    row.gestureIcon = MotionIcon(bits);
    row.gestureVisible = bits > 0;
    row.blinkCount = 0;
    StopBlink(row.userId);
    if (bits > 0 && bits != kMotionYes && bits != kMotionNo) {
        row.blinking = true;
        if (loop_) {
            const int32_t id = row.userId;
            blinkTimers_[id] = loop_->SetTimer(kBlinkIntervalMs, [this, id] { BlinkTick(id); });
        }
    }
    Changed(row.userId);
}

void TParticipantList::SetMotionBit(TParticipantRow& row, int32_t bit, bool on) {
    SetMotion(row, on ? (row.motions | bit) : (row.motions & ~bit));
}

void TParticipantList::SetMotionIcon(TParticipantRow& row, int32_t index) {
    if (index < 0) {
        row.gestureIcon = -1;
        row.gestureVisible = false;
        SetHandOrder(row, 0);
    } else {
        row.gestureIcon = index;
        row.gestureVisible = true;
    }
    Changed(row.userId);
}

void TParticipantList::SetHandOrder(TParticipantRow& row, int32_t order) {
    row.handOrder = order > 0 ? order : 0;
    Changed(row.userId);
}

void TParticipantList::BlinkTick(int32_t userId) {
    TParticipantRow* row = FindUser(userId);
    if (!row) {
        StopBlink(userId);
        return;
    }
    row->gestureVisible = !row->gestureVisible;
    if (++row->blinkCount >= kBlinkTicks) {
        StopBlink(userId);
        row->gestureVisible = row->motions > 0;
    }
    Changed(userId);
}

void TParticipantList::StopBlink(int32_t userId) {
    auto it = blinkTimers_.find(userId);
    if (it != blinkTimers_.end()) {
        if (loop_) loop_->KillTimer(it->second);
        blinkTimers_.erase(it);
    }
    if (TParticipantRow* row = FindUser(userId)) row->blinking = false;
}

void TParticipantList::SetShareState(TParticipantRow& row, int32_t state) {
    row.shareState = state;
    Changed(row.userId);
}

void TParticipantList::SetTypingState(TParticipantRow& row, int32_t state) {
    row.typingState = state;
    Changed(row.userId);
}

void TParticipantList::SetStatusIcon(TParticipantRow& row, int32_t index) {
    row.statusIcon = index >= 0 ? index : -1;
    Changed(row.userId);
}

void TParticipantList::ClearStatusIcons() {
    for (auto& r : rows_) r->statusIcon = -1;
    Changed(0);
}

void TParticipantList::SetPresence(TParticipantRow& row, uint8_t presence) {
    row.presence = presence;
    Changed(row.userId);
}

void TParticipantList::SetRole(TParticipantRow& row, uint8_t role) {
    row.role = role;
    Changed(row.userId);
}

void TParticipantList::SetExpanded(TParticipantRow& row, bool expanded) {
    if (row.expanded == expanded) return;
    row.expanded = expanded;
    if (expanded) ++expanded_;
    else --expanded_;
    if (expanded) SetUserTimeText(row);
    Changed(row.userId);
    if (OnItemExpand) OnItemExpand(row.userId, expanded);
}

void TParticipantList::SetSelected(int32_t userId) {
    if (TParticipantRow* old = Selected()) {
        old->selected = false;
        Changed(old->userId);
    }
    selected_ = 0;
    if (TParticipantRow* row = FindUser(userId)) {
        row->selected = true;
        selected_ = userId;
        Changed(userId);
    }
}

void TParticipantList::SetUserTimeText(TParticipantRow& row) {
    row.userTimeText = UserTimeText(Now(), row.gmtOffset);
}

void TParticipantList::UserTimeTick() {
    for (auto& r : rows_)
        if (r->expanded) {
            SetUserTimeText(*r);
            Changed(r->userId);
        }
}

}  // namespace orb
