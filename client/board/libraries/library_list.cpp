#include "library_list.h"

#include "common/message_box.h"
#include "libraries/library_records.h"

namespace orb::library {

void FillList(QTreeWidget* list, uint16_t listKind, const std::vector<TResourceInfo>& records) {
    list->clear();
    QList<QTreeWidgetItem*> items;
    for (size_t i = 0; i < records.size(); ++i) {
        const TResourceRow row = ResourceRow(listKind, records[i]);
        auto* item = new QTreeWidgetItem;
        for (size_t c = 0; c < row.columns.size(); ++c) item->setText(int(c), room::FromUtf8(row.columns[c]));
        item->setData(0, Qt::UserRole, qulonglong(i));
        items.append(item);
    }
    list->addTopLevelItems(items);
}

std::optional<TResourceInfo> Selected(const QTreeWidget* list, const std::vector<TResourceInfo>& records) {
    const QTreeWidgetItem* item = list->currentItem();
    if (!item || !item->isSelected()) return std::nullopt;
    const qulonglong i = item->data(0, Qt::UserRole).toULongLong();
    if (i >= records.size()) return std::nullopt;
    return records[size_t(i)];
}

WindowHandle TWindowHandle::Register(IEventLoop& loop, MessageHandler handler) {
    Reset();
    loop_ = &loop;
    handle_ = loop.RegisterWindow(std::move(handler));
    return handle_;
}

void TWindowHandle::Reset() {
    if (loop_ && handle_) loop_->UnregisterWindow(handle_);
    loop_ = nullptr;
    handle_ = 0;
}

}  // namespace orb::library
