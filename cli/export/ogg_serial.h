#pragma once

#include <cstdint>
#include <string>

namespace tambelo {

// Gives every page of the Ogg file at `path` the stream serial number
// `serial`, with the page checksums made anew. The encoder picks a serial
// number from the clock, which alone made two exports of the same track
// differ; a number derived from what the file holds makes them identical.
// Returns an empty string on success, else a one-line reason.
std::string set_ogg_serial_number(const std::string& path, std::uint32_t serial);

}  // namespace tambelo
