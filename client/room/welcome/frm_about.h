#pragma once
// TfrmAbout: the program's version, made on demand, stays on top and frees itself when closed.

#include <QDialog>
#include <functional>
#include <memory>

namespace Ui {
class TfrmAbout;
}

class TfrmAbout : public QDialog {
    Q_OBJECT
public:
    static constexpr const char* kSite = "http://www.orbelo.com/";

    // `version` and `date` are the program's version values; `openSite` opens the web site.
    TfrmAbout(const QString& version, const QString& date, std::function<void(const QString&)> openSite,
              QWidget* parent = nullptr);
    ~TfrmAbout() override;

    QString VersionText() const;

private:
    std::unique_ptr<Ui::TfrmAbout> ui_;
};
