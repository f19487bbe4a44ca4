#include "library/midi/jack_port_output.h"

#include <jack/jack.h>
#include <jack/midiport.h>
#include <jack/ringbuffer.h>

#include <algorithm>
#include <cerrno>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>

namespace tambelo {
namespace {

using MessageLength = std::uint32_t;

constexpr std::size_t queue_bytes = 1 << 16;
// How long a send waits for room while the server is slow to take messages.
constexpr int room_wait_ms = 100;

std::vector<std::string> midi_input_ports(jack_client_t* client)
{
    std::vector<std::string> names;
    const char** ports = jack_get_ports(client, nullptr, JACK_DEFAULT_MIDI_TYPE, JackPortIsInput);
    if (!ports)
        return names;
    for (const char** port = ports; *port; ++port)
        names.emplace_back(*port);
    jack_free(ports);
    return names;
}

jack_client_t* open_client()
{
    return jack_client_open("tambelo", JackNoStartServer, nullptr);
}

// Our output port on a JACK client of its own. Messages queue as their
// length followed by their bytes; the server's process thread moves whole
// messages into the port's buffer each cycle. The client stops processing
// before the queue is freed (RtMidi's JACK output frees its queue first and
// now and then crashed in its process thread when a port device closed).
class JackPortOutput final : public PortOutput {
public:
    // Takes over `client`. Check `connect_to` before use.
    explicit JackPortOutput(jack_client_t* client) : client_(client)
    {
        queue_ = jack_ringbuffer_create(queue_bytes);
        port_ = jack_port_register(client_, "tambelo out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    }

    ~JackPortOutput() override
    {
        jack_deactivate(client_);
        jack_client_close(client_);
        if (queue_)
            jack_ringbuffer_free(queue_);
    }

    JackPortOutput(const JackPortOutput&) = delete;
    JackPortOutput& operator=(const JackPortOutput&) = delete;

    bool connect_to(const std::string& target)
    {
        if (!queue_ || !port_)
            return false;
        jack_set_process_callback(client_, &JackPortOutput::process, this);
        jack_on_shutdown(client_, &JackPortOutput::server_shut_down, this);
        if (jack_activate(client_) != 0)
            return false;
        const int connected = jack_connect(client_, jack_port_name(port_), target.c_str());
        return connected == 0 || connected == EEXIST;
    }

    bool send(const unsigned char* bytes, std::size_t size) override
    {
        if (size == 0 || size > queue_bytes / 2 || !wait_for_room(sizeof(MessageLength) + size))
            return false;
        const auto length = static_cast<MessageLength>(size);
        jack_ringbuffer_write(queue_, reinterpret_cast<const char*>(&length), sizeof length);
        jack_ringbuffer_write(queue_, reinterpret_cast<const char*>(bytes), size);
        return true;
    }

private:
    bool wait_for_room(std::size_t needed)
    {
        for (int waited = 0; !server_gone_.load(); ++waited) {
            if (jack_ringbuffer_write_space(queue_) >= needed)
                return true;
            if (waited == room_wait_ms)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return false;
    }

    // Runs on the server's process thread: every whole message waiting goes
    // out at the cycle's first frame, in order, as far as the port's buffer
    // holds them; the rest waits for the next cycle.
    static int process(jack_nframes_t frames, void* self)
    {
        auto* output = static_cast<JackPortOutput*>(self);
        void* buffer = jack_port_get_buffer(output->port_, frames);
        jack_midi_clear_buffer(buffer);
        MessageLength length = 0;
        while (jack_ringbuffer_peek(output->queue_, reinterpret_cast<char*>(&length), sizeof length) ==
                   sizeof length &&
               jack_ringbuffer_read_space(output->queue_) >= sizeof length + length) {
            jack_midi_data_t* event = jack_midi_event_reserve(buffer, 0, length);
            if (!event && jack_midi_get_event_count(buffer) > 0)
                break;
            jack_ringbuffer_read_advance(output->queue_, sizeof length);
            if (event)
                jack_ringbuffer_read(output->queue_, reinterpret_cast<char*>(event), length);
            else  // larger than a whole cycle's buffer: it can never go out
                jack_ringbuffer_read_advance(output->queue_, length);
        }
        return 0;
    }

    static void server_shut_down(void* self)
    {
        static_cast<JackPortOutput*>(self)->server_gone_.store(true);
    }

    jack_client_t* client_;
    jack_ringbuffer_t* queue_ = nullptr;
    jack_port_t* port_ = nullptr;
    std::atomic<bool> server_gone_{false};
};

}  // namespace

std::vector<std::string> jack_port_names()
{
    jack_client_t* client = open_client();
    if (!client)
        return {};
    std::vector<std::string> names = midi_input_ports(client);
    jack_client_close(client);
    return names;
}

PortSearch open_jack_port(const std::string& name_part)
{
    PortSearch search;
    jack_client_t* client = open_client();
    if (!client)
        return search;
    search.system_running = true;
    const std::vector<std::string> names = midi_input_ports(client);
    const auto match = std::find_if(names.begin(), names.end(), [&](const std::string& name) {
        return name.find(name_part) != std::string::npos;
    });
    if (match == names.end()) {
        jack_client_close(client);
        return search;
    }
    search.port_name = *match;
    auto output = std::make_unique<JackPortOutput>(client);
    if (output->connect_to(*match))
        search.output = std::move(output);
    return search;
}

}  // namespace tambelo
