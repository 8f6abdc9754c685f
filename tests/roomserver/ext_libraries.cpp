// What the libraries area adds to the test room server.
#include "roomserver/extensions.h"

namespace orb::test {

PRoomExtension InstallLibrariesExtension(TRoomExtensionContext&) { return nullptr; }

}  // namespace orb::test
