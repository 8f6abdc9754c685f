// Whiteboard handlers.

#include "dm/dm.h"

// Not built yet: these messages are accepted and have no effect so far.

void TDM::HandleBoardStrokes() {}

void TDM::HandleBoardPointer() {}

void TDM::HandleAnsiBoardText() {}

void TDM::HandleBoardImage() {}

void TDM::HandleBoardContents() {}

void TDM::HandleClearBoard() {}

void TDM::HandleSelectBoard() {}

void TDM::HandleImageToBoard() {}

void TDM::HandleBoardText() {}
