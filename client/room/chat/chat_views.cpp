#include "chat/chat_views.h"

#include <QStackedWidget>
#include <QTextBlock>
#include <QTextDocumentFragment>
#include <QTime>
#include <QTimer>

#include "chat/rtf_writer.h"
#include "chat/smiley_pictures.h"
#include "chat/smileys.h"

namespace orb::room {

namespace {

// A chat document knows only the pictures registered with it: nothing is fetched or read from disk.
class TChatDocument : public QTextDocument {
public:
    using QTextDocument::QTextDocument;

protected:
    QVariant loadResource(int, const QUrl&) override { return QVariant(); }
};

QColor FromBgr(uint32_t c) { return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF)); }
uint32_t ToBgr(const QColor& c) { return uint32_t(c.red()) | uint32_t(c.green()) << 8 | uint32_t(c.blue()) << 16; }
std::u16string U16(const QString& s) { return std::u16string(reinterpret_cast<const char16_t*>(s.utf16()), size_t(s.size())); }
QString Q(const std::u16string& s) { return QString::fromUtf16(s.data(), qsizetype(s.size())); }

}  // namespace

TChatBrowser::TChatBrowser(int32_t key, QWidget* parent) : QTextBrowser(parent), key_(key) {
    setObjectName(key == 0 ? QStringLiteral("chatPublic") : QStringLiteral("chatPrivate%1").arg(key));
    setDocument(new TChatDocument(this));
    setAccessibleName(QStringLiteral("Message history"));
    setReadOnly(true);
    setOpenLinks(false);
    setOpenExternalLinks(false);
    setUndoRedoEnabled(false);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    QFont f(QStringLiteral("Tahoma"));
    f.setPointSize(10);
    document()->setDefaultFont(f);
    // Lines are only ever appended: an undo record per line would grow memory with every message
    // beyond the text it holds.
    document()->setUndoRedoEnabled(false);
    document()->setMaximumBlockCount(kMaxLines);
    RegisterPictures();
}

void TChatBrowser::RegisterPictures() {
    for (int i = 0; i < chat::kSmileyCount; ++i)
        document()->addResource(QTextDocument::ImageResource, SmileyUrl(i), SmileyImage(i));
}

QVariant TChatBrowser::loadResource(int, const QUrl&) { return QVariant(); }

void TChatBrowser::Append(QTextCursor& c, const QString& text, const QTextCharFormat& f) {
    // Line breaks of the text become paragraphs; everything else is plain text.
    const QStringList lines = QString(text).replace(QLatin1String("\r\n"), QLatin1String("\n")).split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        if (i > 0) c.insertBlock();
        c.insertText(lines[i], f);
    }
}

void TChatBrowser::AddMessage(const QString& sender, bool notice, uint32_t colour, const QString& text,
                              const QString& timeText, int pointSize) {
    pending_.push_back({sender, notice, colour, text, timeText, pointSize});
    // A turn's burst beyond what the view keeps would only be laid out to leave again.
    if (pending_.size() > size_t(kMaxLines)) pending_.erase(pending_.begin());
    PostTurnEnd();
}

void TChatBrowser::ScrollToEnd() { PostTurnEnd(); }

void TChatBrowser::PostTurnEnd() {
    if (turnEndPosted_) return;
    turnEndPosted_ = true;
    // At the end of the turn: the turn's lines in one edit, then to the new end once.
    QTimer::singleShot(0, this, [this] {
        turnEndPosted_ = false;
        Flush();
        QTextCursor end(document());
        end.movePosition(QTextCursor::End);
        setTextCursor(end);
        ensureCursorVisible();
    });
}

void TChatBrowser::Flush() {
    if (pending_.empty()) return;
    QTextCursor c(document());
    c.movePosition(QTextCursor::End);
    // One edit: the document is laid out once for all the lines, not once for each piece of them.
    c.beginEditBlock();
    for (const TLine& line : pending_) Write(c, line);
    c.endEditBlock();
    pending_.clear();
}

void TChatBrowser::Write(QTextCursor& c, const TLine& line) {
    if (!document()->isEmpty()) c.insertBlock();
    QTextCharFormat f;
    f.setFontPointSize(line.pointSize);
    if (line.notice) {
        f.setForeground(FromBgr(0x808080));
        Append(c, line.sender + line.timeText + QStringLiteral(": ") + line.text, f);
        return;
    }
    f.setFontWeight(QFont::Bold);
    f.setForeground(FromBgr(0x000000));
    Append(c, line.sender + line.timeText, f);
    c.insertBlock();
    f.setFontWeight(QFont::Normal);
    f.setForeground(FromBgr(line.colour));
    AppendTextWithSmileys(c, line.text, f);
}

void TChatBrowser::AppendTextWithSmileys(QTextCursor& c, const QString& text, const QTextCharFormat& f) {
    for (const chat::TChatPiece& piece : chat::SplitSmileys(U16(text))) {
        if (piece.picture < 0) {
            Append(c, Q(piece.text), f);
        } else {
            QTextImageFormat img;
            img.setName(SmileyUrl(piece.picture).toString());
            img.setWidth(kSmileyPixels);
            img.setHeight(kSmileyPixels);
            img.setVerticalAlignment(QTextCharFormat::AlignMiddle);
            c.insertImage(img);
        }
    }
}

void TChatBrowser::Clear() {
    pending_.clear();
    clear();
    document()->setMaximumBlockCount(kMaxLines);
    RegisterPictures();
}

void TChatBrowser::SetPointSize(int pointSize) {
    Flush();
    QTextCursor c(document());
    c.select(QTextCursor::Document);
    QTextCharFormat f;
    f.setFontPointSize(pointSize);
    c.mergeCharFormat(f);
}

std::string TChatBrowser::Rtf() {
    Flush();
    chat::TRtfWriter w;
    bool first = true;
    for (QTextBlock b = document()->begin(); b.isValid(); b = b.next()) {
        if (!first) w.Text(u"\n", false, 0, 8);
        first = false;
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment frag = it.fragment();
            if (!frag.isValid()) continue;
            const QTextCharFormat f = frag.charFormat();
            if (f.isImageFormat()) {
                const int n = SmileyFromUrl(f.toImageFormat().name());
                const QByteArray png = n >= 0 ? SmileyPng(n) : QByteArray();
                // One picture per character of the fragment.
                for (int i = 0; i < frag.length(); ++i)
                    w.Picture(std::vector<uint8_t>(png.begin(), png.end()), kSmileyPixels, kSmileyPixels);
                continue;
            }
            const int size = f.fontPointSize() > 0 ? int(f.fontPointSize()) : 8;
            w.Text(U16(frag.text()), f.fontWeight() >= QFont::Bold, ToBgr(f.foreground().color()), size);
        }
    }
    return w.Document();
}

// ---- Views

TChatViews::TChatViews(QStackedWidget* stack) : stack_(stack) {}

TChatBrowser* TChatViews::FindMessageList(int32_t key) const {
    std::lock_guard lk(mu_);
    auto it = views_.find(key);
    return it == views_.end() ? nullptr : it->second;
}

TChatBrowser* TChatViews::FindOrCreate(int32_t key, bool* created) {
    std::lock_guard lk(mu_);
    if (created) *created = false;
    if (TChatBrowser* v = FindMessageList(key)) return v;
    if (created) *created = true;
    return CreateMessageList(key);
}

TChatBrowser* TChatViews::CreateMessageList(int32_t key) {
    std::lock_guard lk(mu_);
    auto* v = new TChatBrowser(key, stack_);
    if (menu_) {
        v->setContextMenuPolicy(Qt::CustomContextMenu);
        QObject::connect(v, &QWidget::customContextMenuRequested, v, [this, v](const QPoint& p) { menu_(v, p); });
    }
    // New views stay behind the one in front until they are chosen.
    const int front = stack_->currentIndex();
    stack_->addWidget(v);
    if (front >= 0) stack_->setCurrentIndex(front);
    views_[key] = v;
    return v;
}

TChatBrowser* TChatViews::AddChatMessage(int32_t key, const QString& sender, bool notice, uint32_t colour,
                                         const QString& text) {
    std::lock_guard lk(mu_);
    TChatBrowser* v = FindOrCreate(key);
    const QString time = showTiming_ ? QStringLiteral(" [%1] ").arg(QTime::currentTime().toString(QStringLiteral("hh:mm")))
                                     : QString();
    v->AddMessage(sender, notice, colour, text, time, fontSize_);
    return v;
}

void TChatViews::BringToFront(int32_t key) {
    if (TChatBrowser* v = FindMessageList(key)) stack_->setCurrentWidget(v);
}

int32_t TChatViews::FrontKey() const {
    auto* v = qobject_cast<TChatBrowser*>(stack_->currentWidget());
    return v ? v->Key() : 0;
}

void TChatViews::FreeAll() {
    std::lock_guard lk(mu_);
    for (auto& [key, v] : views_) {
        stack_->removeWidget(v);
        v->deleteLater();
    }
    views_.clear();
}

void TChatViews::ClearAll() {
    std::lock_guard lk(mu_);
    for (auto& [key, v] : views_) v->Clear();
}

void TChatViews::SetFontSize(int pointSize) {
    std::lock_guard lk(mu_);
    fontSize_ = pointSize < 7 ? 8 : pointSize;
    for (auto& [key, v] : views_) v->SetPointSize(fontSize_);
}

size_t TChatViews::Count() const {
    std::lock_guard lk(mu_);
    return views_.size();
}

}  // namespace orb::room
