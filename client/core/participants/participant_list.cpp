#include "participants/participant_list.h"

#include <algorithm>

namespace orb {

TParticipantRow* TParticipantList::FindUser(int32_t userId) {
    for (auto& r : rows_)
        if (r->userId == userId) return r.get();
    return nullptr;
}

const TParticipantRow* TParticipantList::FindUser(int32_t userId) const {
    return const_cast<TParticipantList*>(this)->FindUser(userId);
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
    rows_.push_back(std::move(row));
    Changed(0);
    return *rows_.back();
}

bool TParticipantList::DeleteUser(int32_t userId) {
    auto it = std::find_if(rows_.begin(), rows_.end(), [&](auto& r) { return r->userId == userId; });
    if (it == rows_.end()) return false;
    rows_.erase(it);
    Changed(0);
    return true;
}

void TParticipantList::MoveToTop(int32_t userId) {
    auto it = std::find_if(rows_.begin(), rows_.end(), [&](auto& r) { return r->userId == userId; });
    if (it == rows_.end() || it == rows_.begin()) return;
    std::rotate(rows_.begin(), it, it + 1);
    Changed(0);
}

void TParticipantList::Clear() {
    rows_.clear();
    Changed(0);
}

int TParticipantList::CountMotion(int32_t bit) const {
    return int(std::count_if(rows_.begin(), rows_.end(), [&](auto& r) { return (r->motions & bit) != 0; }));
}

}  // namespace orb
