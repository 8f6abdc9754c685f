// Web cams: video connection, capture, codec, video windows: what the program binds for this area.
#include "program.h"

namespace orb {

void TProgram::SetupVideo() {}

}  // namespace orb
