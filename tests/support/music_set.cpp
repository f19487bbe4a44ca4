#include "tests/support/music_set.h"

#include "cli/authoring/page_archive_writer.h"

namespace tambelo::testing {

MusicSetPaths write_music_set(const TempDir& folder, const std::vector<std::vector<std::uint8_t>>& scores,
                              const std::vector<std::vector<std::uint8_t>>& voice_sets, const std::string& name)
{
    return {folder.write(name + ".dat", build_page_archive(scores)),
            folder.write(name + ".mda", build_page_archive(voice_sets))};
}

}  // namespace tambelo::testing
