#pragma once
// TfrmBoardControls ("Images"): the pictures of the room's board image library. A row shows one
// picture for everybody on the current board (kind 127), "Refresh" asks for the list (kind 20), and
// "Delete" removes an entry for users with presenter rights.

#include <QAction>
#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

#include "board/engine/board_engine.h"
#include "protocol/records.h"

namespace Ui {
class TfrmBoardControls;
}

struct TBoardLibraryHooks {
    // Kind 20.
    std::function<void()> RequestList;
    // The own first or second level is 1000 or more.
    std::function<bool()> CanDelete;
    // TDM.SendDeleteResource with type 1 (asks first, then kind 39).
    std::function<void(const TResourceInfo&)> DeleteResource;
    std::function<void(const QString&)> ShowError;
};

class TfrmBoardControls final : public QWidget {
    Q_OBJECT
public:
    explicit TfrmBoardControls(QWidget* parent = nullptr);
    ~TfrmBoardControls() override;

    void SetEngine(orb::board::TBoardEngine* engine) { engine_ = engine; }
    TBoardLibraryHooks Hooks;

    // The reply to kind 20: the list is replaced; each row keeps its own copy of the record.
    void SetItems(const std::vector<TResourceInfo>& items);
    const TResourceInfo* Selected() const;
    Ui::TfrmBoardControls& Ui() const { return *ui_; }

    void Reload();
    void LoadSelected();
    void DeleteSelected();
    // WM_APP_RESOURCEDELETED: non-zero is a failure.
    void ResourceDeleted(int result);
    // WM_APP_RESOURCELISTCHANGED.
    void ResourceListChanged() { Reload(); }

    QAction* acReload = nullptr;
    QAction* acDelete = nullptr;
    QAction* acLoad = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void UpdateActions();
    std::unique_ptr<Ui::TfrmBoardControls> ui_;
    orb::board::TBoardEngine* engine_ = nullptr;
    std::vector<TResourceInfo> rows_;
};
