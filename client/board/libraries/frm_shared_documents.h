#pragma once
// TfrmSharedDocuments: the room's shared documents. Uploads, downloads to a folder of the user's
// choice, launches a document on everybody's computer and deletes entries, all through the data
// module; the list is the data module's last kind 18 reply.

#include <QWidget>
#include <filesystem>
#include <memory>

#include "library_list.h"

class TDM;

namespace Ui {
class TfrmSharedDocuments;
}

class TfrmSharedDocuments : public QWidget {
    Q_OBJECT
public:
    explicit TfrmSharedDocuments(QWidget* parent = nullptr);
    ~TfrmSharedDocuments() override;

    // Registers the window for the data module's notifications; `localData` is where the folder
    // dialog starts.
    void Bind(TDM* dm, std::filesystem::path localData);
    void Fill();
    orb::WindowHandle Handle() const { return window_.Handle(); }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Message(uint32_t msg, std::intptr_t wParam);
    void Upload();
    void Download();
    void Delete();
    void Launch();
    // Downloads the selected item as Launch does (temporary name, opened when done), for this user only.
    void DownloadAndOpen();
    // Returns the record's temporary local path (empty when there is no download folder).
    std::filesystem::path TemporaryPath(const TResourceInfo& record) const;

    std::unique_ptr<Ui::TfrmSharedDocuments> ui_;
    TDM* dm_ = nullptr;
    std::filesystem::path localData_;
    orb::library::TWindowHandle window_;
};
