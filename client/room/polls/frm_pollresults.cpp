#include "frm_pollresults.h"

#include <QDateTime>
#include <QFile>
#include <QFileDialog>
#include <QPainter>
#include <QScrollBar>

#include "common/message_box.h"
#include "ui_frm_pollresults.h"

TPollChart::TPollChart(QWidget* parent) : QWidget(parent) {
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::white);
    setPalette(p);
}

void TPollChart::SetBars(std::vector<orb::polls::TPollChartBar> bars) {
    bars_ = std::move(bars);
    int height = 10;
    for (const auto& b : bars_) height = std::max(height, b.top + b.height + 5);
    setMinimumHeight(height);
    update();
}

void TPollChart::paintEvent(QPaintEvent*) {
    QPainter p(this);
    for (const auto& b : bars_) {
        p.fillRect(QRect(b.left, b.top, b.width, b.height), QColor(128, 0, 0));
        QFont f(QStringLiteral("Tahoma"));
        f.setPointSize(8);
        f.setBold(b.bold);
        p.setFont(f);
        p.setPen(Qt::black);
        p.drawText(QRect(b.labelLeft, b.labelTop, std::max(0, width() - b.labelLeft), b.height),
                   Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                   QString::fromUtf8(b.label.data(), qsizetype(b.label.size())));
    }
}

TfrmPollresults::TfrmPollresults(QWidget* parent) : QWidget(parent), ui_(std::make_unique<Ui::TfrmPollresults>()) {
    ui_->setupUi(this);
    setObjectName(QStringLiteral("TfrmPollresults"));
    chart_ = new TPollChart;
    chart_->setObjectName(QStringLiteral("pollChart"));
    ui_->sbGraphic->setWidget(chart_);
    ui_->lvPolls->setColumnWidth(0, 220);
    AskSaveFile = [this](const QString& proposed) {
        return QFileDialog::getSaveFileName(this, QStringLiteral("Save Polling Results"), proposed,
                                            QStringLiteral("Rich Text Format (*.rtf)"));
    };
    ShowError = [this](const QString& text) { orb::room::PlainMessageBox(this, QMessageBox::Critical, text); };
    connect(ui_->btnSave, &QPushButton::clicked, this, [this] {
        const QString proposed = QStringLiteral("Orbelo Poll ") +
                                 QLocale::c().toString(QDateTime::currentDateTime(), QStringLiteral("MMM-dd-yyyy hhmm")) +
                                 QStringLiteral(".rtf");
        const QString f = AskSaveFile ? AskSaveFile(proposed) : QString();
        if (!f.isEmpty()) SaveToFile(f);
    });
}

TfrmPollresults::~TfrmPollresults() = default;

void TfrmPollresults::RefreshResults() {
    if (!results_) return;
    ui_->lbText->setText(orb::room::FromUtf8(results_->question));
    ui_->lvPolls->clear();
    for (const auto& r : results_->Rows()) {
        auto* item = new QTreeWidgetItem(ui_->lvPolls);
        item->setText(0, orb::room::FromUtf8(r.name));
        item->setText(1, orb::room::FromUtf8(r.answer));
    }
    ui_->lbAnsCOunt->setText(QString::number(results_->CountAnswered()));
    ui_->lbUSerCount->setText(QString::number(results_->Rows().size()));
    const int width = ui_->sbGraphic->viewport()->width();
    chart_->SetBars(results_->Refresh(width));
}

void TfrmPollresults::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    if (results_) chart_->SetBars(results_->DrawPollChart(ui_->sbGraphic->viewport()->width()));
}

bool TfrmPollresults::SaveToFile(const QString& file) {
    if (!results_) return false;
    QFile out(file);
    const std::string text = results_->SaveText();
    if (out.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
        out.write(text.data(), qint64(text.size())) == qint64(text.size()) && out.flush())
        return true;
    if (ShowError) ShowError(QStringLiteral("Unable to save the poll results to ") + file);
    return false;
}
