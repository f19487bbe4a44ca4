#include "cli/commands.h"
#include "cli/input_files.h"
#include "cli/music_set_files.h"
#include "cli/safe_text.h"
#include "cli/terminal.h"
#include "cli/track_titles.h"

#include "tambelo/live_player.h"

#include <chrono>
#include <filesystem>

namespace tambelo::cli {
namespace {

using SteadyClock = std::chrono::steady_clock;

struct PlayOptions {
    std::string set_path;
    std::int32_t track = 1;
    std::string output;
    double seconds = 0;  // 0: no limit
    ChannelChoice channels;
};

// What the user sees of the player, kept on the command's thread from the
// requests it made and the two request numbers the player shares.
class Session {
public:
    enum class State { playing, stopped, ended, failed };

    Session(LivePlayer& player, std::int32_t track) : player_(player), track_(track) {}

    // Requests `track` as the window's buttons do; the elapsed time restarts
    // when the player will start it anew.
    void play(std::int32_t track)
    {
        track_ = track;
        if (track_ != player_.last_request())
            started_ = SteadyClock::now();
        player_.play(track_);
        wanted_ = track_ != 0;
    }
    void stop()
    {
        player_.stop();
        wanted_ = false;
    }
    void step(int count, bool forward)
    {
        std::int32_t track = track_;
        for (int i = 0; i < count; ++i)
            track = forward ? player_.next_track(track) : player_.previous_track(track);
        play(track);
    }

    State state() const
    {
        if (!wanted_)
            return State::stopped;
        if (player_.requested_track() != 0)
            return State::playing;
        // The playback thread cleared the request: at the end of the track
        // it clears the last request too; for a track that cannot be
        // compiled it leaves it.
        return player_.last_request() == track_ ? State::failed : State::ended;
    }
    std::int32_t track() const { return track_; }
    bool wanted() const { return wanted_; }
    double elapsed_seconds() const
    {
        return std::chrono::duration<double>(SteadyClock::now() - started_).count();
    }

private:
    LivePlayer& player_;
    std::int32_t track_;
    bool wanted_ = false;
    SteadyClock::time_point started_ = SteadyClock::now();
};

// Says on stderr when the output loses its audio output (the sound server
// went away) and when an output is back, once each time.
class OutputWatch {
public:
    explicit OutputWatch(const LivePlayer& player) : player_(player) {}

    // `over_status_line` first clears a status line drawn on the terminal.
    // True when it printed.
    bool tell_if_changed(bool over_status_line = false)
    {
        if (told_lost_ == player_.output_lost())
            return false;
        told_lost_ = !told_lost_;
        std::cerr << (over_status_line ? "\r\033[K" : "")
                  << (told_lost_ ? "tambelo-cli: the audio output stopped (its sound server went away); "
                                   "the music plays on unheard until it can be reopened\n"
                                 : "tambelo-cli: the audio output is back\n");
        return true;
    }

private:
    const LivePlayer& player_;
    bool told_lost_ = false;
};

std::string format_time(double seconds)
{
    const long whole = static_cast<long>(seconds);
    const long s = whole % 60;
    return std::to_string(whole / 60) + (s < 10 ? ":0" : ":") + std::to_string(s);
}

std::string status_line(const Session& session, const std::vector<std::string>& titles)
{
    std::string line = "Track " + std::to_string(session.track()) + "  " +
                       track_title_line(titles, session.track()) + "  ";
    switch (session.state()) {
    case Session::State::playing: line += format_time(session.elapsed_seconds()); break;
    case Session::State::stopped: line += "[stopped]"; break;
    case Session::State::ended: line += "[ended]"; break;
    case Session::State::failed: line += "[cannot be played]"; break;
    }
    return line;
}

bool time_is_up(const PlayOptions& options, SteadyClock::time_point start)
{
    return options.seconds > 0 &&
           SteadyClock::now() - start >= std::chrono::duration<double>(options.seconds);
}

// Keys as the window's buttons: n/p one track, N/P ten, space stop or play.
void play_interactively(Session& session, const std::vector<std::string>& titles,
                        const PlayOptions& options, const InterruptFlag& interrupt,
                        OutputWatch& output)
{
    const auto start = SteadyClock::now();
    std::cout << game_title(titles) << "\n";
    RawKeys keys;
    // The key line comes only now that keys arrive one by one and Ctrl-C is
    // taken: it tells the user, and whoever drives the terminal, that the
    // program listens.
    std::cout << "keys: n/p next/previous, N/P ten on, space stop/play, q quit" << std::endl;
    std::string shown;
    while (!interrupt.raised() && !time_is_up(options, start)) {
        if (output.tell_if_changed(true))
            shown.clear();  // the status line is drawn again below the message
        const std::string line =
            fit_to_columns(status_line(session, titles), terminal_columns() - 1);
        if (line != shown) {
            std::cout << '\r' << line << "\033[K" << std::flush;
            shown = line;
        }
        const std::optional<char> key = keys.read_key(100, interrupt);
        if (!key)
            continue;
        switch (*key) {
        case 'n': session.step(1, true); break;
        case 'p': session.step(1, false); break;
        case 'N': session.step(10, true); break;
        case 'P': session.step(10, false); break;
        case ' ':
            if (session.state() == Session::State::playing)
                session.stop();
            else
                session.play(session.track());
            break;
        case 'q':
        case 'Q': std::cout << '\n'; return;
        default: break;
        }
    }
    std::cout << '\n';
}

// Without a person to press keys: until the track ends, the time runs out
// or the program is interrupted.
Session::State play_unattended(Session& session, const std::vector<std::string>& titles,
                               const PlayOptions& options, const InterruptFlag& interrupt,
                               OutputWatch& output)
{
    const auto start = SteadyClock::now();
    std::cout << "playing track " << session.track() << ": "
              << track_title_line(titles, session.track()) << std::endl;
    while (!interrupt.raised() && !time_is_up(options, start)) {
        const Session::State state = session.state();
        if (state != Session::State::playing)
            return state;
        output.tell_if_changed();
        interrupt.wait(20);
    }
    return Session::State::playing;
}

void run_play(const PlayOptions& options)
{
    if (const InputCheck check = check_input_file(options.set_path); check.kind != InputKind::readable)
        fail(check.kind == InputKind::missing ? "no such music set: " + shown_path(options.set_path) : check.reason);
    const std::int32_t count = require_music_set(options.set_path);
    if (options.track < 1 || options.track > count)
        fail("no track " + std::to_string(options.track) + " in " + shown_path(options.set_path) +
             (count == 1 ? " (it holds track 1 only)" : " (it holds tracks 1 to " + std::to_string(count) + ")"));
    if (options.track > identify_set_file(options.set_path).intact)
        fail("track " + std::to_string(options.track) + " of " + shown_path(options.set_path) + " " + cut_off_reason);
    const std::string& set = options.set_path;
    const std::string voice_path = music_set_files(set).voice;
    input_file_if_present(voice_path);
    const std::vector<std::string> titles = load_track_titles(set);

    const std::string output_name = options.output.empty() ? default_output_name() : options.output;
    std::unique_ptr<LivePlayer> player;
    Session::State end = Session::State::playing;
    std::int32_t last_track = options.track;
    {
        // Made before the player starts its thread, so that every thread of
        // the program leaves interrupts to this one. It goes before the player
        // is released: the interrupt that ended the play has been taken, and
        // another one while a release hangs (a device that does not close)
        // ends the program at once.
        InterruptFlag interrupt;
        player = LivePlayer::start(output_name, options.channels.muted());
        if (!player)
            fail("not enough memory for the player");
        player->open_set(set, voice_path);

        // Loading a large SoundFont takes a moment; the user hears of a
        // fallback before the music starts, and may interrupt the wait.
        std::optional<OutputOpening> opened;
        for (int waited_ms = 0; !opened && waited_ms < 30000 && !interrupt.raised(); waited_ms += 50)
            opened = player->wait_until_opened(50);
        if (opened) {
            if (!opened->fallback_reason.empty())
                std::cerr << "tambelo-cli: falling back to no sound: " << opened->fallback_reason << '\n';
            for (const std::string& note : opened->notes)
                std::cerr << "tambelo-cli: " << note << '\n';
            if (!opened->sound.empty())
                std::cout << "playing with " << printable_text(opened->sound) << '\n';
        }

        Session session(*player, options.track);
        session.play(options.track);
        OutputWatch output(*player);
        if (on_terminal())
            play_interactively(session, titles, options, interrupt, output);
        else
            end = play_unattended(session, titles, options, interrupt, output);
        last_track = session.track();
    }

    // Releasing the player silences the device before the program ends.
    player.reset();
    if (end == Session::State::failed)
        fail("track " + std::to_string(last_track) + " of " + set +
             " cannot be played: its score could not be compiled");
}

}  // namespace

void add_play_command(CLI::App& app)
{
    auto* command = app.add_subcommand("play", "Play a track of a music set");
    auto options = std::make_shared<PlayOptions>();
    command->add_option("SET.dat", options->set_path, "The set's score archive")->required();
    command->add_option("TRACK", options->track, "Track number (default 1)");
    command->add_option("--output", options->output,
                        "Output device: " + output_names_help() + " (default: $TAMBELO_MIDI_OUT, else " +
                            default_output_kind() + ")");
    command->add_option("--for", options->seconds, "Stop after this many seconds")
        ->check(CLI::PositiveNumber);
    add_channel_options(*command, options->channels);
    command->footer(
        "On a terminal: n/p step one track, N/P ten, space stops or plays, q quits.\n"
        "Otherwise it plays until the track ends, --for runs out, or it is interrupted.");
    command->callback([options] { run_play(*options); });
}

}  // namespace tambelo::cli
