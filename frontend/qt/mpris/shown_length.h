#pragma once

// How long the desktop's media controls show a track as lasting.

#include <cstdint>
#include <filesystem>
#include <optional>

namespace tambelo::frontend {

// A track that ends by itself: its whole length. A looping track: its intro
// and two passes of its loop, as players of looping game music show it.
// As the library's music-set model answers for the set of `score_path`;
// nothing when the track cannot be played.
std::optional<std::int64_t> shown_length_us(const std::filesystem::path& score_path, std::int32_t track);

}  // namespace tambelo::frontend
