#include "tambelo/music_set.h"

#include <fstream>
#include <system_error>
#include <vector>

namespace tambelo {
namespace {

constexpr std::uint64_t page_bytes = 256;

std::uint32_t word_at(std::span<const std::uint8_t> head, std::size_t index)
{
    return static_cast<std::uint32_t>(head[2 * index]) | (static_cast<std::uint32_t>(head[2 * index + 1]) << 8);
}

}  // namespace

ScoreIdentity identify_score(std::span<const std::uint8_t> head, std::uint64_t file_size)
{
    if (head.size() < 2)
        return {};
    // Page 1 is byte 0, so the first page after the table is at least 2.
    const std::uint32_t first_page = word_at(head, 0);
    const std::uint64_t table_bytes = (static_cast<std::uint64_t>(first_page) - 1) * page_bytes;
    if (first_page < 2 || table_bytes > score_identity_head_bytes || head.size() < table_bytes)
        return {};
    const std::size_t table_words = static_cast<std::size_t>(table_bytes / 2);
    std::size_t words = 1;
    while (words < table_words && word_at(head, words) != 0) {
        if (word_at(head, words) < word_at(head, words - 1))
            return {};
        ++words;
    }
    // The zero word must be there, after at least one track's two words.
    if (words == table_words || words < 3)
        return {};
    ScoreIdentity identity;
    identity.tracks = static_cast<std::int32_t>(words - 2);
    identity.intact = identity.tracks;
    if (file_size != 0) {
        identity.intact = 0;
        while (identity.intact < identity.tracks &&
               (word_at(head, static_cast<std::size_t>(identity.intact) + 1) - 1ull) * page_bytes < file_size)
            ++identity.intact;
    }
    return identity;
}

ScoreIdentity identify_score_file(const std::filesystem::path& path)
{
    // Only an ordinary file: opening a FIFO would wait for a writer.
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error))
        return {};
    const std::uint64_t size = std::filesystem::file_size(path, error);
    if (error)
        return {};
    std::ifstream file(path, std::ios::binary);
    std::vector<char> head(score_identity_head_bytes);
    file.read(head.data(), static_cast<std::streamsize>(head.size()));
    const auto got = static_cast<std::size_t>(file.gcount());
    return identify_score({reinterpret_cast<const std::uint8_t*>(head.data()), got}, size);
}

}  // namespace tambelo
