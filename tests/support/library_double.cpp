// A stand-in for libtambelo.so with the same seven exports, for tests of the
// window program. It plays nothing: it appends one line per call to the
// file named by TAMBELO_DOUBLE_LOG ("play_music 3", "open_file A B", ...).
// get_next steps up to TAMBELO_DOUBLE_TRACKS (default 30) and stays there;
// get_prev steps down to 1. Built a second time without get_next, to stand
// for a library that lacks an export.

#include "library/exports.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

void record(const std::string& line)
{
    const char* path = std::getenv("TAMBELO_DOUBLE_LOG");
    if (path == nullptr)
        return;
    if (FILE* log = std::fopen(path, "a")) {
        std::fprintf(log, "%s\n", line.c_str());
        std::fclose(log);
    }
}

[[maybe_unused]] int32_t track_count()
{
    const char* text = std::getenv("TAMBELO_DOUBLE_TRACKS");
    return text ? static_cast<int32_t>(std::atoi(text)) : 30;
}

int player = 0;

}  // namespace

void* initialize(void)
{
    record("initialize");
    return &player;
}

void release(void) { record("release"); }

void open_file(const char* score_path, const char* voice_path)
{
    record(std::string("open_file ") + score_path + " " + voice_path);
}

void play_music(int32_t track) { record("play_music " + std::to_string(track)); }

void stop_music(void) { record("stop_music"); }

#ifndef TAMBELO_DOUBLE_WITHOUT_GET_NEXT
int32_t get_next(int32_t track)
{
    record("get_next " + std::to_string(track));
    return track < track_count() ? track + 1 : track;
}
#endif

int32_t get_prev(int32_t track)
{
    record("get_prev " + std::to_string(track));
    return track > 1 ? track - 1 : 1;
}
