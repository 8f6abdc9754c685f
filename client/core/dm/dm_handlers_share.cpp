// Application and pane sharing handlers.

#include "dm/dm.h"

// Accepted and ignored.
void TDM::HandleKind88() {}

// Accepted and ignored.
void TDM::HandleKind89() {}

// Accepted and ignored.
void TDM::HandleKind90() {}

// Accepted and ignored.
void TDM::HandleKind94() {}

// Not built yet: these messages are accepted and have no effect so far.

void TDM::HandleShareStarted() {}

void TDM::HandleShareStopped() {}

void TDM::HandleSharePanes() {}

void TDM::HandleShareCursor() {}

void TDM::HandleShareDescriptor() {}

void TDM::HandleAppShareStart() {}

void TDM::HandleAppShareStop() {}

void TDM::HandleAppShareFrame() {}

void TDM::HandleRemoteControl() {}

void TDM::HandleShareState() {}
