// Application sharing: session, viewer, settings and control bar: what the program binds for this area.
#include <QAction>
#include <QGuiApplication>
#include <QKeySequence>
#include <QMessageBox>
#include <QMouseEvent>
#include <QScreen>

#include "appshare/xshare/x_share.h"
#include "common/message_box.h"
#include "commands/commands.h"
#include "program.h"
#include "protocol/wm_app.h"
#include "settings/reg_helpers.h"
#include "ui_frm_main.h"
#include "ui_frm_share_viewer.h"

namespace orb {

namespace {

// Calls a function when the watched widget is clicked.
class TClickFilter : public QObject {
public:
    TClickFilter(QObject* parent, std::function<void()> fn) : QObject(parent), fn_(std::move(fn)) {}
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::MouseButtonRelease && fn_) fn_();
        return false;
    }

private:
    std::function<void()> fn_;
};

QString Text(const std::string& s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

// The windows of the share, as the share session sees them.
class TSharingWindows final : public sharing::ISharingView {
public:
    TDM* dm = nullptr;
    TMainController* controller = nullptr;
    TfOrbeloMain* main = nullptr;
    TfrmAppShareViewWindow* viewer = nullptr;
    TfrmAppShare_Control* bar = nullptr;
    TfrmAttendeeSelect* attendees = nullptr;
    std::unique_ptr<appshare::TXShareScreen> screen;
    std::unique_ptr<xdesktop::XDesktop> desktop;
    std::unique_ptr<appshare::TXInputInjector> injector;

    // Errors of the share come with replies from the server: shown without waiting, so the reader
    // goes on (the heartbeat among them) while the box is open.
    void ShowError(const std::string& text) override {
        room::ShowPlainMessage(main, QMessageBox::Critical, Text(text));
    }
    void OpenShareViewer(const appshare::TAppShareDescriptor& d, const std::string& caption) override {
        main->Ui().acAppShare->setEnabled(false);
        viewer->OpenSegmentShare(d);
        ShowViewer(caption);
    }
    void PictureChanged(const appshare::ShareBitmap& picture, const sharing::TRect& dirty) override {
        viewer->PictureChanged(picture, dirty);
    }
    void SetViewCaption(const std::string& caption) override { main->Ui().navBoardView->setText(Text(caption)); }
    void CloseViewer() override {
        main->Ui().acAppShare->setEnabled(true);
        DockShareViewer();
        viewer->CloseShare();
        controller->ShowMainView(mvWhiteboard);
    }
    void RemoteControl(bool on) override { viewer->SetRemoteControl(on); }
    void SharerStarted(const appshare::TAppShareDescriptor&) override {
        main->Ui().acAppShare->setEnabled(false);
        main->hide();
        bar->SetPaused(false);
        bar->ShowBar();
    }
    void SharerStopping() override { attendees->close(); }
    void SharerStopped() override {
        if (desktop) desktop->ReleaseAll();
        bar->close();
        attendees->close();
        main->Ui().acAppShare->setEnabled(true);
        // Shown again; its start-up runs only at the first show.
        main->show();
    }
    void PauseChanged(bool paused) override { bar->SetPaused(paused); }
    void SetShareState(int32_t user, int state) override {
        if (dm->OnShareRowState) dm->OnShareRowState(user, state);
    }
    void ShowPaneViewer(const appshare::TPaneShareInfo&, const sharing::TRgbPicture& picture,
                        const std::string& caption) override {
        viewer->OpenTileShare(picture);
        ShowViewer(caption);
    }
    void TilePictureChanged(const sharing::TRgbPicture& picture, const sharing::TRect& dirty) override {
        viewer->TilePictureChanged(picture, dirty);
    }
    void TileCursorChanged(const sharing::TRect& rect, const sharing::TRgbPicture& image) override {
        viewer->TileCursorChanged(rect, image);
    }
    void CloseTileViewer() override { CloseViewer(); }

    void ShowViewer(const std::string& caption) {
        controller->ShowMainView(mvShareViewer);
        main->Ui().navBoardView->setText(Text(caption));
        viewer->setWindowTitle(Text(caption));
        if (!viewer->Floating()) viewer->show();
    }
    void DockShareViewer() {
        auto& ui = main->Ui();
        const bool visible = viewer->isVisible();
        viewer->setParent(ui.pBH, Qt::Widget);
        if (ui.pBH->layout()) ui.pBH->layout()->addWidget(viewer);
        viewer->SetFloating(false);
        ui.lbDockAppShareInfo->hide();
        ui.lbDocAppShareClick->hide();
        controller->SetShareViewerDocked(true);
        viewer->setVisible(visible && controller->CurrentView() == mvShareViewer);
    }
    void FloatShareViewer() {
        auto& ui = main->Ui();
        if (ui.pBH->layout()) ui.pBH->layout()->removeWidget(viewer);
        viewer->setParent(nullptr, Qt::Window | Qt::WindowStaysOnTopHint);
        viewer->SetFloating(true);
        QScreen* s = main->screen() ? main->screen() : QGuiApplication::primaryScreen();
        const QRect area = s ? s->availableGeometry() : QRect(0, 0, 1024, 768);
        const QSize size(std::max(320, area.width() * 2 / 3), std::max(240, area.height() * 2 / 3));
        viewer->setGeometry(QRect(area.center() - QPoint(size.width() / 2, size.height() / 2), size));
        viewer->show();
        ui.lbDockAppShareInfo->show();
        ui.lbDocAppShareClick->show();
        controller->SetShareViewerDocked(false);
    }
    void Shutdown() {
        if (dm && dm->SharingExists()) {
            auto& s = dm->Sharing();
            s.StopLocally();
            s.View = nullptr;
            s.Screen = nullptr;
            s.Injector = nullptr;
        }
        injector.reset();
        desktop.reset();
        screen.reset();
    }
};

}  // namespace

void TProgram::SetupSharing() {
    auto w = std::make_shared<TSharingWindows>();
    w->dm = tdm_.get();
    w->controller = controller_.get();
    w->main = main_.get();
    w->viewer = Form<TfrmAppShareViewWindow>();
    w->bar = Form<TfrmAppShare_Control>();
    w->attendees = Form<TfrmAttendeeSelect>();
    auto* settingsForm = Form<TfrmNewAppShareSettings>();
    if (!w->viewer || !w->bar || !w->attendees || !settingsForm) return;
    // The screen of the share and the input of remote control: this program's own X display.
    w->screen = appshare::TXShareScreen::Open();
    w->desktop = xdesktop::XDesktop::Open();
    if (w->desktop) w->injector = std::make_unique<appshare::TXInputInjector>(*w->desktop);

    TDM& dm = *tdm_;
    auto& s = dm.Sharing();
    s.View = w.get();
    s.Screen = w->screen.get();
    s.Injector = w->injector.get();
    shutdownSteps_.push_back([w] { w->Shutdown(); });

    auto& h = dm.RoomHooks;
    h.AppShareRunning = [&dm] { return dm.Sharing().Running() || dm.Sharing().Tiles().Exists(); };
    h.OwnShareRunning = [&dm] { return dm.Sharing().OwnShare(); };
    h.FloatShareViewer = [w] { w->FloatShareViewer(); };
    h.StopAppShareLocally = [&dm] { dm.Sharing().StopLocally(); };
    // The viewer answers the server's tile requests.
    dm.ShareViewerWindow = loop_->RegisterWindow([&dm](uint32_t msg, std::intptr_t, std::intptr_t) {
        if (msg == WM_APP_PANESNAPSHOTREQUEST) dm.SendPaneStamps();
        if (msg == WM_APP_PANECURSORREQUEST) dm.SendShareCursorRequest();
    });

    // The viewer.
    w->viewer->SendInput = [&dm](const TRemoteInputEvent& e) { dm.SendRemoteInput(e); };
    w->viewer->OnToggleFloat = [w] {
        if (w->viewer->Floating())
            w->DockShareViewer();
        else
            w->FloatShareViewer();
    };
    w->viewer->OnDockRequested = [w] { w->DockShareViewer(); };
    main_->Ui().lbDocAppShareClick->installEventFilter(new TClickFilter(main_.get(), [w] { w->DockShareViewer(); }));

    // The control bar and the participants window.
    auto workArea = [] {
        QScreen* sc = QGuiApplication::primaryScreen();
        return sc ? sc->availableGeometry() : QRect(0, 0, 1024, 768);
    };
    w->bar->WorkArea = workArea;
    w->bar->OnStop = [&dm] { dm.SendAppShareStop(); };
    w->bar->OnPause = [&dm] { dm.SendAppShareState(); };
    w->bar->OnUsers = [this, w, workArea] {
        // Below the chat window when that is open, else below the bar.
        QWidget* chat = Form<TfrmChatHolder>();
        const QRect a = workArea();
        const int top = chat && chat->isWindow() && chat->isVisible() ? chat->geometry().bottom() + 2
                                                                      : a.top() + w->bar->height() + 2;
        w->attendees->ShowDetached(a.left() + a.width() - 300, top, 300, 300);
    };
    w->bar->OnChat = [this, w, workArea] {
        QWidget* chat = Form<TfrmChatHolder>();
        if (!chat) return;
        const QRect a = workArea();
        const int top = w->attendees->isVisible() ? w->attendees->geometry().bottom() + 2 : a.top() + w->bar->height() + 2;
        chat->setParent(nullptr, Qt::Tool | Qt::WindowStaysOnTopHint);
        chat->setGeometry(a.left() + a.width() - 300, top, 300, 300);
        chat->show();
    };
    w->bar->OnOrbelo = [this, w] {
        if (main_->isVisible()) {
            main_->hide();
            w->bar->show();
        } else {
            main_->show();
            main_->raise();
        }
    };
    // The participants window holds the main window's live participant panel while it is open;
    // the panel's place shrinks meanwhile and gets its room back afterwards.
    auto midSizes = std::make_shared<QList<int>>();
    w->attendees->BorrowList = [this, midSizes]() -> QWidget* {
        auto& ui = main_->Ui();
        *midSizes = ui.midSplitter->sizes();
        ui.layClassList->removeWidget(ui.hdrParticipants);
        if (midSizes->size() > 1) {
            QList<int> shrunk = *midSizes;
            shrunk[1] += shrunk[0] - 5;
            shrunk[0] = 5;
            ui.midSplitter->setSizes(shrunk);
        }
        return ui.hdrParticipants;
    };
    w->attendees->ReturnList = [this, midSizes](QWidget* list) {
        auto& ui = main_->Ui();
        list->setParent(ui.pClassListHolder);
        ui.layClassList->insertWidget(1, list);  // below the caption, where it came from
        list->show();
        if (!midSizes->isEmpty()) ui.midSplitter->setSizes(*midSizes);
    };
    w->attendees->SelectedParticipant = [&dm] { return dm.Participants.SelectedUser(); };
    w->attendees->Participants = [&dm] {
        std::vector<std::pair<int32_t, std::string>> rows;
        for (size_t i = 0; i < dm.Participants.Count(); ++i)
            rows.emplace_back(dm.Participants.Row(i).userId, dm.Participants.Row(i).caption);
        return rows;
    };
    w->attendees->OwnShareRunning = [&dm] { return dm.Sharing().OwnShare(); };
    w->attendees->OwnUserId = [&dm] { return dm.OwnUserId; };
    w->attendees->GrantControl = [&dm](int32_t user, bool give) { dm.SendRemoteControlGrant(user, give); };
    // The participant panel's close button shows the same window centred, 500 x 350.
    main_->ShowAttendeeWindow = [w, workArea] {
        const QRect a = workArea();
        w->attendees->ShowDetached(a.center().x() - 250, a.center().y() - 175, 350, 500);
    };

    // The settings window: on top, its flags set once (changing them on a shown window would hide
    // and rebuild it).
    settingsForm->setWindowFlags(Qt::Window | Qt::WindowStaysOnTopHint);
    settingsForm->Refresh = settings_.AppShare_RefreshRate61;
    settingsForm->PixelFormat = settings_.AppShare_PixelFormat;
    auto& sh = settingsForm->Hooks;
    sh.ScreenRect = [w]() -> sharing::TRect {
        if (!w->desktop) return {};
        auto r = w->desktop->ScreenRect();
        return {r.left, r.top, r.width, r.height};
    };
    sh.WorkArea = [w]() -> sharing::TRect {
        if (!w->desktop) return {};
        auto r = w->desktop->WorkArea();
        return {r.left, r.top, r.width, r.height};
    };
    sh.CapturePreview = [w](const sharing::TRect& source) {
        if (!w->screen || source.Empty()) return QImage();
        screencap::RgbImage img;
        img.Reset(source.width, source.height, 0);
        if (!w->screen->Screen().CopyToImage({source.left, source.top, source.width, source.height}, img, 0, 0))
            return QImage();
        return QImage(reinterpret_cast<const uchar*>(img.pixels.data()), img.width, img.height, QImage::Format_RGB32)
            .copy();
    };
    sh.ListWindows = [w] { return w->desktop ? w->desktop->ListWindows() : std::vector<xdesktop::WindowEntry>{}; };
    sh.OwnUserId = [&dm] { return dm.OwnUserId; };
    sh.OwnName = [&dm] {
        std::string name = dm.OwnLoginInfo.FullName();
        return name.empty() ? dm.OwnLoginInfo.UserName() : name;
    };
    // Over the settings window, which stays on top: a box of the main window would open beneath it.
    sh.ShowMessage = [settingsForm](const std::string& t) {
        room::PlainMessageBox(settingsForm, QMessageBox::Warning, Text(t));
    };
    sh.Start = [&dm](const appshare::TShareStart& start, bool translucent, bool border) {
        dm.Sharing().CaptureTranslucent = translucent;
        dm.Sharing().ShowBorder = border;
        dm.SendAppShareStart(start.descriptor, start.window);
    };
    sh.StoreRefresh = [this](int32_t v) {
        settings_.AppShare_RefreshRate61 = v;
        RegWriteVariant(kSettingsKey, "AppShare_RefreshRate61", v, true);
    };
    sh.StorePixelFormat = [this](uint8_t v) {
        settings_.AppShare_PixelFormat = v;
        RegWriteVariant(kSettingsKey, "AppShare_PixelFormat", v, true);
    };
    // "App Share" (Ctrl+F4): the settings window, on top, while no share runs. The command object
    // keeps its key, its enabling rule and its menu and tool-bar items; this is what it runs.
    auto openSettings = [settingsForm, &dm] {
        const bool presenter = dm.OwnLoginInfo.Level() >= 1000 || dm.OwnLoginInfo.Level2() >= 1000;
        if (!presenter || dm.Sharing().Running() || dm.PlaybackMode) return;
        settingsForm->show();
        settingsForm->raise();
        settingsForm->activateWindow();
    };
    if (auto* commands = main_->findChild<room::TCommands*>(QStringLiteral("TDMCommands")))
        commands->SetExecute(chat::acStartAppShare, openSettings);
}

}  // namespace orb
