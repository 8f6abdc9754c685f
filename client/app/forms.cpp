#include "forms.h"


TfrmRequest::TfrmRequest(QWidget* parent) : QWidget(parent) { setObjectName(QStringLiteral("TfrmRequest")); }

TfrmUserList::TfrmUserList(QWidget* parent) : QWidget(parent) { setObjectName(QStringLiteral("TfrmUserList")); }

TfrmUserControl::TfrmUserControl(QWidget* parent) : QWidget(parent) { setObjectName(QStringLiteral("TfrmUserControl")); }


TfrmPollresults::TfrmPollresults(QWidget* parent) : QWidget(parent) { setObjectName(QStringLiteral("TfrmPollresults")); }


TfrmAppShareViewWindow::TfrmAppShareViewWindow(QWidget* parent) : QWidget(parent) { setObjectName(QStringLiteral("TfrmAppShareViewWindow")); }

TfrmRemoteAudioControl::TfrmRemoteAudioControl(QWidget* parent) : QWidget(parent) { setObjectName(QStringLiteral("TfrmRemoteAudioControl")); }

TfrmBreakOutRooms::TfrmBreakOutRooms(QWidget* parent) : QWidget(parent) { setObjectName(QStringLiteral("TfrmBreakOutRooms")); }

TfrmNewAppShareSettings::TfrmNewAppShareSettings(QWidget* parent) : QWidget(parent) { setObjectName(QStringLiteral("TfrmNewAppShareSettings")); }

TfrmAppShare_Control::TfrmAppShare_Control(QWidget* parent) : QWidget(parent) { setObjectName(QStringLiteral("TfrmAppShare_Control")); }

TfrmAttendeeSelect::TfrmAttendeeSelect(QWidget* parent) : QWidget(parent) { setObjectName(QStringLiteral("TfrmAttendeeSelect")); }

TfrmChatHolder::TfrmChatHolder(QWidget* parent) : QWidget(parent) { setObjectName(QStringLiteral("TfrmChatHolder")); }

TfrmSilenceSuppression::TfrmSilenceSuppression(QWidget* parent) : QWidget(parent) { setObjectName(QStringLiteral("TfrmSilenceSuppression")); }
