#include "forms.h"


TfrmBrowser::TfrmBrowser(QWidget* parent) : QWidget(parent) { setObjectName(QStringLiteral("TfrmBrowser")); }

TfrmSharedDocuments::TfrmSharedDocuments(QWidget* parent) : QWidget(parent) { setObjectName(QStringLiteral("TfrmSharedDocuments")); }

TfrmWebLinks::TfrmWebLinks(QWidget* parent) : QWidget(parent) { setObjectName(QStringLiteral("TfrmWebLinks")); }

TfrmPollresults::TfrmPollresults(QWidget* parent) : QWidget(parent) { setObjectName(QStringLiteral("TfrmPollresults")); }

TfrmAppShareViewWindow::TfrmAppShareViewWindow(QWidget* parent) : QWidget(parent) { setObjectName(QStringLiteral("TfrmAppShareViewWindow")); }


TfrmConnectionSpeedChooser::TfrmConnectionSpeedChooser(QWidget* parent) : QWidget(parent) { setObjectName(QStringLiteral("TfrmConnectionSpeedChooser")); }

TfrmBreakOutRooms::TfrmBreakOutRooms(QWidget* parent) : QWidget(parent) { setObjectName(QStringLiteral("TfrmBreakOutRooms")); }

TfrmPresentations::TfrmPresentations(QWidget* parent) : QWidget(parent) { setObjectName(QStringLiteral("TfrmPresentations")); }

TfrmNewAppShareSettings::TfrmNewAppShareSettings(QWidget* parent) : QWidget(parent) { setObjectName(QStringLiteral("TfrmNewAppShareSettings")); }

TfrmAppShare_Control::TfrmAppShare_Control(QWidget* parent) : QWidget(parent) { setObjectName(QStringLiteral("TfrmAppShare_Control")); }

TfrmAttendeeSelect::TfrmAttendeeSelect(QWidget* parent) : QWidget(parent) { setObjectName(QStringLiteral("TfrmAttendeeSelect")); }

TfrmTextMessages::TfrmTextMessages(QWidget* parent) : QWidget(parent) { setObjectName(QStringLiteral("TfrmTextMessages")); }

