#include "cli/import/midi_file_parser.h"

#include <string_view>

namespace tambelo {
namespace {

constexpr std::size_t header_length = 6;
// Far more ticks than any song holds; keeps the sum of deltas from
// overflowing however many maximal deltas a hostile file strings together.
constexpr std::int64_t tick_limit = std::int64_t{1} << 40;

int channel_data_length(std::uint8_t status)
{
    const int kind = status & 0xF0;
    return kind == 0xC0 || kind == 0xD0 ? 1 : 2;
}

class TrackReader {
public:
    TrackReader(std::span<const std::uint8_t> file, std::size_t begin, std::size_t end, int track)
        : file_(file), at_(begin), end_(end), track_(track)
    {
    }

    std::int64_t read_into(std::vector<MidiEvent>& events)
    {
        std::int64_t tick = 0;
        for (;;) {
            if (at_ >= end_)
                fail(at_, "the track ends without an end-of-track event");
            tick += read_number();
            if (tick > tick_limit)
                fail(at_, "the track runs beyond " + std::to_string(tick_limit) + " ticks");
            MidiEvent event;
            event.tick = tick;
            event.track = track_;
            const std::size_t event_at = at_;
            std::uint8_t status = byte();
            if (status < 0x80) {
                if (running_status_ == 0)
                    fail(event_at, running_cancelled_ ? "data byte without a status byte (running status does "
                                                        "not carry across a meta or System Exclusive event)"
                                                      : "data byte without a status byte");
                status = running_status_;
                --at_;
            }
            event.status = status;
            if (status == 0xFF) {
                event.meta_type = byte();
                event.data = take(static_cast<std::size_t>(read_number()), event_at, "meta event");
                cancel_running_status();
                if (event.meta_type == 0x2F) {
                    events.push_back(std::move(event));
                    return tick;
                }
            } else if (status == 0xF0 || status == 0xF7) {
                event.data = take(static_cast<std::size_t>(read_number()), event_at, "System Exclusive event");
                cancel_running_status();
            } else if (status >= 0xF1) {
                fail(event_at, "status byte " + hex(status) + " does not belong in a file");
            } else {
                running_status_ = status;
                for (int k = 0; k < channel_data_length(status); ++k) {
                    const std::uint8_t data = byte();
                    if (data >= 0x80)
                        fail(at_ - 1, "channel message cut short by byte " + hex(data));
                    event.data.push_back(data);
                }
            }
            events.push_back(std::move(event));
        }
    }

private:
    [[noreturn]] void fail(std::size_t at, const std::string& what) const
    {
        throw MidiFileError("track " + std::to_string(track_ + 1) + ", byte " + std::to_string(at) + ": " + what);
    }

    static std::string hex(std::uint8_t value)
    {
        constexpr std::string_view digits = "0123456789ABCDEF";
        return std::string{digits[value >> 4], digits[value & 15]};
    }

    std::uint8_t byte()
    {
        if (at_ >= end_)
            fail(at_, "the track is cut off in the middle of an event");
        return file_[at_++];
    }

    // A variable-length quantity of at most four bytes.
    std::uint32_t read_number()
    {
        const std::size_t begin = at_;
        std::uint32_t value = 0;
        for (int k = 0; k < 4; ++k) {
            const std::uint8_t b = byte();
            value = value << 7 | (b & 0x7F);
            if ((b & 0x80) == 0)
                return value;
        }
        fail(begin, "a number longer than four bytes");
    }

    std::vector<std::uint8_t> take(std::size_t count, std::size_t event_at, const char* what)
    {
        if (count > end_ - at_)
            fail(event_at, std::string(what) + " runs past the end of the track");
        std::vector<std::uint8_t> data(file_.begin() + static_cast<std::ptrdiff_t>(at_),
                                       file_.begin() + static_cast<std::ptrdiff_t>(at_ + count));
        at_ += count;
        return data;
    }

    void cancel_running_status()
    {
        running_status_ = 0;
        running_cancelled_ = true;
    }

    std::span<const std::uint8_t> file_;
    std::size_t at_;
    std::size_t end_;
    int track_;
    std::uint8_t running_status_ = 0;
    bool running_cancelled_ = false;
};

std::uint32_t big_endian(std::span<const std::uint8_t> bytes, std::size_t at, int size)
{
    std::uint32_t value = 0;
    for (int k = 0; k < size; ++k)
        value = value << 8 | bytes[at + static_cast<std::size_t>(k)];
    return value;
}

bool chunk_is(std::span<const std::uint8_t> bytes, std::size_t at, std::string_view name)
{
    for (std::size_t k = 0; k < 4; ++k)
        if (bytes[at + k] != static_cast<std::uint8_t>(name[k]))
            return false;
    return true;
}

}  // namespace

MidiSong parse_midi_file(std::span<const std::uint8_t> bytes)
{
    if (bytes.size() < 8 + header_length || !chunk_is(bytes, 0, "MThd"))
        throw MidiFileError("byte 0: not a Standard MIDI File (no MThd header)");
    const std::uint32_t declared = big_endian(bytes, 4, 4);
    if (declared < header_length || declared > bytes.size() - 8)
        throw MidiFileError("byte 4: the header's length " + std::to_string(declared) + " is wrong");
    MidiSong song;
    song.format = static_cast<int>(big_endian(bytes, 8, 2));
    const auto track_count = big_endian(bytes, 10, 2);
    const auto division = big_endian(bytes, 12, 2);
    if (song.format == 2)
        throw MidiFileError("byte 8: format 2 (independent sequences in one file) cannot be imported; "
                            "save the song as format 0 or 1");
    if (song.format > 2)
        throw MidiFileError("byte 8: unknown format " + std::to_string(song.format));
    if (division & 0x8000)
        throw MidiFileError("byte 12: SMPTE time (frames per second) cannot be imported; only ticks per quarter note");
    if (division == 0)
        throw MidiFileError("byte 12: zero ticks per quarter note");
    if (track_count == 0)
        throw MidiFileError("byte 10: the file holds no track");
    if (song.format == 0 && track_count != 1)
        throw MidiFileError("byte 10: a format 0 file holds one track, this one says " + std::to_string(track_count));
    song.division = static_cast<int>(division);

    std::size_t at = 8 + declared;
    while (song.tracks.size() < track_count) {
        const int track = static_cast<int>(song.tracks.size());
        if (bytes.size() - at < 8)
            throw MidiFileError("track " + std::to_string(track + 1) + ", byte " + std::to_string(at) +
                                ": the file ends before this track (" + std::to_string(track_count) +
                                " announced)");
        const std::uint32_t length = big_endian(bytes, at + 4, 4);
        const std::size_t body = at + 8;
        if (length > bytes.size() - body)
            throw MidiFileError("track " + std::to_string(track + 1) + ", byte " + std::to_string(at + 4) +
                                ": the track is cut off (" + std::to_string(length) + " bytes announced, " +
                                std::to_string(bytes.size() - body) + " there)");
        if (chunk_is(bytes, at, "MTrk")) {
            std::vector<MidiEvent> events;
            song.track_ends.push_back(TrackReader(bytes, body, body + length, track).read_into(events));
            song.tracks.push_back(std::move(events));
        }
        at = body + length;
    }
    return song;
}

}  // namespace tambelo
