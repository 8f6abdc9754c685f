#include "frm_about.h"

#include "common/theme_icons.h"
#include "ui_frm_about.h"

TfrmAbout::TfrmAbout(const QString& version, const QString& date, std::function<void(const QString&)> openSite,
                     QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint),
      ui_(std::make_unique<Ui::TfrmAbout>()) {
    ui_->setupUi(this);
    setObjectName(QStringLiteral("TfrmAbout"));
    setAttribute(Qt::WA_DeleteOnClose);
    ui_->Image1->setIcon(orb::room::ThemeIcon({"help-about"}, QStringLiteral("Orbelo Live")));
    ui_->lbVer->setText(QStringLiteral("Version %1/%2").arg(version, date));
    auto site = [openSite] {
        if (openSite) openSite(QString::fromLatin1(kSite));
    };
    connect(ui_->Image1, &QPushButton::clicked, this, site);
    connect(ui_->lbSite, &QPushButton::clicked, this, site);
    connect(ui_->BitBtn1, &QPushButton::clicked, this, &QDialog::close);
}

TfrmAbout::~TfrmAbout() = default;

QString TfrmAbout::VersionText() const { return ui_->lbVer->text(); }
