#pragma once

#include "cli/import/import_model.h"
#include "cli/import/import_report.h"
#include "cli/import/midi_file_parser.h"
#include "cli/import/song_timeline.h"

namespace tambelo {

// A parsed file as the score will hold it: on the score's time grid, spread
// over its channels, at the tempo value nearest the file's main tempo. Counts
// in `report` what the score cannot hold, music after the loop end that does
// not repeat the loop among it. The timeline goes to `timeline` when given.
// Throws MidiFileError for a song far too long for a score.
ImportedSong convert_song(const MidiSong& midi, ImportReport& report, SongTimeline* timeline = nullptr);

}  // namespace tambelo
