// Chat, session notes and requests; command actions and menus: what the program binds for this area.
#include "program.h"

namespace orb {

void TProgram::SetupChat() {}

}  // namespace orb
