#pragma once

#include "cli/export/audio_file.h"

#include <tambelo/track_messages.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tambelo {

enum class ExportFormat { mid, wav, flac, ogg };

// What becomes of a looping track: its loops and a fade-out, or the intro
// and one pass of the loop that repeats without a seam.
enum class ExportLoopMode { fade, seamless };

struct ExportSettings {
    ExportFormat format = ExportFormat::mid;
    ExportLoopMode loop_mode = ExportLoopMode::fade;
    int loops = 2;              // fade: times a looping track's loop is played
    double fade_seconds = 8.0;  // fade: audio of a looping track fades out after the loops
    int sample_rate = 44100;
    std::string soundfont;      // empty: the system's
    // Score channels whose notes are left out (bit k: channel k); the rest
    // of the track is as it was.
    std::uint16_t muted_channels = 0;
    // One file per channel that has notes and is not muted, instead of the
    // mix: "<name> - chK.<ext>", each as long as the mix.
    bool stems = false;
    // Audio: each track scaled so that its integrated loudness is this many
    // LUFS, or less where its sample peak would rise above -1 dBFS.
    std::optional<double> normalize_lufs;
    // The whole set is exported: FLAC and Ogg files carry the album's
    // ReplayGain too (not when normalized: every track has a gain of its own).
    bool album = false;
    // Polled while tracks are made, from any export thread: once it answers
    // true, unfinished files are dropped and no further track is begun.
    std::function<bool()> stop_requested;
};

// "mid", "wav", "flac", "ogg".
const char* extension_of(ExportFormat format);

// What names a track in its file.
struct TrackLabel {
    std::int32_t track = 0;
    std::string title;  // the track's title, without its number
    std::string album;  // the game's title; may be empty
};


// The Standard MIDI File of a track's messages (play_track_messages): the
// device reset (its GS reset as a System Exclusive event) and every message
// at its ideal time, the title as track name and the game's title as text;
// a looping track unrolled as its messages were, with its loop points
// marked, notes still sounding at the end released there.
// Notes of the score channels in `muted` (bit k: channel k) are left out.
std::vector<std::uint8_t> export_midi_file(const TrackMessages& track, const TrackLabel& label,
                                           std::uint16_t muted = 0);

AudioFileType audio_file_type(ExportFormat format);

}  // namespace tambelo
