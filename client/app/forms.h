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

#include "frm_remote_audio.h"  // area voice
#include "frm_silence.h"

#include "frm_player.h"  // area playback

#include "board/library/frm_board_controls.h"

// area libraries

// area print

// area polls

// area video
#include "video_window/frm_video.h"  // made on demand, one per web-cam stream

// area sharing

#include "frm_settings.h"  // area settings: made on demand, one at a time

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

class TfrmBrowser : public QWidget {
    Q_OBJECT
public:
    explicit TfrmBrowser(QWidget* parent = nullptr);
};

class TfrmSharedDocuments : public QWidget {
    Q_OBJECT
public:
    explicit TfrmSharedDocuments(QWidget* parent = nullptr);
};

class TfrmUserControl : public QWidget {
    Q_OBJECT
public:
    explicit TfrmUserControl(QWidget* parent = nullptr);
};

class TfrmWebLinks : public QWidget {
    Q_OBJECT
public:
    explicit TfrmWebLinks(QWidget* parent = nullptr);
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


class TfrmConnectionSpeedChooser : public QWidget {
    Q_OBJECT
public:
    explicit TfrmConnectionSpeedChooser(QWidget* parent = nullptr);
};

class TfrmBreakOutRooms : public QWidget {
    Q_OBJECT
public:
    explicit TfrmBreakOutRooms(QWidget* parent = nullptr);
};

class TfrmPresentations : public QWidget {
    Q_OBJECT
public:
    explicit TfrmPresentations(QWidget* parent = nullptr);
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

class TfrmTextMessages : public QWidget {
    Q_OBJECT
public:
    explicit TfrmTextMessages(QWidget* parent = nullptr);
};

class TfrmChatHolder : public QWidget {
    Q_OBJECT
public:
    explicit TfrmChatHolder(QWidget* parent = nullptr);
};

