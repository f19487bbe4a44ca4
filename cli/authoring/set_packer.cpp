#include "cli/authoring/set_packer.h"

#include "cli/authoring/page_archive_writer.h"
#include "cli/authoring/score_encoder.h"
#include "cli/authoring/score_parser.h"
#include "cli/authoring/toml_reading.h"
#include "cli/authoring/voice_set_source.h"

#include <cctype>
#include <fstream>
#include <sstream>

namespace tambelo {
namespace {

constexpr const char* set_file_name = "set.toml";
constexpr const char* file_names[] = {"amus.dat", "amus.mda", "amus.txt"};

std::string read_text_file(const std::filesystem::path& path, const std::string& shown_in,
                           SourceLocation mentioned_at)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw SourceError(shown_in, mentioned_at, "cannot read " + path.string());
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
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
    if (!std::filesystem::is_regular_file(path))
        throw SourceError(set_file, location_of(node->source()),
                          "no voice set file " + path.string());
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

std::string title_problem(const std::string& title)
{
    if (title.empty())
        return {};
    const auto at = [&](std::size_t i) { return i < title.size() ? title[i] : '\0'; };
    const char first = title[0];
    if (std::isdigit(static_cast<unsigned char>(first)) || first == '.' || first == ' ' ||
        first == '\t')
        return "a track title may not begin with a digit, a point or a blank, which would be "
               "read as part of the track number";
    // An exponent: E or D, an optional sign, then a digit.
    if (first == 'E' || first == 'e' || first == 'D' || first == 'd') {
        const std::size_t digit = (at(1) == '+' || at(1) == '-') ? 2 : 1;
        if (std::isdigit(static_cast<unsigned char>(at(digit))))
            return "a track title may not begin with E or D and a number, which would be read as "
                   "an exponent of the track number";
    }
    return {};
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
    if (!std::filesystem::is_regular_file(set_path))
        throw SourceError(set_file, {}, "no such file; a source folder describes its set in " +
                                            std::string(set_file_name));
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
        if (const std::string problem = title_problem(title); !problem.empty())
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

std::string write_packed_set(const PackedSet& set, const std::filesystem::path& out_dir)
{
    std::error_code error;
    std::filesystem::create_directories(out_dir, error);
    if (error)
        return "cannot create " + out_dir.string() + ": " + error.message();

    const std::span<const std::uint8_t> contents[] = {
        set.scores, set.voices,
        {reinterpret_cast<const std::uint8_t*>(set.titles.data()), set.titles.size()}};
    std::vector<std::filesystem::path> staged;
    const auto discard = [&] {
        for (const auto& path : staged)
            std::filesystem::remove(path, error);
    };
    for (int i = 0; i < 3; ++i) {
        const auto path = out_dir / (std::string(file_names[i]) + ".partial");
        staged.push_back(path);
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(contents[i].data()),
                  static_cast<std::streamsize>(contents[i].size()));
        out.close();
        if (!out) {
            discard();
            return "cannot write " + path.string();
        }
    }
    for (int i = 0; i < 3; ++i) {
        std::filesystem::rename(staged[static_cast<std::size_t>(i)], out_dir / file_names[i], error);
        if (error) {
            discard();
            return "cannot rename " + staged[static_cast<std::size_t>(i)].string() + ": " +
                   error.message();
        }
    }
    return {};
}

}  // namespace tambelo
