#include "tambelo/music_set.h"

#include <algorithm>
#include <cctype>
#include <system_error>

namespace tambelo {
namespace {

bool same_ignoring_case(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

std::string utf8_of(const std::filesystem::path& path)
{
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::filesystem::path path_of_utf8(const std::string& text)
{
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

bool is_file(const std::filesystem::path& path)
{
    std::error_code error;
    return std::filesystem::is_regular_file(path, error);
}

// Beside `score`: its name with `extension` (".mda") in lower case, in upper
// case, or else in any case.
std::filesystem::path companion(const std::filesystem::path& score, const std::string& extension)
{
    const std::filesystem::path folder = score.parent_path();
    const std::string stem = utf8_of(score.stem());
    std::string upper = extension;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    const std::filesystem::path lower_path = folder / path_of_utf8(stem + extension);
    const std::filesystem::path upper_path = folder / path_of_utf8(stem + upper);
    if (is_file(lower_path))
        return lower_path;
    if (is_file(upper_path))
        return upper_path;
    return find_in_any_case(folder, stem + extension).value_or(lower_path);
}

}  // namespace

std::optional<std::filesystem::path> find_in_any_case(const std::filesystem::path& folder, const std::string& name)
{
    const std::filesystem::path exact = folder / path_of_utf8(name);
    if (is_file(exact))
        return exact;
    std::error_code error;
    const std::filesystem::path where = folder.empty() ? std::filesystem::path(".") : folder;
    std::filesystem::directory_iterator entries(where, error);
    if (error)
        return std::nullopt;
    // The first match in name order, so that the same folder gives the same
    // file every time.
    std::optional<std::filesystem::path> best;
    for (auto it = entries; it != std::filesystem::directory_iterator(); it.increment(error)) {
        if (error)
            break;
        const std::string entry = utf8_of(it->path().filename());
        if (!same_ignoring_case(entry, name) || !is_file(it->path()))
            continue;
        const std::filesystem::path found = folder / it->path().filename();
        if (!best || found < *best)
            best = found;
    }
    return best;
}

SetFiles set_files_of(const std::filesystem::path& score)
{
    return {score, companion(score, ".mda"), companion(score, ".txt")};
}

SetFileNames set_files_of_utf8(const std::string& score)
{
    const SetFiles files = set_files_of(path_of_utf8(score));
    return {score, utf8_of(files.voices), utf8_of(files.titles)};
}

}  // namespace tambelo
