// Recorded sessions: download, replay and the player window: what the program binds for this area.
#include "program.h"

namespace orb {

void TProgram::SetupPlayback() {}

}  // namespace orb
