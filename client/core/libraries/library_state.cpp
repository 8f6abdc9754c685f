#include "libraries/library_state.h"

#include "protocol/message_kinds.h"

namespace orb {

std::vector<TResourceInfo>* TLibraryState::List(uint16_t listKind) {
    switch (listKind) {
    case vkDocumentList: return &documents;
    case vkBoardImageList: return &boardImages;
    case vkWebLinkList: return &webLinks;
    case vkPresentationList: return &presentations;
    default: return nullptr;
    }
}

}  // namespace orb
