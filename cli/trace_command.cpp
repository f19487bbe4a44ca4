#include "cli/commands.h"
#include "cli/input_files.h"
#include "cli/music_set_files.h"

#include <tambelo/track_messages.h>

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
    TraceSettings settings;
    settings.clock_start_ms = static_cast<std::uint32_t>(options.clock_start);
    settings.for_ms = options.for_ms;
    settings.fixed_poll = options.fixed_poll;
    settings.muted_channels = options.channels.muted();
    const TraceOutcome outcome =
        trace_track(options.set_path, voice_path, options.track, settings,
                    [](std::uint32_t elapsed_ms, const std::vector<std::uint8_t>& bytes) {
                        std::cout << elapsed_ms << ' ' << message_bytes_text(bytes) << '\n';
                    });
    std::cout.flush();
    switch (outcome) {
    case TraceOutcome::played:
        break;
    case TraceOutcome::path_too_long:
        fail("path too long (at most 4095 bytes)");
    case TraceOutcome::out_of_memory:
        fail("not enough memory for a player");
    case TraceOutcome::not_a_score:
        fail("track " + std::to_string(options.track) + " of " + options.set_path +
             " could not be read as a score; the player stayed idle");
    }
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
