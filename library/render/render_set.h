#pragma once

#include "library/frozen_clock_sequencer.h"
#include "library/render/track_span.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tambelo {

// What a music set says about one of its tracks.
struct TrackInfo {
    std::int32_t number = 0;
    std::string title_line;  // as the title list writes it, number included; empty when it has none
    std::string title;       // the title alone: the line without its number, or "Track N"
    bool playable = false;
    std::string problem;     // why not: "does not compile", ...
    bool loops = false;          // plays for ever, repeating a loop
    bool ends = false;           // ends by itself
    bool loops_differ = false;   // its channels loop over stretches of different lengths
    double intro_ms = 0.0;       // loops: up to the loop's start; ends: the whole track
    double loop_ms = 0.0;        // loops: one pass of the loop
    double tick_length_ms = 0.0;
    TrackLength length;          // in ticks
    std::uint16_t note_channels = 0;  // the score channels that have notes (bit k: channel k)
};

// A music set held in memory for rendering: its score archive, its voice
// archive and its title list, read once. Tracks are opened from these bytes,
// so the files may change or go away afterwards. Reading it from any number
// of threads at once is safe.
class RenderSet {
public:
    // The files of a set; `voice_path` and `titles_path` may be empty or
    // name missing files (no voices, no titles). Null when the score archive
    // cannot be read or is not one, with a one-line reason in `why`.
    static std::unique_ptr<RenderSet> open_files(const std::string& score_path, const std::string& voice_path,
                                                 const std::string& titles_path, std::string* why = nullptr);
    // The same from the files' bytes.
    static std::unique_ptr<RenderSet> open_bytes(std::vector<std::uint8_t> score, std::vector<std::uint8_t> voices,
                                                 const std::string& titles, std::string* why = nullptr);

    std::int32_t track_count() const { return track_count_; }
    // The game's title as the title list writes it; empty when it has none.
    const std::string& game_title() const { return game_title_; }
    const std::vector<std::string>& title_lines() const { return titles_; }
    // Track `track` (1 to track_count()).
    TrackInfo info(std::int32_t track) const;
    // The track ready to play from its start; null, with the reason in
    // `failure`, when it cannot be played.
    std::unique_ptr<FrozenClockSequencer> open_track(std::int32_t track, TrackOpenFailure* failure = nullptr) const;

private:
    RenderSet() = default;
    bool finish(std::string* why);

    std::vector<std::uint8_t> score_;
    std::vector<std::uint8_t> voices_;
    std::vector<std::string> titles_;
    std::string game_title_;
    std::int32_t track_count_ = 0;
    std::int32_t intact_count_ = 0;  // the first tracks, that start inside the score archive
};

}  // namespace tambelo
