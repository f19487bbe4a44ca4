#include "library/midi/soundfont_presets.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <fstream>

namespace tambelo {
namespace {

// A preset header: name (20 bytes), program, bank, zone index (16 bits
// each), then library, genre and morphology (32 bits each). The list ends
// with a header that is no preset ("EOP").
constexpr std::uint64_t preset_header_bytes = 38;
// More headers than 128 programs in every one of 65,536 banks are no list.
constexpr std::uint64_t most_preset_headers = 128 * 65536 + 1;

class ChunkReader {
public:
    explicit ChunkReader(const std::string& path) : file_(path, std::ios::binary)
    {
        if (file_) {
            file_.seekg(0, std::ios::end);
            const std::streamoff end = file_.tellg();
            size_ = end > 0 ? static_cast<std::uint64_t>(end) : 0;
        }
    }

    std::uint64_t size() const { return size_; }

    bool read(std::uint64_t at, char* out, std::size_t count)
    {
        if (at > size_ || count > size_ - at)
            return false;
        file_.clear();
        file_.seekg(static_cast<std::streamoff>(at));
        return static_cast<bool>(file_.read(out, static_cast<std::streamsize>(count)));
    }

    // The chunk header at `at`: its four-letter id and its length.
    bool header(std::uint64_t at, std::array<char, 4>& id, std::uint64_t& length)
    {
        char bytes[8];
        if (!read(at, bytes, sizeof bytes))
            return false;
        std::memcpy(id.data(), bytes, 4);
        length = std::uint64_t{static_cast<std::uint8_t>(bytes[4])} |
                 std::uint64_t{static_cast<std::uint8_t>(bytes[5])} << 8 |
                 std::uint64_t{static_cast<std::uint8_t>(bytes[6])} << 16 |
                 std::uint64_t{static_cast<std::uint8_t>(bytes[7])} << 24;
        return true;
    }

private:
    std::ifstream file_;
    std::uint64_t size_ = 0;
};

bool is(const std::array<char, 4>& id, const char* name)
{
    return std::memcmp(id.data(), name, 4) == 0;
}

// The chunk named `name` among those from `begin` to `end`, each padded to
// an even length: its data's offset and length. False when there is none,
// or it does not end by `end`.
bool find_chunk(ChunkReader& file, std::uint64_t begin, std::uint64_t end, const char* name,
                std::uint64_t& data, std::uint64_t& length)
{
    for (std::uint64_t at = begin; at + 8 <= end;) {
        std::array<char, 4> id{};
        std::uint64_t size = 0;
        if (!file.header(at, id, size))
            return false;
        if (is(id, name)) {
            data = at + 8;
            length = size;
            return size <= end - data;  // a chunk cut short is no chunk
        }
        at += 8 + size + (size & 1);
    }
    return false;
}

}  // namespace

std::optional<std::vector<PresetNumber>> read_soundfont_presets(const std::string& path)
{
    ChunkReader file(path);
    std::array<char, 4> id{};
    std::uint64_t riff_length = 0;
    char form[4];
    if (!file.header(0, id, riff_length) || !is(id, "RIFF") || !file.read(8, form, 4) ||
        std::memcmp(form, "sfbk", 4) != 0)
        return std::nullopt;
    const std::uint64_t end = std::min(file.size(), 8 + riff_length);

    // The preset data is the LIST chunk of form "pdta".
    std::uint64_t at = 12;
    std::uint64_t list = 0;
    std::uint64_t list_length = 0;
    for (;;) {
        if (!find_chunk(file, at, end, "LIST", list, list_length) || list_length < 4)
            return std::nullopt;
        char list_form[4];
        if (!file.read(list, list_form, 4))
            return std::nullopt;
        if (std::memcmp(list_form, "pdta", 4) == 0)
            break;
        at = list + list_length + (list_length & 1);
    }
    std::uint64_t headers = 0;
    std::uint64_t headers_length = 0;
    if (!find_chunk(file, list + 4, list + list_length, "phdr", headers, headers_length))
        return std::nullopt;
    const std::uint64_t count = headers_length / preset_header_bytes;
    if (count == 0 || count > most_preset_headers)
        return std::nullopt;

    std::vector<char> bytes(static_cast<std::size_t>(count * preset_header_bytes));
    if (!file.read(headers, bytes.data(), bytes.size()))
        return std::nullopt;
    std::vector<PresetNumber> presets;
    presets.reserve(static_cast<std::size_t>(count - 1));
    for (std::uint64_t i = 0; i + 1 < count; ++i) {
        const auto* header = reinterpret_cast<const std::uint8_t*>(bytes.data() + i * preset_header_bytes);
        presets.push_back({header[22] | header[23] << 8, header[20] | header[21] << 8});
    }
    std::sort(presets.begin(), presets.end());
    presets.erase(std::unique(presets.begin(), presets.end()), presets.end());
    return presets;
}

}  // namespace tambelo
