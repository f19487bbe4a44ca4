#include "cli/export/track_export.h"

#include "cli/export/midi_file.h"

#include <map>
#include <utility>

namespace tambelo {
namespace {

// Releases, at `at_ms`, every note that the messages leave sounding.
void release_sounding_notes(std::vector<TimedMessage>& messages, double at_ms)
{
    std::map<std::pair<int, int>, int> sounding;  // (channel, note) -> note-ons not yet released
    for (const auto& message : messages) {
        if (message.bytes.size() != 3)
            continue;
        const int kind = message.bytes[0] & 0xF0;
        const auto key = std::make_pair(message.bytes[0] & 0x0F, static_cast<int>(message.bytes[1]));
        if (kind == 0x90 && message.bytes[2] != 0)
            ++sounding[key];
        else if (kind == 0x80 || kind == 0x90)
            sounding.erase(key);
        else if (kind == 0xB0 && (message.bytes[1] == 120 || message.bytes[1] == 123))
            std::erase_if(sounding, [&](const auto& entry) { return entry.first.first == key.first; });
    }
    for (const auto& [key, count] : sounding)
        if (count > 0)
            messages.push_back({at_ms, {static_cast<std::uint8_t>(0x90 | key.first),
                                        static_cast<std::uint8_t>(key.second), 0}});
}

}  // namespace

const char* extension_of(ExportFormat format)
{
    switch (format) {
    case ExportFormat::mid: return "mid";
    case ExportFormat::wav: return "wav";
    case ExportFormat::flac: return "flac";
    case ExportFormat::ogg: return "ogg";
    }
    return "mid";
}

AudioFileType audio_file_type(ExportFormat format)
{
    switch (format) {
    case ExportFormat::flac: return AudioFileType::flac;
    case ExportFormat::ogg: return AudioFileType::ogg;
    default: return AudioFileType::wav;
    }
}

std::vector<std::uint8_t> export_midi_file(const TrackMessages& track, const TrackLabel& label, std::uint16_t muted)
{
    MidiFileContent content;
    content.track_name = label.title;
    content.text = label.album;
    content.timing = choose_midi_timing(track.tick_length_ms);
    content.messages = track.messages;
    // A muted channel's notes and their releases; its settings stay.
    std::erase_if(content.messages, [muted](const TimedMessage& message) {
        return message.channel >= 0 && (muted >> message.channel & 1U) != 0 && message.bytes.size() == 3 &&
               ((message.bytes[0] & 0xF0) == 0x90 || (message.bytes[0] & 0xF0) == 0x80);
    });
    if (track.loops)
        release_sounding_notes(content.messages, track.end_ms);
    content.loop_start_ms = track.loop_start_ms;
    content.loop_end_ms = track.loop_end_ms;
    content.end_ms = track.end_ms;
    return build_midi_file(content);
}

}  // namespace tambelo
