#pragma once

#include "cli/authoring/score_source.h"

#include <string>
#include <string_view>

namespace tambelo {

// Reads a score written in the score language (docs/score-language.md):
// phrases of MML-style commands and the channels that list them. `file`
// names the source in messages. Throws SourceError at the first mistake,
// with its line and column.
ScoreSource parse_score(std::string_view text, const std::string& file);

}  // namespace tambelo
