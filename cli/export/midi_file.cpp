#include "cli/export/midi_file.h"

#include <algorithm>
#include <cmath>

namespace tambelo {
namespace {

// The bytes of a channel message with this status byte: program change and
// channel pressure carry one data byte, the others two.
int channel_message_length(std::uint8_t status)
{
    const int kind = status & 0xF0;
    return kind == 0xC0 || kind == 0xD0 ? 2 : 3;
}

constexpr int max_division = 0x7FFF;           // the top bit would mean SMPTE timing
constexpr std::uint32_t max_tempo_us = 0xFFFFFF;  // three bytes in the tempo event

class TrackWriter {
public:
    explicit TrackWriter(const MidiTiming& timing) : timing_(timing) {}

    void at(double time_ms)
    {
        const std::int64_t tick = std::max(timing_.file_tick(time_ms), last_tick_);
        write_number(static_cast<std::uint64_t>(tick - last_tick_));
        last_tick_ = tick;
    }

    void meta(double time_ms, std::uint8_t type, const std::vector<std::uint8_t>& data)
    {
        at(time_ms);
        bytes_.push_back(0xFF);
        bytes_.push_back(type);
        write_number(data.size());
        bytes_.insert(bytes_.end(), data.begin(), data.end());
    }

    void text(double time_ms, std::uint8_t type, const std::string& text)
    {
        meta(time_ms, type, std::vector<std::uint8_t>(text.begin(), text.end()));
    }

    void message(double time_ms, const std::vector<std::uint8_t>& message)
    {
        if (message.empty())
            return;
        const std::uint8_t status = message[0];
        if (status == 0xF0) {
            at(time_ms);
            bytes_.push_back(0xF0);
            write_number(message.size() - 1);
            bytes_.insert(bytes_.end(), message.begin() + 1, message.end());
            return;
        }
        if (status < 0x80 || status >= 0xF0 || static_cast<int>(message.size()) != channel_message_length(status))
            return;
        at(time_ms);
        for (std::uint8_t byte : message)
            bytes_.push_back(byte);
    }

    std::vector<std::uint8_t> finish(double end_ms)
    {
        meta(end_ms, 0x2F, {});
        return std::move(bytes_);
    }

private:
    // Variable-length quantity: seven bits a byte, most significant first.
    void write_number(std::uint64_t value)
    {
        std::uint8_t groups[10];
        int count = 0;
        do {
            groups[count++] = static_cast<std::uint8_t>(value & 0x7F);
            value >>= 7;
        } while (value != 0);
        while (count > 1)
            bytes_.push_back(static_cast<std::uint8_t>(groups[--count] | 0x80));
        bytes_.push_back(groups[0]);
    }

    MidiTiming timing_;
    std::int64_t last_tick_ = 0;
    std::vector<std::uint8_t> bytes_;
};

void append_be(std::vector<std::uint8_t>& out, std::uint32_t value, int size)
{
    for (int shift = 8 * (size - 1); shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>((value >> shift) & 0xFF));
}

}  // namespace

std::int64_t MidiTiming::file_tick(double time_ms) const
{
    return std::llround(time_ms * 1000.0 * division / tempo_us);
}

double MidiTiming::time_ms(std::int64_t file_tick) const
{
    return static_cast<double>(file_tick) * tempo_us / division / 1000.0;
}

MidiTiming choose_midi_timing(double tick_length_ms)
{
    const int file_ticks_per_tick = std::max(1, static_cast<int>(std::ceil(tick_length_ms)));
    for (int ticks_per_quarter : {48, 24, 12, 6, 3, 2, 1}) {
        const double tempo_us = std::round(ticks_per_quarter * tick_length_ms * 1000.0);
        const int division = ticks_per_quarter * file_ticks_per_tick;
        if (division <= max_division && tempo_us <= max_tempo_us && tempo_us >= 1.0)
            return {division, static_cast<std::uint32_t>(tempo_us)};
    }
    return {std::min(file_ticks_per_tick, max_division),
            static_cast<std::uint32_t>(std::clamp(std::round(tick_length_ms * 1000.0), 1.0, double{max_tempo_us}))};
}

std::vector<std::uint8_t> build_midi_file(const MidiFileContent& content)
{
    TrackWriter track(content.timing);
    if (!content.track_name.empty())
        track.text(0.0, 0x03, content.track_name);
    if (!content.text.empty())
        track.text(0.0, 0x01, content.text);
    const std::uint32_t tempo = content.timing.tempo_us;
    track.meta(0.0, 0x51, {static_cast<std::uint8_t>(tempo >> 16), static_cast<std::uint8_t>(tempo >> 8),
                           static_cast<std::uint8_t>(tempo)});

    bool start_written = !content.loop_start_ms.has_value();
    bool end_written = !content.loop_end_ms.has_value();
    auto write_loop_points = [&](double before_ms) {
        if (!start_written && *content.loop_start_ms <= before_ms) {
            track.text(*content.loop_start_ms, 0x06, "loopStart");
            track.message(*content.loop_start_ms, {0xB0, 111, 0});
            start_written = true;
        }
        if (start_written && !end_written && *content.loop_end_ms <= before_ms) {
            track.text(*content.loop_end_ms, 0x06, "loopEnd");
            end_written = true;
        }
    };
    for (const auto& message : content.messages) {
        write_loop_points(message.time_ms);
        track.message(message.time_ms, message.bytes);
    }
    write_loop_points(content.end_ms);
    std::vector<std::uint8_t> body = track.finish(content.end_ms);

    std::vector<std::uint8_t> file = {'M', 'T', 'h', 'd'};
    append_be(file, 6, 4);
    append_be(file, 0, 2);  // format 0: one track
    append_be(file, 1, 2);
    append_be(file, static_cast<std::uint32_t>(content.timing.division), 2);
    file.insert(file.end(), {'M', 'T', 'r', 'k'});
    append_be(file, static_cast<std::uint32_t>(body.size()), 4);
    file.insert(file.end(), body.begin(), body.end());
    return file;
}

}  // namespace tambelo
