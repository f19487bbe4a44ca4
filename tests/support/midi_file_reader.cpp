#include "tests/support/midi_file_reader.h"

#include <algorithm>

namespace tambelo::testing {
namespace {

class Cursor {
public:
    Cursor(const std::vector<std::uint8_t>& bytes, std::size_t begin, std::size_t end)
        : bytes_(bytes), at_(begin), end_(end) {}

    bool done() const { return at_ >= end_; }
    bool ok() const { return ok_; }
    std::size_t at() const { return at_; }

    std::uint8_t byte()
    {
        if (at_ >= end_) {
            ok_ = false;
            return 0;
        }
        return bytes_[at_++];
    }
    std::uint8_t peek() const { return at_ < end_ ? bytes_[at_] : 0; }

    std::uint32_t big_endian(int size)
    {
        std::uint32_t value = 0;
        for (int i = 0; i < size; ++i)
            value = value << 8 | byte();
        return value;
    }

    std::uint64_t number()
    {
        std::uint64_t value = 0;
        for (int i = 0; i < 8; ++i) {
            const std::uint8_t b = byte();
            value = value << 7 | (b & 0x7F);
            if ((b & 0x80) == 0)
                return value;
        }
        ok_ = false;
        return value;
    }

    std::vector<std::uint8_t> take(std::uint64_t count)
    {
        std::vector<std::uint8_t> out;
        if (count > end_ - at_) {
            ok_ = false;
            return out;
        }
        out.assign(bytes_.begin() + static_cast<std::ptrdiff_t>(at_),
                   bytes_.begin() + static_cast<std::ptrdiff_t>(at_ + count));
        at_ += count;
        return out;
    }

private:
    const std::vector<std::uint8_t>& bytes_;
    std::size_t at_;
    std::size_t end_;
    bool ok_ = true;
};

std::optional<std::vector<MidiFileEvent>> read_track(Cursor& cursor)
{
    std::vector<MidiFileEvent> events;
    std::int64_t tick = 0;
    std::uint8_t running = 0;
    while (!cursor.done()) {
        tick += static_cast<std::int64_t>(cursor.number());
        MidiFileEvent event;
        event.tick = tick;
        std::uint8_t status = cursor.peek();
        if (status & 0x80)
            cursor.byte();
        else if (running != 0)
            status = running;
        else
            return std::nullopt;
        event.status = status;
        if (status == 0xFF) {
            event.meta_type = cursor.byte();
            event.data = cursor.take(cursor.number());
        } else if (status == 0xF0 || status == 0xF7) {
            event.data = cursor.take(cursor.number());
        } else if (status >= 0x80 && status < 0xF0) {
            running = status;
            const int length = (status & 0xF0) == 0xC0 || (status & 0xF0) == 0xD0 ? 1 : 2;
            for (int i = 0; i < length; ++i)
                event.data.push_back(cursor.byte());
        } else {
            return std::nullopt;
        }
        if (!cursor.ok())
            return std::nullopt;
        const bool end = event.status == 0xFF && event.meta_type == 0x2F;
        events.push_back(std::move(event));
        if (end)
            return cursor.done() ? std::optional(events) : std::nullopt;
    }
    return std::nullopt;  // no end-of-track event
}

}  // namespace

std::vector<MidiFileEvent> MidiFileData::all_events() const
{
    std::vector<MidiFileEvent> events;
    for (const auto& track : tracks)
        events.insert(events.end(), track.begin(), track.end());
    std::stable_sort(events.begin(), events.end(),
                     [](const MidiFileEvent& a, const MidiFileEvent& b) { return a.tick < b.tick; });
    return events;
}

double MidiFileData::time_ms(std::int64_t tick) const
{
    double ms = 0.0;
    std::int64_t from = 0;
    double tempo_us = 500000.0;
    for (const auto& event : all_events()) {
        if (event.tick >= tick)
            break;
        if (event.status == 0xFF && event.meta_type == 0x51 && event.data.size() == 3) {
            ms += static_cast<double>(event.tick - from) * tempo_us / division / 1000.0;
            from = event.tick;
            tempo_us = event.data[0] << 16 | event.data[1] << 8 | event.data[2];
        }
    }
    return ms + static_cast<double>(tick - from) * tempo_us / division / 1000.0;
}

std::optional<MidiFileData> read_midi_file(const std::vector<std::uint8_t>& bytes, std::string* why)
{
    auto fail = [why](const char* reason) {
        if (why)
            *why = reason;
        return std::nullopt;
    };
    Cursor header(bytes, 0, bytes.size());
    if (header.take(4) != std::vector<std::uint8_t>{'M', 'T', 'h', 'd'} || header.big_endian(4) != 6)
        return fail("no MThd header");
    MidiFileData file;
    file.format = static_cast<int>(header.big_endian(2));
    const std::uint32_t track_count = header.big_endian(2);
    file.division = static_cast<int>(header.big_endian(2));
    if (!header.ok() || file.division <= 0 || file.division > 0x7FFF)
        return fail("bad header");
    std::size_t at = header.at();
    for (std::uint32_t i = 0; i < track_count; ++i) {
        Cursor chunk(bytes, at, bytes.size());
        const bool is_track = chunk.take(4) == std::vector<std::uint8_t>{'M', 'T', 'r', 'k'};
        const std::uint32_t length = chunk.big_endian(4);
        if (!chunk.ok() || !is_track || length > bytes.size() - chunk.at())
            return fail("bad track chunk");
        Cursor body(bytes, chunk.at(), chunk.at() + length);
        auto track = read_track(body);
        if (!track)
            return fail("bad track events");
        file.tracks.push_back(std::move(*track));
        at = chunk.at() + length;
    }
    if (at != bytes.size())
        return fail("bytes after the last track");
    return file;
}

}  // namespace tambelo::testing
