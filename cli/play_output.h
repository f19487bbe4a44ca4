#pragma once

#include "library/player.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>

namespace tambelo::cli {

// What happened when the playback thread opened the output device, for the
// command to tell the user. Filled on the playback thread, read on the
// command's thread.
class OutputReport {
public:
    // Waits until the device has been opened (or opening has failed), at
    // most `timeout_ms`; false on time-out.
    bool wait_until_opened(int timeout_ms);

    // Why the player fell back to no sound; empty when the chosen device
    // opened.
    std::string fallback_reason();
    // A note for the user about the device that did open (a chosen SoundFont
    // that was passed over for another); empty when there is nothing to say.
    std::string note();
    // What the device plays with (its SoundFonts); empty when it does not say.
    std::string sound();

    void record(std::string fallback_reason, std::string note, const MidiDevice* device = nullptr,
                std::string sound = {});

    // Says on stderr when the opened device loses its audio output (the
    // sound server went away) and when an output is back, once each time.
    // Call from the command's thread while the player lives; `over_status_line`
    // first clears a status line drawn on the terminal. True when it printed.
    bool tell_if_output_changed(bool over_status_line = false);

private:
    std::mutex mutex_;
    std::condition_variable opened_;
    bool done_ = false;
    std::string fallback_reason_;
    std::string note_;
    std::string sound_;
    const MidiDevice* device_ = nullptr;  // owned by the player
    bool told_lost_ = false;
};

// Player services whose device opener opens the device named `name` (as
// TAMBELO_MIDI_OUT or --output names it) and records the outcome in `report`.
PlayerServices services_for_output(const std::string& name, std::shared_ptr<OutputReport> report);

}  // namespace tambelo::cli
