// Print path into presentations, presentation export: what the program binds for this area.
#include "program.h"

namespace orb {

void TProgram::SetupPrint() {}

}  // namespace orb
