// What the video area adds to the test room server.
#include "roomserver/extensions.h"

namespace orb::test {

PRoomExtension InstallVideoExtension(TRoomExtensionContext&) { return nullptr; }

}  // namespace orb::test
