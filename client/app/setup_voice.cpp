// Voice connection, remote audio control, audio wizard: what the program binds for this area.
#include "program.h"

namespace orb {

void TProgram::SetupVoice() {}

}  // namespace orb
