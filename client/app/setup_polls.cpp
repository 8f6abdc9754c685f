// Polls and exams, server recording, breakout rooms: what the program binds for this area.
#include "program.h"

namespace orb {

void TProgram::SetupPolls() {}

}  // namespace orb
