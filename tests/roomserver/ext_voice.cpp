// What the voice area adds to the test room server.
#include "roomserver/extensions.h"

namespace orb::test {

PRoomExtension InstallVoiceExtension(TRoomExtensionContext&) { return nullptr; }

}  // namespace orb::test
