#pragma once

#include "library/midi/midi_device.h"

#include <memory>
#include <string>
#include <vector>

namespace tambelo {

// A Windows multimedia MIDI output: the MIDI mapper (whatever synthesizer the
// system routes MIDI to) or one MIDI output device. Opened without a
// callback; a long message's completion shows only in the system's own
// header, which this device watches. Windows only.
class WinmmDevice final : public MidiDevice {
public:
    ~WinmmDevice() override;
    WinmmDevice(const WinmmDevice&) = delete;
    WinmmDevice& operator=(const WinmmDevice&) = delete;

    // Opens the MIDI mapper. Null when midiOutOpen fails (a system without
    // MIDI output), with a one-line reason in `why`.
    static std::unique_ptr<WinmmDevice> open_mapper(std::string* why = nullptr);
    // Opens the first MIDI output whose name contains `name_part` (in the
    // ANSI code page, as a command line or environment variable gives it).
    static std::unique_ptr<WinmmDevice> open_port(const std::string& name_part,
                                                  std::string* why = nullptr);

    bool send_short(std::uint32_t message) override;
    bool prepare_header(MidiHeader& header) override;
    // Sends the header's bytes with midiOutLongMsg and waits, polling every
    // 10 ms for at most a second, until the system marks its header done;
    // then marks `header` done too. A message the system refused, or did
    // not finish in that time, is not marked.
    bool send_long(MidiHeader& header) override;
    bool unprepare_header(MidiHeader& header) override;

private:
    struct Native;
    explicit WinmmDevice(std::unique_ptr<Native> native);
    std::unique_ptr<Native> native_;
};

// The names of the system's MIDI outputs in device order, in UTF-8.
std::vector<std::string> list_winmm_outputs();

}  // namespace tambelo
