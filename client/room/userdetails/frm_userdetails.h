#pragma once
// The own profile editor ("Update Personal Profile"): edits the own account record and sends it to
// the server (kind 72); the server applies it at the next login.

#include <QWidget>

#include <functional>
#include <memory>
#include <string>

class TDM;

namespace Ui {
class TfrmUserDetails;
}

namespace orb::room {

// The last name shown for a stored profile: the full name less the stored first name when that
// is its first word(s), else the whole full name (so saving twice never repeats a name).
std::string LastNameOf(const std::string& firstName, const std::string& fullName);
// The first missing required entry's warning (empty when all are there): 0 first name, 1 last
// name, 2 e-mail.
struct TProfileCheck {
    int field = -1;
    std::string warning;
};
TProfileCheck CheckProfile(const std::string& first, const std::string& last, const std::string& email);
std::string TrimText(const std::string& s);

}  // namespace orb::room

class TfrmUserDetails final : public QWidget {
    Q_OBJECT
public:
    explicit TfrmUserDetails(TDM& dm, QWidget* parent = nullptr);
    ~TfrmUserDetails() override;
    Ui::TfrmUserDetails* ui() const { return ui_.get(); }

    // Fills the boxes from the own account.
    void Load();
    // "Save": checks, stores, sends and closes; false when an entry is missing (nothing sent).
    bool Save();
    std::function<void(const QString&)> ShowWarning;
    std::function<void(const QString&)> ShowInformation;

protected:
    void showEvent(QShowEvent*) override;

private:
    std::unique_ptr<Ui::TfrmUserDetails> ui_;
    TDM& dm_;
};
