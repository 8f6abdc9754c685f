// What the board area adds to the test room server.
#include "roomserver/extensions.h"

namespace orb::test {

PRoomExtension InstallBoardExtension(TRoomExtensionContext&) { return nullptr; }

}  // namespace orb::test
