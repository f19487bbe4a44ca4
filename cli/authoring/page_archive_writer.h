#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tambelo {

// Lays out a page archive: a table of 16-bit little-endian page numbers at
// the start of the file, then each entry padded to whole 256-byte pages.
// Word n (n from 1) is the first page of entry n, word L + 1 the page after
// the last entry and word L + 2 is 0; word 0, which players do not read,
// repeats the first entry's page. Fails (returns an empty vector) when the
// archive would need more than 65,535 pages.
std::vector<std::uint8_t> build_page_archive(const std::vector<std::vector<std::uint8_t>>& entries);

// Writes `bytes` to `path` through a temporary file in the same folder that
// is renamed over the final name, so a failure never leaves a partial file.
// Returns an empty string on success, else a one-line reason.
std::string write_file_atomically(const std::string& path, std::span<const std::uint8_t> bytes);

}  // namespace tambelo
