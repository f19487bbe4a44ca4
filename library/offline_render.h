#pragma once

// The sequencer stepped on a frozen clock under its former names, for the
// synthesizer interface and the web build's bindings, which are being
// reworked on a branch of their own: once that work is merged its includes
// and names become those of frozen_clock_sequencer.h and this file goes.
#include "library/frozen_clock_sequencer.h"

namespace tambelo {

using OfflineTrack = FrozenClockSequencer;
using OfflineFailure = TrackOpenFailure;

}  // namespace tambelo
