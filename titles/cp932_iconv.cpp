#include "titles/text_decoding.h"

#include <iconv.h>

#include <array>
#include <cerrno>

// CP932 decoding on Linux and other POSIX systems, with iconv.
namespace tambelo {
namespace {

constexpr std::string_view replacement_character = "\xEF\xBF\xBD";

class Cp932Decoder {
public:
    Cp932Decoder() : handle_(iconv_open("UTF-8", "CP932")) {}
    ~Cp932Decoder()
    {
        if (usable())
            iconv_close(handle_);
    }
    Cp932Decoder(const Cp932Decoder&) = delete;
    Cp932Decoder& operator=(const Cp932Decoder&) = delete;

    bool usable() const { return handle_ != reinterpret_cast<iconv_t>(-1); }

    std::string decode(std::string_view bytes)
    {
        std::string text;
        text.reserve(bytes.size() * 3 / 2);
        char* in = const_cast<char*>(bytes.data());
        std::size_t in_left = bytes.size();
        std::array<char, 1024> chunk{};
        while (in_left > 0) {
            char* out = chunk.data();
            std::size_t out_left = chunk.size();
            const std::size_t result = iconv(handle_, &in, &in_left, &out, &out_left);
            const int error = errno;
            text.append(chunk.data(), chunk.size() - out_left);
            if (result != static_cast<std::size_t>(-1))
                continue;
            if (error == E2BIG)
                continue;
            // EILSEQ (a byte no character starts with) or EINVAL (a lead
            // byte cut off at the end): mark it and step over one byte.
            text.append(replacement_character);
            ++in;
            --in_left;
            iconv(handle_, nullptr, nullptr, nullptr, nullptr);
        }
        return text;
    }

private:
    iconv_t handle_;
};

// Without the converter (a system lacking the CP932 tables) ASCII still
// reads right and every other byte shows as U+FFFD.
std::string decode_ascii_only(std::string_view bytes)
{
    std::string text;
    for (const char c : bytes) {
        if (static_cast<unsigned char>(c) < 0x80)
            text += c;
        else
            text.append(replacement_character);
    }
    return text;
}

}  // namespace

std::string decode_cp932(std::string_view bytes)
{
    Cp932Decoder decoder;
    if (!decoder.usable())
        return decode_ascii_only(bytes);
    return decoder.decode(bytes);
}

}  // namespace tambelo
