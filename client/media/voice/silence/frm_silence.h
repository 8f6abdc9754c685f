#pragma once
// "Silence Suppression Settings": the switch and the threshold (0..20 on the peak scale) of the
// settings. A running voice connection takes them at its next start.

#include <QWidget>

#include <memory>

#include "settings/settings.h"

namespace Ui {
class TfrmSilenceSuppression;
}

class TfrmSilenceSuppression : public QWidget {
    Q_OBJECT
public:
    explicit TfrmSilenceSuppression(QWidget* parent = nullptr);
    ~TfrmSilenceSuppression() override;

    // The settings it edits (not owned); without them the window changes nothing.
    void Bind(orb::Settings* settings) { settings_ = settings; }

    void FormShow();
    void cbSupressSilenceClick();
    void tbMicThresholdChange();
    // The threshold label's text for a slider position.
    static QString ThresholdText(int position) { return QStringLiteral("(%1)").arg(position); }

    Ui::TfrmSilenceSuppression* ui() const { return ui_.get(); }

protected:
    void showEvent(QShowEvent* e) override;

private:
    std::unique_ptr<Ui::TfrmSilenceSuppression> ui_;
    orb::Settings* settings_ = nullptr;
    bool filling_ = false;
};
