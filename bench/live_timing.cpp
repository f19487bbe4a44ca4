// When the clicks of a click track are heard on the live synthesizer: the
// device that applies each message as it arrives ("as sent") against the one
// that places it on the sample clock ("timed"), side by side, on an idle
// machine and with a CPU hog on every core.
//
// The track (a woodblock every sixteenth note at 120 BPM) is packed from the
// score language and played by the real playback thread on the system clock
// through play_music. The synth's sound is pulled the way an audio server
// pulls it: a thread of its own wakes at irregular moments and, whenever
// less than 32 ms are buffered, takes a burst of 512 to 1,024 frames. Frame f
// is heard at (the sink's start) + f / rate. Onsets are found in the pulled
// audio and compared with the ideal grid of the clicks' ticks (aligned on
// the median); the request-to-sound delay runs from play_music to the first
// onset heard, and to the first click's place on that grid (which leaves out
// how far the as-sent device happened to miss that one click).
//
// With --real-sink MONITOR the same runs also go to the system's real audio
// output, recorded from that sink's monitor with parec.

#include "cli/authoring/set_packer.h"
#include "library/midi/synth_device.h"
#include "library/platform/clock.h"
#include "library/platform/thread.h"
#include "library/player.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <csignal>
#include <pthread.h>
#include <sched.h>
#include <unistd.h>

namespace {

using namespace tambelo;
namespace fs = std::filesystem;
using steady = std::chrono::steady_clock;

constexpr double rate = 48000.0;
constexpr int sixteenth_ticks = 12;  // 48 ticks to a quarter note

double seconds_since(steady::time_point origin, steady::time_point moment)
{
    return std::chrono::duration<double>(moment - origin).count();
}

// The click set: one track, one woodblock, a sixteenth-note click for ever.
fs::path write_click_set()
{
    const fs::path folder = fs::temp_directory_path() / ("tambelo-live-timing-" + std::to_string(::getpid()));
    const fs::path source = folder / "source";
    fs::create_directories(source);
    std::ofstream(source / "set.toml") << "title = \"Click\"\n[[track]]\ntitle = \"Click\"\n"
                                          "score = \"click.mml\"\nvoices = \"click.toml\"\n";
    std::ofstream(source / "click.toml") << "[voice.1]\nprogram = 115\nvolume = 127\nreverb = 0\nchorus = 0\n";
    std::ofstream(source / "click.mml") << "phrase start { t120 @1 v120 q2 o5 }\n"
                                           "phrase beat { c16 c16 c16 c16 }\n"
                                           "channel 0: start | beat\n";
    const std::string failure = write_packed_set(pack_set(source), folder);
    if (!failure.empty()) {
        std::fprintf(stderr, "live_timing: cannot pack the click set: %s\n", failure.c_str());
        std::exit(1);
    }
    return folder;
}

// Spins on every core until stopped: the loaded condition.
class CpuHog {
public:
    explicit CpuHog(bool on)
    {
        const unsigned cores = on ? std::max(1u, std::thread::hardware_concurrency()) : 0;
        for (unsigned i = 0; i < cores; ++i)
            threads_.emplace_back([this] {
                volatile std::uint64_t sink = 0;
                while (!stop_.load(std::memory_order_relaxed))
                    sink = sink + 1;
            });
    }
    ~CpuHog()
    {
        stop_ = true;
        for (std::thread& thread : threads_)
            thread.join();
    }

private:
    std::atomic<bool> stop_{false};
    std::vector<std::thread> threads_;
};

struct Run {
    std::vector<float> audio;  // mono, as pulled
    steady::time_point sink_start;
    steady::time_point request;
    std::uint64_t late_messages = 0;
    int underruns = 0;
    bool real_time = false;  // whether raising the threads' priority worked
};

// Plays the click set for `seconds` on a synth pulled by a simulated sink.
Run play(const fs::path& set, const std::string& soundfont, const SynthTiming& timing, double seconds)
{
    std::string why;
    std::unique_ptr<SynthDevice> device = SynthDevice::open_pulled(soundfont, rate, timing, system_clock(), &why);
    if (!device) {
        std::fprintf(stderr, "live_timing: %s\n", why.c_str());
        std::exit(1);
    }
    SynthDevice* synth = device.get();
    Run run;
    run.audio.reserve(static_cast<std::size_t>(rate * (seconds + 2)));

    std::atomic<bool> stop{false};
    run.sink_start = steady::now();
    std::thread sink([&] {
        // An audio server's pulling thread runs ahead of ordinary threads.
        raise_current_thread_priority();
        {
            int policy = 0;
            sched_param param{};
            pthread_getschedparam(pthread_self(), &policy, &param);
            run.real_time = policy != SCHED_OTHER;
        }
        std::mt19937 random(7);
        std::uniform_int_distribution<int> burst(512, 1024), pause_us(500, 6000);
        std::vector<float> left(1024), right(1024);
        constexpr double buffered_frames = 0.032 * rate;
        while (!stop.load()) {
            const double played = seconds_since(run.sink_start, steady::now()) * rate;
            if (!run.audio.empty() && static_cast<double>(run.audio.size()) < played)
                ++run.underruns;
            while (static_cast<double>(run.audio.size()) - played < buffered_frames) {
                const int frames = burst(random);
                std::fill_n(left.begin(), frames, 0.0f);
                std::fill_n(right.begin(), frames, 0.0f);
                synth->render(left.data(), right.data(), frames);
                for (int i = 0; i < frames; ++i)
                    run.audio.push_back(left[i] + right[i]);
            }
            std::this_thread::sleep_for(std::chrono::microseconds(pause_us(random)));
        }
    });
    PlayerServices services;
    services.open_device = [&device]() -> std::unique_ptr<MidiDevice> { return std::move(device); };
    Player* player = create_player(services);
    const std::string score = (set / "amus.dat").string(), voices = (set / "amus.mda").string();
    open_file(*player, score.c_str(), voices.c_str());
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the device is open and pulled
    run.request = steady::now();
    play_music(*player, 1);
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    stop_music(*player);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    run.late_messages = synth->timeline() ? synth->timeline()->late_messages() : 0;
    stop = true;
    sink.join();
    destroy_player(player);
    return run;
}

// The same on the system's real audio output, recorded from the sink's
// monitor by `record_command` (raw 32-bit float mono at 48 kHz on its
// standard output, e.g. parec). The recording's start is not known to the
// sample, so only the deviations count; the delay is left out.
Run play_on_real_sink(const fs::path& set, const std::string& soundfont, const SynthTiming& timing,
                      double seconds, const std::string& record_command)
{
    Run run;
    // The shell says its process id, then becomes the recorder, so that the
    // recorder can be stopped by its id.
    FILE* recorder = ::popen(("echo $$; exec " + record_command).c_str(), "r");
    char pid_line[32] = {};
    if (recorder == nullptr || std::fgets(pid_line, sizeof pid_line, recorder) == nullptr) {
        std::fprintf(stderr, "live_timing: cannot run \"%s\"\n", record_command.c_str());
        std::exit(1);
    }
    std::thread reader([&] {
        float block[1024];
        std::size_t got = 0;
        while ((got = std::fread(block, sizeof(float), 1024, recorder)) > 0)
            run.audio.insert(run.audio.end(), block, block + got);
    });
    PlayerServices services;
    services.open_device = [&]() -> std::unique_ptr<MidiDevice> {
        std::string why;
        std::unique_ptr<SynthDevice> device = SynthDevice::open(soundfont, timing, &why);
        if (!device)
            std::fprintf(stderr, "live_timing: no real audio output: %s\n", why.c_str());
        return device;
    };
    Player* player = create_player(services);
    const std::string score = (set / "amus.dat").string(), voices = (set / "amus.mda").string();
    open_file(*player, score.c_str(), voices.c_str());
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    run.request = run.sink_start = steady::now();
    play_music(*player, 1);
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    stop_music(*player);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    destroy_player(player);
    ::kill(static_cast<pid_t>(std::atol(pid_line)), SIGINT);
    reader.join();  // the recorder's end closes the pipe, which ends the reading
    ::pclose(recorder);
    return run;
}

// Sample indices where a click starts: the level reaches 40 % of a click's
// peak where the 30 ms before stayed below 30 % of it (the woodblock's tail
// has died down to a few per cent by the next click). A click's peak is the
// median of the peaks of every 125 ms, so that clicks that pile up (a
// starved thread catching up) do not raise it. Every click is the same note,
// so the crossing lies at the same point of each click's attack.
std::vector<std::size_t> find_onsets(const std::vector<float>& audio)
{
    const auto window = static_cast<std::size_t>(0.125 * rate);
    std::vector<float> peaks;
    for (std::size_t start = 0; start + window <= audio.size(); start += window) {
        float peak = 0;
        for (std::size_t i = start; i < start + window; ++i)
            if (std::isfinite(audio[i]))
                peak = std::max(peak, std::fabs(audio[i]));
        if (peak > 0)
            peaks.push_back(peak);
    }
    if (peaks.empty())
        return {};
    std::nth_element(peaks.begin(), peaks.begin() + static_cast<std::ptrdiff_t>(peaks.size() / 2), peaks.end());
    const float click_peak = peaks[peaks.size() / 2];
    const float onset = click_peak * 0.4f, quiet = click_peak * 0.3f;
    const auto quiet_needed = static_cast<std::size_t>(0.030 * rate);
    std::vector<std::size_t> onsets;
    std::size_t quiet_run = quiet_needed;
    for (std::size_t i = 0; i < audio.size(); ++i) {
        const float level = std::fabs(audio[i]);
        if (level >= onset && quiet_run >= quiet_needed)
            onsets.push_back(i);
        quiet_run = level < quiet ? quiet_run + 1 : 0;
    }
    return onsets;
}

struct Figures {
    std::size_t clicks = 0;
    double median = 0, p99 = 0, max = 0;  // |deviation| from the grid, ms
    double delay_ms = 0;          // to the first click heard
    double typical_delay_ms = 0;  // to the first click's place on the grid the clicks fit best
    std::uint64_t late = 0;
    int underruns = 0;
    bool real_time = false;  // whether raising the threads' priority worked
};

double percentile(const std::vector<double>& sorted, double p)
{
    if (sorted.empty())
        return std::nan("");
    const auto index = static_cast<std::size_t>(std::ceil(p * static_cast<double>(sorted.size()))) - 1;
    return sorted[std::min(index, sorted.size() - 1)];
}

Figures measure(const Run& run, double click_ms)
{
    Figures figures;
    const std::vector<std::size_t> onsets = find_onsets(run.audio);
    figures.clicks = onsets.size();
    figures.late = run.late_messages;
    figures.underruns = run.underruns;
    figures.real_time = run.real_time;
    if (onsets.empty())
        return figures;
    figures.delay_ms = (seconds_since(run.request, run.sink_start) + static_cast<double>(onsets[0]) / rate) * 1000;
    // Each onset belongs to the click whose grid slot is nearest to it.
    std::vector<double> offsets;
    const double first_ms = static_cast<double>(onsets[0]) / rate * 1000;
    for (std::size_t onset : onsets) {
        const double at_ms = static_cast<double>(onset) / rate * 1000 - first_ms;
        offsets.push_back(at_ms - std::round(at_ms / click_ms) * click_ms);
    }
    std::vector<double> sorted = offsets;
    std::sort(sorted.begin(), sorted.end());
    const double centre = percentile(sorted, 0.5);
    figures.typical_delay_ms = figures.delay_ms + centre;
    std::vector<double> deviations;
    for (double offset : offsets)
        deviations.push_back(std::fabs(offset - centre));
    std::sort(deviations.begin(), deviations.end());
    figures.median = percentile(deviations, 0.5);
    figures.p99 = percentile(deviations, 0.99);
    figures.max = deviations.back();
    return figures;
}

void print_side_by_side(const char* condition, const Figures& old_device, const Figures& timed)
{
    std::printf("\n%s%-42s %12s %12s\n", condition, "", "as sent", "timed");
    std::printf("%-42s %12zu %12zu\n", "clicks heard", old_device.clicks, timed.clicks);
    std::printf("%-42s %12.3f %12.3f\n", "median deviation (ms)", old_device.median, timed.median);
    std::printf("%-42s %12.3f %12.3f\n", "99th percentile deviation (ms)", old_device.p99, timed.p99);
    std::printf("%-42s %12.3f %12.3f\n", "maximum deviation (ms)", old_device.max, timed.max);
    std::printf("%-42s %12.1f %12.1f\n", "request-to-sound delay, first click (ms)", old_device.delay_ms,
                timed.delay_ms);
    std::printf("%-42s %12.1f %12.1f\n", "request-to-sound delay, on the grid (ms)", old_device.typical_delay_ms,
                timed.typical_delay_ms);
    std::printf("%-42s %12s %12llu\n", "messages too late for their frame", "-",
                static_cast<unsigned long long>(timed.late));
    std::printf("%-42s %12d %12d\n", "sink underruns", old_device.underruns, timed.underruns);
    std::printf("%-42s %12s %12s\n", "threads at real-time priority", old_device.real_time ? "yes" : "no",
                timed.real_time ? "yes" : "no");
}

bool meets_goal(const Figures& old_device, const Figures& timed)
{
    return timed.clicks > 10 && timed.p99 <= 1.0 && timed.max <= 1.5 &&
           timed.typical_delay_ms - old_device.typical_delay_ms <= 30.0;
}

}  // namespace

int main(int argc, char** argv)
{
    double seconds = 20;
    SynthTiming timing;
    std::string soundfont, real_sink_monitor;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--seconds")
            seconds = std::atof(argv[i + 1]);
        else if (option == "--latency")
            timing.latency_ms = std::atof(argv[i + 1]);
        else if (option == "--soundfont")
            soundfont = argv[i + 1];
        else if (option == "--real-sink")
            real_sink_monitor = argv[i + 1];
    }
    const fs::path set = write_click_set();
    const double click_ms = sixteenth_ticks * 1136.3645833333333 / 109.0;  // t120 is tempo value 109
    std::printf("click every %.3f ms, %.0f s per run, timed latency %.1f ms, %u cores\n", click_ms, seconds,
                timing.latency_ms, std::thread::hardware_concurrency());
    std::fflush(stdout);

    bool met = true;
    for (const bool loaded : {false, true}) {
        CpuHog hog(loaded);
        const Figures old_device = measure(play(set, soundfont, SynthTiming{0.0}, seconds), click_ms);
        const Figures timed = measure(play(set, soundfont, timing, seconds), click_ms);
        print_side_by_side(loaded ? "with a CPU hog on every core" : "idle (no hog of ours)", old_device, timed);
        const bool ok = meets_goal(old_device, timed);
        std::printf("goal (p99 <= 1 ms, max <= 1.5 ms, added delay <= 30 ms): %s (added delay %.1f ms on the "
                    "grid, %.1f ms at the first click)\n",
                    ok ? "met" : "NOT met", timed.typical_delay_ms - old_device.typical_delay_ms,
                    timed.delay_ms - old_device.delay_ms);
        std::fflush(stdout);
        met = met && ok;
    }
    if (!real_sink_monitor.empty()) {
        // PulseAudio's recorder on the monitor of the sink the synth plays to.
        const std::string record = "parec -d " + real_sink_monitor +
                                   " --format=float32le --rate=48000 --channels=1 --raw";
        for (const bool loaded : {false, true}) {
            CpuHog hog(loaded);
            const Figures old_device = measure(play_on_real_sink(set, soundfont, SynthTiming{0.0}, seconds, record), click_ms);
            const Figures timed = measure(play_on_real_sink(set, soundfont, timing, seconds, record), click_ms);
            print_side_by_side(loaded ? "real sink, with a CPU hog on every core" : "real sink, idle (no hog of ours)",
                               old_device, timed);
            std::fflush(stdout);
        }
    }
    std::error_code ignored;
    fs::remove_all(set, ignored);
    return met ? 0 : 1;
}
