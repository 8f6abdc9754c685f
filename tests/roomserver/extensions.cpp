#include "roomserver/extensions.h"

namespace orb::test {

std::vector<PRoomExtension> InstallRoomExtensions(TRoomExtensionContext& context) {
    std::vector<PRoomExtension> all;
    for (auto install : {InstallParticipantsExtension, InstallChatExtension, InstallVoiceExtension,
                         InstallPlaybackExtension, InstallBoardExtension, InstallLibrariesExtension,
                         InstallPrintExtension, InstallPollsExtension, InstallVideoExtension,
                         InstallSharingExtension})
        if (PRoomExtension e = install(context)) all.push_back(std::move(e));
    return all;
}

}  // namespace orb::test
