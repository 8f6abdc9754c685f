#pragma once
// Binds the data module's whiteboard handlers (kinds 11, 56, 61, 62, 79, 80, 81, 82, 126, 127
// and 132) to the object that checks their bodies and drives the board engine. Until a handler is
// bound these messages have no effect.

class TDM;

namespace orb::board {
class IBoardMessageHandler;
}

// nullptr unbinds.
void BindBoardMessages(TDM& dm, orb::board::IBoardMessageHandler* handler);
orb::board::IBoardMessageHandler* BoundBoardMessages(const TDM& dm);
