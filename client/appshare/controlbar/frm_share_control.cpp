#include "appshare/controlbar/frm_share_control.h"

#include <QGuiApplication>
#include <QScreen>

#include "ui_frm_share_control.h"

TfrmAppShare_Control::TfrmAppShare_Control(QWidget* parent)
    : QWidget(parent), ui_(std::make_unique<Ui::TfrmAppShare_Control>()) {
    ui_->setupUi(this);
    setObjectName(QStringLiteral("TfrmAppShare_Control"));
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setWindowOpacity(200.0 / 255.0);
    auto call = [](const std::function<void()>& f) {
        if (f) f();
    };
    connect(ui_->btnStop, &QToolButton::clicked, this, [this, call] { call(OnStop); });
    connect(ui_->btnPause, &QToolButton::clicked, this, [this, call] { call(OnPause); });
    connect(ui_->btnUsers, &QToolButton::clicked, this, [this, call] { call(OnUsers); });
    connect(ui_->btnChat, &QToolButton::clicked, this, [this, call] { call(OnChat); });
    connect(ui_->btnOrbelo, &QToolButton::clicked, this, [this, call] { call(OnOrbelo); });
    connect(ui_->pGrip, &QToolButton::clicked, this, [this] { ToggleTuck(); });
}

TfrmAppShare_Control::~TfrmAppShare_Control() = default;

QRect TfrmAppShare_Control::Area() const {
    if (WorkArea) return WorkArea();
    QScreen* s = QGuiApplication::primaryScreen();
    return s ? s->availableGeometry() : QRect(0, 0, 1024, 768);
}

void TfrmAppShare_Control::ShowBar() {
    adjustSize();
    const QRect a = Area();
    tucked_ = false;
    move(a.left() + a.width() - width(), a.top());
    show();
    raise();
}

void TfrmAppShare_Control::SetPaused(bool paused) {
    ui_->btnPause->setText(paused ? QStringLiteral("Resume") : QStringLiteral("Pause"));
}

void TfrmAppShare_Control::ToggleTuck() {
    const QRect a = Area();
    tucked_ = !tucked_;
    const int left = tucked_ ? a.left() + a.width() - ui_->pGrip->width() : a.left() + a.width() - width();
    move(left, a.top());
    raise();
}
