#pragma once
// The poll editor: a question, the answer options the participants may choose, exam files and
// the favourites switch.

#include <QDialog>
#include <array>
#include <functional>
#include <memory>
#include <string>

namespace Ui {
class TfrmPing;
}

class TfrmPing : public QDialog {
    Q_OBJECT
public:
    explicit TfrmPing(QWidget* parent = nullptr);
    ~TfrmPing() override;

    // The checked options, one bit per option (option 1 is bit 25).
    uint32_t GetAnswerMask() const;
    void SetAnswerMask(uint32_t mask);
    // The question as UTF-8, blanks trimmed.
    std::string Question() const;
    bool AddToFavourites() const;
    // Send is enabled when the question is not blank and an option is checked.
    bool CanSend() const;
    // Writes the one-record exam file; false (and the error box) when it fails.
    bool SaveToFile(const QString& file);
    // Reads the first record's question and mask; a file that cannot be read changes nothing.
    bool LoadFromFile(const QString& file);

    // Dialogs (replaced in tests).
    std::function<QString()> AskSaveFile, AskOpenFile;
    std::function<void(const QString&)> ShowError;

    Ui::TfrmPing& Ui() { return *ui_; }

private:
    void UpdateSend();
    std::unique_ptr<Ui::TfrmPing> ui_;
};
