#pragma once
// TfrmPresentations: the room's presentations and the slide show. The chosen presentation's
// current slide goes to the current board for everybody (kind 126) through the board engine.

#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <tuple>

#include "libraries/slide_show.h"
#include "library_list.h"

class TDM;

namespace Ui {
class TfrmPresentations;
}

class TfrmPresentations : public QWidget {
    Q_OBJECT
public:
    // Sends a slide of the presentation to the current board; askPrivate asks whether to use the
    // private board instead.
    using SlideSender = std::function<bool(const TResourceInfo* presentation, int32_t slide,
                                           const std::function<bool()>& askPrivate)>;

    explicit TfrmPresentations(QWidget* parent = nullptr);
    ~TfrmPresentations() override;

    void Bind(TDM* dm, SlideSender sendSlide, std::function<void()> showUploader);
    void Fill();
    void UpdateActions();

    // The slide navigation for the board's tool bar: first, previous, next, last, repeat.
    QList<QAction*> SlideActions() const;
    // A slide chosen by number (the board's slide drop-down): stored as current and sent.
    void JumpTo(int32_t slide);
    // The board's slide drop-down: refilled when the show or its slide changes (count 0: none),
    // enabled and captioned with the current slide number when the user may write on the board.
    std::function<void(int32_t count, int32_t slide)> FillSlides;
    std::function<void(bool enabled, const QString& caption)> ShowJump;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void Open();
    void Move(bool (orb::TSlideShow::*step)());
    void Send();
    void Delete();

    std::unique_ptr<Ui::TfrmPresentations> ui_;
    TDM* dm_ = nullptr;
    SlideSender sendSlide_;
    std::function<void()> showUploader_;
    QTimer update_;
    // What the slide drop-down was last filled for.
    std::tuple<bool, int32_t, int32_t, int32_t> filled_{false, 0, 0, 0};
};
