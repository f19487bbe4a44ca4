#include "cli/import/score_fit.h"

#include "cli/authoring/score_checks.h"
#include "cli/authoring/score_encoder.h"
#include "cli/authoring/score_parser.h"
#include "cli/import/midi_file_parser.h"

#include <stdexcept>

namespace tambelo {

void check_score_fits(const std::string& score_text, int tempo_base)
{
    try {
        const ScoreSource score = parse_score(score_text, "song.mml");
        check_score_channels(score, tempo_base);
        (void)encode_score(score, tempo_base);
    } catch (const SourceError& error) {
        const std::string& why = error.message();
        if (why.find("is too long") != std::string::npos || why.find("is too large") != std::string::npos)
            throw MidiFileError("the song is too long for one score: " + why);
        throw std::logic_error("the imported score does not pack: " + std::string(error.what()));
    }
}

}  // namespace tambelo
