#pragma once
// The text tool's entry: a borderless white panel with a one-line edit, placed where the board was
// clicked and grown to its text as the user types; and "Font Settings", the small floating window
// that picks colour, font and size while an entry is open. The entry never draws on the board: the
// board window takes its text, rectangle and font when it commits.

#include <QFrame>
#include <QString>
#include <functional>
#include <string>

#include "board/engine/board_engine.h"

class QLineEdit;
class QFontComboBox;
class QSpinBox;

namespace orb::board {

class TColorComboBoxEx;

// The shared text defaults (TextBoxFont, TextBoxFontColor, TextBoxFontSize).
struct TTextDefaults {
    std::string font = "Arial";
    uint32_t color = 0;  // 0x00BBGGRR
    int size = 12;       // points
};

// The Qt font of a board font: points at 96 dots per inch, as the board draws text.
QFont BoardQFont(const TBoardFont& font);

class TFontsForm : public QWidget {
    Q_OBJECT
public:
    explicit TFontsForm(const TTextDefaults& defaults, QWidget* parent = nullptr);
    TTextDefaults Values() const;
    void Select(const TTextDefaults& values);

    TColorComboBoxEx* ColorBox1 = nullptr;
    QFontComboBox* FontCombo = nullptr;
    QSpinBox* SpinEdit1 = nullptr;

signals:
    void FontSettingsChanged();

private:
    std::string fontName_;
};

class TTextEditControl : public QFrame {
    Q_OBJECT
public:
    // Opens at layer point (x, y) inside `parent` (the client of the board's scroll area) scrolled
    // by `scroll`. The font window opens at the top right of the screen.
    TTextEditControl(int x, int y, QPoint scroll, const TTextDefaults& defaults, QWidget* parent);
    ~TTextEditControl() override;

    // The text, the panel rectangle in the parent's coordinates, and the font.
    void GetTextAndBounds(std::u16string& text, QRect& bounds, TBoardFont& font) const;
    QLineEdit* Edit() const { return edit_; }
    TFontsForm* FontForm() const { return fonts_; }
    const TBoardFont& Font() const { return font_; }
    void FitToText();

    // Called with the new defaults whenever the font window changes them (to be stored at once).
    std::function<void(const TTextDefaults&)> OnDefaultsChanged;

signals:
    // Escape: close without drawing.
    void Cancelled();
    // Enter without Ctrl: draw and send; then a new entry at the layer point `next`.
    void Committed(QPoint next);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ApplyFontSettings();

    QLineEdit* edit_ = nullptr;
    TFontsForm* fonts_ = nullptr;
    TBoardFont font_;
    QPoint scroll_;
};

}  // namespace orb::board
