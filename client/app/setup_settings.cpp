// Settings dialog: what the program binds for this area.
#include "program.h"

namespace orb {

void TProgram::SetupSettings() {}

}  // namespace orb
