#pragma once
// The chat views: one read-only document per conversation (key 0 the public chat, otherwise the
// partner's user id), created on demand in a stacked panel. Text from the room is inserted as text
// and smiley codes become pictures registered with the view's document; nothing else is loaded, and
// links never open.

#include <QTextBrowser>

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

class QStackedWidget;

namespace orb::room {

class TChatBrowser : public QTextBrowser {
    Q_OBJECT
public:
    // Lines (paragraphs) a view keeps: a message is its sender line and its text lines. The oldest
    // leave the view as new ones come, so a long or flooded session costs the same memory.
    static constexpr int kMaxLines = 1000;

    explicit TChatBrowser(int32_t key, QWidget* parent = nullptr);
    int32_t Key() const { return key_; }
    // Appends one message: a notice (grey, plain, one line) or a bold header line and the text.
    // The lines of one turn of the loop reach the document together, in one edit, when the turn
    // ends or when something reads the view (Flush).
    void AddMessage(const QString& sender, bool notice, uint32_t colour, const QString& text, const QString& timeText,
                    int pointSize);
    // Puts the lines still waiting into the document; whatever reads the view's text calls it first.
    void Flush();
    // Moves to the end of the text once, when the turn ends and its lines are in.
    void ScrollToEnd();
    void Clear();
    void SetPointSize(int pointSize);
    // The view's text and pictures as an RTF document.
    std::string Rtf();

protected:
    // Only the registered smiley pictures exist for the document; everything else stays unloaded.
    QVariant loadResource(int type, const QUrl& name) override;

private:
    void RegisterPictures();
    void Append(QTextCursor& c, const QString& text, const QTextCharFormat& f);
    struct TLine {
        QString sender;
        bool notice;
        uint32_t colour;
        QString text;
        QString timeText;
        int pointSize;
    };
    void Write(QTextCursor& c, const TLine& line);
    void PostTurnEnd();
    // The text with its smiley codes as pictures.
    void AppendTextWithSmileys(QTextCursor& c, const QString& text, const QTextCharFormat& f);
    int32_t key_;
    // Each edit of the document lays out again every block since the layout's last check point
    // (about a screen and a half): one edit per turn rather than per line keeps a burst's cost per
    // line small however long the chat is.
    std::vector<TLine> pending_;
    bool turnEndPosted_ = false;
};

class TChatViews {
public:
    explicit TChatViews(QStackedWidget* stack);
    TChatBrowser* FindMessageList(int32_t key) const;
    TChatBrowser* FindOrCreate(int32_t key, bool* created = nullptr);
    // A new view for the key (the caller has found none).
    TChatBrowser* CreateMessageList(int32_t key);
    // AddChatMessage: finds or creates the view and appends; returns it.
    TChatBrowser* AddChatMessage(int32_t key, const QString& sender, bool notice, uint32_t colour, const QString& text);
    void BringToFront(int32_t key);
    int32_t FrontKey() const;
    // Frees every view (a new room starts with none).
    void FreeAll();
    void ClearAll();
    void SetFontSize(int pointSize);
    void SetShowTiming(bool on) { showTiming_ = on; }
    int FontSize() const { return fontSize_; }
    // What each new view is given (the chat input's pop-up menu).
    void SetContextMenu(std::function<void(TChatBrowser*, const QPoint&)> menu) { menu_ = std::move(menu); }
    size_t Count() const;

private:
    QStackedWidget* stack_;
    mutable std::recursive_mutex mu_;
    std::map<int32_t, TChatBrowser*> views_;
    bool showTiming_ = false;
    int fontSize_ = 8;
    std::function<void(TChatBrowser*, const QPoint&)> menu_;
};

}  // namespace orb::room
