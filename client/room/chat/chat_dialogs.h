#pragma once
// The chat's own windows: the separate "Text Chat" window that can host the chat panel, and the
// prompt that offers to fetch and open a pushed document.

#include <QDialog>
#include <QWidget>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

namespace Ui {
class TfrmChatHolder;
class TfrmMessageDlg;
}  // namespace Ui

class TfrmChatHolder : public QWidget {
    Q_OBJECT
public:
    explicit TfrmChatHolder(QWidget* parent = nullptr);
    ~TfrmChatHolder() override;
    // What the main window does when the panel moves out and back.
    struct THooks {
        std::function<QWidget*()> TakePanel;        // the chat panel, out of its page
        std::function<void(QWidget*)> ReturnPanel;  // back to its page, which becomes active
    };
    THooks Hooks;
    // Shows the window at the bounds with the panel in it, or closes it when it is visible.
    void ShowDetached(int left, int top, int height, int width);

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    std::unique_ptr<Ui::TfrmChatHolder> ui_;
    QWidget* panel_ = nullptr;
};

class TfrmMessageDlg : public QDialog {
    Q_OBJECT
public:
    // Frees itself when closed. `onOk` runs when the user agrees.
    TfrmMessageDlg(const QString& question, std::function<void()> onOk, QWidget* parent = nullptr);
    ~TfrmMessageDlg() override;
    QString Question() const;

private:
    std::unique_ptr<Ui::TfrmMessageDlg> ui_;
};

// The prompt for a document another user pushed: on OK the download starts into `folder` under the
// file's sanitised name, to be opened (through the desktop) when it is done, unless its type is one
// that could run code, which is only saved. Null when the name leaves nothing usable. The dialog
// frees itself.
TfrmMessageDlg* OfferPushedDocument(const QString& question, const std::string& fileName,
                                    const std::filesystem::path& folder,
                                    std::function<void(const std::filesystem::path& localPath, bool openWhenDone)> start,
                                    QWidget* parent = nullptr);
