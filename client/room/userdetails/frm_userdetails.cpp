#include "userdetails/frm_userdetails.h"

#include <QMessageBox>

#include <cmath>

#include "common/message_box.h"
#include "common/window_drag.h"
#include "dm/dm.h"
#include "protocol/date_time.h"
#include "ui_frm_userdetails.h"

namespace orb::room {

std::string TrimText(const std::string& s) {
    const size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return {};
    return s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1);
}

std::string LastNameOf(const std::string& firstName, const std::string& fullName) {
    const std::string first = TrimText(firstName), full = TrimText(fullName);
    if (!first.empty() && full.size() > first.size() && full.compare(0, first.size(), first) == 0 &&
        full[first.size()] == ' ')
        return TrimText(full.substr(first.size()));
    return full;
}

TProfileCheck CheckProfile(const std::string& first, const std::string& last, const std::string& email) {
    if (TrimText(first).empty()) return {0, "First Name is required !"};
    if (TrimText(last).empty()) return {1, "Last Name is required !"};
    if (TrimText(email).empty()) return {2, "eMail Address is required !"};
    return {};
}

}  // namespace orb::room

using namespace orb;
using namespace orb::room;

namespace {
QString Q(const std::string& s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }
std::string S(const QString& s) { return TrimText(s.toStdString()); }
constexpr double kDateEpochJulian = 2415019;  // 30 December 1899
}  // namespace

TfrmUserDetails::TfrmUserDetails(TDM& dm, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      ui_(std::make_unique<Ui::TfrmUserDetails>()), dm_(dm) {
    ui_->setupUi(this);
    setObjectName(QStringLiteral("TfrmUserDetails"));
    setAttribute(Qt::WA_StyledBackground);
    setAttribute(Qt::WA_DeleteOnClose);
    connect(ui_->btnSave, &QPushButton::clicked, this, [this] { Save(); });
    connect(ui_->btnCancel, &QPushButton::clicked, this, &QWidget::close);
    connect(ui_->btnClose, &QToolButton::clicked, this, &QWidget::close);
    new orb::room::TWindowDrag(this, {ui_->navDetails, ui_->lbTitle});
    for (QLineEdit* e : {ui_->eFirstName, ui_->eLastName, ui_->eEMail, ui_->eAddress, ui_->eCity, ui_->eZip,
                         ui_->ePhone, ui_->eProfession, ui_->eLangs})
        e->setMaxLength(128);
}

TfrmUserDetails::~TfrmUserDetails() = default;

void TfrmUserDetails::showEvent(QShowEvent* e) {
    Load();
    QWidget::showEvent(e);
}

void TfrmUserDetails::Load() {
    const TLoginInfo& a = dm_.OwnLoginInfo;
    ui_->eFirstName->setText(Q(TrimText(a.FirstName())));
    ui_->eLastName->setText(Q(LastNameOf(a.FirstName(), a.FullName())));
    ui_->eEMail->setText(Q(TrimText(a.Email())));
    ui_->eAddress->setText(Q(TrimText(a.Address())));
    ui_->eCity->setText(Q(TrimText(a.City())));
    ui_->eZip->setText(Q(TrimText(a.Zip())));
    ui_->ePhone->setText(Q(TrimText(a.Phone())));
    ui_->eProfession->setText(Q(TrimText(a.Profession())));
    ui_->eLangs->setText(Q(TrimText(a.Languages())));
    const double birth = a.BirthDate();
    if (std::isfinite(birth) && birth > 0 && birth < 2958466)
        ui_->eBirthDate->setDate(QDate::fromJulianDay(qint64(kDateEpochJulian + std::floor(birth))));
    const std::string g = TrimText(a.Gender());
    ui_->eGender->setCurrentIndex(g == "M" ? 0 : g == "F" ? 1 : -1);
}

bool TfrmUserDetails::Save() {
    const TProfileCheck check = CheckProfile(S(ui_->eFirstName->text()), S(ui_->eLastName->text()),
                                             S(ui_->eEMail->text()));
    if (check.field >= 0) {
        const QString text = Q(check.warning);
        if (ShowWarning) ShowWarning(text);
        else PlainMessageBox(this, QMessageBox::Warning, text);
        QLineEdit* boxes[] = {ui_->eFirstName, ui_->eLastName, ui_->eEMail};
        boxes[check.field]->setFocus();
        return false;
    }
    TLoginInfo& a = dm_.OwnLoginInfo;
    const std::string first = S(ui_->eFirstName->text());
    a.SetFirstName(first);
    a.SetFullName(first + " " + S(ui_->eLastName->text()));
    a.SetEmail(S(ui_->eEMail->text()));
    a.SetAddress(S(ui_->eAddress->text()));
    a.SetCity(S(ui_->eCity->text()));
    a.SetZip(S(ui_->eZip->text()));
    a.SetPhone(S(ui_->ePhone->text()));
    a.SetProfession(S(ui_->eProfession->text()));
    a.SetLanguages(S(ui_->eLangs->text()));
    a.SetBirthDate(double(ui_->eBirthDate->date().toJulianDay() - qint64(kDateEpochJulian)));
    a.SetGender(S(ui_->eGender->currentText()));
    dm_.SendOwnProfile();
    const QString done = QStringLiteral("Updates were sent to server. They will be applied next time you log into.");
    if (ShowInformation) ShowInformation(done);
    else PlainMessageBox(this, QMessageBox::Information, done);
    close();
    return true;
}

