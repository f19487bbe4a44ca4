#pragma once

#include "cli/authoring/source_error.h"

#include <cctype>
#include <string>
#include <string_view>

// Reading a score text: character classes and a cursor that knows where it is.
namespace tambelo::score_text {

inline bool is_name_start(char c)
{
    return std::isalpha(static_cast<unsigned char>(c)) || c == '_';
}

inline bool is_name_char(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-';
}

inline bool is_digit(char c)
{
    return c >= '0' && c <= '9';
}

// Walks the text byte by byte and keeps the line and column of each byte.
class Cursor {
public:
    Cursor(std::string_view text, const std::string& file) : text_(text), file_(file) {}

    bool at_end() const { return pos_ >= text_.size(); }
    char peek(std::size_t ahead = 0) const
    {
        return pos_ + ahead < text_.size() ? text_[pos_ + ahead] : '\0';
    }
    SourceLocation where() const { return {line_, column_}; }

    char take()
    {
        const char c = text_[pos_++];
        if (c == '\n') {
            ++line_;
            column_ = 1;
        } else {
            ++column_;
        }
        return c;
    }

    bool take_if(char c)
    {
        if (at_end() || peek() != c)
            return false;
        take();
        return true;
    }

    // Blanks, line ends and comments ("//" to the end of the line).
    void skip_space()
    {
        while (!at_end()) {
            const char c = peek();
            if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
                take();
            } else if (c == '/' && peek(1) == '/') {
                while (!at_end() && peek() != '\n')
                    take();
            } else {
                break;
            }
        }
    }

    std::string peek_name() const
    {
        std::size_t end = pos_;
        while (end < text_.size() && is_name_char(text_[end]))
            ++end;
        return std::string(text_.substr(pos_, end - pos_));
    }

    std::string take_name()
    {
        std::string name;
        while (!at_end() && is_name_char(peek()))
            name += take();
        return name;
    }

    [[noreturn]] void fail(SourceLocation where, const std::string& message) const
    {
        throw SourceError(file_, where, message);
    }
    [[noreturn]] void fail(const std::string& message) const { fail(where(), message); }

    // A decimal number without sign; `what` names it in messages.
    int take_number(const char* what)
    {
        const SourceLocation start = where();
        if (!is_digit(peek()))
            fail("expected " + std::string(what));
        long value = 0;
        while (is_digit(peek())) {
            value = value * 10 + (take() - '0');
            if (value > 1'000'000)
                fail(start, std::string(what) + " is too large");
        }
        return static_cast<int>(value);
    }

    // A number with an optional sign; `sign_required` for relative values.
    int take_signed(const char* what, bool sign_required)
    {
        int sign = 1;
        if (take_if('-'))
            sign = -1;
        else if (!take_if('+') && sign_required)
            fail(std::string("expected + or - before ") + what);
        return sign * take_number(what);
    }

    int take_in_range(const char* what, int low, int high, bool is_signed = false)
    {
        const SourceLocation start = where();
        const int value = is_signed ? take_signed(what, false) : take_number(what);
        if (value < low || value > high)
            fail(start, std::string(what) + " must be " + std::to_string(low) + " to " +
                            std::to_string(high) + ", not " + std::to_string(value));
        return value;
    }

private:
    std::string_view text_;
    const std::string& file_;
    std::size_t pos_ = 0;
    int line_ = 1;
    int column_ = 1;
};

}  // namespace tambelo::score_text
