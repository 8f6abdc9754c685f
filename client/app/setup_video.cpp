// Web cams: video connection, capture, codec, video windows: what the program binds for this area.
#include <QAction>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>

#include "program.h"
#include "video_window/frm_video.h"

namespace orb {

void TProgram::SetupVideo() {
    TDM& dm = DataModule();
    dm.RoomHooks.CloseVideoWindows = [&dm] { dm.CloseVideoWindows(); };

    dm.VideoHooks.OpenVideoWindow = [this, &dm](int32_t user, bool publish) -> video::IVideoWindow* {
        const Settings& s = ClientSettings();
        video::TVideoEnvironment env;
        env.loop = &Loop();
        env.host = dm.ServerHost;
        // A port from the server that no socket can have leaves the window to report the failure.
        env.port = dm.VideoPort > 0 && dm.VideoPort <= 65535 ? uint16_t(dm.VideoPort) : 0;
        env.connect = [&dm](TTcpClient& c, const std::string& host, uint16_t port, int timeoutMs) {
            return port != 0 && dm.ConnectClient(c, host, port, timeoutMs);
        };
        env.release = [&dm](TTcpClient& c) { dm.DetachProxyHandler(c); };
        env.settings.driverIndex = s.DefaultVideoCaptureDriver;
        env.settings.syntheticCamera = s.SyntheticVideoCamera;
        env.settings.compressor = uint32_t(s.DefaultVideoCompressor);
        env.settings.frameRate = s.VideoFrameRate;
        env.settings.bytesPerSecond = s.VideoBPS;
        env.openVideoSettings = [&dm] {
            if (dm.VideoHooks.OpenVideoSettings) dm.VideoHooks.OpenVideoSettings();
        };
        // Viewers belong to the main window; the own camera's window stands alone.
        auto* w = new TfrmVideo(dm, std::move(env), publish ? nullptr : Main());
        w->Session().UserId = user;
        w->Session().Registration = dm.VideoRegistration();
        w->Session().Room = dm.OwnRoom;
        if (publish) {
            w->SetUserCaption("My cam");
        } else if (TParticipantRow* row = dm.Participants.FindUser(user)) {
            w->SetUserCaption(QString::fromStdString(row->caption));
        }
        OpenedWindows().append(w);
        // Near the top right of the work area, each further window a step down and to the left, so
        // none hides the menus or another stream.
        if (QScreen* screen = QGuiApplication::primaryScreen()) {
            const QRect area = screen->availableGeometry();
            const int step = 24 * int(dm.VideoWindows.size() % 8);
            w->move(area.right() - w->width() - 40 - step, area.top() + 110 + step);
        }
        w->show();
        if (publish) w->StartPublishing();
        else w->StartViewing();
        return w;
    };

    // The main window's video commands, and their enabling while the program is idle.
    auto action = [this](const char* name) { return Main() ? Main()->findChild<QAction*>(name) : nullptr; };
    for (const char* name : {"acVideo", "acStartVideo", "acShareVideo"})
        if (QAction* a = action(name))
            QObject::connect(a, &QAction::triggered, Main(), [&dm] {
                if (dm.Room.VideoRight) dm.StartVideoSession();
            });
    if (QAction* a = action("acVideoSettings"))
        QObject::connect(a, &QAction::triggered, Main(), [&dm] { dm.VideoSessionSettings(); });
    if (Main()) {
        auto* update = new QTimer(Main());
        QObject::connect(update, &QTimer::timeout, Main(), [&dm, action] {
            const bool start = dm.Room.VideoRight && !dm.Room.VideoPublishing;
            for (const char* name : {"acVideo", "acStartVideo", "acShareVideo"})
                if (QAction* a = action(name)) a->setEnabled(start);
            if (QAction* a = action("acVideoSettings")) a->setEnabled(!dm.Room.VideoPublishing);
        });
        update->start(250);
    }

    // Every video window stops its stream while the data module still exists, also those that are
    // only showing why they failed and wait for their close timer.
    shutdownSteps_.push_back([this, &dm] {
        dm.CloseVideoWindows();
        for (const QPointer<QWidget>& w : OpenedWindows())
            if (auto* v = qobject_cast<TfrmVideo*>(w.data())) v->CloseVideoWindow();
    });
}

}  // namespace orb
