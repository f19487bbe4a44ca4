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
