#pragma once
// "Share Desktop or Applications": what to share (the desktop, an area drawn on the preview, or
// one window from the window manager's list), how (colours, refresh, cursor), and Start.

#include <QImage>
#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

#include "appshare/settings/share_settings_logic.h"
#include "xdesktop/xdesktop.h"

namespace Ui {
class TfrmNewAppShareSettings;
}

class TfrmNewAppShareSettings : public QWidget {
    Q_OBJECT
public:
    explicit TfrmNewAppShareSettings(QWidget* parent = nullptr);
    ~TfrmNewAppShareSettings() override;

    // What the dialog needs of the program.
    struct THooks {
        std::function<QImage(const orb::sharing::TRect& source)> CapturePreview;  // a picture of the screen
        std::function<orb::sharing::TRect()> ScreenRect;
        std::function<orb::sharing::TRect()> WorkArea;
        std::function<std::vector<orb::xdesktop::WindowEntry>()> ListWindows;
        std::function<int32_t()> OwnUserId;
        std::function<std::string()> OwnName;
        // Start pressed with a descriptor that passed; the capture flags go with it.
        std::function<void(const orb::appshare::TShareStart&, bool captureTranslucent, bool showBorder)> Start;
        std::function<void(const std::string&)> ShowMessage;
        // Stored at every change (AppShare_RefreshRate61, AppShare_PixelFormat).
        std::function<void(int32_t)> StoreRefresh;
        std::function<void(uint8_t)> StorePixelFormat;
    };
    THooks Hooks;
    int32_t Refresh = 500;
    uint8_t PixelFormat = orb::appshare::kPixelFormat8;

    // The show step: desktop mode, stored refresh and colours, the content box unchecked.
    void Prepare();
    orb::appshare::TShareSettingsChoice Choice() const;
    void StartClicked();
    void SelectMode(int mode);
    // The preview selection as drawn (preview pixels).
    const orb::appshare::TPreviewSelection& Selection() const { return selection_; }
    Ui::TfrmNewAppShareSettings& Ui() { return *ui_; }

protected:
    void showEvent(QShowEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void ShowPreview();
    void DrawSelection();

    std::unique_ptr<Ui::TfrmNewAppShareSettings> ui_;
    QImage preview_;
    orb::appshare::TPreviewSelection selection_;
    bool dragging_ = false;
    int mode_ = orb::appshare::kShareModeDesktop;
    std::vector<orb::xdesktop::WindowEntry> windows_;
};
