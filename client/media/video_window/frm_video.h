#pragma once
// The video window: one web-cam stream, the own camera published or another attendee's viewed,
// in a small stay-on-top window. The session (video/video_session.h) makes every decision; the
// window shows what it says and lives in the data module's video-window list while it streams.

#include <QMenu>
#include <QWidget>
#include <memory>

#include "dm/dm.h"
#include "video/video_session.h"
#include "video/video_windows.h"

namespace Ui {
class TfrmVideo;
}

class TfrmVideo : public QWidget, public orb::video::IVideoWindow, private orb::video::IVideoView {
    Q_OBJECT
public:
    // The window frees itself when closed.
    TfrmVideo(TDM& dm, orb::video::TVideoEnvironment env, QWidget* parent = nullptr);
    ~TfrmVideo() override;

    // The user label ("My cam" or the viewed user's name).
    void SetUserCaption(const QString& caption);
    orb::video::TVideoSession& Session() { return *session_; }
    void StartPublishing();
    void StartViewing();

    int VideoMode() const override;
    int32_t VideoUser() const override;
    void CloseVideoWindow() override;
    void BringVideoWindowToFront() override;

    // The size menu's items with their client sizes ("Original Size" follows the picture).
    QMenu* SizeMenu() { return pmSize_; }

protected:
    void closeEvent(QCloseEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void ShowInfo(const std::string& text) override;
    void ShowMessagePanel() override;
    void ShowPicturePanel() override;
    void ShowCameraPanel() override;
    void SetClientSize(int width, int height) override;
    void ShowPicture(const orb::video::TPicture& picture) override;
    void ShowBufferingLabel(const std::string& text, bool visible) override;
    void SetOptionsIsStop() override;
    void CloseWindow() override;
    void Label3Click();
    void FormClose();
    // The caption as wide as its label allows: ended by an ellipsis when it does not fit, whole in
    // the tool tip.
    void FitCaption();

    TDM& dm_;
    std::unique_ptr<Ui::TfrmVideo> ui_;
    std::unique_ptr<orb::video::TVideoSession> session_;
    QMenu* pmSize_ = nullptr;
    bool optionsIsStop_ = false;
    QString caption_;
    bool closed_ = false;
};
