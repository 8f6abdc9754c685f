// What the sharing area adds to the test room server.
#include "roomserver/extensions.h"

namespace orb::test {

PRoomExtension InstallSharingExtension(TRoomExtensionContext&) { return nullptr; }

}  // namespace orb::test
