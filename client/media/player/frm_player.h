#pragma once
// TfrmPlayer: status, position, elapsed time, jump slider, download bar, volume and full screen of
// a replayed recording. It renders the notices of the replay thread and the downloads (posted to
// its handle) and hands the user's commands to the playback controller.

#include <QWidget>
#include <functional>
#include <memory>

#include "playback/playback.h"

namespace Ui {
class TfrmPlayer;
}

class TfrmPlayer : public QWidget {
    Q_OBJECT
public:
    explicit TfrmPlayer(QWidget* parent = nullptr);
    ~TfrmPlayer() override;

    // The controller whose commands the buttons and the slider run (not owned).
    void SetPlayback(orb::playback::TPlayback* playback) { playback_ = playback; }
    // Playback volume read and set on the playback device (unset: the slider is disabled).
    std::function<bool(uint32_t&)> GetVolume;
    std::function<void(uint32_t)> SetVolume;
    // The full-screen switch of the main window.
    std::function<void(bool)> OnFullScreen;

    void SetStatus(const QString& text, uint32_t colour);
    void SetCaption(const QString& text);
    QString Status() const;
    QString Caption() const;
    int DownloadBar() const;
    int PositionBar() const;
    // Resets the displays for a new recording (position scale from its message count).
    void Prepare();

    Ui::TfrmPlayer& Ui() { return *ui_; }
    // Docked: the last item of a column's layout (the main window's left control panel).
    void Dock(QWidget* column);
    // Floating, the player keeps its designed width; docked it narrows to its column.
    QSize sizeHint() const override;

protected:
    bool event(QEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void Download(int64_t total, int64_t soFar);
    void Position(uint32_t n, bool fast);
    void Stopped();
    void PlaceSlider(int left);
    // The caption as wide as its label allows, ended by an ellipsis when it does not fit.
    void FitCaption();
    int64_t Count() const;
    int BarWidth() const;

    std::unique_ptr<Ui::TfrmPlayer> ui_;
    orb::playback::TPlayback* playback_ = nullptr;
    uint32_t jumpTarget_ = 0;
    bool dragging_ = false;
    QString caption_;
    QPoint dragOrigin_;
};
