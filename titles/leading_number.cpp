#include "titles/leading_number.h"

#include <charconv>
#include <cmath>
#include <string>

namespace tambelo {

namespace {

// Walks the text while skipping the blanks that may sit inside a number.
class NumberCursor {
public:
    explicit NumberCursor(std::string_view text) : text_(text) { skip_blanks(); }

    bool at_end() const { return position_ >= text_.size(); }
    char peek() const { return at_end() ? '\0' : text_[position_]; }
    char upper_peek() const
    {
        const char c = peek();
        return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    }
    void advance()
    {
        ++position_;
        skip_blanks();
    }

private:
    void skip_blanks()
    {
        while (!at_end() && (text_[position_] == ' ' || text_[position_] == '\t' ||
                             text_[position_] == '\n'))
            ++position_;
    }

    std::string_view text_;
    std::size_t position_ = 0;
};

bool is_decimal_digit(char c) { return c >= '0' && c <= '9'; }

int digit_value(char upper, int base)
{
    int value = -1;
    if (upper >= '0' && upper <= '9')
        value = upper - '0';
    else if (upper >= 'A' && upper <= 'F')
        value = upper - 'A' + 10;
    return value < base ? value : -1;
}

double read_radix_digits(NumberCursor& cursor, int base)
{
    double value = 0.0;
    for (int digit = digit_value(cursor.upper_peek(), base); digit >= 0;
         digit = digit_value(cursor.upper_peek(), base)) {
        value = value * base + digit;
        cursor.advance();
    }
    return value;
}

// The power of ten of the leading digit of a decimal form that is known to
// be non-zero ("123.4e5" gives 7, "0.05" gives -2), saturated well beyond
// the range of a double; tells a number too large for a double from one
// too small.
long decimal_exponent(std::string_view number)
{
    long exponent = 0;
    const auto e = number.find('e');
    if (e != std::string_view::npos) {
        const bool negative = number[e + 1] == '-';
        for (std::size_t i = e + 1; i < number.size(); ++i) {
            if (is_decimal_digit(number[i]) && exponent < 100000)
                exponent = exponent * 10 + (number[i] - '0');
        }
        if (negative)
            exponent = -exponent;
        number = number.substr(0, e);
    }
    long integer_digits = 0;
    long leading_zeros = 0;
    bool after_point = false;
    bool seen_nonzero = false;
    for (const char c : number) {
        if (c == '.') {
            after_point = true;
        } else if (is_decimal_digit(c)) {
            seen_nonzero = seen_nonzero || c != '0';
            if (!after_point && seen_nonzero && integer_digits < 100000)
                ++integer_digits;
            else if (after_point && !seen_nonzero && leading_zeros < 100000)
                ++leading_zeros;
            if (after_point && seen_nonzero)
                break;
        }
    }
    const long magnitude = integer_digits > 0 ? integer_digits - 1 : -(leading_zeros + 1);
    return magnitude + exponent;
}

// Collects the decimal form without blanks, then converts it in one step so
// that the result is correctly rounded and independent of the C locale.
double read_decimal(NumberCursor& cursor)
{
    std::string number;
    if (cursor.peek() == '+' || cursor.peek() == '-') {
        number += cursor.peek();
        cursor.advance();
    }
    bool any_digit = false;
    bool seen_point = false;
    for (;;) {
        const char c = cursor.peek();
        if (is_decimal_digit(c)) {
            any_digit = true;
        } else if (c == '.' && !seen_point) {
            seen_point = true;
        } else {
            break;
        }
        number += c;
        cursor.advance();
    }
    if (!any_digit)
        return 0.0;

    if (cursor.upper_peek() == 'E' || cursor.upper_peek() == 'D') {
        cursor.advance();
        std::string exponent = "e";
        if (cursor.peek() == '+' || cursor.peek() == '-') {
            exponent += cursor.peek();
            cursor.advance();
        }
        bool exponent_digit = false;
        while (is_decimal_digit(cursor.peek())) {
            exponent += cursor.peek();
            exponent_digit = true;
            cursor.advance();
        }
        if (exponent_digit)
            number += exponent;
    }

    // from_chars takes no leading '+'.
    const char* first = number.data();
    const char* last = number.data() + number.size();
    bool negative = false;
    if (*first == '+' || *first == '-') {
        negative = *first == '-';
        ++first;
    }
    double value = 0.0;
    const auto [end, error] = std::from_chars(first, last, value, std::chars_format::general);
    (void)end;
    if (error == std::errc::result_out_of_range)
        value = decimal_exponent(number) > 0 ? HUGE_VAL : 0.0;
    return negative ? -value : value;
}

}  // namespace

double leading_number(std::string_view text)
{
    NumberCursor cursor(text);
    if (cursor.peek() == '&') {
        cursor.advance();
        const char prefix = cursor.upper_peek();
        if (prefix == 'H') {
            cursor.advance();
            return read_radix_digits(cursor, 16);
        }
        if (prefix == 'O') {
            cursor.advance();
            return read_radix_digits(cursor, 8);
        }
        return 0.0;
    }
    return read_decimal(cursor);
}

}  // namespace tambelo
