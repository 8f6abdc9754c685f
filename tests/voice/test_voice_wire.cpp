// The voice connection on the wire: registration bytes, refusals, the capture gates, keep-alive on
// the fake clock, and the checks an incoming message passes before it is read or decoded.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <thread>

#include "audio/init_sound.h"
#include "audio_test_util.h"
#include "loop/plain_event_loop.h"
#include "net/tcp_listener.h"
#include "protocol/wm_app.h"
#include "voice/voice_records.h"
#include "voice/voice_state.h"
#include "voice/voice_thread.h"
#include "voice_test_env.h"

using namespace orb;

namespace {

constexpr WindowHandle kMain = 900;

// No microphone can be opened here, so only the buffers a test hands in are sent.
class AlsaWithoutMicrophone : public ::testing::Environment {
public:
    void SetUp() override {
        dir_ = std::make_unique<audiotest::TempDir>();
        audiotest::InstallAlsaConfig(*dir_, {{"mic_broken", "Broken Mic", "", true}},
                                     {{"spk", "Speaker", dir_->file("out.raw")}});
    }
    void TearDown() override { dir_.reset(); }

private:
    std::unique_ptr<audiotest::TempDir> dir_;
};
[[maybe_unused]] ::testing::Environment* const g_alsa = ::testing::AddGlobalTestEnvironment(new AlsaWithoutMicrophone);

std::vector<uint8_t> Hex(std::initializer_list<int> bytes) { return {bytes.begin(), bytes.end()}; }

// A half-second buffer of 16-bit samples whose peak is `peak` on the 0..1000 scale.
std::vector<uint8_t> BufferWithPeak(const audio::WaveFormat& pcm, int peak) {
    std::vector<uint8_t> b(pcm.avgBytesPerSec / 2);
    const int16_t top = int16_t(std::ceil(peak * 32767.0 / 1000.0));
    for (size_t i = 0; i + 1 < b.size(); i += 2) {
        const int16_t v = int16_t(top * std::sin(double(i) / 7.0));
        b[i] = uint8_t(v & 0xFF);
        b[i + 1] = uint8_t(uint16_t(v) >> 8);
    }
    // The peak sample itself, exactly.
    b[0] = uint8_t(top & 0xFF);
    b[1] = uint8_t(uint16_t(top) >> 8);
    return b;
}

std::vector<PostedMessage> Of(const std::vector<PostedMessage>& log, uint32_t msg) {
    std::vector<PostedMessage> out;
    for (auto& m : log)
        if (m.msg == msg) out.push_back(m);
    return out;
}

}  // namespace

TEST(VoiceRecords, RegistrationAndRemoteAudioBytesFollowTheirTables) {
    TVoiceRegistration reg;
    reg.userId = 0x01020304;
    reg.password = std::string(60, 'p');  // cut to its first 50
    reg.room = 1002;
    const auto login = reg.LoginPart();
    ASSERT_EQ(login.size(), 106u);
    EXPECT_EQ(std::vector<uint8_t>(login.begin(), login.begin() + 5), Hex({0x04, 0x03, 0x02, 0x01, 50}));
    EXPECT_EQ(std::string(login.begin() + 5, login.begin() + 55), std::string(50, 'p'));
    EXPECT_EQ(login[55], 0);  // empty user name
    EXPECT_TRUE(std::all_of(login.begin() + 56, login.end(), [](uint8_t b) { return b == 0; }));
    const auto room = reg.RoomPart();
    EXPECT_EQ(std::vector<uint8_t>(room.begin(), room.end()), Hex({0xEA, 0x03}));

    TRemoteAudioState s;
    s.requester = 7;
    s.target = 9;
    s.voiceStatus = 1;
    s.playbackDevice = 2;
    s.speakerVolume = 0x1234;
    s.captureDevice = -1;
    s.micVolume = 0xFFFF;
    s.boost = 1;
    s.command = 2;
    const auto bytes = s.Encode();
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.end()),
              Hex({7, 0, 0, 0, 9, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 0x34, 0x12, 0xFF, 0xFF, 0xFF, 0xFF,
                   0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 1, 0, 0, 0, 2, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}));
    TRemoteAudioState back;
    ASSERT_TRUE(TRemoteAudioState::Decode(bytes, back));
    EXPECT_EQ(back, s);
    EXPECT_FALSE(TRemoteAudioState::Decode(std::span<const uint8_t>(bytes.data(), 39), back));
}

TEST(VoiceRecords, IncomingHeadersAreCheckedBeforeTheBodyIsRead) {
    struct Row {
        uint16_t kind;
        int32_t length;
        uint16_t result;
        uint32_t align;
        TVoiceAction action;
    } rows[] = {
        {vkVoiceIn, 65, 0, 65, TVoiceAction::Play},
        {vkVoiceIn, 130, 0, 65, TVoiceAction::Play},
        {vkVoiceIn, 64, 0, 65, TVoiceAction::Ignore},           // not whole codec blocks
        {vkVoiceIn, 0, 0, 65, TVoiceAction::Ignore},            // empty
        {vkVoiceIn, 65, 3, 65, TVoiceAction::Ignore},           // an error result
        {vkKeepAlive, 10, 0, 65, TVoiceAction::Ignore},         // other kinds are read and dropped
        {vkVoiceIn, 65536, 0, 2, TVoiceAction::Play},           // the cap itself
        {vkVoiceIn, 65537, 0, 1, TVoiceAction::Disconnect},     // above 64 KiB
        {vkKeepAlive, 1 << 30, 0, 1, TVoiceAction::Disconnect},
        {vkVoiceIn, -1, 0, 1, TVoiceAction::Disconnect},
        {vkVoiceIn, 32, 0, 0, TVoiceAction::Ignore},            // no codec: nothing to play
    };
    for (const Row& r : rows) {
        TVCRHeader h;
        h.kind = r.kind;
        h.bodyLength = r.length;
        h.result = r.result;
        EXPECT_EQ(ClassifyVoiceMessage(h, r.align), r.action) << r.kind << " " << r.length << " " << r.align;
    }
    EXPECT_TRUE(IsRoomCodecIndex(0) && IsRoomCodecIndex(7));
    EXPECT_FALSE(IsRoomCodecIndex(-1) || IsRoomCodecIndex(8) || IsRoomCodecIndex(20));
}

// A raw voice server: reads the registration in the pieces it arrives in and answers a result.
TEST(VoiceConnect, SendsTheRegistrationAndPassesTheServersResultOn) {
    for (uint16_t answer : {uint16_t(0), uint16_t(7)}) {
        TTcpListener listener;
        ASSERT_TRUE(listener.Listen("127.0.0.1", 0));
        std::vector<uint8_t> got;
        std::thread server([&] {
            TTcpClient c;
            c.Adopt(listener.Accept(5000));
            got.resize(108);
            if (!c.ReadExact(got.data(), got.size())) got.clear();
            TVCRHeader h;
            h.result = answer;
            std::array<uint8_t, 22> raw{};
            h.Encode(raw.data());
            c.WriteAll(raw.data(), raw.size());
        });
        FakeClock clock;
        PlainEventLoop loop(clock);
        TVoiceThread t(loop, 2, kMain, 1002, 501, 4, {});
        ASSERT_TRUE(t.AudioReady());
        EXPECT_EQ(t.ConnectVoice("127.0.0.1", listener.Port(), 1002, "secret", 501), answer);
        server.join();
        std::vector<uint8_t> expected(108, 0);
        expected[0] = 0xF5, expected[1] = 0x01;  // 501
        expected[4] = 6;
        std::memcpy(expected.data() + 5, "secret", 6);
        expected[106] = 0xEA, expected[107] = 0x03;  // 1002
        EXPECT_EQ(got, expected);
    }
}

TEST(VoiceConnect, UnreachableOrSilentServerGives13AndRefusalsComeThrough) {
    FakeClock clock;
    PlainEventLoop loop(clock);
    {
        uint16_t port = 0;
        {
            TTcpListener gone;
            ASSERT_TRUE(gone.Listen("127.0.0.1", 0));
            port = gone.Port();
        }
        TVoiceThread t(loop, 0, kMain, 1, 5, 2, {});
        EXPECT_EQ(t.ConnectVoice("127.0.0.1", port, 1, "x", 5), 13);
    }
    {
        // The server hangs up before it answers.
        TTcpListener listener;
        ASSERT_TRUE(listener.Listen("127.0.0.1", 0));
        std::thread server([&] {
            TTcpClient c;
            c.Adopt(listener.Accept(5000));
            std::array<uint8_t, 108> reg{};
            c.ReadExact(reg.data(), reg.size());
            c.Disconnect();
        });
        TVoiceThread t(loop, 0, kMain, 1, 5, 2, {});
        EXPECT_EQ(t.ConnectVoice("127.0.0.1", listener.Port(), 1, "x", 5), 13);
        server.join();
    }
    voicetest::TVoiceServer vs;
    ASSERT_TRUE(vs.Start());
    vs.voice.AddAccount(5, "right");
    TVoiceThread wrong(loop, 0, kMain, 1, 5, 2, {});
    EXPECT_EQ(wrong.ConnectVoice("127.0.0.1", vs.voice.Port(), 1, "wrong", 5), 1);
    vs.voice.SetRefusal(42);
    TVoiceThread refused(loop, 0, kMain, 1, 5, 2, {});
    EXPECT_EQ(refused.ConnectVoice("127.0.0.1", vs.voice.Port(), 1, "right", 5), 42);
    EXPECT_EQ(vs.voice.Registrations(5), 0);
}

TEST(VoiceAudio, UnknownCodecOrMissingSpeexLeavesTheAudioUnready) {
    FakeClock clock;
    PlainEventLoop loop(clock);
    for (int index : {-1, 8, 19, 23}) EXPECT_FALSE(TVoiceThread(loop, index, kMain, 1, 5, 2, {}).AudioReady()) << index;
    audio::AcmSetDrivers({audio::MakePcmDriver(), audio::MakeGsmDriver()});
    EXPECT_FALSE(TVoiceThread(loop, 2, kMain, 1, 5, 2, {}).AudioReady());
    EXPECT_TRUE(TVoiceThread(loop, 0, kMain, 1, 5, 2, {}).AudioReady());
    audio::AcmResetDrivers();
    // More speakers than the thread keeps formats for share six players.
    EXPECT_EQ(TVoiceThread(loop, 2, kMain, 1, 5, 9, {}).PlayerCount(), 6u);
}

// The gates of a capture buffer and the keep-alive, seen at the server.
TEST(VoiceSend, SilenceGateThenFloorThenKeepAliveOnTheFakeClock) {
    voicetest::TVoiceServer vs;
    ASSERT_TRUE(vs.Start());
    vs.voice.AddAccount(5, "pw");
    FakeClock clock;
    PlainEventLoop loop(clock);
    TVoiceThread t(loop, 20, kMain, 1, 5, 2, {});  // PCM: the sent bytes are the captured ones
    ASSERT_TRUE(t.AudioReady());
    ASSERT_EQ(t.ConnectVoice("127.0.0.1", vs.voice.Port(), 1, "pw", 5), 0);
    t.Resume();
    const auto pcm = t.PcmFormat();
    auto sent = [&] { return vs.voice.VoiceMessages(5); };

    // Suppression on, threshold 20: 19 is silence, 20 is voice; nothing is sent without the floor.
    t.SetSilenceSuppression(true);
    t.SetSilenceThreshold(20);
    auto quiet = BufferWithPeak(pcm, 19), loud = BufferWithPeak(pcm, 20);
    t.OnMicBuffer(loud.data(), uint32_t(loud.size()));
    t.SetTransmit(true);
    t.OnMicBuffer(quiet.data(), uint32_t(quiet.size()));
    t.OnMicBuffer(loud.data(), uint32_t(loud.size()));
    ASSERT_TRUE(vs.voice.WaitUntil([&] { return sent() == 1; })) << loop.Log().size() << " " << t.Connected();
    // Suppression off: the quiet buffer goes too; after the floor is given up nothing goes.
    t.SetSilenceSuppression(false);
    t.OnMicBuffer(quiet.data(), uint32_t(quiet.size()));
    ASSERT_TRUE(vs.voice.WaitUntil([&] { return sent() == 2; }));
    t.SetTransmit(false);
    t.OnMicBuffer(loud.data(), uint32_t(loud.size()));
    t.OnMicBuffer(nullptr, 0);  // an empty buffer is not even measured

    loop.ProcessPending();
    auto levels = Of(loop.TakeLog(), WM_APP_MICLEVEL);
    ASSERT_EQ(levels.size(), 5u);
    const std::pair<intptr_t, intptr_t> expected[] = {{20, 0}, {19, 1}, {20, 1}, {19, 1}, {20, 0}};
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(levels[i].wParam, expected[i].first) << i;
        EXPECT_EQ(levels[i].lParam, expected[i].second) << i;
    }

    // Keep-alive every 60 s while not transmitting; none at a tick while transmitting.
    clock.Advance(59'999);
    loop.ProcessPending();
    clock.Advance(1);
    loop.ProcessPending();
    ASSERT_TRUE(vs.voice.WaitUntil([&] { return vs.voice.KeepAlives(5) == 1; }));
    t.SetTransmit(true);
    clock.Advance(60'000);
    loop.ProcessPending();
    t.SetTransmit(false);
    clock.Advance(60'000);
    loop.ProcessPending();
    ASSERT_TRUE(vs.voice.WaitUntil([&] { return vs.voice.KeepAlives(5) == 2; }));
    EXPECT_EQ(sent(), 2);
    t.Stop();
}

// GSM takes 320 samples a block: a shorter buffer encodes to nothing yet, and nothing is sent for
// it (no empty kind 9); the samples go in front of the next buffer.
TEST(VoiceSend, AnEncodeThatYieldsNothingSendsNothing) {
    voicetest::TVoiceServer vs;
    ASSERT_TRUE(vs.Start());
    vs.voice.AddAccount(5, "pw");
    FakeClock clock;
    PlainEventLoop loop(clock);
    TVoiceThread t(loop, 0, kMain, 1, 5, 2, {});
    std::vector<size_t> sizes;
    t.OnSent = [&](const uint8_t*, size_t n) { sizes.push_back(n); };
    ASSERT_EQ(t.ConnectVoice("127.0.0.1", vs.voice.Port(), 1, "pw", 5), 0);
    t.SetSilenceSuppression(false);
    t.SetTransmit(true);
    const auto shortBuffer = BufferWithPeak(t.PcmFormat(), 500);
    t.OnMicBuffer(shortBuffer.data(), 400);  // 200 samples
    EXPECT_TRUE(sizes.empty());
    t.OnMicBuffer(shortBuffer.data(), 400);  // 400 samples: one block of 320 (GSM's pair is 65 bytes)
    ASSERT_EQ(sizes.size(), 1u);
    EXPECT_EQ(sizes[0], 22u + 65u);
    ASSERT_TRUE(vs.voice.WaitUntil([&] { return vs.voice.VoiceMessages(5) == 1; }));
}

// Hostile messages from the voice server: a lying length ends the connection, a torn body or a
// foreign kind is never played, and the loop says so with audio state 3.
TEST(VoiceReceive, HostileLengthsEndTheConnectionWithoutPlaying) {
    TTcpListener listener;
    ASSERT_TRUE(listener.Listen("127.0.0.1", 0));
    std::thread server([&] {
        TTcpClient c;
        c.Adopt(listener.Accept(5000));
        std::array<uint8_t, 108> reg{};
        c.ReadExact(reg.data(), reg.size());
        auto send = [&](uint16_t kind, int32_t length, size_t bodyBytes, uint16_t result = 0, int32_t sender = 77) {
            TVCRHeader h;
            h.kind = kind;
            h.sender = sender;
            h.bodyLength = length;
            h.result = result;
            std::vector<uint8_t> m(22 + bodyBytes, 0x55);
            h.Encode(m.data());
            c.WriteAll(m.data(), m.size());
        };
        send(0, 0, 0);                 // the registration reply
        send(vkVoiceIn, 31, 31);       // not whole Speex blocks: read and dropped
        send(vkVoiceIn, 32, 32, 9);    // an error result
        send(vkKeepAlive, 5, 5);       // another kind with a body
        send(vkVoiceIn, 32, 32);       // a good one
        // Three players: a fourth speaker takes over the first player.
        for (int32_t speaker : {78, 79, 80}) send(vkVoiceIn, 64, 64, 0, speaker);
        send(vkVoiceIn, 1 << 20, 0);   // a length above the cap: the client hangs up
        std::array<uint8_t, 1> b{};
        c.ReadExact(b.data(), 1);      // returns when the client closes
    });
    FakeClock clock;
    PlainEventLoop loop(clock);
    TVoiceThread t(loop, 2, kMain, 1, 5, 3, {});
    std::vector<int32_t> played;
    std::mutex mu;
    t.OnDecoded = [&](int32_t sender, const uint8_t*, size_t) {
        std::lock_guard lk(mu);
        played.push_back(sender);
    };
    ASSERT_EQ(t.ConnectVoice("127.0.0.1", listener.Port(), 1, "x", 5), 0);
    t.Resume();
    ASSERT_TRUE(loop.RunUntil([&] { return !Of(loop.Log(), WM_APP_AUDIOSTATE).empty(); }));
    t.Stop();
    server.join();
    EXPECT_EQ(played, (std::vector<int32_t>{77, 78, 79, 80}));
    EXPECT_EQ(Of(loop.Log(), WM_APP_AUDIOSTATE).at(0).wParam, 3);
    EXPECT_EQ(Of(loop.Log(), WM_APP_SPEAKERLEVEL).size(), 4u);
    EXPECT_EQ(t.PlayerSpeakers(), (std::vector<int32_t>{80, 78, 79}));
}

TEST(VoiceThreadBuffers, EveryPlayerTakesTheBufferSettingWithinItsRange) {
    FakeClock clock;
    PlainEventLoop loop(clock);
    TVoiceThread t(loop, 2, kMain, 1002, 501, 4, {});
    ASSERT_TRUE(t.AudioReady());
    ASSERT_GT(t.PlayerCount(), 0u);
    for (auto [set, held] : {std::pair{5, 5}, std::pair{2, 2}, std::pair{9, 6}, std::pair{0, 2}}) {
        t.SetPlaybackBuffers(set);
        EXPECT_EQ(t.PlaybackBuffers(), std::vector<int>(t.PlayerCount(), held)) << set;
    }
}

// No microphone opens here: the main window learns it (audio state 1) once the voice runs, and a
// chosen playback device past the end of the list falls back to the default with a chat line.
TEST(VoiceAudio, AMicrophoneThatCannotOpenIsToldOnceAndAMissingSpeakerFallsBack) {
    voicetest::TVoiceServer vs;
    ASSERT_TRUE(vs.Start());
    vs.voice.AddAccount(5, "pw");
    FakeClock clock;
    PlainEventLoop loop(clock);
    TVoiceAudioConfig config;
    config.captureDevice = 0;
    config.playbackDevice = 4;
    std::vector<std::string> notices;
    config.notice = [&](const std::string& t) { notices.push_back(t); };
    TVoiceThread t(loop, 2, kMain, 1, 5, 2, config);
    ASSERT_TRUE(t.AudioReady()) << "the thread still plays the others";
    EXPECT_FALSE(t.Capturing());
    EXPECT_EQ(notices, std::vector<std::string>{"The chosen speakers are not available; the default speakers are used."});
    ASSERT_EQ(t.ConnectVoice("127.0.0.1", vs.voice.Port(), 1, "pw", 5), 0);
    t.Resume();
    loop.ProcessPending();
    EXPECT_TRUE(Of(loop.TakeLog(), WM_APP_AUDIOSTATE).empty());
    for (int i = 0; i < 5; ++i) {
        clock.Advance(TVoiceThread::kMicWatchIntervalMs);
        loop.ProcessPending();
    }
    const auto states = Of(loop.TakeLog(), WM_APP_AUDIOSTATE);
    ASSERT_EQ(states.size(), 1u);
    EXPECT_EQ(states[0].wParam, 1);
    t.Stop();
}
