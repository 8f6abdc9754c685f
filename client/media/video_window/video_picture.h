#pragma once
// The picture of a video window: the last decoded or captured frame, scaled from its real size to
// the whole control.

#include <QImage>
#include <QPainter>
#include <QWidget>

class TVideoPicture : public QWidget {
    Q_OBJECT
public:
    explicit TVideoPicture(QWidget* parent = nullptr) : QWidget(parent) {
        setAttribute(Qt::WA_OpaquePaintEvent);
        setMinimumSize(1, 1);
    }
    void SetPicture(QImage picture) {
        picture_ = std::move(picture);
        update();
    }
    const QImage& Picture() const { return picture_; }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        if (picture_.isNull()) {
            p.fillRect(rect(), Qt::black);
            return;
        }
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.drawImage(rect(), picture_, picture_.rect());
    }

private:
    QImage picture_;
};
