#include "library/midi/sequencer_port_output.h"

#include "library/midi/sound_system.h"

#include <RtMidi.h>

namespace tambelo {
namespace {

// Called by RtMidi instead of printing and throwing.
void note_port_error(RtMidiError::Type type, const std::string&, void* user_data)
{
    if (type != RtMidiError::WARNING && type != RtMidiError::DEBUG_WARNING)
        *static_cast<bool*>(user_data) = true;
}

bool sequencer_compiled_in()
{
    std::vector<RtMidi::Api> compiled;
    RtMidi::getCompiledApi(compiled);
    for (RtMidi::Api api : compiled)
        if (api == RtMidi::LINUX_ALSA)
            return true;
    return false;
}

// A sequencer client of ours with its error callback in place; null when the
// sequencer cannot be opened (RtMidi would otherwise report an error).
std::unique_ptr<RtMidiOut> open_client(bool* failed)
{
    if (!sequencer_compiled_in() || !alsa_sequencer_available())
        return nullptr;
    try {
        auto out = std::make_unique<RtMidiOut>(RtMidi::LINUX_ALSA, "tambelo");
        out->setErrorCallback(note_port_error, failed);
        return out;
    } catch (const RtMidiError&) {
        return nullptr;
    }
}

// The sequencer's output is synchronous: a message has left when the call
// returns, so there is nothing in flight at teardown.
class SequencerPortOutput final : public PortOutput {
public:
    explicit SequencerPortOutput(std::unique_ptr<RtMidiOut> out) : out_(std::move(out))
    {
        out_->setErrorCallback(note_port_error, &failed_);
    }

    ~SequencerPortOutput() override
    {
        try {
            out_->closePort();
        } catch (const RtMidiError&) {
        }
    }

    bool send(const unsigned char* bytes, std::size_t size) override
    {
        failed_ = false;
        try {
            out_->sendMessage(bytes, size);
        } catch (const RtMidiError&) {
            return false;
        }
        return !failed_;
    }

private:
    std::unique_ptr<RtMidiOut> out_;
    bool failed_ = false;  // set by the port's error callback
};

}  // namespace

std::vector<std::string> sequencer_port_names()
{
    bool failed = false;
    std::unique_ptr<RtMidiOut> out = open_client(&failed);
    std::vector<std::string> names;
    if (!out)
        return names;
    try {
        const unsigned int count = out->getPortCount();
        for (unsigned int i = 0; i < count; ++i)
            if (std::string name = out->getPortName(i); !name.empty())
                names.push_back(std::move(name));
    } catch (const RtMidiError&) {
    }
    return names;
}

PortSearch open_sequencer_port(const std::string& name_part)
{
    PortSearch search;
    bool failed = false;
    std::unique_ptr<RtMidiOut> out = open_client(&failed);
    if (!out)
        return search;
    search.system_running = true;
    try {
        const unsigned int count = out->getPortCount();
        for (unsigned int i = 0; i < count; ++i) {
            const std::string name = out->getPortName(i);
            if (name.empty() || name.find(name_part) == std::string::npos)
                continue;
            search.port_name = name;
            failed = false;
            out->openPort(i, "tambelo out");
            if (!failed && out->isPortOpen())
                search.output = std::make_unique<SequencerPortOutput>(std::move(out));
            return search;
        }
    } catch (const RtMidiError&) {
    }
    return search;
}

}  // namespace tambelo
