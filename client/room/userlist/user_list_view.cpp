#include "userlist/user_list_view.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QFileInfo>
#include <QHelpEvent>
#include <QImageReader>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QToolTip>
#include <QWheelEvent>

#include "userlist/row_icons.h"

namespace orb::room {

namespace {

QColor FromBgr(uint32_t c) { return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF)); }
QString Utf8(const std::string& s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

constexpr int kMaxPictureSide = 4096;

QFont RowFont(int pointSize = 8, bool bold = false, bool italic = false) {
    QFont f(QStringLiteral("Tahoma"));
    f.setPointSize(pointSize);
    f.setBold(bold);
    f.setItalic(italic);
    return f;
}

}  // namespace

TRowGeometry RowGeometry(int w, bool expanded) {
    TRowGeometry g;
    g.mike = QRect(w - 17, 2, 16, 16);
    g.cam = g.mike.translated(-17, 0);
    g.gesture = g.cam.translated(-17, 0);
    g.handOrder = QRect(g.gesture.left() - 10, 7, 10, 12);
    g.share = QRect(g.handOrder.left() - 18, 2, 16, 16);
    g.typing = g.share.translated(-18, 0);
    g.status = g.typing.translated(-18, 0);
    g.name = QRect(4, 3, std::max(0, g.status.left() - 6), 15);
    if (expanded) {
        g.pictureFrame = QRect(4, 21, 62, 47);
        g.picture = QRect(5, 22, 60, 45);
        const int x = g.picture.right() + 1 + 5;
        const int textWidth = std::max(0, w - x - 54);
        g.role = QRect(x, g.picture.top() - 2, textWidth, 12);
        g.userTime = QRect(x, g.role.bottom() + 1, std::max(0, w - x - 4), 12);
        g.login = QRect(x, g.userTime.bottom() + 2, std::max(0, w - x - 4), 12);
        g.moreOptions = QRect(x, g.picture.bottom() - 11, 62, 12);
        g.presence = QRect(w - 4 - 45, 71 - 13, 45, 13);
        g.border = QRect(0, 0, w, kExpandedRowHeight - 1);
    }
    return g;
}

QImage LoadPicture(const QString& path) {
    QImageReader reader(path);
    reader.setAutoTransform(true);
    const QSize size = reader.size();
    if (!size.isValid() || size.width() > kMaxPictureSide || size.height() > kMaxPictureSide) return {};
    return reader.read();
}

// ---- Row widget

TUserRowWidget::TUserRowWidget(TOrbeloUserList& owner, int32_t userId) : QWidget(nullptr), owner_(owner), userId_(userId) {
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    Sync();
}

const TParticipantRow* TUserRowWidget::Row() const {
    return owner_.List() ? owner_.List()->FindUser(userId_) : nullptr;
}

void TUserRowWidget::Assign(int32_t userId) {
    userId_ = userId;
    Sync();
}

void TUserRowWidget::Sync() {
    const TParticipantRow* row = Row();
    setFixedHeight(row ? row->Height() : kRowHeight);
    // A screen reader names the row by its participant.
    if (row) setAccessibleName(QString::fromStdString(row->caption));
    update();
}

void TUserRowWidget::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const TParticipantRow* row = Row();
    const QColor highlight(0xE8, 0xE8, 0xE8);
    if (!row) {
        p.fillRect(rect(), Qt::white);
        return;
    }
    const TRowGeometry g = RowGeometry(width(), row->expanded);
    p.fillRect(rect(), row->selected && !row->expanded ? highlight : QColor(Qt::white));
    if (row->expanded) {
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(QColor(0xC0, 0xC0, 0xC0), 1));
        p.setBrush(row->selected ? highlight : QColor(Qt::white));
        const int corner = std::min(g.border.width(), g.border.height()) / 7;
        p.drawRoundedRect(QRectF(g.border).adjusted(0.5, 0.5, -0.5, -0.5), corner, corner);
        p.setRenderHint(QPainter::Antialiasing, false);
    }
    // Name: presence colour and style, bold for moderators; always plain text.
    const TPresenceStyle style = PresenceStyle(row->presence <= 2 ? row->presence : 0);
    p.setFont(RowFont(8, row->role != urParticipant, style.italic));
    p.setPen(FromBgr(style.nameColour));
    p.drawText(g.name, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
               p.fontMetrics().elidedText(Utf8(NameLabelText(*row)), Qt::ElideRight, g.name.width()));

    const TMikeCamIcons& icons = owner_.List()->Icons;
    const qreal dpr = devicePixelRatioF();
    auto icon = [&](const QRect& r, int index) {
        if (index >= 0) p.drawPixmap(r.topLeft(), RowIcon(index, dpr));
    };
    if (row->mikeVisible) icon(g.mike, MikeIcon(icons, row->mikeState));
    if (row->camVisible) icon(g.cam, CamIcon(icons, row->camState));
    if (row->gestureVisible) icon(g.gesture, row->gestureIcon);
    if (row->handOrder > 0) {
        QFont f = RowFont(7);
        p.setFont(f);
        p.setPen(QColor(0x80, 0x00, 0x00));
        p.drawText(g.handOrder, Qt::AlignRight | Qt::AlignBottom, QString::number(row->handOrder));
    }
    if (row->shareState == 1) icon(g.share, kIconShare);
    else if (row->shareState == 2) icon(g.share, kIconRemoteControl);
    if (row->typingState == 1) icon(g.typing, kIconTyping);
    else if (row->typingState == 2) icon(g.typing, kIconTyping2);
    if (row->statusIcon >= 0) icon(g.status, row->statusIcon);

    if (!row->expanded) return;
    p.setPen(QColor(0xC0, 0xC0, 0xC0));
    p.setBrush(QColor(0xF8, 0xF8, 0xF8));
    p.drawRect(g.pictureFrame.adjusted(0, 0, -1, -1));
    const QImage picture = owner_.PictureOf(*row);
    if (!picture.isNull()) {
        QSize s = picture.size().scaled(g.picture.size(), Qt::KeepAspectRatio);
        QRect target(QPoint(0, 0), s);
        target.moveCenter(g.picture.center());
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.drawImage(target, picture);
    }
    p.setFont(RowFont(7));
    p.setPen(Qt::black);
    p.drawText(g.role, Qt::AlignLeft | Qt::AlignVCenter, Utf8(RoleText(row->role)));
    p.drawText(g.userTime, Qt::AlignLeft | Qt::AlignVCenter, Utf8(row->userTimeText));
    p.drawText(g.login, Qt::AlignLeft | Qt::AlignVCenter,
               Utf8(row->loginText.empty() ? std::string("Logged in at ") : row->loginText));
    QFont link = RowFont(7);
    link.setUnderline(true);
    p.setFont(link);
    p.setPen(QColor(0x00, 0x00, 0xFF));
    p.drawText(g.moreOptions, Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("More Options"));
    if (row->presence <= 2) {
        p.fillRect(g.presence, FromBgr(style.labelColour));
        QFont f(QStringLiteral("Arial"));
        f.setPointSize(7);
        f.setBold(true);
        f.setItalic(true);
        p.setFont(f);
        p.setPen(Qt::white);
        p.drawText(g.presence, Qt::AlignCenter, Utf8(style.text));
    }
}

bool TUserRowWidget::event(QEvent* e) {
    if (e->type() == QEvent::ToolTip) {
        // Hints of the icon under the pointer; fixed texts, shown as plain text.
        const auto* help = static_cast<QHelpEvent*>(e);
        const TParticipantRow* row = Row();
        QString hint;
        if (row) {
            const TRowGeometry g = RowGeometry(width(), row->expanded);
            if (g.mike.contains(help->pos()) && row->mikeVisible) hint = Utf8(MikeHint(row->mikeState));
            else if (g.cam.contains(help->pos()) && row->camVisible) hint = Utf8(CamHint(row->camState));
            else if (g.share.contains(help->pos())) hint = Utf8(ShareHint(row->shareState));
            else if (g.typing.contains(help->pos())) hint = Utf8(TypingHint(row->typingState));
            else hint = QStringLiteral("Double click on a user for more options");
        }
        if (hint.isEmpty()) QToolTip::hideText();
        else QToolTip::showText(help->globalPos(), hint.toHtmlEscaped(), this);
        return true;
    }
    return QWidget::event(e);
}

void TUserRowWidget::mousePressEvent(QMouseEvent* e) {
    owner_.RowPressed(userId_, e->button(), e->globalPosition().toPoint());
}

void TUserRowWidget::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint()))
        owner_.RowClicked(userId_, e->position().toPoint());
}

void TUserRowWidget::mouseDoubleClickEvent(QMouseEvent*) { owner_.RowToggle(userId_); }

void TUserRowWidget::wheelEvent(QWheelEvent* e) { owner_.Wheel(e); }

void TUserRowWidget::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
        owner_.RowToggle(userId_);
        return;
    }
    QWidget::keyPressEvent(e);
}

void TUserRowWidget::contextMenuEvent(QContextMenuEvent* e) { e->accept(); }

bool TUserRowWidget::focusNextPrevChild(bool next) {
    TParticipantList* list = owner_.List();
    const int index = list ? list->IndexOf(userId_) : -1;
    const int to = index + (next ? 1 : -1);
    if (index < 0 || to < 0 || to >= int(list->Count())) return QWidget::focusNextPrevChild(next);
    owner_.FocusRow(list->Row(size_t(to)).userId);
    return true;
}

void TUserRowWidget::focusInEvent(QFocusEvent* e) {
    if (owner_.List() && owner_.List()->SelectedUser() != userId_) owner_.List()->SetSelected(userId_);
    QWidget::focusInEvent(e);
}

// ---- The list

TOrbeloUserList::TOrbeloUserList(QWidget* parent) : QScrollArea(parent), canvas_(new QWidget) {
    setObjectName(QStringLiteral("lvUsers"));
    setAccessibleName(QStringLiteral("Participant list"));
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(false);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    setBackgroundRole(QPalette::Window);
    canvas_->setAutoFillBackground(true);
    canvas_->setPalette(pal);
    // A join or leave changes the canvas's height below the rows in view: nothing in view to paint.
    canvas_->setAttribute(Qt::WA_StaticContents);
    setWidget(canvas_);
    canvas_->installEventFilter(this);
    setToolTip(QStringLiteral("Double click on a user for more options"));
    verticalScrollBar()->setSingleStep(kRowHeight);
    // Rows come into view as the list scrolls: give them their widgets at once.
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this] { Flush(); });
}

TOrbeloUserList::~TOrbeloUserList() { SetList(nullptr); }

void TOrbeloUserList::SetList(TParticipantList* list) {
    if (list_) {
        list_->OnChanged = nullptr;
        list_->OnOrderChanged = nullptr;
        list_->OnItemExpand = nullptr;
    }
    list_ = list;
    if (list_) {
        list_->OnChanged = [this](int32_t user) {
            if (user == 0) allDirty_ = true;
            else if (shown_.count(user)) dirty_.insert(user);
            else if (list_->ExpandedCount() == expandedSeen_) return;  // out of view, heights as they were
            Schedule();
        };
        list_->OnOrderChanged = [this] { Schedule(); };
        list_->OnItemExpand = [this](int32_t user, bool expanded) {
            if (OnItemExpand) OnItemExpand(user, expanded);
        };
    }
    allDirty_ = true;
    Flush();
}

void TOrbeloUserList::Schedule() {
    if (flushQueued_) return;
    flushQueued_ = true;
    QMetaObject::invokeMethod(this, [this] { Flush(); }, Qt::QueuedConnection);
}

TUserRowWidget* TOrbeloUserList::RowWidget(int32_t user) {
    if (flushQueued_) Flush();
    auto it = shown_.find(user);
    return it == shown_.end() ? nullptr : it->second;
}

QImage TOrbeloUserList::PictureOf(const TParticipantRow& row) {
    if (row.picturePath.empty()) return NoFace;
    // Read again when the file changed (a newer download replaces it under the same name).
    const QFileInfo info(Utf8(row.picturePath));
    const QDateTime stamp = info.lastModified();
    auto it = pictures_.find(row.picturePath);
    if (it == pictures_.end() || it->second.stamp != stamp)
        it = pictures_.insert_or_assign(row.picturePath, TPicture{LoadPicture(info.filePath()), stamp}).first;
    return it->second.image.isNull() ? NoFace : it->second.image;
}

int TOrbeloUserList::RowTop(int32_t user, int* index) const {
    int y = 0;
    for (size_t i = 0; list_ && i < list_->Count(); ++i) {
        const TParticipantRow& row = list_->Row(i);
        if (row.userId == user) {
            if (index) *index = int(i);
            return y;
        }
        y += row.Height();
    }
    if (index) *index = -1;
    return -1;
}

void TOrbeloUserList::Release(TUserRowWidget* w) {
    // A focused widget that leaves hands the focus to the list, not to whichever row is next.
    if (w->hasFocus()) setFocus(Qt::OtherFocusReason);
    w->hide();
    spare_.push_back(w);
    ++rowUpdates_;
}

void TOrbeloUserList::Flush() {
    flushQueued_ = false;
    const int width = viewport()->width();
    const int count = list_ ? int(list_->Count()) : 0;
    const int contentHeight = count * kRowHeight + int(list_ ? list_->ExpandedCount() : 0) *
                                                       (kExpandedRowHeight - kRowHeight);
    const QSize canvasSize(width, std::max(contentHeight + (count > 0 ? kFreeSpace : 0), viewport()->height()));
    if (canvas_->size() != canvasSize) canvas_->resize(canvasSize);
    expandedSeen_ = list_ ? list_->ExpandedCount() : 0;

    // The rows in view: from the first one reaching below the top of the view. Collapsed rows
    // all have one height, so the first is found at once unless rows are expanded.
    const int top = verticalScrollBar()->value();
    const int bottom = top + viewport()->height();
    int first = 0, y = 0;
    if (list_ && list_->ExpandedCount() == 0) {
        first = std::min(count, top / kRowHeight);
        y = first * kRowHeight;
    } else {
        while (first < count && y + list_->Row(size_t(first)).Height() <= top) y += list_->Row(size_t(first++)).Height();
    }
    struct TPlace {
        int32_t user;
        int y, height;
    };
    std::vector<TPlace> wanted;
    for (int i = first; i < count && y < bottom; ++i) {
        const TParticipantRow& row = list_->Row(size_t(i));
        wanted.push_back({row.userId, y, row.Height()});
        y += row.Height();
    }
    // The focused row keeps its widget out of view too (the keyboard is still on it).
    QWidget* focus = QApplication::focusWidget();
    for (auto& [id, w] : shown_)
        if (w == focus && list_ && list_->FindUser(id) &&
            std::none_of(wanted.begin(), wanted.end(), [id = id](const TPlace& p) { return p.user == id; })) {
            const int rowTop = RowTop(id);
            wanted.push_back({id, rowTop, list_->FindUser(id)->Height()});
        }

    // Widgets of rows no longer wanted go back to the spares.
    std::unordered_map<int32_t, TUserRowWidget*> kept;
    for (const TPlace& p : wanted) {
        auto it = shown_.find(p.user);
        if (it != shown_.end()) {
            kept.emplace(p.user, it->second);
            shown_.erase(it);
        }
    }
    for (auto& [id, w] : shown_) Release(w);
    shown_.swap(kept);

    for (const TPlace& p : wanted) {
        TUserRowWidget*& w = shown_[p.user];
        if (!w) {
            if (!spare_.empty()) {
                w = spare_.back();
                spare_.pop_back();
            } else {
                w = new TUserRowWidget(*this, p.user);
                w->setParent(canvas_);
            }
            w->Assign(p.user);
            ++rowUpdates_;
        } else if (allDirty_ || dirty_.count(p.user)) {
            w->Sync();
            ++rowUpdates_;
        }
        const QRect place(0, p.y, width, p.height);
        if (w->geometry() != place) w->setGeometry(place);
        if (w->isHidden()) w->show();
    }
    dirty_.clear();
    allDirty_ = false;
}

void TOrbeloUserList::FocusRow(int32_t user) {
    const int rowTop = RowTop(user);
    if (rowTop >= 0) {
        const int height = list_->FindUser(user)->Height();
        QScrollBar* bar = verticalScrollBar();
        if (rowTop < bar->value()) bar->setValue(rowTop);
        else if (rowTop + height > bar->value() + viewport()->height())
            bar->setValue(rowTop + height - viewport()->height());
    }
    Flush();
    if (TUserRowWidget* w = RowWidget(user)) w->setFocus(Qt::OtherFocusReason);
    else setFocus(Qt::OtherFocusReason);
}

void TOrbeloUserList::resizeEvent(QResizeEvent* e) {
    QScrollArea::resizeEvent(e);
    Flush();
}

bool TOrbeloUserList::eventFilter(QObject* watched, QEvent* e) {
    if (watched == canvas_ && e->type() == QEvent::Wheel) {
        Wheel(static_cast<QWheelEvent*>(e));
        return true;
    }
    return QScrollArea::eventFilter(watched, e);
}

void TOrbeloUserList::Wheel(QWheelEvent* e) {
    // By rows: a notch of 120 moves the system's wheel lines (3 unless set), a row each.
    wheelRest_ += e->angleDelta().y() * std::max(1, QApplication::wheelScrollLines()) * kRowHeight;
    const int pixels = wheelRest_ / 120;
    wheelRest_ -= pixels * 120;
    QScrollBar* bar = verticalScrollBar();
    bar->setValue(bar->value() - pixels);
    e->accept();
}

void TOrbeloUserList::RowPressed(int32_t user, Qt::MouseButton button, QPoint globalPos) {
    if (!list_) return;
    list_->SetSelected(user);
    if (TUserRowWidget* w = RowWidget(user)) w->setFocus(Qt::MouseFocusReason);
    if (button == Qt::RightButton && UserMenu) UserMenu->popup(globalPos);
}

void TOrbeloUserList::RowToggle(int32_t user) {
    if (!list_) return;
    TParticipantRow* row = list_->FindUser(user);
    if (!row) return;
    list_->SetSelected(user);
    list_->SetExpanded(*row, !row->expanded);
}

void TOrbeloUserList::RowClicked(int32_t user, QPoint pos) {
    if (!list_) return;
    const TParticipantRow* row = list_->FindUser(user);
    TUserRowWidget* w = RowWidget(user);
    if (!row || !w) return;
    const TRowGeometry g = RowGeometry(w->width(), row->expanded);
    if (g.mike.contains(pos)) {
        if (OnMikeImageClick) OnMikeImageClick(user);
    } else if (g.cam.contains(pos)) {
        if (OnCamImageClick) OnCamImageClick(user);
    } else if (row->expanded && g.moreOptions.contains(pos)) {
        list_->SetSelected(user);
        if (UserMenu) UserMenu->popup(w->mapToGlobal(QPoint(g.moreOptions.left(), g.moreOptions.bottom() + 2)));
    }
}

}  // namespace orb::room
