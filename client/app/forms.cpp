#include "forms.h"

TfrmBrowser::TfrmBrowser(QWidget* parent) : QWidget(parent) { setObjectName(QStringLiteral("TfrmBrowser")); }

TfrmSharedDocuments::TfrmSharedDocuments(QWidget* parent) : QWidget(parent) { setObjectName(QStringLiteral("TfrmSharedDocuments")); }

TfrmWebLinks::TfrmWebLinks(QWidget* parent) : QWidget(parent) { setObjectName(QStringLiteral("TfrmWebLinks")); }

TfrmPollresults::TfrmPollresults(QWidget* parent) : QWidget(parent) { setObjectName(QStringLiteral("TfrmPollresults")); }

TfrmConnectionSpeedChooser::TfrmConnectionSpeedChooser(QWidget* parent) : QWidget(parent) { setObjectName(QStringLiteral("TfrmConnectionSpeedChooser")); }

TfrmBreakOutRooms::TfrmBreakOutRooms(QWidget* parent) : QWidget(parent) { setObjectName(QStringLiteral("TfrmBreakOutRooms")); }

TfrmPresentations::TfrmPresentations(QWidget* parent) : QWidget(parent) { setObjectName(QStringLiteral("TfrmPresentations")); }

TfrmTextMessages::TfrmTextMessages(QWidget* parent) : QWidget(parent) { setObjectName(QStringLiteral("TfrmTextMessages")); }
