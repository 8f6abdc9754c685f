#pragma once
// "Remote Volume Control": a moderator's view of another participant's audio. Opening it queries
// the user; the answer fills it; moving a slider or ticking the boost sends
// a command. The window keeps only the user it shows; the state lives in the answers.

#include <QTimer>
#include <QWidget>

#include <memory>
#include <string>

#include "voice/voice_state.h"

class TDM;

namespace Ui {
class TfrmRemoteAudioControl;
}

class TfrmRemoteAudioControl : public QWidget, public orb::IRemoteAudioView {
    Q_OBJECT
public:
    static constexpr int kTimeOutMs = 20000;

    explicit TfrmRemoteAudioControl(QWidget* parent = nullptr);
    ~TfrmRemoteAudioControl() override;

    void Bind(TDM* dm) { dm_ = dm; }
    // Shows the window for a user (name in UTF-8) and sends the query.
    void Open(int32_t user, const std::string& userName);
    int32_t Target() const { return target_; }

    // orb::IRemoteAudioView
    void ShowRemoteState(const orb::TRemoteAudioState& state, const std::string& userName) override;

    void xiWaveVolumeChange();
    void xiMikeVolumeChange();
    void cbBoostClick();
    void tmrTimeOutTimer();

    Ui::TfrmRemoteAudioControl* ui() const { return ui_.get(); }
    QTimer& TimeOut() { return tmrTimeOut; }

protected:
    void hideEvent(QHideEvent* e) override;

private:
    void SetStatus(const std::string& text, uint32_t colour);
    void SendCommand(int32_t command, int32_t boost);

    std::unique_ptr<Ui::TfrmRemoteAudioControl> ui_;
    TDM* dm_ = nullptr;
    int32_t target_ = 0;
    QTimer tmrTimeOut;
};
