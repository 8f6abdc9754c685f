#include "forms.h"

TfrmPollresults::TfrmPollresults(QWidget* parent) : QWidget(parent) { setObjectName(QStringLiteral("TfrmPollresults")); }

TfrmBreakOutRooms::TfrmBreakOutRooms(QWidget* parent) : QWidget(parent) { setObjectName(QStringLiteral("TfrmBreakOutRooms")); }
