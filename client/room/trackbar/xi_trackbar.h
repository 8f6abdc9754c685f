#pragma once
// TXiTrackBar: a slider painted by itself (gradient slide and thumb, hover and pressed colours,
// optional ticks) in one of seven colour schemes. Its geometry is trackbar_geometry's; painting
// never moves the thumb or the position.

#include <QWidget>

#include <array>
#include <cstdint>

#include "trackbar/trackbar_geometry.h"

enum TColorScheme { csCustom, csDesert, csGrass, csSilver, csSky, csRose, csSun };

class TXiTrackBar : public QWidget {
    Q_OBJECT
public:
    // The colours, 0x00BBGGRR, in this order.
    enum TColorRole {
        BackColor, TickColor, DisabledTickColor, SlideBorderColor, SlideFaceColor, SlideGradColor,
        DisabledSlideBorderColor, DisabledSlideFaceColor, DisabledSlideGradColor, ThumbBorderColor, ThumbFaceColor,
        ThumbGradColor, OverThumbBorderColor, OverThumbFaceColor, OverThumbGradColor, DownThumbBorderColor,
        DownThumbFaceColor, DownThumbGradColor, DisabledThumbBorderColor, DisabledThumbFaceColor,
        DisabledThumbGradColor, kColorRoles
    };
    enum TThumbState { tsHover = 1, tsPressed = 2, tsNormal = 3 };

    explicit TXiTrackBar(QWidget* parent = nullptr);

    int Position() const { return position_; }
    void SetPosition(int position);
    int Min() const { return min_; }
    void SetMin(int min);
    int Max() const { return max_; }
    void SetMax(int max);
    int Frequency() const { return frequency_; }
    void SetFrequency(int f);
    orb::room::TTickStyle TickStyle() const { return tickStyle_; }
    void SetTickStyle(orb::room::TTickStyle s);
    orb::room::TTickMarks TickMarks() const { return tickMarks_; }
    void SetTickMarks(orb::room::TTickMarks m);
    bool Vertical() const { return vertical_; }
    void SetVertical(bool v);
    bool SmoothCorners() const { return smooth_; }
    void SetSmoothCorners(bool on);
    uint32_t Color(TColorRole role) const { return colors_[role]; }
    void SetColor(TColorRole role, uint32_t bgr);
    TColorScheme ColorScheme() const { return scheme_; }
    void SetColorScheme(TColorScheme scheme);
    int ThumbOffset() const { return offset_; }

    // The picture of the control as it would be painted now.
    QImage Render() const;

signals:
    // OnChange: the position was set, or a drag ended.
    void Changed();

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void enterEvent(QEnterEvent*) override;
    void leaveEvent(QEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    void changeEvent(QEvent*) override;

private:
    orb::room::TTrackGeometry Geometry() const;
    void UpdateOffset();

    std::array<uint32_t, kColorRoles> colors_{};
    TColorScheme scheme_ = csDesert;
    int position_ = 0, min_ = 0, max_ = 10, frequency_ = 1;
    orb::room::TTickStyle tickStyle_ = orb::room::TTickStyle::Auto;
    orb::room::TTickMarks tickMarks_ = orb::room::TTickMarks::BottomRight;
    bool vertical_ = false;
    bool smooth_ = true;
    int offset_ = 0;
    TThumbState state_ = tsNormal;
};
