#include "frm_presentations.h"

#include "common/message_box.h"
#include "dm/dm.h"
#include "libraries/library_records.h"
#include "libraries/slide_show.h"
#include "ui_frm_presentations.h"

using namespace orb;
using orb::room::PlainMessageBox;

TfrmPresentations::TfrmPresentations(QWidget* parent)
    : QWidget(parent), ui_(std::make_unique<Ui::TfrmPresentations>()) {
    ui_->setupUi(this);
    setObjectName(QStringLiteral("TfrmPresentations"));
    ui_->lvPPT_Docs->setColumnWidth(0, 220);
    connect(ui_->acPPT_Open, &QAction::triggered, this, &TfrmPresentations::Open);
    connect(ui_->lvPPT_Docs, &QTreeWidget::itemDoubleClicked, this, &TfrmPresentations::Open);
    connect(ui_->acPPT_FirstSlide, &QAction::triggered, this, [this] { Move(&TSlideShow::First); });
    connect(ui_->acPPT_LastSlide, &QAction::triggered, this, [this] { Move(&TSlideShow::Last); });
    connect(ui_->acPPT_NextSlide, &QAction::triggered, this, [this] { Move(&TSlideShow::Next); });
    connect(ui_->acPPT_PrevSlide, &QAction::triggered, this, [this] { Move(&TSlideShow::Previous); });
    connect(ui_->acPPT_RepeatCurrent, &QAction::triggered, this, [this] { Move(&TSlideShow::Repeat); });
    connect(ui_->acPPT_Reload, &QAction::triggered, this, [this] {
        if (dm_) dm_->SendPresentationListRequest();
    });
    connect(ui_->acPPT_Upload, &QAction::triggered, this, [this] {
        if (showUploader_) showUploader_();
    });
    connect(ui_->acPPT_Delete, &QAction::triggered, this, &TfrmPresentations::Delete);
    connect(ui_->lvPPT_Docs, &QTreeWidget::itemSelectionChanged, this, &TfrmPresentations::UpdateActions);
    connect(ui_->btnClose, &QToolButton::clicked, this, &QWidget::close);
    // The rights and the board change under the window: the enabling is re-evaluated as it runs.
    update_.setInterval(250);
    connect(&update_, &QTimer::timeout, this, &TfrmPresentations::UpdateActions);
    ui_->pNoItems->hide();
    UpdateActions();
}

TfrmPresentations::~TfrmPresentations() = default;

void TfrmPresentations::Bind(TDM* dm, SlideSender sendSlide, std::function<void()> showUploader) {
    dm_ = dm;
    sendSlide_ = std::move(sendSlide);
    showUploader_ = std::move(showUploader);
    // The navigation also lives on the board's tool bar, so its enabling follows the show while
    // this window is closed.
    update_.start();
}

QList<QAction*> TfrmPresentations::SlideActions() const {
    return {ui_->acPPT_FirstSlide, ui_->acPPT_PrevSlide, ui_->acPPT_NextSlide, ui_->acPPT_LastSlide,
            ui_->acPPT_RepeatCurrent};
}

void TfrmPresentations::JumpTo(int32_t slide) {
    if (!dm_) return;
    TSlideShow& show = dm_->Libraries.slideShow;
    if (!show.active || slide < 1 || slide > show.count) return;
    show.slide = slide;
    Send();
}

void TfrmPresentations::Fill() {
    if (!dm_) return;
    library::FillList(ui_->lvPPT_Docs, vkPresentationList, dm_->Libraries.presentations);
    const bool empty = dm_->Libraries.presentations.empty();
    ui_->pNoItems->setVisible(empty);
    ui_->lvPPT_Docs->setVisible(!empty);
    UpdateActions();
}

void TfrmPresentations::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    update_.start();
    if (dm_) dm_->SendPresentationListRequest();
}

void TfrmPresentations::hideEvent(QHideEvent* event) { QWidget::hideEvent(event); }

void TfrmPresentations::UpdateActions() {
    if (!dm_) {
        for (QAction* a : actions()) a->setEnabled(false);
        return;
    }
    TSlideRights rights;
    rights.itemSelected = !ui_->lvPPT_Docs->selectedItems().isEmpty();
    rights.level = dm_->OwnLoginInfo.Level();
    rights.level2 = dm_->OwnLoginInfo.Level2();
    rights.currentBoard = dm_->CurrentBoard;
    rights.boardRight = dm_->BoardRight;
    const TPresentationActions a = PresentationActions(dm_->Libraries.slideShow, rights);
    ui_->acPPT_Open->setEnabled(a.open);
    ui_->acPPT_FirstSlide->setEnabled(a.first);
    ui_->acPPT_PrevSlide->setEnabled(a.previous);
    ui_->acPPT_NextSlide->setEnabled(a.next);
    ui_->acPPT_LastSlide->setEnabled(a.last);
    ui_->acPPT_RepeatCurrent->setEnabled(a.repeat);
    ui_->acPPT_Delete->setEnabled(a.remove);
    const TSlideShow& show = dm_->Libraries.slideShow;
    const auto now = std::make_tuple(show.active, show.active ? show.count : 0, show.slide, show.presentation.id);
    if (now != filled_ && FillSlides) {
        filled_ = now;
        FillSlides(std::get<1>(now), show.slide);
    }
    if (ShowJump) ShowJump(a.jump, QString::fromStdString(a.jumpCaption));
}

void TfrmPresentations::Open() {
    if (!dm_) return;
    TSlideShow& show = dm_->Libraries.slideShow;
    auto record = library::Selected(ui_->lvPPT_Docs, dm_->Libraries.presentations);
    if (!record) {
        show.Clear();
        UpdateActions();
        return;
    }
    if (dm_->CurrentBoard > 0 && !dm_->BoardRight) {
        PlainMessageBox(this, QMessageBox::Critical,
                        tr("You don't have permission to load this resource on a shared board."));
        return;
    }
    show.Start(*record);
    Send();
}

void TfrmPresentations::Move(bool (TSlideShow::*step)()) {
    if (!dm_) return;
    if ((dm_->Libraries.slideShow.*step)()) Send();
}

void TfrmPresentations::Send() {
    const TSlideShow& show = dm_->Libraries.slideShow;
    if (show.active && sendSlide_) {
        sendSlide_(&show.presentation, show.slide, [this] {
            return PlainMessageBox(this, QMessageBox::Question,
                                   tr("You must be a session moderator to launch a PPT slide on a public board.\r\n"
                                      "You can still open the slide but on your personal private board.\r\n"
                                      "Do you want to open the slide on your private board?"),
                                   QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
        });
    }
    UpdateActions();
}

void TfrmPresentations::Delete() {
    if (!dm_) return;
    auto record = library::Selected(ui_->lvPPT_Docs, dm_->Libraries.presentations);
    if (!record || !dm_->IsPresenter()) {
        PlainMessageBox(this, QMessageBox::Critical, tr("You don't have permission to delete public resources"));
        return;
    }
    if (dm_->SendDeleteResource(rtPresentation, *record)) dm_->SendPresentationListRequest();
}
