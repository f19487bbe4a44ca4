#include "cli/authoring/toml_reading.h"

#include "cli/input_files.h"

namespace tambelo {

SourceLocation location_of(const toml::source_region& region)
{
    return {static_cast<int>(region.begin.line), static_cast<int>(region.begin.column)};
}

toml::table read_toml_file(const std::filesystem::path& path)
{
    std::string why;
    const auto text = cli::read_whole_file(path.string(), max_source_bytes, &why);
    if (!text)
        throw SourceError(path.string(), {}, why);
    try {
        return toml::parse(*text, path.string());
    } catch (const toml::parse_error& error) {
        throw SourceError(path.string(), location_of(error.source()),
                          std::string(error.description()));
    }
}

void check_keys(const toml::table& table, std::initializer_list<std::string_view> allowed,
                const std::string& file)
{
    for (auto&& [key, value] : table) {
        bool known = false;
        for (const auto name : allowed)
            known = known || key.str() == name;
        if (!known) {
            std::string list;
            for (const auto name : allowed)
                list += (list.empty() ? "" : ", ") + std::string(name);
            throw SourceError(file, location_of(key.source()),
                              "unknown key '" + std::string(key.str()) + "' (known keys: " + list +
                                  ")");
        }
    }
}

int integer_in_range(const toml::node& node, int low, int high, const std::string& what,
                     const std::string& file)
{
    const auto* value = node.as_integer();
    if (!value)
        throw SourceError(file, location_of(node.source()), what + " must be a whole number");
    const std::int64_t number = value->get();
    if (number < low || number > high)
        throw SourceError(file, location_of(node.source()),
                          what + " must be " + std::to_string(low) + " to " +
                              std::to_string(high) + ", not " + std::to_string(number));
    return static_cast<int>(number);
}

std::string string_value(const toml::node& node, const std::string& what, const std::string& file)
{
    const auto* value = node.as_string();
    if (!value)
        throw SourceError(file, location_of(node.source()), what + " must be a string");
    return value->get();
}

const toml::table& table_value(const toml::node& node, const std::string& what,
                               const std::string& file)
{
    const auto* value = node.as_table();
    if (!value)
        throw SourceError(file, location_of(node.source()), what + " must be a table");
    return *value;
}

}  // namespace tambelo
