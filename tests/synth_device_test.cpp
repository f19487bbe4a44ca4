#include "library/midi/synth_device.h"

#include "tests/support/midi_bytes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace tambelo {
namespace {

using testing::gs_reset_bytes;
using testing::send_bytes;
using testing::send_long_bytes;

constexpr double rate = 22050;

// A synth without audio output, or a skipped test on a machine without any
// SoundFont.
class OfflineSynth : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (soundfont_candidates().empty())
            GTEST_SKIP() << "no SoundFont installed";
        device = open_synth();
    }

    static std::unique_ptr<SynthDevice> open_synth()
    {
        std::string why;
        std::unique_ptr<SynthDevice> synth = SynthDevice::open_offline({}, rate, &why);
        EXPECT_TRUE(synth) << why;
        return synth;
    }

    std::unique_ptr<SynthDevice> device;
};

// `ms` milliseconds of output, left and right interleaved.
std::vector<float> render(SynthDevice& synth, int ms)
{
    const int frames = static_cast<int>(rate * ms / 1000);
    std::vector<float> samples(static_cast<std::size_t>(frames) * 2);
    fluid_synth_write_float(synth.synth(), frames, samples.data(), 0, 2, samples.data(), 1, 2);
    return samples;
}

float peak(const std::vector<float>& samples)
{
    float loudest = 0;
    for (float sample : samples)
        loudest = std::max(loudest, std::fabs(sample));
    return loudest;
}

// Root-mean-square difference of two renderings of the same length.
double difference(const std::vector<float>& a, const std::vector<float>& b)
{
    double sum = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        sum += (a[i] - b[i]) * (a[i] - b[i]);
    return std::sqrt(sum / static_cast<double>(a.size()));
}

constexpr float audible = 0.01f;
constexpr float silent = 0.001f;

TEST_F(OfflineSynth, AfterTheGsResetMelodicAndDrumNotesSound)
{
    ASSERT_TRUE(send_long_bytes(*device, gs_reset_bytes));

    // Channel 9 is the drum part: its preset comes from the drum bank.
    int soundfont_id = 0, bank = 0, program = 0;
    fluid_synth_get_program(device->synth(), 9, &soundfont_id, &bank, &program);
    EXPECT_EQ(bank, 128);

    EXPECT_LT(peak(render(*device, 100)), silent);
    send_bytes(*device, {0x90, 60, 110});
    EXPECT_GT(peak(render(*device, 300)), audible);

    send_bytes(*device, {0xB0, 120, 0});
    render(*device, 1500);
    send_bytes(*device, {0x99, 38, 110});  // snare drum
    EXPECT_GT(peak(render(*device, 300)), audible);
}

TEST_F(OfflineSynth, GsResetRestoresWhatControllersChanged)
{
    // A channel turned down to nothing stays silent until the reset brings
    // its volume back; a reset the synth ignored would leave it silent.
    send_bytes(*device, {0xB0, 7, 0});
    send_bytes(*device, {0x90, 64, 110});
    EXPECT_LT(peak(render(*device, 300)), silent);
    send_bytes(*device, {0x80, 64, 0});

    ASSERT_TRUE(send_long_bytes(*device, gs_reset_bytes));
    send_bytes(*device, {0x90, 64, 110});
    EXPECT_GT(peak(render(*device, 300)), audible);
}

TEST_F(OfflineSynth, AllSoundOffDecaysToSilenceWhileAHeldNoteWouldSoundOn)
{
    send_long_bytes(*device, gs_reset_bytes);
    send_bytes(*device, {0xC0, 19, 0});  // church organ: sounds while held
    send_bytes(*device, {0x90, 60, 110});
    render(*device, 300);
    EXPECT_GT(peak(render(*device, 200)), audible);
    std::vector<float> held = render(*device, 1500);
    EXPECT_GT(peak(std::vector<float>(held.end() - held.size() / 5, held.end())), audible);

    send_bytes(*device, {0xB0, 120, 0});
    std::vector<float> after = render(*device, 1500);
    EXPECT_LT(peak(std::vector<float>(after.end() - after.size() / 5, after.end())), silent);
}

TEST_F(OfflineSynth, ProgramChangeChangesTheSound)
{
    auto play = [](SynthDevice& synth, int program) {
        send_long_bytes(synth, gs_reset_bytes);
        send_bytes(synth, {0xC2, static_cast<std::uint8_t>(program), 0});
        send_bytes(synth, {0x92, 67, 100});
        return render(synth, 400);
    };
    std::unique_ptr<SynthDevice> second = open_synth();
    std::unique_ptr<SynthDevice> third = open_synth();
    const std::vector<float> piano = play(*device, 0);
    const std::vector<float> piano_again = play(*second, 0);
    const std::vector<float> flute = play(*third, 73);

    ASSERT_GT(peak(piano), audible);
    ASSERT_GT(peak(flute), audible);
    EXPECT_LT(difference(piano, piano_again), 1e-4);
    EXPECT_GT(difference(piano, flute), 0.005);
}

TEST_F(OfflineSynth, NoteOnWithVelocityZeroReleasesTheNote)
{
    send_bytes(*device, {0xC0, 19, 0});
    send_bytes(*device, {0x90, 60, 110});
    render(*device, 200);
    send_bytes(*device, {0x90, 60, 0});
    std::vector<float> after = render(*device, 2000);
    EXPECT_LT(peak(std::vector<float>(after.end() - after.size() / 5, after.end())), silent);
}

TEST_F(OfflineSynth, RefusesMalformedMessagesWithoutActingOnThem)
{
    EXPECT_FALSE(send_bytes(*device, {0x3C, 100, 0}));    // no status byte
    EXPECT_FALSE(send_bytes(*device, {0x90, 0x80, 100}));  // data byte out of range
    EXPECT_FALSE(send_bytes(*device, {0x90, 60, 0xFF}));
    EXPECT_FALSE(send_bytes(*device, {0xFF, 0, 0}));      // not a channel message
    EXPECT_LT(peak(render(*device, 200)), silent);
    // A program change's second byte is not part of the message.
    EXPECT_TRUE(send_bytes(*device, {0xC0, 5, 0xAA}));

    // A long message that is not one whole System Exclusive message is
    // refused but still marked done, so that no sender waits on it.
    EXPECT_FALSE(send_long_bytes(*device, {0xF0, 0x41, 0x20}));
    EXPECT_FALSE(send_long_bytes(*device, {}));

    // An unprepared header is refused and not marked done.
    MidiHeader header;
    header.data = gs_reset_bytes.data();
    header.buffer_length = header.bytes_recorded = 11;
    EXPECT_FALSE(device->send_long(header));
    EXPECT_FALSE(header.flags.load() & midi_header_done);
}

TEST(LiveSynth, OpensOrSaysWhyWithoutPrinting)
{
    ::testing::internal::CaptureStderr();
    std::string why;
    std::unique_ptr<SynthDevice> live = SynthDevice::open({}, &why);
    if (live) {
        EXPECT_TRUE(send_bytes(*live, {0xB0, 120, 0}));
    } else {
        EXPECT_FALSE(why.empty());
    }
    live.reset();
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

}  // namespace
}  // namespace tambelo
