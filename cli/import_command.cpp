#include "cli/commands.h"

#include "cli/import/midi_file_parser.h"
#include "cli/import/song_import.h"
#include "cli/input_files.h"
#include "cli/safe_text.h"
#include "cli/utf8_path.h"

#include <iostream>

namespace tambelo::cli {
namespace {

// A Standard MIDI File of a song runs to a few hundred kilobytes; this
// leaves room for the longest and stops a device named as a file.
constexpr std::size_t max_midi_file_bytes = std::size_t{64} << 20;

void run_import(const std::string& midi_path, const std::string& out_dir)
{
    require_input_file(midi_path);
    std::string why;
    const auto bytes = read_whole_file(midi_path, max_midi_file_bytes, &why);
    if (!bytes)
        fail(why);
    ImportedSource source;
    try {
        source = import_midi_song(
            std::span(reinterpret_cast<const std::uint8_t*>(bytes->data()), bytes->size()), midi_path);
    } catch (const MidiFileError& error) {
        fail(shown_path(midi_path) + ": " + error.what());
    }
    if (const std::string problem = write_source_folder(source, path_from_utf8(out_dir)); !problem.empty())
        fail(problem);
    std::cout << "imported " << shown_path(midi_path) << " into " << shown_path(out_dir) << "\n";
    if (source.report.empty())
        std::cout << "the score holds everything the file plays\n";
    else
        std::cout << "what the score does not hold as the file had it:\n";
    for (const std::string& line : source.report)
        std::cout << "  " << line << "\n";
}

}  // namespace

void add_import_command(CLI::App& app)
{
    auto* command = app.add_subcommand(
        "import", "Make a source folder (set.toml, a score in the score language, a voice set) from a "
                  "Standard MIDI File, for pack; lists what the score cannot hold");
    auto midi_path = std::make_shared<std::string>();
    auto out_dir = std::make_shared<std::string>();
    command->add_option("SONG.mid", *midi_path, "Standard MIDI File of format 0 or 1")->required();
    command->add_option("-o,--output", *out_dir, "Folder to write the source into (no set.toml there yet)")
        ->required();
    command->callback([midi_path, out_dir] { run_import(*midi_path, *out_dir); });
}

}  // namespace tambelo::cli
