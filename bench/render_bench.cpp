// Render speed of audio export, side by side with FluidSynth's own file
// rendering: for every track of a music set, `tambelo-cli export --format
// wav` against `fluidsynth -F` rendering the Standard MIDI File that
// tambelo-cli exports for the same track, with the same SoundFont, sample
// rate and GS set-up. Both run as processes, one thread each, SoundFont
// loading included; each figure is the best of several runs. Speeds are in
// multiples of real time (seconds of audio per second of wall or CPU time).
// A last column runs fluidsynth again with the C library asking for huge
// pages, as tambelo does for the SoundFont's samples.
//
//   render_bench [--set SET.dat] [--soundfont SF2] [--sample-rate HZ] [--repeat N]

#include "cli/music_set_files.h"
#include "library/render/render_set.h"
#include "library/midi/fluid_synth_setup.h"

#include <sndfile.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Timing {
    double wall_s = 1e300;
    double cpu_s = 1e300;
};

std::string shell_quoted(const std::string& text)
{
    std::string result = "'";
    for (const char c : text)
        result += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return result + "'";
}

double children_cpu_s()
{
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Runs `command` through the shell `repeat` times; the best wall and CPU
// times. Exits the program when the command fails.
Timing best_of(const std::string& command, int repeat)
{
    Timing best;
    for (int run = 0; run < repeat; ++run) {
        const double cpu_before = children_cpu_s();
        const auto start = std::chrono::steady_clock::now();
        const int status = std::system((command + " >/dev/null 2>&1").c_str());
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            std::cerr << "render_bench: failed: " << command << '\n';
            std::exit(1);
        }
        best.wall_s = std::min(best.wall_s, wall);
        best.cpu_s = std::min(best.cpu_s, children_cpu_s() - cpu_before);
    }
    return best;
}

// Seconds of audio in every WAV file under `folder`.
double audio_seconds(const fs::path& folder)
{
    double seconds = 0.0;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.path().extension() != ".wav")
            continue;
        SF_INFO info{};
        SNDFILE* file = sf_open(entry.path().c_str(), SFM_READ, &info);
        if (file == nullptr)
            continue;
        seconds += static_cast<double>(info.frames) / info.samplerate;
        sf_close(file);
    }
    return seconds;
}

std::vector<fs::path> files_in(const fs::path& folder)
{
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(folder))
        files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

struct Row {
    std::string name;
    double ours_audio_s, theirs_audio_s;
    Timing ours, theirs;
    // FluidSynth with its memory backed by huge pages as tambelo's samples
    // are; nothing measured when its CPU time is 0.
    Timing theirs_huge{0, 0};
};

void print_row(const Row& row)
{
    const double ours_wall = row.ours_audio_s / row.ours.wall_s;
    const double theirs_wall = row.theirs_audio_s / row.theirs.wall_s;
    const double ours_cpu = row.ours_audio_s / row.ours.cpu_s;
    const double theirs_cpu = row.theirs_audio_s / row.theirs.cpu_s;
    std::printf("%-8s %8.1f %7.2f %7.1fx %7.1fx | %8.1f %7.2f %7.1fx %7.1fx | %6.2f %6.2f", row.name.c_str(),
                row.ours_audio_s, row.ours.wall_s, ours_wall, ours_cpu, row.theirs_audio_s, row.theirs.wall_s,
                theirs_wall, theirs_cpu, ours_wall / theirs_wall, ours_cpu / theirs_cpu);
    if (row.theirs_huge.cpu_s > 0)
        std::printf(" | %7.1fx %6.2f", row.theirs_audio_s / row.theirs_huge.cpu_s,
                    ours_cpu / (row.theirs_audio_s / row.theirs_huge.cpu_s));
    std::printf("\n");
}

}  // namespace

int main(int argc, char** argv)
{
    std::string set = TAMBELO_SAMPLE_SET;
    std::string soundfont;
    int rate = 44100;
    int repeat = 3;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--set")
            set = argv[i + 1];
        else if (option == "--soundfont")
            soundfont = argv[i + 1];
        else if (option == "--sample-rate")
            rate = std::atoi(argv[i + 1]);
        else if (option == "--repeat")
            repeat = std::max(1, std::atoi(argv[i + 1]));
    }
    if (soundfont.empty()) {
        const auto candidates = tambelo::soundfont_candidates();
        if (candidates.empty()) {
            std::cerr << "render_bench: no SoundFont found; name one with --soundfont\n";
            return 1;
        }
        soundfont = candidates.front();
    }
    if (std::system("fluidsynth --version >/dev/null 2>&1") != 0) {
        std::cerr << "render_bench: the fluidsynth program is missing (Debian package fluidsynth)\n";
        return 1;
    }
    const tambelo::MusicSetFiles files = tambelo::music_set_files(set);
    const auto opened = tambelo::RenderSet::open_files(files.score, files.voice, "", nullptr);
    const std::int32_t tracks = opened ? opened->track_count() : 0;
    if (tracks == 0) {
        std::cerr << "render_bench: no tracks in " << set << " (build the sample set first)\n";
        return 1;
    }

    const fs::path work = fs::temp_directory_path() / ("render_bench." + std::to_string(getpid()));
    fs::create_directories(work);
    const std::string cli = shell_quoted(TAMBELO_CLI);
    const std::string common = " --soundfont " + shell_quoted(soundfont) + " --sample-rate " + std::to_string(rate);
    const std::string fluid = "fluidsynth -q -n -i -o synth.device-id=32 -o synth.midi-bank-select=gs -r " +
                              std::to_string(rate) + " -T wav";

    std::printf("Audio export speed: tambelo-cli export --format wav against fluidsynth -F of the MIDI file\n"
                "tambelo-cli exports for the same track (2 loops; tambelo adds its 8 s fade-out).\n"
                "Set %s, SoundFont %s, %d Hz, best of %d runs, one process and one thread each.\n"
                "Speeds in multiples of real time, by wall and by CPU time; ratio = tambelo / fluidsynth.\n\n",
                set.c_str(), soundfont.c_str(), rate, repeat);
    std::printf("%-8s %8s %7s %8s %8s | %8s %7s %8s %8s | %6s %6s | %8s %6s\n", "track", "audio s", "wall s",
                "x wall", "x cpu", "audio s", "wall s", "x wall", "x cpu", "wall", "cpu", "x cpu", "cpu");
    std::printf("%-8s %-41s | %-41s | %-13s | %s\n", "", "tambelo", "fluidsynth", "ratio", "fluidsynth, huge pages");

    Row total{"all", 0, 0, {0, 0}, {0, 0}, {0, 0}};
    std::vector<std::string> midi_files;
    for (std::int32_t track = 1; track <= tracks; ++track) {
        const fs::path ours = work / ("ours" + std::to_string(track));
        const fs::path midi = work / ("mid" + std::to_string(track));
        const fs::path theirs = work / ("fluidsynth" + std::to_string(track));
        fs::create_directories(theirs);
        best_of(cli + " export " + shell_quoted(set) + " " + std::to_string(track) + " --format mid -o " + shell_quoted(midi), 1);
        const fs::path midi_file = files_in(midi).front();
        midi_files.push_back(midi_file.string());
        Row row{std::to_string(track), 0, 0, {}, {}, {}};
        row.ours = best_of(cli + " export " + shell_quoted(set) + " " + std::to_string(track) +
                               " --format wav --jobs 1 -o " + shell_quoted(ours) + common,
                           repeat);
        row.theirs = best_of(fluid + " -F " + shell_quoted((theirs / "out.wav").string()) + " " + shell_quoted(soundfont) +
                                 " " + shell_quoted(midi_file.string()),
                             repeat);
        // FluidSynth reads the SoundFont's samples into memory of 4 KB pages;
        // tambelo asks for huge pages for it. The C library's malloc can be
        // told to ask too, which shows how much of the difference that is.
        row.theirs_huge = best_of("GLIBC_TUNABLES=glibc.malloc.hugetlb=1 " + fluid + " -F " +
                                      shell_quoted((theirs / "out.wav").string()) + " " + shell_quoted(soundfont) +
                                      " " + shell_quoted(midi_file.string()),
                                  repeat);
        row.ours_audio_s = audio_seconds(ours);
        row.theirs_audio_s = audio_seconds(theirs);
        print_row(row);
        total.ours_audio_s += row.ours_audio_s;
        total.theirs_audio_s += row.theirs_audio_s;
        total.ours.wall_s += row.ours.wall_s;
        total.ours.cpu_s += row.ours.cpu_s;
        total.theirs.wall_s += row.theirs.wall_s;
        total.theirs.cpu_s += row.theirs.cpu_s;
        total.theirs_huge.wall_s += row.theirs_huge.wall_s;
        total.theirs_huge.cpu_s += row.theirs_huge.cpu_s;
    }
    print_row(total);

    // The whole set in one process each: the SoundFont is loaded once.
    std::printf("\nWhole set in one process (SoundFont loaded once):\n");
    const fs::path set_ours = work / "set-ours";
    const fs::path set_theirs = work / "set-fluidsynth";
    fs::create_directories(set_theirs);
    std::string all_midi;
    for (const auto& file : midi_files)
        all_midi += " " + shell_quoted(file);
    Row whole{"set", 0, 0, {}, {}, {0, 0}};
    whole.ours = best_of(cli + " export " + shell_quoted(set) + " --format wav --jobs 1 -o " + shell_quoted(set_ours) + common,
                         repeat);
    whole.theirs = best_of(fluid + " -F " + shell_quoted((set_theirs / "out.wav").string()) + " " + shell_quoted(soundfont) +
                               all_midi,
                           repeat);
    whole.ours_audio_s = audio_seconds(set_ours);
    whole.theirs_audio_s = audio_seconds(set_theirs);
    print_row(whole);

    const fs::path set_parallel = work / "set-parallel";
    const Timing parallel =
        best_of(cli + " export " + shell_quoted(set) + " --format wav -o " + shell_quoted(set_parallel) + common, repeat);
    std::printf("tambelo on every core: %.1f s of audio in %.2f s wall: %.1fx real time\n",
                audio_seconds(set_parallel), parallel.wall_s, audio_seconds(set_parallel) / parallel.wall_s);

    fs::remove_all(work);
    return 0;
}
