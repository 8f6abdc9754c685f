// The data module's part of the web cams: the video server's port, the list of open video
// windows and the video commands.

#include <algorithm>

#include "dm/dm.h"
#include "protocol/wm_app.h"

void TDM::AddVideoWindow(orb::video::IVideoWindow* window) {
    if (window && std::find(VideoWindows.begin(), VideoWindows.end(), window) == VideoWindows.end())
        VideoWindows.push_back(window);
}

void TDM::RemoveVideoWindow(orb::video::IVideoWindow* window) {
    VideoWindows.erase(std::remove(VideoWindows.begin(), VideoWindows.end(), window), VideoWindows.end());
}

orb::video::IVideoWindow* TDM::FindVideoViewer(int32_t user) const {
    for (auto* w : VideoWindows)
        if (w->VideoMode() == 1 && w->VideoUser() == user) return w;
    return nullptr;
}

void TDM::CloseVideoWindows() {
    // Closing a window takes it out of the list, so walk a copy; a window that failed to close is
    // dropped from the list all the same, it no longer streams anything we could stop.
    const std::vector<orb::video::IVideoWindow*> open = VideoWindows;
    for (auto* w : open) {
        if (std::find(VideoWindows.begin(), VideoWindows.end(), w) == VideoWindows.end()) continue;
        try {
            w->CloseVideoWindow();
        } catch (...) {
        }
        RemoveVideoWindow(w);
    }
}

bool TDM::SendVideoPortRequest() { return SendCommand(vkVideoPort); }

orb::TLoginRequest TDM::VideoRegistration() const {
    orb::TLoginRequest r;
    r.userId = OwnUserId;
    r.userName = OwnLoginInfo.UserName();
    r.password = OwnLoginInfo.Password();
    return r;
}

void TDM::StartVideoSession() {
    if (Room.VideoPublishing || !VideoHooks.OpenVideoWindow) return;
    for (auto* w : VideoWindows)
        if (w->VideoMode() == 0) return;
    VideoHooks.OpenVideoWindow(OwnUserId, true);
}

void TDM::ViewWebCam(int32_t user) {
    if (auto* w = FindVideoViewer(user)) {
        w->BringVideoWindowToFront();
        return;
    }
    if (VideoHooks.OpenVideoWindow) VideoHooks.OpenVideoWindow(user, false);
}

void TDM::VideoSessionSettings() {
    if (!Room.VideoPublishing && VideoHooks.OpenVideoSettings) VideoHooks.OpenVideoSettings();
}
