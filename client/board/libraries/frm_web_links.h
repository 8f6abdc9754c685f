#pragma once
// TfrmWebLinks: the room's web links. Adds a link, opens one in the guided browser for everybody
// and deletes entries through the data module; the list is its last kind 24 reply.

#include <QWidget>
#include <memory>

#include "library_list.h"

class TDM;

namespace Ui {
class TfrmWebLinks;
}

class TfrmWebLinks : public QWidget {
    Q_OBJECT
public:
    explicit TfrmWebLinks(QWidget* parent = nullptr);
    ~TfrmWebLinks() override;

    void Bind(TDM* dm);
    void Fill();
    orb::WindowHandle Handle() const { return window_.Handle(); }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Message(uint32_t msg, std::intptr_t wParam);
    void UpdateActions();
    void UploadLink();
    void ExecuteLink();
    void DeleteLink();

    std::unique_ptr<Ui::TfrmWebLinks> ui_;
    TDM* dm_ = nullptr;
    orb::library::TWindowHandle window_;
};
