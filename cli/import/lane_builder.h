#pragma once

#include "cli/import/import_model.h"
#include "cli/import/import_report.h"
#include "cli/import/song_timeline.h"

namespace tambelo {

// Spreads a song's channel messages over the score's nine channels, each of
// which plays one note at a time: every MIDI channel gets as many score
// channels as it plays notes at once (while nine go round), drums play
// through drum voices on channels of their own. Program changes with their
// bank and controllers become voice changes, pan and fine tune their
// commands; what the score cannot hold is counted in `report`.
//
// A file this player wrote is read back as the player sent it: channel k's
// messages on score channel k, and the drum channel's messages on the
// channels that send nothing on their own, in the order they came.
ImportedSong build_lanes(const SongTimeline& timeline, ImportReport& report);

}  // namespace tambelo
