#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace tambelo {

// Reader of page archives, the container of both the score archive and the
// voice archive. The file starts with a table of 16-bit little-endian page
// numbers; word n is the first page of entry n and word n + 1 the page after
// its last, pages being 256 bytes with page 1 at byte 0. A zero word ends the
// table. Every call opens the archive, reads what it needs and closes it, so
// the reader holds no state and may be used from any thread.
namespace PageArchive {

inline constexpr std::int64_t page_size = 256;

// The bytes of entry `n`, always a whole number of pages. Returns nothing when
// the archive cannot be opened, when the table gives no sensible span (start
// page 0, or an end page not above the start page), when the span starts at
// or beyond the end of the file, or when memory runs out. A span that starts
// inside the file but runs past its end is returned at its stated size with
// the missing bytes set to 0 (the last entry of an archive may lack padding).
std::optional<std::vector<std::uint8_t>> read_entry(const char* path, std::int32_t n);

// n + 1 when the archive holds entry n + 1; n when it does not; 0 when the
// archive cannot be opened. Table words lying outside the file count as 0.
std::int32_t next_entry(const char* path, std::int32_t n);

// The same two for an archive held in memory, by the same rules.
std::optional<std::vector<std::uint8_t>> read_entry(std::span<const std::uint8_t> archive, std::int32_t n);
std::int32_t next_entry(std::span<const std::uint8_t> archive, std::int32_t n);

// n - 1, but never less than 1. Does not touch the archive.
std::int32_t prev_entry(std::int32_t n);

}  // namespace PageArchive
}  // namespace tambelo
