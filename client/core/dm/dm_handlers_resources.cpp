// Resource library and guided browser handlers.

#include "dm/dm.h"

// Upload and download replies belong to the transfer connections; on the room
// connection they are accepted and nothing is done.
void TDM::HandleTransferReply() {}

// Not built yet: these messages are accepted and have no effect so far.

void TDM::HandleResourceList() {}

void TDM::HandleWebLinkAdded() {}

void TDM::HandleOpenResource() {}

void TDM::HandleResourceDeleted() {}

void TDM::HandleBrowserClosed() {}

void TDM::HandleViewMode() {}

void TDM::HandleWebPage() {}
