#include "cli/commands.h"

#include "cli/authoring/set_packer.h"
#include "cli/utf8_path.h"

#include <filesystem>
#include <iostream>

namespace tambelo::cli {

void add_pack_command(CLI::App& app)
{
    auto* command = app.add_subcommand(
        "pack", "Build a music set (amus.dat, amus.mda, amus.txt) from its sources: a folder "
                "with set.toml, scores in the score language and voice sets in TOML");
    auto source_dir = std::make_shared<std::string>();
    auto out_dir = std::make_shared<std::string>();
    command->add_option("SOURCE_DIR", *source_dir, "Folder holding set.toml")->required();
    command->add_option("-o,--output", *out_dir, "Folder to write the music set into")->required();
    command->callback([source_dir, out_dir] {
        PackedSet set;
        try {
            set = pack_set(path_from_utf8(*source_dir));
        } catch (const SourceError& error) {
            fail(error.what());
        }
        if (const std::string problem = write_packed_set(set, path_from_utf8(*out_dir)); !problem.empty())
            fail(problem);
        const auto out = path_from_utf8(*out_dir);
        std::cout << "packed " << set.track_count << (set.track_count == 1 ? " track" : " tracks")
                  << " into " << utf8_from_path(out / "amus.dat") << ", amus.mda and amus.txt\n";
    });
}

}  // namespace tambelo::cli
