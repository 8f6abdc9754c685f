#include "frm_small.h"

#include "ui_frm_connection_speed.h"
#include "ui_frm_text_messages.h"

TfrmConnectionSpeedChooser::TfrmConnectionSpeedChooser(QWidget* parent)
    : QWidget(parent), ui_(std::make_unique<Ui::TfrmConnectionSpeedChooser>()) {
    ui_->setupUi(this);
    setObjectName(QStringLiteral("TfrmConnectionSpeedChooser"));
}

TfrmConnectionSpeedChooser::~TfrmConnectionSpeedChooser() = default;

TfrmTextMessages::TfrmTextMessages(QWidget* parent) : QWidget(parent), ui_(std::make_unique<Ui::TfrmTextMessages>()) {
    ui_->setupUi(this);
    setObjectName(QStringLiteral("TfrmTextMessages"));
}

TfrmTextMessages::~TfrmTextMessages() = default;
