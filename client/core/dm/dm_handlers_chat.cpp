// Chat, session notes and requests handlers.

#include "dm/dm.h"
#include "protocol/wm_app.h"

// Not built yet: these messages are accepted and have no effect so far.

void TDM::HandleAnsiTextMessage() {}

void TDM::HandleUserRequest() {}

void TDM::HandleClearNotes() {}

void TDM::HandleChatPermission() {
    int32_t mode = 0;
    if (!BodyReader().i32(mode)) return;
    ChatPermission = mode;
    Loop().Post(MainWindow(), WM_APP_CHATPERMISSION, mode, 0);
}

void TDM::HandleTextMessage() {}
