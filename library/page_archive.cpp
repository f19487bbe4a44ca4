#include "library/page_archive.h"

#include "library/binary_file.h"

#include <cstdint>
#include <algorithm>
#include <new>

namespace tambelo::PageArchive {
namespace {

// Reads word `index` of the page table; a word that does not lie wholly
// inside the file (a truncated table, a negative index) reads as 0.
std::uint32_t table_word(BinaryFile& file, std::int64_t file_size, std::int64_t index)
{
    const std::int64_t position = 2 * index;
    if (position < 0 || position + 2 > file_size || position > INT32_MAX)
        return 0;
    if (file.seek(static_cast<std::int32_t>(position), 0) != 0)
        return 0;
    const int low = file.getc();
    const int high = file.getc();
    if (low < 0 || high < 0)
        return 0;
    return static_cast<std::uint32_t>(low + high * 256);
}

}  // namespace

std::optional<std::vector<std::uint8_t>> read_entry(const char* path, std::int32_t n)
{
    BinaryFile file;
    if (!file.open(path, 1))
        return std::nullopt;
    const std::int64_t file_size = file.size();
    if (file_size < 0)
        return std::nullopt;

    const std::uint32_t start_page = table_word(file, file_size, n);
    const std::uint32_t end_page = table_word(file, file_size, std::int64_t{n} + 1);
    if (start_page == 0 || end_page <= start_page)
        return std::nullopt;

    const std::int64_t offset = (std::int64_t{start_page} - 1) * page_size;
    if (offset >= file_size)
        return std::nullopt;
    const auto pages = static_cast<std::size_t>(end_page - start_page);

    std::vector<std::uint8_t> entry;
    try {
        entry.assign(pages * page_size, 0);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
    if (file.seek(static_cast<std::int32_t>(offset), 0) != 0)
        return std::nullopt;
    // Fewer pages may arrive than the span names; their bytes stay 0.
    file.read(entry.data(), page_size, pages);
    file.close();
    return entry;
}

std::int32_t next_entry(const char* path, std::int32_t n)
{
    BinaryFile file;
    if (!file.open(path, 1))
        return 0;
    const std::int64_t file_size = file.size();
    const std::uint32_t first = table_word(file, file_size, std::int64_t{n} + 1);
    const std::uint32_t second = table_word(file, file_size, std::int64_t{n} + 2);
    file.close();
    return (first != 0 && second != 0) ? n + 1 : n;
}

namespace {

std::uint32_t table_word(std::span<const std::uint8_t> archive, std::int64_t index)
{
    const std::int64_t position = 2 * index;
    if (position < 0 || position + 2 > static_cast<std::int64_t>(archive.size()) || position > INT32_MAX)
        return 0;
    const auto at = static_cast<std::size_t>(position);
    return static_cast<std::uint32_t>(archive[at] + archive[at + 1] * 256);
}

}  // namespace

std::optional<std::vector<std::uint8_t>> read_entry(std::span<const std::uint8_t> archive, std::int32_t n)
{
    const std::uint32_t start_page = table_word(archive, n);
    const std::uint32_t end_page = table_word(archive, std::int64_t{n} + 1);
    if (start_page == 0 || end_page <= start_page)
        return std::nullopt;
    const std::int64_t offset = (std::int64_t{start_page} - 1) * page_size;
    if (offset >= static_cast<std::int64_t>(archive.size()))
        return std::nullopt;
    const auto pages = static_cast<std::size_t>(end_page - start_page);
    const std::size_t length = pages * static_cast<std::size_t>(page_size);
    std::vector<std::uint8_t> entry;
    try {
        entry.assign(length, 0);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
    // Bytes the archive lacks stay 0.
    const auto from = static_cast<std::size_t>(offset);
    const std::size_t present = std::min(length, archive.size() - from);
    std::copy_n(archive.begin() + static_cast<std::ptrdiff_t>(from), present, entry.begin());
    return entry;
}

std::int32_t next_entry(std::span<const std::uint8_t> archive, std::int32_t n)
{
    const std::uint32_t first = table_word(archive, std::int64_t{n} + 1);
    const std::uint32_t second = table_word(archive, std::int64_t{n} + 2);
    return (first != 0 && second != 0) ? n + 1 : n;
}

std::int32_t prev_entry(std::int32_t n)
{
    return n <= 1 ? 1 : n - 1;
}

}  // namespace tambelo::PageArchive
