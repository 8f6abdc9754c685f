// The data module's voice routines against the test room server: remote audio between a moderator
// and a participant (with the messages that must not answer or command), the room's forced codec
// and speaker count, reconnecting audio after the server drops it, and the floor gating the sending.
#include <gtest/gtest.h>

#include <set>

#include "audio/init_sound.h"
#include "audio/mixer.h"
#include "audio_test_util.h"
#include "dm/dm.h"
#include "loop/plain_event_loop.h"
#include "protocol/wm_app.h"
#include "voice/voice_thread.h"
#include "voice_test_env.h"

using namespace orb;
using namespace orb::audiotest;

namespace {

constexpr int16_t kRoom = 3;

struct TRecordingRemoteView : IRemoteAudioView {
    std::vector<std::pair<TRemoteAudioState, std::string>> shown;
    void ShowRemoteState(const TRemoteAudioState& s, const std::string& name) override { shown.emplace_back(s, name); }
};

// The main window's sliders as the data module sets them.
struct TRecordingVolumeView : IVolumeView {
    bool mic = false, boost = false, speakers = false;
    void SetVolumeHandlersAttached(bool) override {}
    void SetMicrophoneVolume(bool available, uint32_t) override { mic = available; }
    void SetMicrophoneBoost(bool enabled, bool) override { boost = enabled; }
    void SetSpeakerVolume(bool available, uint32_t) override { speakers = available; }
};

// A sound card whose mixer belongs to capture device 0 only: a capture volume on its capture
// destination and a boost switch on its microphone line. Notes the capture device ids asked for.
class TOneCardMixer final : public audio::IMixerSystem, public audio::IMixerDevice {
public:
    std::set<intptr_t> asked;
    uint32_t volume = 0;

    uint32_t NumDevs() override { return 1; }
    std::unique_ptr<audio::IMixerDevice> Open(intptr_t id, audio::MixerIdKind kind) override {
        if (kind == audio::MixerIdKind::WaveIn) asked.insert(id);
        if (kind == audio::MixerIdKind::WaveIn && id != 0) return nullptr;
        struct Handle final : audio::IMixerDevice {
            explicit Handle(TOneCardMixer& m) : m_(m) {}
            uint32_t Destinations() override { return m_.Destinations(); }
            bool Destination(uint32_t i, audio::MixerLineInfo& o) override { return m_.Destination(i, o); }
            bool Source(uint32_t d, uint32_t s, audio::MixerLineInfo& o) override { return m_.Source(d, s, o); }
            bool Controls(uint32_t l, std::vector<audio::MixerControlInfo>& o) override { return m_.Controls(l, o); }
            bool GetValues(uint32_t c, uint32_t n, std::vector<uint32_t>& o) override { return m_.GetValues(c, n, o); }
            bool SetValues(uint32_t c, const std::vector<uint32_t>& v) override { return m_.SetValues(c, v); }
            TOneCardMixer& m_;
        };
        return std::make_unique<Handle>(*this);
    }
    uint32_t Destinations() override { return 1; }
    bool Destination(uint32_t i, audio::MixerLineInfo& o) override {
        o = {1, audio::MixerLineType::DstWaveIn, "Capture", 1, 1};
        return i == 0;
    }
    bool Source(uint32_t d, uint32_t s, audio::MixerLineInfo& o) override {
        o = {2, audio::MixerLineType::SrcMicrophone, "Mic", 1, 0};
        return d == 0 && s == 0;
    }
    bool Controls(uint32_t line, std::vector<audio::MixerControlInfo>& o) override {
        if (line == 1) o = {{10, audio::MixerControlType::Volume, "Capture Volume"}};
        else o = {{20, audio::MixerControlType::OnOff, "Mic Boost"}};
        return line == 1 || line == 2;
    }
    bool GetValues(uint32_t c, uint32_t, std::vector<uint32_t>& o) override {
        o = {c == 10 ? volume : 0u};
        return true;
    }
    bool SetValues(uint32_t c, const std::vector<uint32_t>& v) override {
        if (c == 10 && !v.empty()) volume = v[0];
        return !v.empty();
    }
};

class VoiceDataModule : public ::testing::Test {
protected:
    void SetUp() override {
        WriteFile(dir_.file("mic.raw"), ToBytes(SpeechLike(16000, 4.0, 3)));
        InstallAlsaConfig(dir_, {{"mic", "Mic", dir_.file("mic.raw")}}, {{"spk", "Speaker", dir_.file("spk.raw")}});
        ASSERT_TRUE(vs_.Start());
    }
    void TearDown() override {
        for (auto& d : dms_) {
            d->StopVoiceThread();
            d->StopReaderThread();
            d->StopWriterThread();
        }
    }

    // A data module signed in as `user`, connected to the room server and sitting in kRoom.
    TDM& Connect(int32_t user, const std::string& name) {
        dms_.push_back(std::make_unique<TDM>(loop_, 900 + user));
        TDM& dm = *dms_.back();
        dm.OwnUserId = user;
        dm.OwnRoom = kRoom;
        dm.OwnLoginInfo.SetPassword("pw" + std::to_string(user));
        dm.OwnLoginInfo.SetUserId(user);
        dm.ServerHost = "127.0.0.1";
        dm.VoicePort = vs_.voice.Port();
        dm.VoiceCodecIndex = 2;
        dm.Speakers = 4;
        dm.AudioSettings = &settings_;
        dm.Participants.AddUser(user, name);
        vs_.voice.AddAccount(user, "pw" + std::to_string(user));
        const size_t before = vs_.server.Connections().size();
        EXPECT_TRUE(dm.vcrClient.Connect("127.0.0.1", vs_.server.Port(), 5000));
        EXPECT_TRUE(vs_.server.WaitForConnections(before + 1));
        auto c = vs_.server.Connection(vs_.server.Connections().back());
        c->userId = user;
        c->room = kRoom;
        dm.StartReaderThread();
        dm.StartWriterThread(1'000'000);
        return dm;
    }

    int ConnectionOf(int32_t user) {
        for (int id : vs_.server.Connections())
            if (vs_.server.Connection(id)->userId == user) return id;
        return -1;
    }

    // The same message as the room server would deliver it, handed to the dispatcher.
    static void Dispatch(TDM& dm, uint16_t kind, int32_t sender, uint16_t result, std::vector<uint8_t> body) {
        TVCRHeader h;
        h.kind = kind;
        h.sender = sender;
        h.room = kRoom;
        h.result = result;
        h.bodyLength = int32_t(body.size());
        auto stream = BuildPacketStream(h, body.data(), body.size());
        dm.DispatchCommand(h, stream);
    }
    static std::vector<uint8_t> I32(int32_t v) {
        std::vector<uint8_t> b;
        ByteWriter(b).i32(v);
        return b;
    }
    std::vector<PostedMessage> Posted(WindowHandle to, uint32_t msg) {
        std::vector<PostedMessage> out;
        for (auto& m : loop_.Log())
            if (m.target == to && m.msg == msg) out.push_back(m);
        return out;
    }
    size_t AnswersFrom(int32_t user) {
        size_t n = 0;
        for (auto& m : vs_.server.ReceivedOfKind(vkRemoteAudio)) n += m.header.sender == user;
        return n;
    }

    TempDir dir_;
    voicetest::TVoiceServer vs_{true};
    FakeClock clock_;
    PlainEventLoop loop_{clock_};
    Settings settings_;
    std::vector<std::unique_ptr<TDM>> dms_;
};

}  // namespace

TEST_F(VoiceDataModule, RemoteAudioQueryCommandAnswerAndNoLoops) {
    TDM& mod = Connect(10, "Mo Derator");
    TDM& pat = Connect(20, "Pat");
    TRecordingRemoteView view;
    mod.Voice.remoteAudioView = &view;
    mod.Participants.AddUser(20, "Pat");
    pat.Participants.AddUser(10, "Mo Derator").level = 1000;
    pat.Participants.AddUser(30, "Nobody").level = 1;

    ASSERT_TRUE(mod.SendRemoteAudioQuery(20));
    ASSERT_TRUE(loop_.RunUntil([&] { return view.shown.size() == 1; }));
    TRemoteAudioState a = view.shown[0].first;
    EXPECT_EQ(view.shown[0].second, "Pat");
    EXPECT_EQ(a.requester, 10);
    EXPECT_EQ(a.target, 20);
    EXPECT_EQ(a.command, 0);
    EXPECT_EQ(a.voiceStatus, 0);       // no voice thread
    EXPECT_EQ(a.playbackDevice, 0);    // the speaker's volume can be read
    EXPECT_EQ(a.speakerVolume, 0xFFFF);
    EXPECT_EQ(a.captureDevice, -1);    // no mixer here: not available
    EXPECT_EQ(a.boost, -1);
    EXPECT_EQ(a.bufferCount, -1);      // never on the wire

    // A command sets the volume, keeps the devices, and is answered with the new state.
    settings_.InputAudioQueueSizeEx = 3;
    ASSERT_TRUE(mod.SendRemoteAudioCommand(20, TRemoteAudioState::cmdApply, 0x4000, 0x1000, -1));
    ASSERT_TRUE(loop_.RunUntil([&] { return view.shown.size() == 2; }));
    EXPECT_EQ(view.shown[1].first.speakerVolume, 0x4000);
    EXPECT_EQ(view.shown[1].first.command, 1);
    uint32_t volume = 0;
    ASSERT_TRUE(media::GetWaveOutVolume(0, volume));
    EXPECT_EQ(volume, 0x4000u);
    EXPECT_EQ(settings_.AudioOutDeviceID, 0);
    EXPECT_EQ(settings_.InputAudioQueueSizeEx, 3);

    // Not to be answered or obeyed: a participant's command, our own message coming back, a query
    // whose sender is not its requester; not to be shown: an "answer" from someone else.
    const int patConn = ConnectionOf(20), modConn = ConnectionOf(10);
    auto body = [](int32_t requester, int32_t target, int32_t command) {
        TRemoteAudioState s;
        s.requester = requester;
        s.target = target;
        s.command = command;
        s.speakerVolume = 7;
        const auto b = s.Encode();
        return std::vector<uint8_t>(b.begin(), b.end());
    };
    const size_t answers = AnswersFrom(20);
    vs_.server.Send(patConn, vkRemoteAudio, body(30, 20, 1), 30, kRoom);
    vs_.server.Send(patConn, vkRemoteAudio, body(20, 20, 0), 20, kRoom);
    vs_.server.Send(patConn, vkRemoteAudio, body(30, 20, 0), 10, kRoom);
    vs_.server.Send(modConn, vkRemoteAudio, body(10, 20, 0), 30, kRoom);
    vs_.server.Send(patConn, vkRemoteAudio, std::vector<uint8_t>(39, 0), 10, kRoom);  // short
    // The last one is good: once it is answered, the others have been handled.
    ASSERT_TRUE(mod.SendRemoteAudioQuery(20));
    ASSERT_TRUE(loop_.RunUntil([&] { return view.shown.size() == 3; }));
    EXPECT_EQ(AnswersFrom(20), answers + 1);
    ASSERT_TRUE(media::GetWaveOutVolume(0, volume));
    EXPECT_EQ(volume, 0x4000u);
    EXPECT_EQ(view.shown[2].first.target, 20);
}

TEST_F(VoiceDataModule, SpeakerCountAndForcedCodec) {
    TDM& pat = Connect(20, "Pat");
    std::vector<std::string> chat;
    pat.VoiceHooks.AddChatLine = [&](const std::string& who, const std::string& text, uint32_t) {
        chat.push_back(who + ": " + text);
    };
    for (auto [sent, kept] : {std::pair{0, 1}, {9, 5}, {3, 3}}) {
        Dispatch(pat, vkMaxSpeakers, 10, 0, I32(sent));
        EXPECT_EQ(pat.Speakers, kept);
        EXPECT_EQ(pat.RoomInfo.Speakers(), kept);
    }
    Dispatch(pat, vkMaxSpeakers, 10, 0, {1, 2});  // short: unchanged
    EXPECT_EQ(pat.Speakers, 3);
    ASSERT_TRUE(pat.SendMaxSpeakers(0));
    ASSERT_TRUE(pat.SendMaxSpeakers(9));
    ASSERT_TRUE(vs_.server.WaitForKind(vkMaxSpeakers, 2));
    auto counts = vs_.server.ReceivedOfKind(vkMaxSpeakers);
    EXPECT_EQ(counts[0].body, I32(1));
    EXPECT_EQ(counts[1].body, I32(5));

    // A refusal is told to the main window only when it answers our own change.
    Dispatch(pat, vkForcedCodec, 10, 7, I32(1));
    Dispatch(pat, vkForcedCodec, 20, 42, I32(1));
    loop_.ProcessPending();
    auto failed = Posted(920, WM_APP_AUDIOSETTINGFAILED);
    ASSERT_EQ(failed.size(), 1u);
    EXPECT_EQ(failed[0].wParam, 42);
    // Codec indexes outside the room's rows change nothing.
    for (int32_t bad : {-1, 8, 20, 22}) Dispatch(pat, vkForcedCodec, 10, 0, I32(bad));
    EXPECT_EQ(pat.VoiceCodecIndex, 2);
    EXPECT_TRUE(chat.empty());

    // GSM for the room: a notice, and two seconds later the voice connection is rebuilt with it.
    Dispatch(pat, vkForcedCodec, 10, 0, I32(0));
    EXPECT_EQ(pat.VoiceCodecIndex, 0);
    EXPECT_EQ(pat.RoomInfo.VoiceCodecIndex(), 0);
    ASSERT_EQ(chat.size(), 1u);
    EXPECT_EQ(chat[0], "Audio: The moderator forced an audio setting change. Orbelo will now try to reestablish your "
                       "audio connection. ");
    loop_.ProcessPending();
    EXPECT_FALSE(pat.Voice.thread);
    clock_.Advance(2000);
    loop_.ProcessPending();
    ASSERT_TRUE(pat.Voice.thread);
    EXPECT_EQ(pat.Voice.thread->CodecFormat().formatTag, audio::kWaveFormatGsm610);
    EXPECT_EQ(pat.Voice.thread->PlayerCount(), 3u);
    EXPECT_EQ(vs_.voice.Registrations(20), 1);
    EXPECT_EQ(chat.back(), "System: The audio connection was re-established.");
}

TEST_F(VoiceDataModule, ReconnectAudioAfterTheServerDropsIt) {
    TDM& pat = Connect(20, "Pat");
    std::vector<std::string> asked, errors, chat;
    bool answer = false;
    int sessionReconnects = 0;
    pat.SessionHooks.AskYesNo = [&](const std::string& t) {
        asked.push_back(t);
        return answer;
    };
    pat.SessionHooks.ShowError = [&](const std::string& t) { errors.push_back(t); };
    pat.VoiceHooks.AddChatLine = [&](const std::string&, const std::string& t, uint32_t) { chat.push_back(t); };
    pat.VoiceHooks.ReconnectSession = [&] { ++sessionReconnects; };

    ASSERT_EQ(pat.StartRoomVoice(kRoom, 20), 0);
    ASSERT_TRUE(vs_.voice.WaitUntil([&] { return vs_.voice.Registrations(20) == 1; }));
    vs_.voice.DropVoice(20);
    ASSERT_TRUE(loop_.RunUntil([&] { return !Posted(920, WM_APP_AUDIOSTATE).empty() &&
                                            Posted(920, WM_APP_AUDIOSTATE).back().wParam == 3; }));
    EXPECT_EQ(pat.ReconnectAudio(), 0);
    EXPECT_EQ(vs_.voice.Registrations(20), 2);
    EXPECT_EQ(chat, std::vector<std::string>{"The audio connection was re-established."});
    EXPECT_TRUE(pat.Voice.thread && pat.Voice.thread->Connected());

    // Refused: state 4, and the offer to reconnect the session (declined).
    vs_.voice.SetRefusal(42);
    EXPECT_EQ(pat.ReconnectAudio(), 42);
    loop_.ProcessPending();
    EXPECT_EQ(Posted(920, WM_APP_AUDIOSTATE).back().wParam, 4);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0], "Orbelo is unable to restore your audio. Do you want to try to reconnect to the session?");
    EXPECT_FALSE(pat.Voice.thread);

    // Unreachable while the room connection works: wait and try again.
    pat.VoicePort = 1;
    EXPECT_EQ(pat.ReconnectAudio(), 13);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "Orbelo is unable to restore your audio.\r\nThis may be because you have temporaryly lost "
                         "your Internet connection. \r\nPlease wait for a few seconds and try again. ");
    // Unreachable after the room connection was lost: the session is reconnected on Yes.
    pat.Room.ConnectionState = 1;
    answer = true;
    EXPECT_EQ(pat.ReconnectAudio(), 13);
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[1], "Orbelo is unable to restore your audio.\r\nYour connection to the server was lost.\r\nThis "
                        "may be because you have temporarily lost your Internet connection. \r\nDo you want to try "
                        "to reconnect to the session?");
    EXPECT_EQ(sessionReconnects, 1);

    // Reconnected, but the microphone cannot be opened any more: not restored audio, asked as such;
    // the others are still heard.
    pat.VoicePort = vs_.voice.Port();
    vs_.voice.SetRefusal(0);
    pat.Room.ConnectionState = 0;
    answer = false;
    InstallAlsaConfig(dir_, {{"mic", "Mic", "", true}}, {{"spk", "Speaker", dir_.file("spk.raw")}});
    EXPECT_EQ(pat.ReconnectAudio(), TVoiceThread::kResultAudioFailed);
    ASSERT_EQ(asked.size(), 3u);
    EXPECT_EQ(asked[2], asked[0]);
    ASSERT_TRUE(pat.Voice.thread);
    EXPECT_TRUE(pat.Voice.thread->Connected());
    EXPECT_FALSE(pat.Voice.thread->Capturing());
}

// Speak asks for the floor; only the server's grant lets buffers out, and giving the floor up
// stops them at once.
TEST_F(VoiceDataModule, NothingIsSentWithoutTheFloor) {
    TDM& pat = Connect(20, "Pat");
    pat.RoomHooks.SetTransmit = [&](bool on) { pat.SetVoiceTransmit(on); };
    // The floor handlers' part: the grant or release of the own user switches the sending.
    pat.DispatchObserver = [&](const TVCRHeader& h, std::span<const uint8_t>) {
        if (h.sender == 20 && (h.kind == vkTakeMicrophone || h.kind == vkReleaseMicrophone))
            pat.SetVoiceTransmit(h.kind == vkTakeMicrophone);
    };
    ASSERT_EQ(pat.StartRoomVoice(kRoom, 20), 0);
    std::atomic<int> sent{0};
    pat.Voice.thread->OnSent = [&](const uint8_t*, size_t) { ++sent; };
    auto micLevels = [&](intptr_t transmit) {
        size_t n = 0;
        for (auto& m : Posted(920, WM_APP_MICLEVEL)) n += m.lParam == transmit;
        return n;
    };
    ASSERT_TRUE(loop_.RunUntil([&] { return micLevels(0) >= 2; }));
    EXPECT_EQ(sent, 0);
    pat.SpeakToggle();
    EXPECT_EQ(sent, 0);  // asked, not granted yet
    ASSERT_TRUE(loop_.RunUntil([&] { return sent >= 2; }));
    EXPECT_TRUE(vs_.voice.HoldsFloor(20));
    pat.SpeakToggle();
    const int atRelease = sent;
    const size_t quiet = micLevels(0);
    ASSERT_TRUE(loop_.RunUntil([&] { return micLevels(0) >= quiet + 2; }));
    EXPECT_EQ(sent, atRelease);
    ASSERT_TRUE(vs_.voice.WaitUntil([&] { return vs_.voice.VoiceMessages(20) == atRelease; }));
}

// The chosen microphone and speakers are past the end of their lists (unplugged since): the voice
// opens the default devices and says so in the chat, and the volume controls follow the devices
// opened (both sliders and the boost enabled, the stored volumes set on them), before the voice runs,
// while it runs and after it stopped.
TEST_F(VoiceDataModule, VolumeControlsFollowTheDefaultDevicesThatMissingOnesGaveWayTo) {
    TOneCardMixer mixer;
    audio::SetMixers(&mixer);
    struct Restore {
        ~Restore() { audio::SetMixers(nullptr); }
    } restore;
    settings_.AudioInDeviceID = 3;
    settings_.AudioOutDeviceID = 3;
    settings_.StoredMicVolume = 41000;
    settings_.StoredWavVolume = 23000;
    TDM& pat = Connect(20, "Pat");
    TRecordingVolumeView view;
    pat.Voice.volumeView = &view;
    std::vector<std::string> chat;
    pat.VoiceHooks.AddChatLine = [&](const std::string&, const std::string& t, uint32_t) { chat.push_back(t); };
    auto sliders = [&](const char* when) {
        SCOPED_TRACE(when);
        view = {};
        pat.InitVolumeControls();
        EXPECT_TRUE(view.mic);
        EXPECT_TRUE(view.boost);
        EXPECT_TRUE(view.speakers);
        EXPECT_EQ(pat.Voice.volumeCaptureDevice, 0);
        EXPECT_EQ(pat.Voice.volumePlaybackDevice, 0);
    };
    sliders("before the voice runs");
    ASSERT_EQ(pat.StartRoomVoice(kRoom, 20), 0);
    ASSERT_TRUE(pat.Voice.thread->Capturing());
    EXPECT_EQ(chat, (std::vector<std::string>{"The chosen microphone is not available; the default microphone is used.",
                                              "The chosen speakers are not available; the default speakers are used."}));
    EXPECT_EQ(mixer.volume, 41000u);
    uint32_t wave = 0;
    EXPECT_TRUE(media::GetWaveOutVolume(0, wave));
    EXPECT_EQ(wave, 23000u);
    sliders("while it runs");
    pat.StopVoiceThread();
    sliders("after it stopped");
    EXPECT_EQ(mixer.asked, std::set<intptr_t>{0}) << "a mixer was asked for by the missing device";
    pat.Voice.volumeView = nullptr;
}
