#pragma once

#include <cstdint>

namespace tambelo {

// The caller's request as the two threads share it: one 64-bit word, read
// and changed whole, so that neither thread ever sees half of a change.
//   bits 0..31   `track`: the last number play_music accepted (0 after a
//                stop or the end of a track);
//   bits 32..62  `generation`: moves on with every call that changes the
//                request, so the playback thread can tell a call made while
//                it worked from the request it started with, even when both
//                name the same track;
//   bit 63       `declined`: the track could not be compiled. Nothing is
//                requested any more, yet the number stays, so asking for it
//                again does nothing until another number or a stop.
struct TrackRequest {
    std::int32_t track = 0;
    std::uint32_t generation = 0;  // 31 bits, wraps
    bool declined = false;

    // The track the playback thread should be playing; 0 for none.
    std::int32_t wanted() const { return declined ? 0 : track; }

    // The request a caller's call makes of this one: `new_track`, in the
    // next generation.
    TrackRequest replaced_by(std::int32_t new_track) const
    {
        return {new_track, (generation + 1) & generation_mask, false};
    }

    std::uint64_t word() const
    {
        return static_cast<std::uint32_t>(track) |
               (std::uint64_t{generation & generation_mask} << 32) |
               (std::uint64_t{declined} << 63);
    }

    static TrackRequest from_word(std::uint64_t word)
    {
        return {static_cast<std::int32_t>(static_cast<std::uint32_t>(word)),
                static_cast<std::uint32_t>(word >> 32) & generation_mask, (word >> 63) != 0};
    }

    static constexpr std::uint32_t generation_mask = 0x7FFFFFFFu;
};

}  // namespace tambelo
