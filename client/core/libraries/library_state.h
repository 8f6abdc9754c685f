#pragma once
// The libraries' part of the data module: the last list of each library, the presentation being
// shown, the folder received documents go to, the windows the handlers post to, and the view that
// the windows implement.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "libraries/slide_show.h"
#include "loop/event_loop.h"
#include "protocol/records.h"

namespace orb {

// A document another participant asks everybody to open (kind 30), kept until the user answers.
struct TPushedDocument {
    TResourceInfo record;
    std::filesystem::path localPath;
    int32_t sender = 0;
    int32_t board = 0;
};

// What the handlers of the library kinds need of the windows. Unset: nothing happens, so the core
// runs without windows in tests.
class ILibraryView {
public:
    virtual ~ILibraryView() = default;
    // A list reply arrived (kind 18, 20, 24 or 49); the window refills from TLibraryState.
    virtual void ListChanged(uint16_t /*listKind*/) {}
    // The main area shows the whiteboard (0) or the guided browser (1).
    virtual void ShowMainView(int /*view*/) {}
    // The guided browser goes to a page for the requester (0: nobody to acknowledge).
    virtual void OpenPage(const std::string& /*address*/, int32_t /*requester*/, int32_t /*value*/,
                          const std::string& /*title*/) {}
    // Asks (without blocking) whether to download and open a pushed document; on Yes the window
    // calls TDM::AcceptPushedDocument.
    virtual void AskOpenDocument(const std::string& /*question*/, const TPushedDocument& /*document*/) {}
    // Yes/No question before a public resource is deleted.
    virtual bool Confirm(const std::string& /*question*/) { return false; }
    virtual void ShowError(const std::string& /*text*/) {}
};

struct TLibraryState {
    std::vector<TResourceInfo> documents;      // kind 18
    std::vector<TResourceInfo> boardImages;    // kind 20
    std::vector<TResourceInfo> webLinks;       // kind 24
    std::vector<TResourceInfo> presentations;  // kind 49
    TSlideShow slideShow;
    // Received documents, pictures and slides; emptied by ResetDownloadFolder.
    std::filesystem::path DownloadFolder;
    // Windows told about list changes, additions and deletions (the image library window is the
    // board area's: TDM::BoardControlsWindow).
    WindowHandle documentsWindow = 0;
    WindowHandle webLinksWindow = 0;

    std::vector<TResourceInfo>* List(uint16_t listKind);
};

inline constexpr const char* kDeleteResourceQuestion = "Are you sure you want to delete this public resource";

}  // namespace orb
