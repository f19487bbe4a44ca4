#pragma once

// How long the desktop's media controls show a track as lasting.

#include <cstdint>
#include <filesystem>
#include <optional>

namespace tambelo::frontend {

// A track that ends by itself: its whole length. A looping track: its intro
// and two passes of its loop, as players of looping game music show it.
// Measured off line from the set's files by the same code that plays them;
// nothing when the track cannot be compiled.
std::optional<std::int64_t> shown_length_us(const std::filesystem::path& score_path,
                                            const std::filesystem::path& voice_path, std::int32_t track);

}  // namespace tambelo::frontend
