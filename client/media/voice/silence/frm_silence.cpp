#include "frm_silence.h"

#include <algorithm>

#include "ui_frm_silence.h"

TfrmSilenceSuppression::TfrmSilenceSuppression(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint), ui_(std::make_unique<Ui::TfrmSilenceSuppression>()) {
    ui_->setupUi(this);
    setObjectName(QStringLiteral("TfrmSilenceSuppression"));
    connect(ui_->cbSupressSilence, &QCheckBox::toggled, this, [this] { cbSupressSilenceClick(); });
    connect(ui_->tbMicThreshold, &QSlider::valueChanged, this, [this] { tbMicThresholdChange(); });
    // "OK" closes; closing only hides the window.
    connect(ui_->JvXPButton1, &QPushButton::clicked, this, &QWidget::hide);
}

TfrmSilenceSuppression::~TfrmSilenceSuppression() = default;

void TfrmSilenceSuppression::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    FormShow();
}

void TfrmSilenceSuppression::FormShow() {
    if (!settings_) return;
    filling_ = true;
    const int threshold = std::clamp(settings_->SilenceSuppressionLevel, 0, 20);
    ui_->cbSupressSilence->setChecked(settings_->SuppressSilence);
    ui_->tbMicThreshold->setValue(threshold);
    ui_->tbMicThreshold->setEnabled(settings_->SuppressSilence);
    ui_->lbThreshold->setText(ThresholdText(threshold));
    filling_ = false;
}

void TfrmSilenceSuppression::cbSupressSilenceClick() {
    ui_->tbMicThreshold->setEnabled(ui_->cbSupressSilence->isChecked());
    if (settings_ && !filling_) settings_->SuppressSilence = ui_->cbSupressSilence->isChecked();
}

void TfrmSilenceSuppression::tbMicThresholdChange() {
    ui_->lbThreshold->setText(ThresholdText(ui_->tbMicThreshold->value()));
    if (settings_ && !filling_) settings_->SilenceSuppressionLevel = ui_->tbMicThreshold->value();
}
