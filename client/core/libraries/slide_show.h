#pragma once
// The presentation being shown: which one, its slide count and the current slide, and which of the
// presentations window's commands are open.

#include <cstdint>
#include <string>

#include "protocol/records.h"

namespace orb {

// Slide counts come from the server; menus and arrays are made for at most this many.
constexpr int32_t kMaxSlideCount = 999;
int32_t CappedSlideCount(int32_t count);

struct TSlideShow {
    bool active = false;
    TResourceInfo presentation;
    int32_t slide = 0;
    int32_t count = 0;

    // Starts at slide 1 of the presentation.
    void Start(const TResourceInfo& record);
    void Clear();
    // Each moves within 1..count and says whether there is a slide to send.
    bool First();
    bool Last();
    bool Next();
    bool Previous();
    bool Repeat();
};

// The record of one slide: the presentation's with name "Slide_<n>.JPG" and extension ".JPG".
TResourceInfo SlideRecord(const TResourceInfo& presentation, int32_t slide);

struct TSlideRights {
    bool itemSelected = false;
    int32_t level = 0;   // own first level
    int32_t level2 = 0;  // own second level
    int32_t currentBoard = 1;
    bool boardRight = false;

    bool Presenter() const { return level >= 1000 || level2 >= 1000; }
    bool SharedBoard() const { return currentBoard > 0; }
    bool MayWriteOnBoard() const { return !SharedBoard() || boardRight; }
};

struct TPresentationActions {
    bool open = false;
    bool first = false, previous = false;
    bool next = false, last = false;
    bool repeat = false;
    bool remove = false;
    bool jump = false;
    std::string jumpCaption;
};

TPresentationActions PresentationActions(const TSlideShow& show, const TSlideRights& rights);

}  // namespace orb
