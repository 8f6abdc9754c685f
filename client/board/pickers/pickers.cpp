#include "board/pickers/pickers.h"

#include <QEvent>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QStylePainter>
#include <functional>

#include "board/engine/board_raster.h"

namespace orb::board {

namespace {

constexpr int kItemHeight = 17;
constexpr int kControlHeight = 23;

struct TNamedColor {
    const char* name;
    uint32_t value;
};
// The 16 standard colours, then the 4 extended ones.
constexpr int kStandardColors = 16;
constexpr int kAllColors = 20;
constexpr TNamedColor kColors[kAllColors] = {
    {"Black", 0x000000},  {"Maroon", 0x000080}, {"Green", 0x008000},   {"Olive", 0x008080},
    {"Navy", 0x800000},   {"Purple", 0x800080}, {"Teal", 0x808000},    {"Gray", 0x808080},
    {"Silver", 0xC0C0C0}, {"Red", 0x0000FF},    {"Lime", 0x00FF00},    {"Yellow", 0x00FFFF},
    {"Blue", 0xFF0000},   {"Fuchsia", 0xFF00FF}, {"Aqua", 0xFFFF00},   {"White", 0xFFFFFF},
    {"MoneyGreen", 0xC0DCC0}, {"SkyBlue", 0xF0CAA6}, {"Cream", 0xF0FBFF}, {"MedGray", 0xA4A0A0},
};

using ItemPainter = std::function<void(QPainter&, QRect, int)>;

// Paints list items (and the closed box) with the list's own drawing.
class TPaintedDelegate final : public QStyledItemDelegate {
public:
    TPaintedDelegate(ItemPainter paint, QObject* parent) : QStyledItemDelegate(parent), paint_(std::move(paint)) {}
    int itemHeight = kItemHeight;
    void paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        const bool selected = option.state & QStyle::State_Selected;
        p->fillRect(option.rect, selected ? option.palette.highlight() : option.palette.base());
        p->save();
        paint_(*p, option.rect, index.row());
        p->restore();
    }
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return QSize(QStyledItemDelegate::sizeHint(option, index).width(), itemHeight);
    }

private:
    ItemPainter paint_;
};

void Setup(QComboBox* box, ItemPainter paint) {
    box->setItemDelegate(new TPaintedDelegate(std::move(paint), box));
    box->setFixedHeight(kControlHeight);
    box->setEditable(false);
}

// The closed box shows the current item with the same drawing as the list.
void PaintClosed(QComboBox* box, const ItemPainter& paint) {
    QStylePainter p(box);
    QStyleOptionComboBox opt;
    opt.initFrom(box);
    opt.currentText.clear();
    p.drawComplexControl(QStyle::CC_ComboBox, opt);
    const QRect field = box->style()->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxEditField, box);
    if (box->currentIndex() >= 0) {
        p.save();
        paint(p, field, box->currentIndex());
        p.restore();
    }
}

void PaintColor(QPainter& p, QRect r, int i, TColorComboBoxEx::ShowStyle style, const QFont& font) {
    if (i < 0 || i >= kAllColors) return;
    if (style == TColorComboBoxEx::ssOnlyText) {
        p.drawText(r.adjusted(2, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft, QString::fromLatin1(kColors[i].name));
        return;
    }
    const int x = style == TColorComboBoxEx::ssOnlyColor ? r.right() + 1 - 4 : r.left() + 26;
    const QRect swatch(QPoint(r.left() + 4, r.top() + 2), QPoint(x - 1, r.bottom() + 1 - 2 - 1));
    p.fillRect(swatch, QColor(ColorRefToRgb(kColors[i].value)));
    p.setPen(QColor(0x80, 0x80, 0x80));
    p.drawRect(swatch.adjusted(0, 0, -1, -1));
    if (style == TColorComboBoxEx::ssColorAndText) {
        p.setFont(font);
        p.setPen(Qt::black);
        p.drawText(QRect(r.left() + 34, r.top() + 2, r.width() - 34, r.height() - 2), Qt::AlignLeft | Qt::AlignTop,
                   QString::fromLatin1(kColors[i].name));
    }
}

QRect Frame(QRect r) { return QRect(QPoint(r.left() + 4, r.top() + 2), QPoint(r.right() - 4, r.bottom() - 2)); }

void PaintWidth(QPainter& p, QRect r, int i) {
    p.setPen(QPen(QColor(0x80, 0x80, 0x80), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(Frame(r));
    const int w = i + 1, y = r.top() + r.height() / 2;
    p.setPen(QPen(Qt::black, w, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(r.left() + 6 + w, y, r.right() + 1 - 6 - w, y);
}

void PaintFill(QPainter& p, QRect r, int i) {
    const QRect frame = Frame(r);
    const QColor grey(0x80, 0x80, 0x80);
    p.setPen(QPen(grey, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(frame);
    const int a = (r.height() - 4) / 3;
    const QRect band(QPoint(r.left() + 4, r.top() + 2 + a), QPoint(r.right() - 4, r.top() + 3 + 2 * a - 1));
    if (i == bsHorizontal) {
        p.fillRect(band, grey);
    } else if (i == bsCross) {
        p.fillRect(band, grey);
        p.fillRect(frame, QBrush(grey, Qt::VerPattern));
    } else {
        p.fillRect(frame.adjusted(1, 1, 0, 0), MakeBrush(uint8_t(i), RgbToColorRef(grey.rgb())));
    }
}

}  // namespace

// ---- colours

uint32_t TColorComboBoxEx::ItemColor(int index) { return index >= 0 && index < kAllColors ? kColors[index].value : 0; }

TColorComboBoxEx::TColorComboBoxEx(QWidget* parent) : QComboBox(parent) {
    for (int i = 0; i < kStandardColors; ++i)
        addItem(QString::fromLatin1(kColors[i].name), QVariant::fromValue(kColors[i].value));
    Setup(this, [this](QPainter& p, QRect r, int i) { PaintColor(p, r, i, style_, font()); });
    setCurrentIndex(IndexOfColor(value_));
    connect(this, qOverload<int>(&QComboBox::activated), this, [this](int i) {
        if (i >= 0) SetColorValue(ItemColor(i));
    });
}

void TColorComboBoxEx::AddExtendedColors() {
    if (count() > kStandardColors) return;
    for (int i = kStandardColors; i < kAllColors; ++i)
        addItem(QString::fromLatin1(kColors[i].name), QVariant::fromValue(kColors[i].value));
}

int TColorComboBoxEx::IndexOfColor(uint32_t colour) const {
    for (int i = count() - 1; i >= 0; --i)
        if (itemData(i).toUInt() == colour) return i;
    return -1;
}

void TColorComboBoxEx::SetColorValue(uint32_t colour) {
    if (currentIndex() >= 0 && colour == value_ && ItemColor(currentIndex()) == colour) return;
    const int i = IndexOfColor(colour);
    if (i < 0) return;
    value_ = colour;
    setCurrentIndex(i);
    emit ColorChanged();
}

void TColorComboBoxEx::SetShowStyle(ShowStyle style) {
    style_ = style;
    if (style == ssColorAndText) setMinimumWidth(std::max(minimumWidth(), 100));
    FitItemHeight();
    update();
}

int TColorComboBoxEx::ItemHeight() const {
    auto* d = dynamic_cast<TPaintedDelegate*>(itemDelegate());
    return d ? d->itemHeight : kItemHeight;
}

void TColorComboBoxEx::FitItemHeight() {
    // With names shown, an item is as high as the font's text plus 2 (at least 9).
    auto* d = dynamic_cast<TPaintedDelegate*>(itemDelegate());
    if (!d) return;
    d->itemHeight = style_ == ssColorAndText ? std::max(9, QFontMetrics(font()).height() + 2) : kItemHeight;
}

void TColorComboBoxEx::changeEvent(QEvent* event) {
    QComboBox::changeEvent(event);
    if (event->type() == QEvent::FontChange) FitItemHeight();
}

void TColorComboBoxEx::paintEvent(QPaintEvent*) {
    PaintClosed(this, [this](QPainter& p, QRect r, int i) { PaintColor(p, r, i, style_, font()); });
}

// ---- line widths

TLineWidthComboBox::TLineWidthComboBox(QWidget* parent) : QComboBox(parent) {
    Setup(this, [](QPainter& p, QRect r, int i) { PaintWidth(p, r, i); });
    Rebuild();
    connect(this, qOverload<int>(&QComboBox::activated), this, [this](int i) {
        if (i < 0) return;
        SetLineWidth(i + 1);
        emit LineWidthChanged();
    });
}

void TLineWidthComboBox::Rebuild() {
    const QSignalBlocker block(this);
    clear();
    for (int i = 0; i < max_; ++i) addItem(QStringLiteral("Ancho %1").arg(i + 1));
    SetLineWidth(width_);
}

void TLineWidthComboBox::SetLineWidth(int width) {
    width_ = width;
    setCurrentIndex(width - 1 >= 0 && width - 1 < count() ? width - 1 : -1);
}

void TLineWidthComboBox::SetMaxLineWidth(int max) {
    max_ = std::clamp(max, 0, 100);
    Rebuild();
}

void TLineWidthComboBox::paintEvent(QPaintEvent*) { PaintClosed(this, PaintWidth); }

// ---- fill styles

TFillStyleComboBox::TFillStyleComboBox(QWidget* parent) : QComboBox(parent) {
    Setup(this, [](QPainter& p, QRect r, int i) { PaintFill(p, r, i); });
    Rebuild();
    connect(this, qOverload<int>(&QComboBox::activated), this, [this](int i) {
        if (i < 0) return;
        SetFillStyle(i);
        emit FillStyleChanged();
    });
}

void TFillStyleComboBox::Rebuild() {
    const QSignalBlocker block(this);
    clear();
    for (int i = 0; i < 8; ++i) addItem(QStringLiteral("Ashurado %1").arg(i + 1));
    SetFillStyle(style_);
}

void TFillStyleComboBox::SetFillStyle(int style) {
    if (style < 0 || style > max_ || style >= count()) return;
    style_ = style;
    setCurrentIndex(style);
}

void TFillStyleComboBox::SetMaxFillStyle(int max) {
    max_ = std::clamp(max, 0, 7);
    Rebuild();
}

}  // namespace orb::board

namespace orb::board {
void TFillStyleComboBox::paintEvent(QPaintEvent*) { PaintClosed(this, PaintFill); }
}  // namespace orb::board
