#pragma once
// Drop-down lists with painted items for the board tool bar: 16 colour swatches (the text tool's
// list adds the 4 extended colours), lines of growing
// width and brush hatch samples. Each keeps its value as a property and reports a change through
// its signal. Colours are Windows colour values 0x00BBGGRR.

#include <QComboBox>
#include <cstdint>

namespace orb::board {

class TColorComboBoxEx : public QComboBox {
    Q_OBJECT
public:
    enum ShowStyle { ssOnlyColor, ssOnlyText, ssColorAndText };
    explicit TColorComboBoxEx(QWidget* parent = nullptr);

    uint32_t ColorValue() const { return value_; }
    // A colour that is not in the list leaves value and selection as they are.
    void SetColorValue(uint32_t colour);
    // Adds the extended colours (MoneyGreen, SkyBlue, Cream, MedGray) after the 16 standard ones.
    void AddExtendedColors();
    int IndexOfColor(uint32_t colour) const;
    ShowStyle Style() const { return style_; }
    void SetShowStyle(ShowStyle style);
    int ItemHeight() const;

    static uint32_t ItemColor(int index);

signals:
    void ColorChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void FitItemHeight();
    uint32_t value_ = 0;
    ShowStyle style_ = ssOnlyColor;
};

class TLineWidthComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit TLineWidthComboBox(QWidget* parent = nullptr);
    int LineWidth() const { return width_; }
    // Stores the width and selects item width - 1 (none when there is no such item).
    void SetLineWidth(int width);
    int MaxLineWidth() const { return max_; }
    void SetMaxLineWidth(int max);

signals:
    void LineWidthChanged();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void Rebuild();
    int width_ = 1;
    int max_ = 5;
};

class TFillStyleComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit TFillStyleComboBox(QWidget* parent = nullptr);
    int FillStyle() const { return style_; }
    // Ignored above MaxFillStyle.
    void SetFillStyle(int style);
    int MaxFillStyle() const { return max_; }
    void SetMaxFillStyle(int max);

signals:
    void FillStyleChanged();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void Rebuild();
    int style_ = 0;
    int max_ = 7;
};

}  // namespace orb::board
