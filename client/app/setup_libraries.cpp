// Resource libraries, guided web tour, welcome and about windows: what the program binds for this area.
#include "program.h"

namespace orb {

void TProgram::SetupLibraries() {}

}  // namespace orb
