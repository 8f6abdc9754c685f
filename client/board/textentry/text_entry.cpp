#include "board/textentry/text_entry.h"

#include <QFontComboBox>
#include <QFontMetrics>
#include <QFormLayout>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScreen>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>

#include "board/engine/board_raster.h"
#include "board/logic/board_logic.h"
#include "board/pickers/pickers.h"

namespace orb::board {

namespace {
constexpr int kMaxFontSize = 500;
}

QFont BoardQFont(const TBoardFont& f) {
    QFont font(QString::fromStdString(f.name));
    font.setPixelSize(std::clamp((f.size * 96 + 36) / 72, 1, kMaxFontSize * 96 / 72));
    font.setBold(f.bold);
    font.setItalic(f.italic);
    font.setUnderline(f.underline);
    return font;
}

// ---- font window

TFontsForm::TFontsForm(const TTextDefaults& defaults, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName(QStringLiteral("TFontsForm"));
    setWindowTitle(QStringLiteral("Font Settings"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    auto* form = new QFormLayout(this);
    ColorBox1 = new TColorComboBoxEx(this);
    ColorBox1->setObjectName(QStringLiteral("ColorBox1"));
    ColorBox1->SetShowStyle(TColorComboBoxEx::ssColorAndText);
    ColorBox1->AddExtendedColors();
    FontCombo = new QFontComboBox(this);
    FontCombo->setObjectName(QStringLiteral("FontCombo"));
    FontCombo->setEditable(false);
    SpinEdit1 = new QSpinBox(this);
    SpinEdit1->setObjectName(QStringLiteral("SpinEdit1"));
    SpinEdit1->setRange(1, kMaxFontSize);
    form->addRow(QStringLiteral("Color"), ColorBox1);
    form->addRow(QStringLiteral("Font"), FontCombo);
    form->addRow(QStringLiteral("Size"), SpinEdit1);
    Select(defaults);
    connect(ColorBox1, &TColorComboBoxEx::ColorChanged, this, &TFontsForm::FontSettingsChanged);
    connect(FontCombo, &QFontComboBox::currentFontChanged, this, [this](const QFont& f) {
        fontName_ = f.family().toStdString();
        emit FontSettingsChanged();
    });
    connect(SpinEdit1, qOverload<int>(&QSpinBox::valueChanged), this, &TFontsForm::FontSettingsChanged);
    adjustSize();
}

void TFontsForm::Select(const TTextDefaults& v) {
    const QSignalBlocker b1(ColorBox1), b2(FontCombo), b3(SpinEdit1);
    ColorBox1->SetColorValue(v.color);
    FontCombo->setCurrentFont(QFont(QString::fromStdString(v.font)));
    // The list may show a substitute family; the name stays the one asked for until the user
    // picks another, so other members get the name we were given.
    fontName_ = v.font;
    SpinEdit1->setValue(std::clamp(v.size, 1, kMaxFontSize));
}

TTextDefaults TFontsForm::Values() const {
    TTextDefaults v;
    v.color = ColorBox1->ColorValue();
    v.font = fontName_;
    v.size = SpinEdit1->value();
    return v;
}

// ---- entry

TTextEditControl::TTextEditControl(int x, int y, QPoint scroll, const TTextDefaults& defaults, QWidget* parent)
    : QFrame(parent), scroll_(scroll) {
    setObjectName(QStringLiteral("TTextEditControl"));
    setFrameShape(QFrame::NoFrame);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    pal.setColor(QPalette::Base, Qt::white);
    setPalette(pal);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    edit_ = new QLineEdit(this);
    edit_->setObjectName(QStringLiteral("edit"));
    edit_->setFrame(false);
    edit_->setMaxLength(kTextEntryMaxLength);
    edit_->setTextMargins(0, 0, 0, 0);
    edit_->setMinimumSize(1, 1);
    edit_->setPalette(pal);
    edit_->installEventFilter(this);
    layout->addWidget(edit_);

    const QPoint at = TextEntryOrigin(x, y, scroll);
    setGeometry(at.x(), at.y(), 70, 42);
    font_.name = defaults.font;
    font_.size = std::clamp(defaults.size, 1, kMaxFontSize);
    font_.color = defaults.color;

    fonts_ = new TFontsForm(defaults, nullptr);
    if (QScreen* screen = QGuiApplication::primaryScreen())
        fonts_->move(screen->geometry().right() + 1 - fonts_->frameGeometry().width(), 0);
    connect(fonts_, &TFontsForm::FontSettingsChanged, this, &TTextEditControl::ApplyFontSettings);
    fonts_->show();

    ApplyFontSettings();
    connect(edit_, &QLineEdit::textChanged, this, &TTextEditControl::FitToText);
    show();
    edit_->setFocus();
}

TTextEditControl::~TTextEditControl() {
    fonts_->hide();
    delete fonts_;
}

void TTextEditControl::ApplyFontSettings() {
    const TTextDefaults v = fonts_->Values();
    font_.name = v.font;
    font_.size = v.size;
    font_.color = v.color;
    edit_->setFont(BoardQFont(font_));
    QPalette pal = edit_->palette();
    pal.setColor(QPalette::Text, QColor(ColorRefToRgb(font_.color)));
    edit_->setPalette(pal);
    edit_->setFocus();
    FitToText();
    if (OnDefaultsChanged) OnDefaultsChanged(v);
}

void TTextEditControl::FitToText() {
    const QString text = edit_->text();
    QSize measured;
    if (!text.isEmpty()) {
        const QFontMetrics fm(edit_->font());
        measured = fm.boundingRect(QRect(0, 0, 1 << 20, 1 << 20), Qt::TextExpandTabs | Qt::TextSingleLine, text).size();
    }
    const QSize size = TextEntrySize(font_.size, text.isEmpty(), measured);
    // The panel is exactly the text's size, so the text sits where the board will draw it.
    resize(size);
    const int caret = edit_->cursorPosition();
    edit_->setCursorPosition(0);
    edit_->setCursorPosition(caret);
}

void TTextEditControl::GetTextAndBounds(std::u16string& text, QRect& bounds, TBoardFont& font) const {
    text = edit_->text().toStdU16String();
    bounds = geometry();
    font = font_;
}

bool TTextEditControl::eventFilter(QObject* watched, QEvent* event) {
    if (watched == edit_ && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Escape) {
            emit Cancelled();
            return true;
        }
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            if (!(key->modifiers() & Qt::ControlModifier)) emit Committed(NextTextEntryPoint(geometry(), scroll_));
            return true;
        }
    }
    return QFrame::eventFilter(watched, event);
}

}  // namespace orb::board
