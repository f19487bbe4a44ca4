#include "cli/import/phrase_text.h"

#include "cli/authoring/score_source.h"

#include <algorithm>
#include <map>

namespace tambelo {
namespace {

constexpr int max_default_length = 32767;

// A note value of exactly `ticks`, plain or dotted, or an empty string.
std::string note_value(int ticks)
{
    for (int value : {1, 2, 4, 8, 16, 32, 64, 3, 6, 12, 24, 48, 96}) {
        const int whole = ticks_per_whole / value;
        if (whole == ticks)
            return std::to_string(value);
        if (whole % 2 == 0 && whole + whole / 2 == ticks)
            return std::to_string(value) + ".";
    }
    return {};
}

}  // namespace

std::string length_text(int ticks)
{
    if (std::string value = note_value(ticks); !value.empty())
        return value;
    // Two values tied, the longer first, while it stays plain to read.
    for (int first = std::min(ticks - 1, ticks_per_whole); first >= ticks / 2; --first) {
        const std::string a = note_value(first), b = note_value(ticks - first);
        if (!a.empty() && !b.empty())
            return a + "^" + b;
    }
    return "%" + std::to_string(ticks);
}

void PhraseText::command(std::string text) { items_.push_back({std::move(text), 0, {}}); }

void PhraseText::timed(std::string name, int length, std::string suffix)
{
    items_.push_back({std::move(name), length, std::move(suffix)});
}

void PhraseText::bar()
{
    if (!items_.empty() && items_.back().text != "|")
        items_.push_back({"|", 0, {}});
}

std::string PhraseText::render(std::size_t width, const std::string& indent) const
{
    std::map<int, int> uses;
    for (const Item& item : items_)
        if (item.length > 0 && item.length <= max_default_length)
            ++uses[item.length];
    int default_length = 0, most = 1;
    for (const auto& [length, count] : uses)
        if (count > most) {
            default_length = length;
            most = count;
        }

    std::vector<std::string> words;
    if (default_length > 0)
        words.push_back("l" + length_text(default_length));
    for (const Item& item : items_) {
        if (item.length == 0)
            words.push_back(item.text);
        else
            words.push_back(item.text + (item.length == default_length ? "" : length_text(item.length)) + item.suffix);
    }
    while (!words.empty() && words.back() == "|")
        words.pop_back();

    std::string text, line;
    for (const std::string& word : words) {
        if (!line.empty() && line.size() + 1 + word.size() > width) {
            text += line + "\n" + indent;
            line.clear();
        }
        line += (line.empty() ? "" : " ") + word;
    }
    return text + line;
}

}  // namespace tambelo
