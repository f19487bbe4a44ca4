#pragma once

#include "cli/import/import_model.h"
#include "cli/import/import_report.h"
#include "cli/import/voice_numbers.h"

#include <string>

namespace tambelo {

// The song's score in the score language: per channel a phrase before its
// loop (if it loops) and phrases of its music, bar lines every bar. Numbers
// the voices it selects in `voices`; counts in `report` what it had to move.
std::string write_score(const ImportedSong& song, const std::string& source_name, VoiceNumbers& voices,
                        ImportReport& report);

}  // namespace tambelo
