#pragma once
// The long-lived windows of the program. Each is one instance for the whole run, shown and hidden;
// their contents are filled in by the modules that own them.

#include <QWidget>

#include "frm_progress.h"  // the progress window comes with the session start
#include "main/frm_main.h"
#include "board/window/frm_board.h"

// Windows that live in their own folders, one include line per area:

#include "request/frm_request.h"
#include "usercard/frm_usercard.h"
#include "userlist/frm_userlist.h"

// area chat
#include "chat/chat_dialogs.h"

#include "frm_remote_audio.h"  // area voice
#include "frm_silence.h"

#include "frm_player.h"  // area playback

#include "board/library/frm_board_controls.h"

// area libraries
#include "browser/frm_browser.h"
#include "libraries/frm_presentations.h"
#include "libraries/frm_shared_documents.h"
#include "libraries/frm_web_links.h"
#include "welcome/frm_small.h"

// area print

#include "polls/frm_breakout.h"  // area polls
#include "polls/frm_exam.h"
#include "polls/frm_ping.h"
#include "polls/frm_pollresults.h"

// area video
#include "video_window/frm_video.h"  // made on demand, one per web-cam stream

// area sharing
#include "appshare/attendees/frm_attendee_select.h"
#include "appshare/controlbar/frm_share_control.h"
#include "appshare/settings/frm_share_settings.h"
#include "appshare/viewer/frm_share_viewer.h"

#include "frm_settings.h"  // area settings: made on demand, one at a time

