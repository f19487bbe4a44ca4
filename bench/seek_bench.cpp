// Seek time of the rendering library: for every track of a music set in
// forever mode, the time tambelo_track_seek takes to go 2 minutes into the
// track with the SoundFont already loaded (the synthesizer made anew, the
// track played off line up to there, its set-up applied), best, median and
// worst of several seeks, by wall time and by the thread's CPU time.
//
//   seek_bench [SET.dat] [SECONDS] [REPEAT] [SOUNDFONT]

#include <tambelo/render.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

namespace {

double thread_cpu_ms()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1000.0 + static_cast<double>(now.tv_nsec) / 1e6;
}

}  // namespace

int main(int argc, char** argv)
{
    const char* set_path = argc > 1 ? argv[1] : TAMBELO_SAMPLE_SET;
    const double seconds = argc > 2 ? std::atof(argv[2]) : 120.0;
    const int repeat = argc > 3 ? std::atoi(argv[3]) : 15;
    tambelo_set* set = nullptr;
    if (const char* error = tambelo_set_open_path(set_path, &set)) {
        std::fprintf(stderr, "seek_bench: %s\n", error);
        return 1;
    }
    std::printf("seek to %.0f s, %d seeks per track, ms (wall | CPU)\n", seconds, repeat);
    std::printf("track   best  median   worst |   best  median   worst\n");
    for (int number = 1; number <= tambelo_set_track_count(set); ++number) {
        tambelo_render_settings settings;
        tambelo_render_settings_init(&settings);
        settings.loop_mode = TAMBELO_LOOP_FOREVER;
        settings.soundfont = argc > 4 ? argv[4] : nullptr;
        tambelo_track* track = nullptr;
        if (const char* error = tambelo_track_open(set, number, &settings, &track)) {
            std::printf("%5d  %s\n", number, error);
            continue;
        }
        std::vector<float> frames(2 * 1024);
        tambelo_track_render_float(track, frames.data(), 1024);
        std::vector<double> wall, cpu;
        for (int run = 0; run < repeat; ++run) {
            const double cpu_before = thread_cpu_ms();
            const auto start = std::chrono::steady_clock::now();
            const char* error = tambelo_track_seek(track, seconds * 1000.0);
            wall.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
            cpu.push_back(thread_cpu_ms() - cpu_before);
            if (error) {
                std::fprintf(stderr, "seek_bench: track %d: %s\n", number, error);
                return 1;
            }
            // Some sound after each seek, as a player renders on.
            tambelo_track_render_float(track, frames.data(), 1024);
        }
        std::sort(wall.begin(), wall.end());
        std::sort(cpu.begin(), cpu.end());
        const auto mid = wall.size() / 2;
        std::printf("%5d %6.2f %7.2f %7.2f | %6.2f %7.2f %7.2f\n", number, wall.front(), wall[mid], wall.back(),
                    cpu.front(), cpu[mid], cpu.back());
        tambelo_track_close(track);
    }
    tambelo_set_close(set);
    return 0;
}
