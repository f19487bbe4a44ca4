#include "cli/commands.h"

#include "cli/authoring/page_archive_writer.h"
#include "cli/export/audio_track.h"
#include "cli/export/export_names.h"
#include "cli/export/length_text.h"
#include "cli/export/music_set.h"
#include "cli/export/playlist.h"
#include "cli/export/set_export.h"
#include "cli/export/track_list_json.h"
#include "cli/input_files.h"
#include "cli/safe_text.h"
#include "cli/terminal.h"
#include "cli/utf8_path.h"

#include <tambelo/render.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

namespace tambelo::cli {
namespace {

struct ExportArguments {
    std::string set_path;
    std::string tracks;
    std::string format = "mid";
    std::string loop_mode = "fade";
    bool tracks_json = false;
    int loops = 2;
    double fade_seconds = 8.0;
    std::string soundfont;
    int sample_rate = 44100;
    std::string output;
    int jobs = 0;
    ChannelChoice channels;
    bool stems = false;
    std::string normalize_text;  // LUFS, or empty
};

// The folder a whole set goes to by default: the game's title, or else the
// set's name ("amus" sets are named after their folder).
std::string default_folder(const std::string& set_path, const SetTitles& titles)
{
    std::error_code error;
    std::filesystem::path path = std::filesystem::absolute(path_from_utf8(set_path), error);
    if (error)
        path = path_from_utf8(set_path);
    std::string name = titles.game_title();
    if (name.empty()) {
        name = utf8_from_path(path.stem());
        std::string lower = name;
        std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
        if (lower == "amus" && path.parent_path().has_filename())
            name = utf8_from_path(path.parent_path().filename());
    }
    return safe_file_name(name, "export");
}

// Shows how far the export is: a bar redrawn in place on a terminal, plain
// lines otherwise. Called one track at a time.
class Progress {
public:
    explicit Progress(std::size_t total) : total_(total), terminal_(isatty(STDERR_FILENO) != 0) {}

    void track_done(const TrackOutcome& outcome)
    {
        ++done_;
        const std::string name = utf8_from_path(path_from_utf8(outcome.path).filename());
        if (!terminal_) {
            std::cerr << '[' << done_ << '/' << total_ << "] "
                      << (outcome.written ? "wrote " + name
                                          : "skipped track " + std::to_string(outcome.label.track) + ": " +
                                                printable_text(outcome.reason))
                      << '\n';
            return;
        }
        constexpr std::size_t width = 30;
        const std::size_t filled = total_ == 0 ? width : width * done_ / total_;
        std::cerr << "\r\033[K[" << std::string(filled, '#') << std::string(width - filled, '-') << "] " << done_
                  << '/' << total_ << "  " << shortened(name, 40);
        if (done_ == total_)
            std::cerr << "\r\033[K";
        std::cerr.flush();
    }

private:
    // At most `bytes` bytes of `text`, cut between characters.
    static std::string shortened(const std::string& text, std::size_t bytes)
    {
        if (text.size() <= bytes)
            return text;
        while (bytes > 0 && (static_cast<unsigned char>(text[bytes]) & 0xC0) == 0x80)
            --bytes;
        return text.substr(0, bytes);
    }

    std::size_t total_;
    std::size_t done_ = 0;
    bool terminal_;
};

ExportFormat format_named(const std::string& name)
{
    static const std::map<std::string, ExportFormat> formats = {
        {"mid", ExportFormat::mid}, {"wav", ExportFormat::wav}, {"flac", ExportFormat::flac}, {"ogg", ExportFormat::ogg}};
    return formats.at(name);
}

// tracks.json beside the files: the exported tracks as `list --json`
// describes them, each with the name of its file (null when skipped).
void write_track_list(const std::filesystem::path& path, const MusicSetFiles& files, const SetTitles& titles,
                      const std::vector<std::int32_t>& tracks, int sample_rate,
                      const SynthSoundFonts& soundfonts, const std::vector<TrackOutcome>& outcomes)
{
    std::map<std::int32_t, std::string> names;
    for (const auto& outcome : outcomes)
        names[outcome.label.track] =
            outcome.written ? utf8_from_path(path_from_utf8(outcome.path).filename()) : std::string();
    const std::string text = track_list_json(files, titles, tracks, sample_rate, soundfonts, names);
    const std::string error =
        write_file_atomically(utf8_from_path(path), std::vector<std::uint8_t>(text.begin(), text.end()));
    if (!error.empty())
        fail(error);
}

// "NAME.m3u" beside a whole set's audio files: the files written, in track
// order, each with its length as rendered (exact, where the library's plan
// has only bounds for a release tail) and its title.
void write_playlist(const std::filesystem::path& path, const std::vector<TrackOutcome>& outcomes)
{
    std::vector<PlaylistEntry> entries;
    for (const auto& outcome : outcomes)
        if (outcome.written)
            entries.push_back({outcome.audio_ms, outcome.label.title,
                               utf8_from_path(path_from_utf8(outcome.path).filename())});
    const std::string text = extended_m3u(entries);
    const std::string error =
        write_file_atomically(utf8_from_path(path), std::vector<std::uint8_t>(text.begin(), text.end()));
    if (!error.empty())
        fail(error);
}

// What the normalization of a written track reached, when the user should
// know: the target was not reached.
std::string normalization_note(const TrackOutcome& outcome, double target_lufs)
{
    if (!outcome.normalization || outcome.normalization->target_reached)
        return {};
    char text[160];
    if (!std::isfinite(outcome.normalization->lufs_reached))
        std::snprintf(text, sizeof text, "silent: not normalized to %.1f LUFS", target_lufs);
    else
        std::snprintf(text, sizeof text,
                      "normalized to %.1f LUFS, not %.1f LUFS: the peak would have gone above -1 dBFS",
                      outcome.normalization->lufs_reached, target_lufs);
    return text;
}

void run_export(const ExportArguments& arguments)
{
    const auto started = std::chrono::steady_clock::now();
    // Ctrl-C (or a termination request) stops the export between pieces of
    // audio; the unfinished files are removed as their writers go. Taken
    // first, before any thread exists: every thread inherits the blocking
    // of the signals from the one that starts it, and the SoundFont check
    // below already starts the synthesizer's worker threads, which would
    // otherwise take a signal and end the program on the spot.
    InterruptFlag interrupt;
    require_input_file(arguments.set_path);
    const std::int32_t count = require_music_set(arguments.set_path);
    const MusicSetFiles files = music_set_files(arguments.set_path);
    input_file_if_present(files.voice);

    std::vector<std::int32_t> tracks;
    if (arguments.tracks.empty()) {
        for (std::int32_t track = 1; track <= count; ++track)
            tracks.push_back(track);
    } else {
        std::string why;
        auto chosen = parse_track_list(arguments.tracks, count, &why);
        if (!chosen)
            fail(why);
        tracks = std::move(*chosen);
    }

    ExportSettings settings;
    settings.format = format_named(arguments.format);
    settings.loop_mode = arguments.loop_mode == "seamless" ? ExportLoopMode::seamless : ExportLoopMode::fade;
    settings.loops = arguments.loops;
    settings.fade_seconds = arguments.fade_seconds;
    settings.sample_rate = arguments.sample_rate;
    settings.soundfont = arguments.soundfont;
    settings.muted_channels = arguments.channels.muted();
    settings.stems = arguments.stems;
    if (!arguments.normalize_text.empty())
        settings.normalize_lufs = std::stod(arguments.normalize_text);
    settings.album = arguments.tracks.empty();
    if (settings.format == ExportFormat::mid && settings.normalize_lufs)
        fail("--normalize needs an audio format (--format wav, flac or ogg)");
    if (settings.format != ExportFormat::mid) {
        if (!arguments.soundfont.empty()) {
            const InputCheck check = check_input_file(arguments.soundfont);
            if (check.kind == InputKind::missing)
                fail("no such SoundFont: " + shown_path(arguments.soundfont));
            if (check.kind == InputKind::unusable)
                fail(check.reason);
        }
        if (const std::string problem = audio_export_problem(arguments.soundfont, arguments.sample_rate);
            !problem.empty())
            fail(problem);
    }

    const SetTitles titles = SetTitles::read(files.titles);
    const std::string set_name = default_folder(arguments.set_path, titles);
    const std::filesystem::path folder = path_from_utf8(arguments.output.empty() ? set_name : arguments.output);
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error || !std::filesystem::is_directory(folder, error))
        fail("cannot create the folder " + shown_path(utf8_from_path(folder)) +
             (error ? ": " + error.message() : ""));

    const int digits = track_number_digits(count);
    std::vector<TrackJob> jobs;
    for (std::int32_t track : tracks) {
        TrackJob job;
        job.label = {track, titles.title(track), titles.game_title()};
        const std::string name = track_file_name(track, digits, job.label.title, extension_of(settings.format));
        job.path = utf8_from_path(folder / path_from_utf8(name));
        jobs.push_back(std::move(job));
    }

    // The flag is asked from every thread, one at a time.
    std::mutex interrupt_lock;
    settings.stop_requested = [&interrupt, &interrupt_lock] {
        const std::lock_guard lock(interrupt_lock);
        return interrupt.raised();
    };

    const int threads = arguments.jobs > 0 ? arguments.jobs
                                           : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    Progress progress(jobs.size());
    const auto outcomes = export_tracks(files.score, files.voice, jobs, settings, threads,
                                        [&progress](const TrackOutcome& outcome) { progress.track_done(outcome); });

    if (interrupt.raised())
        fail("interrupted; the unfinished files were removed", 130);

    const double wall_s = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::size_t written = 0;
    double audio_ms = 0.0;
    for (const auto& outcome : outcomes) {
        if (outcome.written) {
            ++written;
            audio_ms += outcome.audio_ms;
        }
    }
    char wall[32];
    std::snprintf(wall, sizeof wall, "%.2f s", wall_s);
    std::cout << "Wrote " << written << " of " << outcomes.size() << (outcomes.size() == 1 ? " track" : " tracks")
              << " to " << shown_path(utf8_from_path(folder)) << ": " << format_length(audio_ms) << " of "
              << (settings.format == ExportFormat::mid ? "music" : "audio") << " in " << wall << ".\n";
    for (const auto& outcome : outcomes) {
        if (!outcome.written) {
            std::cout << "Skipped track " << outcome.label.track << " (" << printable_text(outcome.label.title)
                      << "): " << printable_text(outcome.reason) << '\n';
            continue;
        }
        std::string notes = outcome.note;
        if (settings.normalize_lufs)
            if (const std::string note = normalization_note(outcome, *settings.normalize_lufs); !note.empty())
                notes += (notes.empty() ? "" : "; ") + note;
        if (!notes.empty())
            std::cout << "Track " << outcome.label.track << " (" << printable_text(outcome.label.title)
                      << "): " << notes << '\n';
    }
    if (arguments.tracks_json)
        write_track_list(folder / "tracks.json", files, titles, tracks, settings.sample_rate,
                         settings.format == ExportFormat::mid ? SynthSoundFonts()
                                                              : SynthSoundFonts::embedded(settings.soundfont),
                         outcomes);
    // A playlist of the mixes: stems have none to list.
    if (settings.album && !settings.stems && settings.format != ExportFormat::mid && written > 0)
        write_playlist(folder / path_from_utf8(set_name + ".m3u"), outcomes);
    if (written != outcomes.size())
        throw CLI::RuntimeError(1);
}

}  // namespace

std::uint16_t ChannelChoice::muted() const
{
    unsigned muted = 0;
    for (int channel : mute)
        muted |= 1U << channel;
    if (!solo.empty()) {
        unsigned alone = 0;
        for (int channel : solo)
            alone |= 1U << channel;
        muted |= ((1U << TAMBELO_CHANNEL_COUNT) - 1) & ~alone;
    }
    return static_cast<std::uint16_t>(muted);
}

void add_channel_options(CLI::App& command, ChannelChoice& choice)
{
    command.add_option("--mute", choice.mute,
                       "Channels (0 to 8, as in the score and 'dump'; such as 3,5) whose notes are left out; "
                       "the rest of the track plays as it was")
        ->delimiter(',')
        ->check(CLI::Range(0, TAMBELO_CHANNEL_COUNT - 1));
    command.add_option("--solo", choice.solo, "Channels (0 to 8) that alone play: every other one is muted")
        ->delimiter(',')
        ->check(CLI::Range(0, TAMBELO_CHANNEL_COUNT - 1));
}

void add_export_command(CLI::App& app)
{
    auto* command = app.add_subcommand(
        "export", "Export tracks as Standard MIDI Files or audio (WAV, FLAC, Ogg Vorbis), played exactly as "
                  "the player plays them");
    auto arguments = std::make_shared<ExportArguments>();
    command->add_option("SET.dat", arguments->set_path, "The set's score archive (its .mda and .txt lie beside it)")
        ->required();
    command->add_option("TRACKS", arguments->tracks, "Tracks to export, such as 3 or 1,4-6 (default: all)");
    command->add_option("--format", arguments->format, "File format")
        ->check(CLI::IsMember({"mid", "wav", "flac", "ogg"}))
        ->capture_default_str();
    command->add_option("--loop-mode", arguments->loop_mode,
                        "What becomes of a looping track: 'fade' plays its loop --loops times and fades out "
                        "(audio); 'seamless' writes the intro and one pass of the loop that repeats without a "
                        "seam. Audio files carry the loop points either way (WAV smpl chunk; FLAC/Ogg LOOPSTART, "
                        "LOOPLENGTH, LOOPEND comments)")
        ->check(CLI::IsMember({"fade", "seamless"}))
        ->capture_default_str();
    command->add_flag("--tracks-json", arguments->tracks_json,
                      "Also write tracks.json beside the files: the exported tracks as 'list --json' describes "
                      "them, with their file names");
    command->add_option("--loops", arguments->loops, "Times a looping track's loop is played (fade mode)")
        ->check(CLI::Range(1, 100))
        ->capture_default_str();
    command->add_option("--fade", arguments->fade_seconds, "Fade-out after the loops of a looping track, seconds (audio, fade mode)")
        ->check(CLI::Range(0.0, 600.0))
        ->capture_default_str();
    command->add_option("--soundfont", arguments->soundfont, "SoundFont for audio (default: the system's)");
    command->add_option("--sample-rate", arguments->sample_rate, "Sample rate of audio files, Hz")
        ->check(CLI::Range(8000, 96000))
        ->capture_default_str();
    command->add_option("-o,--output", arguments->output,
                        "Folder for the files (default: a folder named after the set, made here)");
    add_channel_options(*command, arguments->channels);
    command->add_flag("--stems", arguments->stems,
                      "One file per channel that has notes (and is not muted), named \"NN Title - chK.ext\", "
                      "each as long as the mix: together they make the mix");
    // A flag with an optional "=LUFS": a blank-separated value would take
    // the place of the track list.
    command->add_flag("--normalize{-16}", arguments->normalize_text,
                      "Scale each track of audio so that its integrated loudness (EBU R128) is LUFS "
                      "(--normalize=LUFS, -70 to 0; --normalize alone: -16), or less where its peak would go "
                      "above -1 dBFS")
        ->check(CLI::Range(-70.0, 0.0))
        ->option_text("[=LUFS]");
    command->add_option("--jobs", arguments->jobs, "Tracks rendered at once (default: one per processor)")
        ->check(CLI::Range(1, 256));
    command->callback([arguments] { run_export(*arguments); });
}

}  // namespace tambelo::cli
