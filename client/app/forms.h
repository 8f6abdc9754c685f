#pragma once
// The long-lived windows of the program. Each is one instance for the whole run, shown and hidden;
// their contents are filled in by the modules that own them.

#include <QWidget>

#include "frm_progress.h"  // the progress window comes with the session start
#include "main/frm_main.h"
#include "board/window/frm_board.h"

// Windows that live in their own folders, one include line per area:

// area participants

// area chat

// area voice

#include "frm_player.h"  // area playback

#include "board/library/frm_board_controls.h"

// area libraries
#include "browser/frm_browser.h"
#include "libraries/frm_presentations.h"
#include "libraries/frm_shared_documents.h"
#include "libraries/frm_web_links.h"
#include "welcome/frm_small.h"

// area print

// area polls

// area video
#include "video_window/frm_video.h"  // made on demand, one per web-cam stream

// area sharing

// area settings

class TfrmRequest : public QWidget {
    Q_OBJECT
public:
    explicit TfrmRequest(QWidget* parent = nullptr);
};

class TfrmUserList : public QWidget {
    Q_OBJECT
public:
    explicit TfrmUserList(QWidget* parent = nullptr);
};

class TfrmUserControl : public QWidget {
    Q_OBJECT
public:
    explicit TfrmUserControl(QWidget* parent = nullptr);
};

class TfrmPollresults : public QWidget {
    Q_OBJECT
public:
    explicit TfrmPollresults(QWidget* parent = nullptr);
};

class TfrmAppShareViewWindow : public QWidget {
    Q_OBJECT
public:
    explicit TfrmAppShareViewWindow(QWidget* parent = nullptr);
};

class TfrmRemoteAudioControl : public QWidget {
    Q_OBJECT
public:
    explicit TfrmRemoteAudioControl(QWidget* parent = nullptr);
};

class TfrmBreakOutRooms : public QWidget {
    Q_OBJECT
public:
    explicit TfrmBreakOutRooms(QWidget* parent = nullptr);
};

class TfrmNewAppShareSettings : public QWidget {
    Q_OBJECT
public:
    explicit TfrmNewAppShareSettings(QWidget* parent = nullptr);
};

class TfrmAppShare_Control : public QWidget {
    Q_OBJECT
public:
    explicit TfrmAppShare_Control(QWidget* parent = nullptr);
};

class TfrmAttendeeSelect : public QWidget {
    Q_OBJECT
public:
    explicit TfrmAttendeeSelect(QWidget* parent = nullptr);
};

class TfrmChatHolder : public QWidget {
    Q_OBJECT
public:
    explicit TfrmChatHolder(QWidget* parent = nullptr);
};

class TfrmSilenceSuppression : public QWidget {
    Q_OBJECT
public:
    explicit TfrmSilenceSuppression(QWidget* parent = nullptr);
};
