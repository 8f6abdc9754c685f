// Microphone volume and boost walk the mixer's lines; a fake mixer stands in for the sound card.
#include <gtest/gtest.h>

#include "audio/init_sound.h"
#include "audio/mixer.h"

using namespace orb::media;
using namespace orb::audio;

namespace {

struct FakeControl {
    MixerControlType type;
    std::string name;
    std::vector<uint32_t> values;
};

struct FakeLine {
    MixerLineType type;
    std::string name;
    uint32_t channels = 1;
    std::vector<FakeControl> controls;
    std::vector<FakeLine> sources;
};

class FakeMixer final : public IMixerSystem {
public:
    uint32_t numDevs = 1;
    bool openFails = false;
    std::vector<FakeLine> destinations;
    int live = 0;
    int opens = 0;
    intptr_t lastId = -99;
    MixerIdKind lastKind = MixerIdKind::Mixer;

    uint32_t NumDevs() override { return numDevs; }
    std::unique_ptr<IMixerDevice> Open(intptr_t id, MixerIdKind kind) override;

    // Line ids: destination d -> d * 100 + 1, its source s -> d * 100 + 2 + s.
    FakeLine* Line(uint32_t lineId) {
        const uint32_t d = lineId / 100, rest = lineId % 100;
        if (d >= destinations.size() || rest == 0) return nullptr;
        if (rest == 1) return &destinations[d];
        return rest - 2 < destinations[d].sources.size() ? &destinations[d].sources[rest - 2] : nullptr;
    }
    // Control ids: line id * 100 + index.
    FakeControl* Control(uint32_t id) {
        FakeLine* l = Line(id / 100);
        return l && id % 100 < l->controls.size() ? &l->controls[id % 100] : nullptr;
    }
};

class FakeDevice final : public IMixerDevice {
public:
    explicit FakeDevice(FakeMixer& m) : m_(m) { ++m_.live; }
    ~FakeDevice() override { --m_.live; }
    uint32_t Destinations() override { return uint32_t(m_.destinations.size()); }
    bool Destination(uint32_t i, MixerLineInfo& out) override {
        if (i >= m_.destinations.size()) return false;
        Fill(m_.destinations[i], i * 100 + 1, out);
        out.sources = uint32_t(m_.destinations[i].sources.size());
        return true;
    }
    bool Source(uint32_t d, uint32_t s, MixerLineInfo& out) override {
        if (d >= m_.destinations.size() || s >= m_.destinations[d].sources.size()) return false;
        Fill(m_.destinations[d].sources[s], d * 100 + 2 + s, out);
        return true;
    }
    bool Controls(uint32_t lineId, std::vector<MixerControlInfo>& out) override {
        FakeLine* l = m_.Line(lineId);
        if (!l) return false;
        out.clear();
        for (size_t i = 0; i < l->controls.size(); ++i)
            out.push_back({lineId * 100 + uint32_t(i), l->controls[i].type, l->controls[i].name});
        return true;
    }
    bool GetValues(uint32_t id, uint32_t channels, std::vector<uint32_t>& out) override {
        FakeControl* c = m_.Control(id);
        if (!c || channels > c->values.size()) return false;
        out.assign(c->values.begin(), c->values.begin() + channels);
        return true;
    }
    bool SetValues(uint32_t id, const std::vector<uint32_t>& values) override {
        FakeControl* c = m_.Control(id);
        if (!c || values.empty() || values.size() > c->values.size()) return false;
        if (values.size() == 1) std::fill(c->values.begin(), c->values.end(), values[0]);  // every channel alike
        else std::copy(values.begin(), values.end(), c->values.begin());
        return true;
    }

private:
    static void Fill(const FakeLine& l, uint32_t id, MixerLineInfo& out) {
        out.lineId = id;
        out.type = l.type;
        out.name = l.name;
        out.channels = l.channels;
        out.sources = 0;
    }
    FakeMixer& m_;
};

std::unique_ptr<IMixerDevice> FakeMixer::Open(intptr_t id, MixerIdKind kind) {
    ++opens;
    lastId = id;
    lastKind = kind;
    if (openFails) return nullptr;
    return std::make_unique<FakeDevice>(*this);
}

class MixerTest : public ::testing::Test {
protected:
    void SetUp() override { SetMixers(&mixer_); }
    void TearDown() override {
        SetMixers(nullptr);
        EXPECT_EQ(mixer_.live, 0) << "every opened mixer is closed";
    }

    static FakeLine Speakers() {
        return {MixerLineType::DstSpeakers, "Speakers", 2, {{MixerControlType::Volume, "Master", {9, 9}}}, {}};
    }
    FakeMixer mixer_;
};

}  // namespace

TEST_F(MixerTest, MicVolumeOnTheCaptureDestinationFirst) {
    FakeLine capture{MixerLineType::DstWaveIn, "Recording", 2,
                     {{MixerControlType::OnOff, "Mute", {0}}, {MixerControlType::Volume, "Recording Volume", {100, 100}}},
                     {{MixerLineType::SrcMicrophone, "Mic", 1, {{MixerControlType::Volume, "Mic Volume", {7}}}, {}}}};
    mixer_.destinations = {Speakers(), capture};
    ASSERT_TRUE(SetMicVolume(3, 40000, MixerIdKind::WaveIn));
    EXPECT_EQ(mixer_.lastId, 3);
    EXPECT_EQ(mixer_.lastKind, MixerIdKind::WaveIn);
    EXPECT_EQ(mixer_.destinations[1].controls[1].values, (std::vector<uint32_t>{40000, 40000})) << "both channels";
    EXPECT_EQ(mixer_.destinations[1].sources[0].controls[0].values[0], 7u) << "source untouched";
    uint32_t v = 0;
    ASSERT_TRUE(GetMicVolume(3, v, MixerIdKind::WaveInHandle));
    EXPECT_EQ(mixer_.lastKind, MixerIdKind::WaveInHandle);
    EXPECT_EQ(v, 40000u);
}

TEST_F(MixerTest, MicVolumeThroughTheMicrophoneLineWhenTheDestinationHasNone) {
    FakeLine capture{MixerLineType::DstWaveIn, "Recording", 2, {},
                     {{MixerLineType::SrcLine, "Line In", 2, {{MixerControlType::Volume, "Line Volume", {1, 1}}}, {}},
                      {MixerLineType::SrcMicrophone, "Mic", 1, {{MixerControlType::Volume, "Mic Volume", {7}}}, {}},
                      {MixerLineType::SrcOther, "CD", 2, {{MixerControlType::Volume, "CD Volume", {2, 2}}}, {}}}};
    mixer_.destinations = {capture};
    ASSERT_TRUE(SetMicVolume(0, 1234, MixerIdKind::WaveIn));
    EXPECT_EQ(mixer_.destinations[0].sources[1].controls[0].values[0], 1234u);
    EXPECT_EQ(mixer_.destinations[0].sources[0].controls[0].values[0], 1u);
    EXPECT_EQ(mixer_.destinations[0].sources[2].controls[0].values[0], 2u);
    uint32_t v = 0;
    ASSERT_TRUE(GetMicVolume(0, v, MixerIdKind::WaveIn));
    EXPECT_EQ(v, 1234u);

    // Without a microphone line the last source line visited takes the value.
    mixer_.destinations[0].sources[1].type = MixerLineType::SrcLine;
    ASSERT_TRUE(SetMicVolume(0, 555, MixerIdKind::WaveIn));
    EXPECT_EQ(mixer_.destinations[0].sources[2].controls[0].values[0], 555u);

    // And a line without a volume control fails.
    mixer_.destinations[0].sources[2].controls.clear();
    EXPECT_FALSE(SetMicVolume(0, 1, MixerIdKind::WaveIn));
}

TEST_F(MixerTest, NoMixerOrNoCaptureDestinationFails) {
    mixer_.destinations = {Speakers()};
    uint32_t v = 0;
    EXPECT_FALSE(SetMicVolume(0, 1, MixerIdKind::WaveIn));
    EXPECT_FALSE(GetMicVolume(0, v, MixerIdKind::WaveIn));
    mixer_.numDevs = 0;
    const int opens = mixer_.opens;
    EXPECT_FALSE(SetMicVolume(0, 1, MixerIdKind::WaveIn));
    EXPECT_EQ(mixer_.opens, opens) << "no mixer is opened when there is none";
    mixer_.numDevs = 1;
    mixer_.openFails = true;
    EXPECT_FALSE(GetMicVolume(0, v, MixerIdKind::WaveIn));
    EXPECT_FALSE(GetMicBoost(0, v));
    EXPECT_FALSE(SetMicBoost(0, 1));
}

TEST_F(MixerTest, BoostIsFoundWhateverTheCaseAndSetsTheFirstChannelOnly) {
    FakeLine capture{MixerLineType::DstWaveIn, "Recording", 2, {{MixerControlType::Volume, "Recording Volume", {5, 5}}},
                     {{MixerLineType::SrcLine, "Line In", 2, {{MixerControlType::OnOff, "Line Boost", {1, 1}}}, {}},
                      {MixerLineType::SrcMicrophone, "Mic", 2,
                       {{MixerControlType::Volume, "Mic Volume", {3, 3}}, {MixerControlType::OnOff, "MIC BOOST (+20dB)", {0, 1}}},
                       {}}}};
    mixer_.destinations = {Speakers(), capture};
    uint32_t v = 9;
    ASSERT_TRUE(GetMicBoost(2, v));
    EXPECT_EQ(v, 0u);
    EXPECT_EQ(mixer_.lastId, 2);
    ASSERT_TRUE(SetMicBoost(2, 1));
    EXPECT_EQ(mixer_.destinations[1].sources[1].controls[1].values, (std::vector<uint32_t>{1, 1}));
    ASSERT_TRUE(SetMicBoost(2, 0));
    EXPECT_EQ(mixer_.destinations[1].sources[1].controls[1].values, (std::vector<uint32_t>{0, 1}));
    EXPECT_EQ(mixer_.destinations[1].sources[0].controls[0].values, (std::vector<uint32_t>{1, 1})) << "not the line's boost";

    // A microphone line without a boost control: both operations fail.
    mixer_.destinations[1].sources[1].controls.pop_back();
    EXPECT_FALSE(GetMicBoost(2, v));
    EXPECT_FALSE(SetMicBoost(2, 1));
    // No microphone line at all.
    mixer_.destinations[1].sources.pop_back();
    EXPECT_FALSE(GetMicBoost(2, v));
}

TEST(AlsaMixer, MachineWithoutSoundCardFailsCleanly) {
    SetMixers(nullptr);
    uint32_t v = 0;
    if (Mixers().NumDevs() == 0) {
        EXPECT_FALSE(SetMicVolume(0, 100, MixerIdKind::WaveIn));
        EXPECT_FALSE(GetMicVolume(0, v, MixerIdKind::WaveIn));
    }
    // An unknown handle names no mixer.
    int local = 0;
    EXPECT_FALSE(GetMicVolume(reinterpret_cast<intptr_t>(&local), v, MixerIdKind::WaveInHandle));
    EXPECT_FALSE(SetMicBoost(99, 1));
}
