// What the playback area adds to the test room server.
#include "roomserver/extensions.h"

namespace orb::test {

PRoomExtension InstallPlaybackExtension(TRoomExtensionContext&) { return nullptr; }

}  // namespace orb::test
