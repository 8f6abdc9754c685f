// What the polls area adds to the test room server.
#include "roomserver/extensions.h"

namespace orb::test {

PRoomExtension InstallPollsExtension(TRoomExtensionContext&) { return nullptr; }

}  // namespace orb::test
