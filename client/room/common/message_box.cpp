#include "common/message_box.h"

#include <QPointer>
#include <algorithm>

namespace orb::room {

namespace {

const QString kCaption = QStringLiteral("Orbelo Live Browser");

QMessageBox* NewBox(QWidget* parent, QMessageBox::Icon icon, const QString& text,
                    QMessageBox::StandardButtons buttons) {
    auto* box = new QMessageBox(icon, kCaption, text, buttons, parent);
    box->setTextFormat(Qt::PlainText);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    return box;
}

// The notice boxes of the program: all of them live on the main thread.
struct TNotices {
    TNoticeBoxes gate;
    struct TShown {
        QPointer<QMessageBox> box;
        QPointer<QWidget> parent;
        bool hadParent = false;
        const void* id = nullptr;  // the box, also while it is being freed
        QMessageBox::Icon icon;
        QString text;
        QMessageBox::StandardButtons buttons;
    };
    std::map<std::string, TShown> byKey;  // open and queued, by key
};

TNotices& Notices() {
    static TNotices n;
    return n;
}

std::string KeyOf(QMessageBox::Icon icon, const QString& text) {
    return std::to_string(int(icon)) + ":" + text.toStdString();
}

void ShowCount(QMessageBox* box, int count) {
    if (box && count > 1) box->setInformativeText(QStringLiteral("(%1 times)").arg(count));
}

void OpenNotice(const std::string& key);

// The user closed the box: the next waiting text gets a box.
void NoticeClosed(const std::string& key) {
    TNotices& n = Notices();
    n.byKey.erase(key);
    if (auto next = n.gate.Closed(key)) OpenNotice(*next);
}

// The box went without being answered (its parent window was freed): it and what waited go.
void NoticeDestroyed(const std::string& key, const void* box) {
    TNotices& n = Notices();
    auto it = n.byKey.find(key);
    if (it == n.byKey.end() || it->second.id != box) return;
    std::optional<std::string> gone = key;
    while (gone) {
        n.byKey.erase(*gone);
        gone = n.gate.Closed(*gone);
    }
}

void OpenNotice(const std::string& key) {
    TNotices& n = Notices();
    auto it = n.byKey.find(key);
    if (it == n.byKey.end()) return;
    TNotices::TShown& s = it->second;
    if (s.hadParent && !s.parent) {
        NoticeDestroyed(key, s.id);
        return;
    }
    QMessageBox* box = NewBox(s.parent, s.icon, s.text, s.buttons);
    s.box = box;
    s.id = box;
    ShowCount(box, n.gate.Count(key));
    QObject::connect(box, &QMessageBox::finished, [key] { NoticeClosed(key); });
    QObject::connect(box, &QObject::destroyed, [key, box] { NoticeDestroyed(key, box); });
    box->show();
}

}  // namespace

TNoticeBoxes::TOffer TNoticeBoxes::Offer(const std::string& key) {
    if (auto it = open_.find(key); it != open_.end()) {
        ++it->second;
        return TOffer::Added;
    }
    for (auto& [k, count] : queued_)
        if (k == key) {
            ++count;
            return TOffer::Added;
        }
    if (open_.size() < kMaxOpen) {
        open_[key] = 1;
        return TOffer::Open;
    }
    if (queued_.size() < kMaxQueued) {
        queued_.emplace_back(key, 1);
        return TOffer::Queued;
    }
    return TOffer::Dropped;
}

std::optional<std::string> TNoticeBoxes::Closed(const std::string& key) {
    if (!open_.erase(key) || queued_.empty()) return std::nullopt;
    auto [next, count] = queued_.front();
    queued_.pop_front();
    open_[next] = count;
    return next;
}

int TNoticeBoxes::Count(const std::string& key) const {
    if (auto it = open_.find(key); it != open_.end()) return it->second;
    auto q = std::find_if(queued_.begin(), queued_.end(), [&](const auto& e) { return e.first == key; });
    return q == queued_.end() ? 0 : q->second;
}

size_t OpenNoticeBoxes() { return Notices().gate.OpenCount(); }

int PlainMessageBox(QWidget* parent, QMessageBox::Icon icon, const QString& text, QMessageBox::StandardButtons buttons) {
    QMessageBox box(icon, kCaption, text, buttons, parent);
    box.setTextFormat(Qt::PlainText);
    return box.exec();
}

QMessageBox* ShowPlainMessage(QWidget* parent, QMessageBox::Icon icon, const QString& text,
                              QMessageBox::StandardButtons buttons, std::function<void(int)> answered) {
    if (answered) {
        QMessageBox* box = NewBox(parent, icon, text, buttons);
        QObject::connect(box, &QMessageBox::finished, box, [box, answered = std::move(answered)](int) {
            answered(box->standardButton(box->clickedButton()));
        });
        box->show();
        return box;
    }
    TNotices& n = Notices();
    const std::string key = KeyOf(icon, text);
    switch (n.gate.Offer(key)) {
    case TNoticeBoxes::TOffer::Added: {
        auto it = n.byKey.find(key);
        if (it != n.byKey.end()) ShowCount(it->second.box, n.gate.Count(key));
        return nullptr;
    }
    case TNoticeBoxes::TOffer::Dropped: return nullptr;
    case TNoticeBoxes::TOffer::Queued:
        n.byKey[key] = {nullptr, parent, parent != nullptr, nullptr, icon, text, buttons};
        return nullptr;
    case TNoticeBoxes::TOffer::Open:
        n.byKey[key] = {nullptr, parent, parent != nullptr, nullptr, icon, text, buttons};
        OpenNotice(key);
        if (auto it = n.byKey.find(key); it != n.byKey.end()) return it->second.box;
        return nullptr;
    }
    return nullptr;
}

}  // namespace orb::room
