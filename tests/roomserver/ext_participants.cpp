// What the participants area adds to the test room server.
#include "roomserver/extensions.h"

namespace orb::test {

PRoomExtension InstallParticipantsExtension(TRoomExtensionContext&) { return nullptr; }

}  // namespace orb::test
