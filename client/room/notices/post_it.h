#pragma once
// A small borderless stay-on-top note that slides up from the bottom of the work area to show a
// session note or a new chat message, rests for its display time, slides down and frees itself.
// Its timers run on the event loop, so tests drive it with a fake clock.

#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QStringList>
#include <QWidget>
#include <memory>
#include <optional>

#include "loop/event_loop.h"
#include "settings/settings.h"

namespace Ui {
class TfrmPostIt;
}

// The screen the notes live on: the work area (screen without panels) and the full screen height.
struct TNoticeScreen {
    QRect workArea;
    int screenHeight = 0;
    static TNoticeScreen Primary();
};

class TfrmPostIt : public QWidget {
    Q_OBJECT
public:
    static constexpr int kRollIntervalMs = 25;
    static constexpr int kStepPixels = 10;
    static constexpr int kMargin = 5;
    static constexpr int kSessionNoteMs = 60000;
    static constexpr int kChatNoticeMs = 20000;

    TfrmPostIt(orb::IEventLoop& loop, orb::Settings& settings, TNoticeScreen screen = TNoticeScreen::Primary());
    ~TfrmPostIt() override;

    void SetFrom(const QString& sender);
    void SetText(const QString& text);
    void SetTime(const QString& time);
    // left = work-area right edge - width - 5.
    void PlaceAtRight();

    void ShowSessionNote();
    void ShowChatNotice();
    void StartRollIn();
    // New content in a note already shown: its display time starts again, and a note already
    // sliding away comes back up.
    void Renew();

    bool ChatNotice() const { return chatNotice_; }
    bool RollingOut() const { return tmrRollOut != 0; }
    bool RollingIn() const { return tmrRollIn != 0; }
    Ui::TfrmPostIt* ui() const { return ui_.get(); }

protected:
    void showEvent(QShowEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void FitCheckBox();
    void StartSliding(int displayMs, const QString& caption);
    void tmrRollOutTimer();
    void tmrRollInTimer();
    void tmrRequestTimer();
    void Kill(orb::TimerId& id);

    orb::IEventLoop& loop_;
    orb::Settings& settings_;
    TNoticeScreen screen_;
    std::unique_ptr<Ui::TfrmPostIt> ui_;
    orb::TimerId tmrRequest = 0;
    orb::TimerId tmrRollOut = 0;
    orb::TimerId tmrRollIn = 0;
    int displayMs_ = kSessionNoteMs;
    bool chatNotice_ = false;
    bool dragging_ = false;
    QPoint dragOffset_;
};

// The slide-in notices of the program: at most one chat notice and one session-note window at a
// time, whatever the room sends. A later chat line replaces the one shown, in the same window; a
// later note joins the pending notes the note window lists (the newest kListedNotes). Nothing is
// created per message: no window, no timer.
class TNoticeWindows {
public:
    static constexpr int kListedNotes = 20;

    // Without a screen the primary screen's is taken each time a notice is shown.
    TNoticeWindows(orb::IEventLoop& loop, orb::Settings& settings, std::optional<TNoticeScreen> screen = {});
    ~TNoticeWindows();
    TNoticeWindows(const TNoticeWindows&) = delete;
    TNoticeWindows& operator=(const TNoticeWindows&) = delete;

    // The chat pop-up: unless chat pop-ups are switched off or a recording is being replayed, shows
    // the sender, the text and the time at the lower right of the work area. The window, or null.
    TfrmPostIt* ShowChat(bool playbackMode, const QString& text, const QString& sender, const QString& timeText);
    // A session note or a request (the caller has checked NoPopUpsOnPostIt).
    TfrmPostIt* ShowNote(const QString& sender, const QString& text, const QString& timeText);
    TfrmPostIt* ChatWindow() const { return chat_; }
    TfrmPostIt* NoteWindow() const { return note_; }

private:
    TfrmPostIt* Create();

    orb::IEventLoop& loop_;
    orb::Settings& settings_;
    std::optional<TNoticeScreen> screen_;
    QPointer<TfrmPostIt> chat_;
    QPointer<TfrmPostIt> note_;
    QStringList notes_;  // what the note window lists, newest first
};
