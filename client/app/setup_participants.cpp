// Participants, rights and moderation; profile card and editor: what the program binds for this area.
#include "program.h"

namespace orb {

void TProgram::SetupParticipants() {}

}  // namespace orb
