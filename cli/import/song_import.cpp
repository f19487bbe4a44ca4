#include "cli/import/song_import.h"

#include "cli/authoring/temporary_file.h"
#include "cli/import/midi_file_parser.h"
#include "cli/import/score_fit.h"
#include "cli/import/score_writer.h"
#include "cli/import/song_conversion.h"
#include "cli/import/source_files.h"
#include "cli/safe_text.h"
#include "cli/utf8_path.h"

#include <fstream>
#include <memory>
#include <system_error>

namespace tambelo {
namespace {

// The file's name without folder and extension, as UTF-8 on every system.
std::string file_stem(const std::string& name)
{
    return utf8_from_path(path_from_utf8(name).stem());
}

}  // namespace

ImportedSource import_midi_song(std::span<const std::uint8_t> bytes, const std::string& name)
{
    ImportReport report;
    SongTimeline timeline;
    const ImportedSong song = convert_song(parse_midi_file(bytes), report, &timeline);

    ImportedSource source;
    VoiceNumbers voices;
    source.score = write_score(song, printable_text(utf8_from_path(path_from_utf8(name).filename())), voices, report);
    check_score_fits(source.score, song.tempo_base);
    source.voice_set = write_voice_set(song, voices);
    const std::string stem = printable_text(file_stem(name));
    source.set_file = write_set_file(timeline.album.empty() ? stem : timeline.album,
                                     timeline.title.empty() ? stem : timeline.title);
    source.report = report.lines();
    // The score keeps the report, for whoever edits it later.
    if (!source.report.empty()) {
        std::string notes = "// What the file held that this score does not:\n";
        for (const std::string& line : source.report)
            notes += "//   " + line + "\n";
        source.score = notes + source.score;
    }
    return source;
}

std::string write_source_folder(const ImportedSource& source, const std::filesystem::path& folder)
{
    std::error_code error;
    const std::string shown = shown_path(folder.string());
    if (std::filesystem::exists(folder / "set.toml", error))
        return shown + " holds a set.toml already; import into a new folder";
    std::filesystem::create_directories(folder, error);
    if (error)
        return "cannot make " + shown + ": " + error.message();
    const std::pair<const char*, const std::string*> files[] = {
        {imported_score_name, &source.score}, {imported_voices_name, &source.voice_set}, {"set.toml", &source.set_file}};
    std::vector<std::unique_ptr<TemporaryFile>> written;
    for (const auto& [file_name, text] : files) {
        auto file = std::make_unique<TemporaryFile>((folder / file_name).string());
        if (!file->reserved())
            return file->error();
        std::ofstream out(file->path(), std::ios::binary);
        out << *text;
        out.close();
        if (!out)
            return "cannot write " + shown_path(file->path());
        written.push_back(std::move(file));
    }
    // set.toml last: a folder without it is no source yet.
    for (auto& file : written)
        if (std::string problem = file->commit(); !problem.empty())
            return problem;
    return {};
}

}  // namespace tambelo
