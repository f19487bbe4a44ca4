#pragma once

#include "cli/authoring/source_error.h"

#include <filesystem>
#include <initializer_list>
#include <string>
#include <string_view>

#include <toml++/toml.h>

namespace tambelo {

// Small checked readers over toml++ that throw SourceError at the place of
// the offending key or value.

SourceLocation location_of(const toml::source_region& region);

// The largest source file read: a whole page archive holds at most 65,535
// pages of 256 bytes, and no source of a set needs more text than that.
// Refusing more also keeps a device named as a source from being read
// without end.
inline constexpr std::size_t max_source_bytes = std::size_t{65535} * 256;

// Parses a TOML file; a syntax error or an unreadable file throws.
toml::table read_toml_file(const std::filesystem::path& path);

// Throws for any key of `table` not in `allowed` (catches misspelt keys).
void check_keys(const toml::table& table, std::initializer_list<std::string_view> allowed,
                const std::string& file);

int integer_in_range(const toml::node& node, int low, int high, const std::string& what,
                     const std::string& file);

std::string string_value(const toml::node& node, const std::string& what, const std::string& file);

const toml::table& table_value(const toml::node& node, const std::string& what,
                               const std::string& file);

}  // namespace tambelo
