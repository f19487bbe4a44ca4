#pragma once

#include <string>

namespace tambelo {

// Packs the imported score's text as pack would, so that the import never
// writes a source that pack refuses. A song longer than a channel's event
// stream or a score's 16-bit offsets reach throws MidiFileError naming what
// did not fit; anything else pack refuses is a fault of the import and
// throws std::logic_error.
void check_score_fits(const std::string& score_text, int tempo_base);

}  // namespace tambelo
