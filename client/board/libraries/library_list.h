#pragma once
// What the three library windows share: filling a list from the data module's records (plain
// text only), the selected record, and a window handle for the data module's notifications.

#include <QTreeWidget>
#include <functional>
#include <optional>
#include <vector>

#include "loop/event_loop.h"
#include "protocol/records.h"

namespace orb::library {

// Refills the list: one row per record with the columns of its list kind; the row's index into
// `records` is kept with it.
void FillList(QTreeWidget* list, uint16_t listKind, const std::vector<TResourceInfo>& records);
// The record of the selected row, looked up again in `records`.
std::optional<TResourceInfo> Selected(const QTreeWidget* list, const std::vector<TResourceInfo>& records);

// A window handle of the event loop that calls `handler` for each posted message; unregistered
// when destroyed.
class TWindowHandle {
public:
    TWindowHandle() = default;
    ~TWindowHandle() { Reset(); }
    TWindowHandle(const TWindowHandle&) = delete;
    TWindowHandle& operator=(const TWindowHandle&) = delete;
    WindowHandle Register(IEventLoop& loop, MessageHandler handler);
    void Reset();
    WindowHandle Handle() const { return handle_; }

private:
    IEventLoop* loop_ = nullptr;
    WindowHandle handle_ = 0;
};

}  // namespace orb::library
