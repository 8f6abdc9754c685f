#include "forms.h"


TfrmRequest::TfrmRequest(QWidget* parent) : QWidget(parent) { setObjectName(QStringLiteral("TfrmRequest")); }

TfrmUserList::TfrmUserList(QWidget* parent) : QWidget(parent) { setObjectName(QStringLiteral("TfrmUserList")); }

TfrmBrowser::TfrmBrowser(QWidget* parent) : QWidget(parent) { setObjectName(QStringLiteral("TfrmBrowser")); }

TfrmSharedDocuments::TfrmSharedDocuments(QWidget* parent) : QWidget(parent) { setObjectName(QStringLiteral("TfrmSharedDocuments")); }

TfrmUserControl::TfrmUserControl(QWidget* parent) : QWidget(parent) { setObjectName(QStringLiteral("TfrmUserControl")); }


TfrmWebLinks::TfrmWebLinks(QWidget* parent) : QWidget(parent) { setObjectName(QStringLiteral("TfrmWebLinks")); }

TfrmPollresults::TfrmPollresults(QWidget* parent) : QWidget(parent) { setObjectName(QStringLiteral("TfrmPollresults")); }




TfrmConnectionSpeedChooser::TfrmConnectionSpeedChooser(QWidget* parent) : QWidget(parent) { setObjectName(QStringLiteral("TfrmConnectionSpeedChooser")); }

TfrmBreakOutRooms::TfrmBreakOutRooms(QWidget* parent) : QWidget(parent) { setObjectName(QStringLiteral("TfrmBreakOutRooms")); }

TfrmPresentations::TfrmPresentations(QWidget* parent) : QWidget(parent) { setObjectName(QStringLiteral("TfrmPresentations")); }




TfrmTextMessages::TfrmTextMessages(QWidget* parent) : QWidget(parent) { setObjectName(QStringLiteral("TfrmTextMessages")); }

