#pragma once
// The poll results window: every participant with the answer given (or "<No Answer>"), the counts,
// and a bar chart of equal answers; the list and the chart lines can be saved as text.

#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

#include "polls/poll_results.h"

namespace Ui {
class TfrmPollresults;
}

// The painted chart: right-aligned dark red bars with their labels.
class TPollChart : public QWidget {
    Q_OBJECT
public:
    explicit TPollChart(QWidget* parent = nullptr);
    void SetBars(std::vector<orb::polls::TPollChartBar> bars);
    const std::vector<orb::polls::TPollChartBar>& Bars() const { return bars_; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    std::vector<orb::polls::TPollChartBar> bars_;
};

class TfrmPollresults : public QWidget {
    Q_OBJECT
public:
    explicit TfrmPollresults(QWidget* parent = nullptr);
    ~TfrmPollresults() override;

    // The results to show (not owned; the data module keeps them).
    void SetResults(orb::polls::TPollResults* results) { results_ = results; }
    // Rows, counts, tally and chart from the results.
    void RefreshResults();
    // Writes the question, the rows and the chart lines as plain text; false when it fails.
    bool SaveToFile(const QString& file);

    // The save dialog (replaced in tests): the chosen file or empty.
    std::function<QString(const QString& proposed)> AskSaveFile;
    std::function<void(const QString&)> ShowError;

    Ui::TfrmPollresults& Ui() { return *ui_; }
    TPollChart& Chart() { return *chart_; }

protected:
    void resizeEvent(QResizeEvent* e) override;

private:
    std::unique_ptr<Ui::TfrmPollresults> ui_;
    TPollChart* chart_ = nullptr;
    orb::polls::TPollResults* results_ = nullptr;
};
