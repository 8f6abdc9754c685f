// What the chat area adds to the test room server.
#include "roomserver/extensions.h"

namespace orb::test {

PRoomExtension InstallChatExtension(TRoomExtensionContext&) { return nullptr; }

}  // namespace orb::test
