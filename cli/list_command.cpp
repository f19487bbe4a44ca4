#include "cli/commands.h"

#include "library/page_archive.h"

#include <filesystem>
#include <iostream>

namespace tambelo::cli {

void add_list_command(CLI::App& app)
{
    auto* command = app.add_subcommand("list", "List the tracks of a music set");
    auto set_path = std::make_shared<std::string>();
    command->add_option("SET.dat", *set_path, "The set's score archive")->required();
    command->callback([set_path] {
        const char* path = set_path->c_str();
        if (!std::filesystem::is_regular_file(*set_path))
            fail("no such file: " + *set_path);
        if (PageArchive::next_entry(path, 0) == 0) {
            std::cout << "no tracks in " << *set_path << '\n';
            return;
        }
        for (std::int32_t track = 1;; ++track) {
            const auto entry = PageArchive::read_entry(path, track);
            std::cout << track << '\t' << (entry ? entry->size() : 0) << " bytes\n";
            if (PageArchive::next_entry(path, track) == track)
                break;
        }
    });
}

}  // namespace tambelo::cli
