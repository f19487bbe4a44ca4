#include "library/device_reset.h"
#include "library/player.h"
#include "library/voice_set.h"
#include "tests/support/message_texts.h"
#include "tests/support/manual_player.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tambelo {
namespace {

using namespace tambelo::testing;

const std::string gs_reset_text = "F0 41 20 42 12 40 00 7F 00 41 F7";

std::vector<std::string> common_reset_texts()
{
    std::vector<std::string> texts{gs_reset_text};
    for (int channel = 0; channel < 10; ++channel)
        texts.push_back(control_text(channel, 121, 0));
    for (int channel = 0; channel < 10; ++channel)
        texts.push_back(control_text(channel, 7, 100));
    return texts;
}

void append(std::vector<std::string>& texts, const std::vector<std::string>& more)
{
    texts.insert(texts.end(), more.begin(), more.end());
}

std::vector<std::string> melodic_start_voice(int channel, const VoiceEntry& voice)
{
    return {control_text(channel, 0, voice.bank),     control_text(channel, 32, 0),
            program_text(channel, voice.program),     control_text(channel, 7, voice.volume),
            control_text(channel, 91, voice.reverb),  control_text(channel, 93, voice.chorus),
            control_text(channel, 10, voice.pan)};
}

std::vector<std::string> drum_start_voice(const VoiceEntry& voice)
{
    return {control_text(9, 7, voice.volume), control_text(9, 91, voice.reverb),
            control_text(9, 93, voice.chorus), control_text(9, 10, voice.pan)};
}

class DeviceResetTest : public ::testing::Test {
protected:
    ManualPlayer harness{5000};
    Player& player = harness.player();

    void SetUp() override { reset_voice_set(player); }
};

TEST_F(DeviceResetTest, WithDefaultVoicesSendsTheResetThenControllersThenTheThreeStartVoices)
{
    reset_device(player);
    std::vector<std::string> expected = common_reset_texts();
    const VoiceEntry standard{0, 0, 100, 40, 40, 64, 64};
    for (int channel = 3; channel <= 5; ++channel)
        append(expected, melodic_start_voice(channel, standard));
    EXPECT_EQ(harness.message_texts(), expected);
}

TEST_F(DeviceResetTest, SetsUpEveryChannelTrackToWaitSixteenTicksWithNothingSounding)
{
    // Leftovers of a previous track.
    player.stop_at_end = 1;
    for (int index = 0; index < channel_count; ++index) {
        player.channels[index] = ChannelTrack{7, 3, 1, 2, 3, 4, 5, 6, 9, 60, 0, 0, 1};
        player.streams[index].position = 1234;
    }
    player.voice_table[257] = VoiceEntry{8, 20, 90, 30, 20, 70, 10};
    player.ms_accumulator = -3.0f;
    harness.clock().advance_ms(42);

    reset_device(player);

    EXPECT_EQ(player.stop_at_end, 0);
    EXPECT_EQ(player.last_clock_ms, 5042u);
    EXPECT_EQ(player.ms_accumulator, 0.0f);
    for (int index = 0; index < channel_count; ++index) {
        const ChannelTrack& track = player.channels[index];
        SCOPED_TRACE(index);
        EXPECT_EQ(player.streams[index].position, 0);
        EXPECT_EQ(track.active, 1);
        EXPECT_EQ(track.has_sounded, 0);
        EXPECT_EQ(track.wait, 16);
        EXPECT_EQ(track.sounding_note, 128);
        EXPECT_EQ(track.velocity, 120);
        EXPECT_EQ(track.midi_channel, index);
        EXPECT_EQ(track.kit, 128);
        if (index < 3 || index > 5) {
            EXPECT_EQ(track.voice, 255);
            EXPECT_EQ(track.volume, 255);
            EXPECT_EQ(track.reverb, 255);
            EXPECT_EQ(track.chorus, 255);
            EXPECT_EQ(track.pan, 255);
            EXPECT_EQ(track.key_offset, 64);
        }
    }
    EXPECT_EQ(player.channels[3].voice, 256);
    EXPECT_EQ(player.channels[5].voice, 258);
    const ChannelTrack& four = player.channels[4];
    EXPECT_EQ(four.voice, 257);
    EXPECT_EQ(four.volume, 90);
    EXPECT_EQ(four.reverb, 30);
    EXPECT_EQ(four.chorus, 20);
    EXPECT_EQ(four.key_offset, 70);
    EXPECT_EQ(four.pan, 10);
}

TEST_F(DeviceResetTest, DrumStartVoicesSendOnlyTheirControllersOnChannelNineInEntryOrder)
{
    const VoiceEntry first_drums{250, 99, 110, 10, 0, 64, 30};
    const VoiceEntry melodic{3, 48, 80, 20, 10, 60, 100};
    const VoiceEntry second_drums{255, 0, 90, 50, 5, 64, 64};
    player.voice_table[256] = first_drums;
    player.voice_table[257] = melodic;
    player.voice_table[258] = second_drums;

    reset_device(player);

    std::vector<std::string> expected = common_reset_texts();
    append(expected, drum_start_voice(first_drums));
    append(expected, melodic_start_voice(4, melodic));
    append(expected, drum_start_voice(second_drums));
    EXPECT_EQ(harness.message_texts(), expected);

    EXPECT_EQ(player.channels[3].kit, 5);
    EXPECT_EQ(player.channels[3].midi_channel, 9);
    EXPECT_EQ(player.channels[4].kit, 128);
    EXPECT_EQ(player.channels[4].midi_channel, 4);
    EXPECT_EQ(player.channels[5].kit, 0);
    EXPECT_EQ(player.channels[5].midi_channel, 9);
}

TEST_F(DeviceResetTest, StartVoiceValuesBeyondTheMidiRangeAreSentLimitedButStoredWhole)
{
    player.voice_table[256] = VoiceEntry{0, 200, 255, 128, 40, 64, 300};
    reset_device(player);
    const auto texts = harness.message_texts();
    const std::vector<std::string> sent(texts.begin() + 21, texts.begin() + 28);
    EXPECT_EQ(sent, (std::vector<std::string>{"B3 00 00", "B3 20 00", "C3 7F", "B3 07 7F", "B3 5B 7F",
                                              "B3 5D 28", "B3 0A 7F"}));
    EXPECT_EQ(player.channels[3].volume, 255);
    EXPECT_EQ(player.channels[3].pan, 300);
}

// A device that accepts the long message but never finishes it, as when the
// device could not be opened.
struct StuckDevice final : MidiDevice {
    std::vector<std::string>* calls;
    explicit StuckDevice(std::vector<std::string>* log) : calls(log) {}
    bool send_short(std::uint32_t) override
    {
        calls->push_back("short");
        return false;
    }
    bool prepare_header(MidiHeader& header) override
    {
        calls->push_back("prepare " + std::to_string(header.bytes_recorded));
        return MidiDevice::prepare_header(header);
    }
    bool send_long(MidiHeader&) override
    {
        calls->push_back("long");
        return false;
    }
    bool unprepare_header(MidiHeader& header) override
    {
        calls->push_back("unprepare");
        return MidiDevice::unprepare_header(header);
    }
};

TEST(DeviceResetTimeout, AResetThatTheDeviceNeverFinishesGoesOnAfterOneSecond)
{
    VirtualClock clock(100);
    std::vector<std::string> calls;
    PlayerServices services;
    services.clock = &clock;
    services.open_device = [&calls] { return std::make_unique<StuckDevice>(&calls); };
    Player* player = create_player(services, /*start_thread=*/false);
    open_player_device(*player);
    reset_voice_set(*player);

    reset_device(*player);

    EXPECT_EQ(clock.now_ms(), 100u + 100 * 10);
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ(calls[0], "prepare 11");
    EXPECT_EQ(calls[1], "long");
    EXPECT_EQ(calls[2], "unprepare");
    // Controller resets, volumes and three start voices of seven messages.
    EXPECT_EQ(calls.size(), 3u + 10 + 10 + 21);
    EXPECT_EQ(player->last_clock_ms, 1100u);
    destroy_player(player);
}

TEST(DeviceResetMessages, DataBytesAreLimitedToTheMidiRange)
{
    ManualPlayer harness;
    Player& player = harness.player();
    send_control_change(player, 2, 7, -5);
    send_control_change(player, 2, 7, 128);
    send_note_on(player, 9, 1000, 64);
    send_program_change(player, 0, 127);
    send_short(player, 0xB1, 0xFF, 0x80);
    EXPECT_EQ(harness.message_texts(),
              (std::vector<std::string>{"B2 07 00", "B2 07 7F", "99 7F 40", "C0 7F", "B1 7F 7F"}));
}

}  // namespace
}  // namespace tambelo
