#include "libraries/slide_show.h"

#include <algorithm>

namespace orb {

int32_t CappedSlideCount(int32_t count) { return std::clamp(count, 0, kMaxSlideCount); }

void TSlideShow::Start(const TResourceInfo& record) {
    active = true;
    presentation = record;
    count = CappedSlideCount(record.number);
    slide = 1;
}

void TSlideShow::Clear() { *this = TSlideShow{}; }

bool TSlideShow::First() {
    if (!active || count < 1) return false;
    slide = 1;
    return true;
}

bool TSlideShow::Last() {
    if (!active || count < 1) return false;
    slide = count;
    return true;
}

bool TSlideShow::Next() {
    if (!active || count < 1) return false;
    // On the last slide the last one is sent again, never one past it.
    slide = std::clamp(slide + 1, 1, count);
    return true;
}

bool TSlideShow::Previous() {
    if (!active || count < 1) return false;
    slide = std::clamp(slide - 1, 1, count);
    return true;
}

bool TSlideShow::Repeat() {
    if (!active || count < 1) return false;
    slide = std::clamp(slide, 1, count);
    return true;
}

TResourceInfo SlideRecord(const TResourceInfo& presentation, int32_t slide) {
    TResourceInfo r = presentation;
    r.fileName = "Slide_" + std::to_string(slide) + ".JPG";
    r.extension = ".JPG";
    return r;
}

TPresentationActions PresentationActions(const TSlideShow& show, const TSlideRights& rights) {
    TPresentationActions a;
    const bool write = rights.MayWriteOnBoard();
    const bool running = show.active && show.count >= 1;
    a.open = rights.itemSelected && (rights.Presenter() || !rights.SharedBoard() || rights.boardRight);
    a.first = a.previous = running && show.slide > 1 && write;
    a.next = a.last = running && show.slide < show.count && write;
    a.repeat = running && show.count >= show.slide && write;
    a.remove = rights.level >= 1000 && rights.itemSelected;
    a.jump = show.active && write;
    a.jumpCaption = a.jump ? std::to_string(show.slide) : std::string();
    return a;
}

}  // namespace orb
