// Board window and its tools: what the program binds for this area.
#include "program.h"

namespace orb {

void TProgram::SetupBoard() {}

}  // namespace orb
