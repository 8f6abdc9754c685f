#pragma once
// TfrmPPTExport, the "Document Uploader": chooses a file and turns it into a presentation of the
// room, by printing it through the document printer or by exporting its slides. The decisions
// live in TDocumentUploader; this window shows them and listens for the print notices.

#include <QDialog>
#include <QPoint>
#include <functional>
#include <memory>

#include "print/document_uploader.h"

class QUdpSocket;

namespace Ui {
class TfrmPPTExport;
}

class TfrmPPTExport : public QDialog, public orb::print::IDocumentUploaderView {
    Q_OBJECT
public:
    // `services.toMainThread` is filled in by the window (queued calls into itself).
    TfrmPPTExport(orb::print::TUploaderServices services, QWidget* parent = nullptr);
    ~TfrmPPTExport() override;

    orb::print::TDocumentUploader& Uploader() { return *uploader_; }
    Ui::TfrmPPTExport& Ui() { return *ui_; }
    // Answers messages instead of a message box (tests); unset: modal message boxes.
    std::function<orb::print::TMsgAnswer(orb::print::TMsgKind, orb::print::TMsgButtons, const std::string&)> answer;

    // IDocumentUploaderView
    void SetDocumentPath(const std::string& path) override;
    void SetStatus(const std::string& text) override;
    void SetPageCount(const std::string& text) override;
    void SetProgressMax(int max) override;
    void SetProgress(int position) override;
    void SetButtons(bool close, bool upload, bool advanced) override;
    void ShowSlideSize(bool show) override;
    void SetBusy(bool busy) override;
    orb::print::TMsgAnswer ShowMessage(orb::print::TMsgKind kind, orb::print::TMsgButtons buttons,
                                       const std::string& text) override;
    void Activate() override;
    bool StartListener() override;
    void StopListener() override;
    void CloseWindow() override;

protected:
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void done(int result) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void SelectFile();
    void NormaliseSize();
    void ReadNotices();

    std::unique_ptr<Ui::TfrmPPTExport> ui_;
    std::unique_ptr<orb::print::TDocumentUploader> uploader_;
    QUdpSocket* udp_ = nullptr;
    uint16_t listenPort_ = orb::print::kNoticePort;
    bool busyCursor_ = false;
    bool dragging_ = false;
    QPoint dragOffset_;
};
