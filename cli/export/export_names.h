#pragma once

#include <cstdint>
#include <string>

namespace tambelo {

// `text` made safe as one file or folder name on the common file systems:
// path separators, the characters Windows refuses (: * ? " < > |), control
// characters (C1 ones too), direction controls and broken UTF-8 become '_';
// leading blanks and trailing blanks and dots go; names Windows reserves for devices get a trailing '_'; the
// result is cut to at most 200 bytes at a character boundary. An empty
// result becomes `fallback`.
std::string safe_file_name(const std::string& text, const std::string& fallback = "untitled");

// "NN Title.ext": the track number with leading zeros to `digits` places,
// a blank, the title made safe, the extension (without its dot).
std::string track_file_name(std::int32_t track, int digits, const std::string& title,
                            const std::string& extension);

// A channel's stem of the file at `path` ("dir/NN Title.ext"):
// "dir/NN Title - chK.ext".
std::string stem_file_path(const std::string& path, int channel);

// Places needed for every number up to `last_track`, at least two.
int track_number_digits(std::int32_t last_track);

}  // namespace tambelo
