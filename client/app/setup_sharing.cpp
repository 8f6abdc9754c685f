// Application sharing: session, viewer, settings and control bar: what the program binds for this area.
#include "program.h"

namespace orb {

void TProgram::SetupSharing() {}

}  // namespace orb
