// The login dialog's loop (filled in with the dialog).
#include "dm/dm.h"

bool TDM::ShowLoginDialog() { return false; }
