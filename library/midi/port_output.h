#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace tambelo {

// An open connection to one MIDI input port of another program or device:
// the bytes of whole messages go in, in order.
class PortOutput {
public:
    virtual ~PortOutput() = default;

    // Hands on one whole message. False when the port refused it (for
    // instance because the MIDI system has gone away).
    virtual bool send(const unsigned char* bytes, std::size_t size) = 0;
};

// What a MIDI system answered when asked for a port by part of its name.
struct PortSearch {
    bool system_running = false;
    std::string port_name;               // the port that matched; empty when none did
    std::unique_ptr<PortOutput> output;  // null when none matched or it failed to open
};

}  // namespace tambelo
