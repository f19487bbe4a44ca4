#include "cli/commands.h"
#include "cli/input_files.h"
#include "cli/music_set_files.h"

#include "library/midi/recording_device.h"
#include "library/platform/clock.h"
#include "library/player.h"

#include <cstdint>
#include <iostream>
#include <memory>

namespace tambelo::cli {
namespace {

struct TraceOptions {
    std::string set_path;
    std::int32_t track = 0;
    std::string voice_path;
    std::uint64_t for_ms = 60000;
    std::uint64_t clock_start = 0;
    bool fixed_poll = false;
    ChannelChoice channels;
};

// Prints the messages logged since the last call, then forgets them, so a
// long trace does not pile up in memory.
void print_messages(MessageLog& log, std::uint32_t clock_start)
{
    for (const RecordedMessage& message : log)
        std::cout << static_cast<std::uint32_t>(message.clock_ms - clock_start) << ' '
                  << format_message_bytes(message.bytes) << '\n';
    log.clear();
}

void run_trace(const TraceOptions& options)
{
    require_input_file(options.set_path);
    require_music_set(options.set_path);
    if (options.track < 1)
        fail("track numbers start at 1; got " + std::to_string(options.track));
    // A set without its voice archive plays with the default voices; a voice
    // archive named by the user must be there.
    const std::string voice_path =
        options.voice_path.empty() ? music_set_files(options.set_path).voice : options.voice_path;
    if (options.voice_path.empty())
        input_file_if_present(voice_path);
    else
        require_input_file(voice_path);
    if (options.set_path.size() >= path_capacity || voice_path.size() >= path_capacity)
        fail("path too long (at most " + std::to_string(path_capacity - 1) + " bytes)");

    const auto clock_start = static_cast<std::uint32_t>(options.clock_start);
    VirtualClock clock(clock_start);
    auto log = std::make_shared<MessageLog>();
    PlayerServices services;
    services.clock = &clock;
    services.timing = options.fixed_poll ? PollTiming::fixed : PollTiming::precise;
    services.open_device = [&clock, log] { return std::make_unique<RecordingDevice>(clock, log); };
    PlayerHandle player(create_player(services, /*start_thread=*/false));
    if (!player)
        fail("not enough memory for a player");
    player->muted_channels = options.channels.muted();

    // The real playback passes, one after another, as the playback thread
    // runs them; the virtual clock moves only by their sleeps.
    open_player_device(*player);
    open_file(*player, options.set_path.c_str(), voice_path.c_str());
    play_music(*player, options.track);
    bool first_pass = true;
    bool compiled = true;
    while (static_cast<std::uint32_t>(clock.now_ms() - clock_start) < options.for_ms) {
        run_player_pass(*player);
        if (first_pass)
            compiled = player->current_track != 0;
        first_pass = false;
        print_messages(*log, clock_start);
        if (player->current_track == 0 && requested_track(*player) == 0)
            break;
    }
    std::cout.flush();
    if (!compiled)
        fail("track " + std::to_string(options.track) + " of " + options.set_path +
             " could not be read as a score; the player stayed idle");
}

}  // namespace

void add_trace_command(CLI::App& app)
{
    auto* command = app.add_subcommand(
        "trace",
        "Print the MIDI messages that playing a track sends, one line per message: the time in "
        "milliseconds since the request was seen, then the bytes in hex. Runs the player on a "
        "virtual clock, so it takes no real time and needs no sound device.");
    auto options = std::make_shared<TraceOptions>();
    command->add_option("SET.dat", options->set_path, "The set's score archive")->required();
    command->add_option("TRACK", options->track, "Track number, from 1")->required();
    command->add_option("--voices", options->voice_path,
                        "The voice archive (default: SET.dat with \".mda\" for its last four characters)");
    command
        ->add_option("--for-ms", options->for_ms,
                     "Run the passes that start within this many milliseconds; the trace also ends "
                     "when the track has ended or could not be read (default 60000)")
        ->check(CLI::Range(std::uint64_t{0}, std::uint64_t{0x7FFFFFFF}));
    command
        ->add_option("--clock-start", options->clock_start,
                     "The virtual millisecond clock's first reading, 0..4294967295 (default 0); it "
                     "wraps to 0 after 4294967295")
        ->check(CLI::Range(std::uint64_t{0}, std::uint64_t{0xFFFFFFFF}));
    command->add_flag("--fixed-poll", options->fixed_poll,
                      "Poll every 10 ms, instead of waking when the next tick falls due");
    add_channel_options(*command, options->channels);
    command->callback([options] { run_trace(*options); });
}

}  // namespace tambelo::cli
