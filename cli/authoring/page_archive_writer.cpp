#include "cli/authoring/page_archive_writer.h"

#include "cli/authoring/temporary_file.h"
#include "cli/utf8_path.h"

#include <cerrno>
#include <cstdio>
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace tambelo {
namespace {

constexpr std::size_t page_size = 256;

std::size_t pages_for(std::size_t bytes)
{
    return (bytes + page_size - 1) / page_size;
}

void put_word(std::vector<std::uint8_t>& out, std::size_t index, std::size_t value)
{
    out[2 * index] = static_cast<std::uint8_t>(value & 0xFF);
    out[2 * index + 1] = static_cast<std::uint8_t>((value >> 8) & 0xFF);
}

}  // namespace

std::vector<std::uint8_t> build_page_archive(const std::vector<std::vector<std::uint8_t>>& entries)
{
    const std::size_t entry_count = entries.size();
    // Words 0 .. L + 2, the last being the terminating zero.
    const std::size_t table_pages = pages_for((entry_count + 3) * 2);
    std::size_t next_page = table_pages + 1;
    std::vector<std::size_t> start_pages;
    for (const auto& entry : entries) {
        start_pages.push_back(next_page);
        // An empty entry still takes a page, so that it exists in the table.
        next_page += std::max<std::size_t>(1, pages_for(entry.size()));
    }
    if (next_page > 0xFFFF)
        return {};

    std::vector<std::uint8_t> archive((next_page - 1) * page_size, 0);
    put_word(archive, 0, entry_count ? start_pages[0] : next_page);
    for (std::size_t n = 0; n < entry_count; ++n) {
        put_word(archive, n + 1, start_pages[n]);
        std::copy(entries[n].begin(), entries[n].end(),
                  archive.begin() + static_cast<std::ptrdiff_t>((start_pages[n] - 1) * page_size));
    }
    put_word(archive, entry_count + 1, next_page);
    put_word(archive, entry_count + 2, 0);
    return archive;
}

std::string write_file_atomically(const std::string& path, std::span<const std::uint8_t> bytes)
{
    TemporaryFile temporary(path);
    if (!temporary.reserved())
        return temporary.error();
    {
        std::ofstream out(path_from_utf8(temporary.path()), std::ios::binary | std::ios::trunc);
        if (out)
            out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out)
            return "cannot write " + temporary.path() + ": " + std::strerror(errno);
    }
    return temporary.commit();
}

}  // namespace tambelo
