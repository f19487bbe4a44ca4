#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tambelo {

// The text of one phrase as it is built: commands, and notes and rests with
// their lengths in ticks. The default length is chosen once the phrase is
// whole (its most common length), so most notes are written bare.
class PhraseText {
public:
    void command(std::string text);
    // A note name ("c+", "r"), its length and what follows it ("&").
    void timed(std::string name, int length, std::string suffix = "");
    // A bar line before the next item.
    void bar();
    bool empty() const { return items_.empty(); }

    // "l8 o4 c d e | ..." wrapped into lines of about `width` characters,
    // continuation lines indented by `indent`.
    std::string render(std::size_t width, const std::string& indent) const;

private:
    struct Item {
        std::string text;  // command, bar line "|" or note name
        int length = 0;    // 0 for commands
        std::string suffix;
    };
    std::vector<Item> items_;
};

// A length in the score language: a note value ("4", "8.", "12") where one
// is exactly `ticks`, else "%ticks".
std::string length_text(int ticks);

}  // namespace tambelo
