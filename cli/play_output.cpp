#include "cli/play_output.h"

#include "library/midi/device_choice.h"
#include "cli/output_note.h"

#include <chrono>

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

void OutputReport::record(std::string fallback_reason, std::string note)
{
    {
        std::lock_guard lock(mutex_);
        fallback_reason_ = std::move(fallback_reason);
        note_ = std::move(note);
        done_ = true;
    }
    opened_.notify_all();
}

PlayerServices services_for_output(const std::string& name, std::shared_ptr<OutputReport> report)
{
    PlayerServices services;
    services.open_device = [name, report]() -> std::unique_ptr<MidiDevice> {
        std::string why;
        std::unique_ptr<MidiDevice> device = open_named_device(name, &why);
        if (!device && why.empty())
            why = "output device \"" + name + "\" could not be opened";
        report->record(device ? std::string() : why, output_note(name, device.get()));
        return device;
    };
    return services;
}

}  // namespace tambelo::cli
