#include "loop/event_loop.h"
// The interface is header-only; this unit anchors the library.
