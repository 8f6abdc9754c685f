#pragma once
// A connection lost during room entry: the test room server drops the first connection that
// reaches a step of the entry, once; later connections pass.

#include <cstdint>

namespace orb::test {

class TRoomServer;

enum class TEntryStep {
    AfterLogin,         // at the first message after the sign-in (before any room is asked for)
    AfterEntryRequest,  // when the room-entry request (kind 75) arrives, before it is answered
    BeforeRights,       // when the user-rights request (kind 115) arrives: entered, not yet given rights
};

const char* EntryStepName(TEntryStep step);

// Sets the server's gate (before it starts or while it runs).
void DropOnceAt(TRoomServer& server, TEntryStep step);

}  // namespace orb::test
