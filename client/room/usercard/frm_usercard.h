#pragma once
// The profile card ("Personal Info"): a borderless stay-on-top card that rolls out beside the
// participant list with a user's profile and picture; on the own card a link uploads the own
// personal picture. Everything shown comes from other users and is plain text.

#include <QTimer>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace Ui {
class TfrmUserControl;
}

namespace orb {
struct TParticipantRow;
}

namespace orb::room {

constexpr int64_t kMaxOwnPictureBytes = 51200;
enum class TPictureCheck { Ok, TooLarge, NotJpeg };
// Whether a chosen file may be uploaded as the own picture: at most 50 KB and a JPEG that decodes.
TPictureCheck CheckOwnPicture(const std::vector<uint8_t>& bytes);
constexpr const char* kPictureTooLarge =
    "The image you have selected is too large. Your personal image must not exceed 50 KB.";
constexpr const char* kPictureNotJpeg = "The file you have selected is not a JPEG image.";

}  // namespace orb::room

class TfrmUserControl final : public QWidget {
    Q_OBJECT
public:
    static constexpr int kRollOutWidth = 395;
    static constexpr int kRollOutStep = 25;
    static constexpr int kRollOutIntervalMs = 20;

    explicit TfrmUserControl(QWidget* parent = nullptr);
    ~TfrmUserControl() override;
    Ui::TfrmUserControl* ui() const { return ui_.get(); }

    // Fills the card from a row and its record; `own` shows the upload link.
    void ShowUser(const orb::TParticipantRow& row, bool own);
    // Width 0 at (left, top), shown, widened by the roll-out timer.
    void RollOut(int left, int top);
    void RollOutTick();
    QTimer& tmrRollOut() { return tmrRollOut_; }

    // WM_APP_DOWNLOADDONE: the picture of the user shown arrived (lParam 0) in `folder`.
    void DownloadDone(std::intptr_t user, std::intptr_t result);
    std::string UserImagesFolder;

    // The upload link: a file chosen by the user (in the open dialog), checked and handed
    // to StartUpload.
    void lbUploadClick();
    void UploadOwnPicture(const QString& path);
    std::function<void(const std::string& path)> StartUpload;
    std::function<void(const QString&)> ShowWarning;

protected:

private:
    void SetPicture(const QImage& image);
    std::unique_ptr<Ui::TfrmUserControl> ui_;
    QTimer tmrRollOut_;
    int32_t user_ = 0;
};
