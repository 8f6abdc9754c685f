// Polls, server recording and breakout rooms: the senders and commands of the data module.

#include "dm/dm.h"
#include "polls/poll_store.h"
#include "util/answers.h"
#include "wire/text.h"

namespace {
constexpr size_t kBreakoutNameBytes = 199;

// Room numbers travel as 16 bits in the header.
bool ValidRoom(int32_t room) { return room > 0 && room <= 32767; }
}  // namespace

bool TDM::SendPoll(int32_t target, uint16_t type, const std::string& question, bool mustReply, bool multipleAnswers,
                   uint32_t answerMask) {
    if (!vcrClient.Connected()) return false;
    ClearStatusIcons();
    TPollInfo p;
    p.id = int32_t(uint32_t(Loop().Clock().NowMs()));
    p.fromId = OwnUserId;
    p.toId = target;
    p.pingType = type;
    p.mustReply = mustReply ? 1 : 0;
    p.multipleAns = multipleAnswers ? 1 : 0;
    p.answerMask = int32_t(answerMask & orb::kAnswerMaskBits);
    p.question = orb::CutUtf8(question, orb::polls::kQuestionBytes);
    std::vector<uint8_t> body;
    orb::ByteWriter w(body);
    p.Encode(w);
    return SendCommand(vkPoll, body);
}

bool TDM::SendPollAnswer(int32_t pollSender, int32_t answer) {
    if (answer < 1 || answer > orb::kAnswerCount) return false;
    std::vector<uint8_t> body;
    orb::ByteWriter w(body);
    w.i32(pollSender);
    w.i32(answer);
    return SendCommand(vkPollAnswer, body);
}

bool TDM::SendStartServerRecording() {
    orb::TLoginRequest r;
    r.userId = 0;
    r.password = RecorderPassword;
    r.userName = RecorderUserName;
    const auto bytes = r.Encode();
    return SendCommand(vkStartRecording, bytes);
}

bool TDM::SendStopServerRecording() { return SendCommand(vkStopRecording); }
bool TDM::SendPauseServerRecording() { return SendCommand(vkPauseRecording); }

bool TDM::StartRecordingCommand() { return !ServerRecording && SendStartServerRecording(); }
bool TDM::StopRecordingCommand() { return ServerRecording && SendStopServerRecording(); }
bool TDM::PauseRecordingCommand() { return ServerRecording && SendPauseServerRecording(); }

bool TDM::SendCreateBreakoutRoom(const std::string& name) {
    std::vector<uint8_t> body;
    orb::ByteWriter(body).shortString(kBreakoutNameBytes, orb::CutUtf8(name, kBreakoutNameBytes));
    return SendCommand(vkCreateBreakoutRoom, body);
}

bool TDM::SendBreakoutRoomListRequest() { return SendCommand(vkBreakoutRoomList); }

bool TDM::SendBreakoutMembersRequest(int32_t room) {
    std::vector<uint8_t> body;
    orb::ByteWriter(body).i32(room);
    return SendCommand(vkBreakoutMembers, body);
}

bool TDM::SendMoveToRoom(int32_t user, int32_t room) {
    if (user == 0 || !ValidRoom(room)) return false;
    std::vector<uint8_t> body;
    orb::ByteWriter w(body);
    w.i32(user);
    w.i32(room);
    return SendCommand(vkMoveToRoom, body);
}

bool TDM::StartPoll(const std::string& question, uint32_t answerMask, bool mustReply, bool multipleAnswers) {
    const std::string q = orb::polls::RecordQuestion(question);
    if (q.empty() || (answerMask & orb::kAnswerMaskBits) == 0) return false;
    PollResults.Clear();
    PollResults.question = q;
    if (PollsHooks.PollResultsChanged) PollsHooks.PollResultsChanged();
    return SendPoll(0, TPollInfo::ptPoll, q, mustReply, multipleAnswers, answerMask);
}

bool TDM::MoveByDrop(const orb::polls::TBreakoutNode& dragged, const orb::polls::TBreakoutNode& target) {
    auto move = orb::polls::DropMove(dragged, target);
    return move && SendMoveToRoom(move->user, move->room);
}

int TDM::ReturnAllToMainRoom() {
    int sent = 0;
    for (const auto& m : Breakout.ReturnAllMoves(MainRoomNumber)) sent += SendMoveToRoom(m.user, m.room);
    return sent;
}
