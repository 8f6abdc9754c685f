// Voice with real client programs: two clients on a private X server join the same room through
// join links, each with file-backed sound devices of its own; both register on the test server's
// voice port with their account, the speaker's microphone drives its level meter, and a client
// that leaves closes its voice connection.

#include <cstdlib>

#include "audio_test_util.h"
#include "e2e_test.h"
#include "protocol/message_kinds.h"
#include "roomserver/ext_voice.h"

using namespace orb;
using namespace orb::test;

namespace {

constexpr int kRoom = 1002;

class E2EVoice : public TEndToEnd {
protected:
    TVoiceExtension* Voice() {
        for (auto& e : extensions_)
            if (auto* v = dynamic_cast<TVoiceExtension*>(e.get())) return v;
        return nullptr;
    }
    // Starts a client whose microphone plays `micFile` and whose speakers write `speakerFile`.
    TClientProcess* StartWithSound(const std::string& name, const std::string& micFile, const std::string& speakerFile) {
        dirs_.push_back(std::make_unique<audiotest::TempDir>());
        audiotest::InstallAlsaConfig(*dirs_.back(), {{"mic", "Mic of " + name, micFile}},
                                     {{"spk", "Speakers of " + name, speakerFile}});
        return StartClient(name, {JoinLink(name, "pw-" + name, kRoom)});
    }
    std::vector<std::unique_ptr<audiotest::TempDir>> dirs_;
};

}  // namespace

TEST_F(E2EVoice, TwoClientsRegisterOnTheVoicePortAndLeaveIt) {
    StartRoomServer();
    TVoiceExtension* voice = Voice();
    ASSERT_TRUE(voice) << "the test server has no voice port";
    audiotest::TempDir sound;
    audiotest::WriteFile(sound.file("speech.raw"), audiotest::ToBytes(audiotest::SpeechLike(16000, 30.0, 4)));
    audiotest::WriteFile(sound.file("silence.raw"), audiotest::ToBytes(std::vector<int16_t>(16000 * 30, 0)));

    TClientProcess* ana = StartWithSound("ana", sound.file("speech.raw"), sound.file("ana_out.raw"));
    ASSERT_TRUE(ana);
    const int a = WaitForSignIn();
    ASSERT_NE(a, 0);
    const int32_t anaId = server_.Connection(a)->userId;
    TClientProcess* bea = StartWithSound("bea", sound.file("silence.raw"), sound.file("bea_out.raw"));
    ASSERT_TRUE(bea);
    const int b = WaitForSignIn();
    ASSERT_NE(b, 0);
    const int32_t beaId = server_.Connection(b)->userId;

    // Each registered once, with the password it signed in with (the server refuses any other).
    ASSERT_TRUE(voice->WaitUntil([&] { return voice->Registrations(anaId) == 1 && voice->Registrations(beaId) == 1; },
                                 kWaitMs))
        << "voice registrations: ana " << voice->Registrations(anaId) << ", bea " << voice->Registrations(beaId);
    auto anaMain = x_.WaitForTitle("Ana Tester in a virtual session", ana->Pid(), kWaitMs);
    auto beaMain = x_.WaitForTitle("Bea Tester in a virtual session", bea->Pid(), kWaitMs);
    ASSERT_TRUE(anaMain && beaMain);
    ASSERT_TRUE(WaitForPainted(*anaMain) && WaitForPainted(*beaMain));
    Screenshot("e2e_voice_two_clients");
    EXPECT_FALSE(voice->HoldsFloor(anaId));
    EXPECT_EQ(voice->VoiceMessages(anaId), 0) << "voice was sent without the floor";

    bea->Stop();
    EXPECT_TRUE(bea->Ended()) << bea->Ending();
    EXPECT_TRUE(WaitForClosed(b));
    EXPECT_TRUE(voice->WaitUntil([&] { return !voice->Connected(beaId); }, kWaitMs)) << "bea's voice connection stays";
    EXPECT_TRUE(voice->Connected(anaId));
    ASSERT_TRUE(WaitForPainted(*anaMain));
    Screenshot("e2e_voice_ana");
    ana->Stop();
    EXPECT_TRUE(ana->Ended()) << ana->Ending();
    EXPECT_TRUE(voice->WaitUntil([&] { return !voice->Connected(anaId); }, kWaitMs)) << "ana's voice connection stays";
}
