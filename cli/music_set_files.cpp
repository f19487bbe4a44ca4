#include "cli/music_set_files.h"

#include "library/page_archive.h"

namespace tambelo {

MusicSetFiles music_set_files(const std::string& score_path)
{
    const std::string base = score_path.substr(0, score_path.size() >= 4 ? score_path.size() - 4 : 0);
    return {score_path, base + ".mda", base + ".txt"};
}

std::int32_t count_tracks(const std::string& score_path)
{
    std::int32_t count = 0;
    while (PageArchive::next_entry(score_path.c_str(), count) == count + 1)
        ++count;
    return count;
}

}  // namespace tambelo
