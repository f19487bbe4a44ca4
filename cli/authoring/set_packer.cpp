#include "cli/authoring/set_packer.h"

#include "cli/authoring/page_archive_writer.h"
#include "cli/authoring/score_encoder.h"
#include "cli/authoring/score_parser.h"
#include "cli/authoring/toml_reading.h"
#include "cli/authoring/voice_set_source.h"
#include "cli/input_files.h"
#include "titles/leading_number.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <span>
#include <fstream>
#include <sstream>

namespace tambelo {
namespace {

constexpr const char* set_file_name = "set.toml";
constexpr const char* file_names[] = {"amus.dat", "amus.mda", "amus.txt"};

std::string read_text_file(const std::filesystem::path& path, const std::string& shown_in,
                           SourceLocation mentioned_at)
{
    std::string why;
    auto text = cli::read_whole_file(path.string(), max_source_bytes, &why);
    if (!text)
        throw SourceError(shown_in, mentioned_at, why);
    return std::move(*text);
}

VoiceSetSource track_voices(const toml::table& track, const std::filesystem::path& source_dir,
                            const std::string& set_file)
{
    const auto* node = track.get("voices");
    if (!node)
        return {};
    if (node->is_table())
        return parse_voice_set(*node->as_table(), set_file);
    const auto path = source_dir / string_value(*node, "voices", set_file);
    if (const cli::InputCheck check = cli::check_input_file(path.string()); check.kind != cli::InputKind::readable)
        throw SourceError(set_file, location_of(node->source()),
                          check.kind == cli::InputKind::missing ? "no voice set file " + path.string() : check.reason);
    return read_voice_set_file(path);
}

std::vector<std::uint8_t> track_score(const toml::table& track, const VoiceSetSource& voices,
                                      const std::filesystem::path& source_dir,
                                      const std::string& set_file, SourceLocation track_at)
{
    const auto* node = track.get("score");
    if (!node)
        throw SourceError(set_file, track_at, "this track names no score (score = \"file\")");
    const auto path = source_dir / string_value(*node, "score", set_file);
    const std::string text = read_text_file(path, set_file, location_of(node->source()));
    return encode_score(parse_score(text, path.string()), voices.tempo_base);
}

std::string checked_title(const toml::node* node, const std::string& what, SourceLocation owner_at,
                          const std::string& file)
{
    if (!node)
        throw SourceError(file, owner_at, what + " has no title (title = \"...\")");
    std::string title = string_value(*node, "title", file);
    if (title.empty())
        throw SourceError(file, location_of(node->source()), "the title of " + what + " is empty");
    for (const char c : title)
        if (static_cast<unsigned char>(c) < 32 || c == 127)
            throw SourceError(file, location_of(node->source()),
                              "a title is one line without control characters");
    return title;
}

}  // namespace

std::string title_problem(int track, const std::string& title)
{
    const std::string line = std::to_string(track) + " " + title;
    const double read_back = leading_number(line);
    if (read_back == track)
        return {};
    char number[32];
    std::snprintf(number, sizeof number, "%g", read_back);
    return "the title list line \"" + line + "\" would be read as a line of track " + number +
           "; begin the title with something other than a digit, a point, a blank or an "
           "exponent such as E5";
}

std::string build_title_list(const std::string& set_title, const std::vector<std::string>& titles)
{
    std::string list = "0 " + set_title + "\r\n";
    for (std::size_t i = 0; i < titles.size(); ++i)
        list += std::to_string(i + 1) + " " + titles[i] + "\r\n";
    return list;
}

PackedSet pack_set(const std::filesystem::path& source_dir)
{
    const auto set_path = source_dir / set_file_name;
    const std::string set_file = set_path.string();
    if (const cli::InputCheck check = cli::check_input_file(set_file); check.kind != cli::InputKind::readable)
        throw SourceError(set_file, {}, check.kind == cli::InputKind::missing
                                            ? "no such file; a source folder describes its set in " +
                                                  std::string(set_file_name)
                                            : check.reason);
    const toml::table set = read_toml_file(set_path);
    check_keys(set, {"title", "track"}, set_file);
    const std::string set_title = checked_title(set.get("title"), "the set", {1, 1}, set_file);

    const auto* tracks = set.get_as<toml::array>("track");
    if (!tracks || tracks->empty())
        throw SourceError(set_file, {}, "the set has no tracks (add [[track]] tables)");
    std::vector<std::vector<std::uint8_t>> scores;
    std::vector<std::vector<std::uint8_t>> voice_sets;
    std::vector<std::string> titles;
    for (const auto& node : *tracks) {
        const auto& track = table_value(node, "a track", set_file);
        const SourceLocation track_at = location_of(track.source());
        check_keys(track, {"title", "score", "voices"}, set_file);
        const std::string what = "track " + std::to_string(titles.size() + 1);
        std::string title = checked_title(track.get("title"), what, track_at, set_file);
        if (const std::string problem = title_problem(static_cast<int>(titles.size() + 1), title);
            !problem.empty())
            throw SourceError(set_file, location_of(track.get("title")->source()), problem);
        const VoiceSetSource voices = track_voices(track, source_dir, set_file);
        scores.push_back(track_score(track, voices, source_dir, set_file, track_at));
        voice_sets.push_back(encode_voice_set(voices, set_file));
        titles.push_back(std::move(title));
    }

    PackedSet packed;
    packed.scores = build_page_archive(scores);
    packed.voices = build_page_archive(voice_sets);
    if (packed.scores.empty() || packed.voices.empty())
        throw SourceError(set_file, {}, "the set is too large for an archive of 65,535 pages");
    packed.titles = build_title_list(set_title, titles);
    packed.track_count = static_cast<int>(titles.size());
    return packed;
}

namespace {

// A folder for the new files inside the output folder, so that moving them
// into place is a rename on the same file system; removed with its
// contents when the object goes, unless kept.
class StagingFolder {
public:
    explicit StagingFolder(const std::filesystem::path& out_dir)
    {
        std::random_device random;
        for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
            const auto candidate = out_dir / (".pack-" + std::to_string(random()) + ".partial");
            std::error_code error;
            if (std::filesystem::create_directory(candidate, error))
                path_ = candidate;
            else if (error)
                error_ = "cannot create " + candidate.string() + ": " + error.message();
        }
    }
    ~StagingFolder()
    {
        std::error_code ignored;
        if (!path_.empty() && !kept_)
            std::filesystem::remove_all(path_, ignored);
    }
    const std::filesystem::path& path() const { return path_; }
    const std::string& error() const { return error_; }
    // Leaves the folder behind: it holds old files that could not be put back.
    void keep() { kept_ = true; }

private:
    std::filesystem::path path_;
    std::string error_;
    bool kept_ = false;
};

std::string write_bytes(const std::filesystem::path& path, std::span<const std::uint8_t> bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (out)
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out)
        return "cannot write " + path.string() + ": " + std::strerror(errno);
    return {};
}

}  // namespace

std::string write_packed_set(const PackedSet& set, const std::filesystem::path& out_dir)
{
    namespace fs = std::filesystem;
    std::error_code error;
    fs::create_directories(out_dir, error);
    if (error)
        return "cannot create " + out_dir.string() + ": " + error.message();
    StagingFolder staging(out_dir);
    if (staging.path().empty())
        return staging.error().empty() ? "cannot create a temporary folder in " + out_dir.string() : staging.error();

    const std::span<const std::uint8_t> contents[] = {
        set.scores, set.voices,
        {reinterpret_cast<const std::uint8_t*>(set.titles.data()), set.titles.size()}};
    for (int i = 0; i < 3; ++i)
        if (std::string problem = write_bytes(staging.path() / file_names[i], contents[i]); !problem.empty())
            return problem;

    // The entries the set replaces are kept under a second name (a hard link
    // to the same entry, a symbolic link included, or a copy where the file
    // system has no links) until all three new files are in place, so that a
    // failure part-way can put every one back as it was.
    struct Replaced {
        fs::path final_path;
        fs::path kept;  // empty: there was nothing there before
    };
    std::vector<Replaced> done;
    // Puts the kept entries back; answers a reason when one could not be.
    const auto undo = [&done]() -> std::string {
        std::string problem;
        for (auto it = done.rbegin(); it != done.rend(); ++it) {
            std::error_code undo_error;
            if (it->kept.empty())
                fs::remove(it->final_path, undo_error);
            else
                fs::rename(it->kept, it->final_path, undo_error);
            if (undo_error && problem.empty())
                problem = it->kept.empty() ? "the new " + it->final_path.string() + " could not be removed"
                                           : "the old " + it->final_path.string() + " is left as " +
                                                 it->kept.string();
        }
        return problem;
    };
    const auto fail = [&](std::string problem) {
        if (const std::string left = undo(); !left.empty()) {
            staging.keep();
            return problem + "; the folder could not be put back as it was: " + left;
        }
        return problem + "; the folder is as it was";
    };
    for (int i = 0; i < 3; ++i) {
        Replaced step{out_dir / file_names[i], {}};
        const fs::file_status old_entry = fs::symlink_status(step.final_path, error);
        error.clear();
        // A folder in the way cannot be replaced by a file (the rename below
        // fails and leaves it alone), so only other entries need keeping.
        if (fs::exists(old_entry) && !fs::is_directory(old_entry)) {
            step.kept = staging.path() / (std::string(file_names[i]) + ".old");
            fs::create_hard_link(step.final_path, step.kept, error);
            if (error && fs::is_regular_file(old_entry)) {
                error.clear();
                fs::copy_file(step.final_path, step.kept, error);
            } else if (error && fs::is_symlink(old_entry)) {
                error.clear();
                fs::copy_symlink(step.final_path, step.kept, error);
            }
            if (error)
                return fail("cannot keep the old " + step.final_path.string() + " while replacing it: " +
                            error.message());
        }
        fs::rename(staging.path() / file_names[i], step.final_path, error);
        if (error)
            return fail("cannot put " + step.final_path.string() + " in place: " + error.message());
        done.push_back(step);
    }
    return {};
}

}  // namespace tambelo
