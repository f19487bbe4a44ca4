#include "cli/play_output.h"

#include "library/midi/device_choice.h"
#include "cli/output_note.h"

#include <chrono>
#include <iostream>

namespace tambelo::cli {

bool OutputReport::wait_until_opened(int timeout_ms)
{
    std::unique_lock lock(mutex_);
    return opened_.wait_for(lock, std::chrono::milliseconds(timeout_ms), [this] { return done_; });
}

std::string OutputReport::fallback_reason()
{
    std::lock_guard lock(mutex_);
    return fallback_reason_;
}

std::string OutputReport::note()
{
    std::lock_guard lock(mutex_);
    return note_;
}

std::string OutputReport::sound()
{
    std::lock_guard lock(mutex_);
    return sound_;
}

void OutputReport::record(std::string fallback_reason, std::string note, const MidiDevice* device,
                          std::string sound)
{
    {
        std::lock_guard lock(mutex_);
        fallback_reason_ = std::move(fallback_reason);
        note_ = std::move(note);
        sound_ = std::move(sound);
        device_ = device;
        done_ = true;
    }
    opened_.notify_all();
}

bool OutputReport::tell_if_output_changed(bool over_status_line)
{
    std::lock_guard lock(mutex_);
    if (told_lost_ == output_lost(device_))
        return false;
    told_lost_ = !told_lost_;
    std::cerr << (over_status_line ? "\r\033[K" : "")
              << (told_lost_ ? "tambelo-cli: the audio output stopped (its sound server went away); "
                               "the music plays on unheard until it can be reopened\n"
                             : "tambelo-cli: the audio output is back\n");
    return true;
}

PlayerServices services_for_output(const std::string& name, std::shared_ptr<OutputReport> report)
{
    PlayerServices services;
    services.open_device = [name, report]() -> std::unique_ptr<MidiDevice> {
        std::string why;
        std::unique_ptr<MidiDevice> device = open_named_device(name, &why);
        if (!device && why.empty())
            why = "output device \"" + name + "\" could not be opened";
        report->record(device ? std::string() : why, output_note(name, device.get()), device.get(),
                       output_sound(device.get()));
        return device;
    };
    return services;
}

}  // namespace tambelo::cli
