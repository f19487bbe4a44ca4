#pragma once

#include "cli/import/import_model.h"

#include <cstdint>
#include <vector>

namespace tambelo {

// Where a lane's music ends: its last release or action.
std::int64_t lane_end(const Lane& lane);

// The first tick from `from` that no note of the lane sounds across.
std::int64_t quiet_tick(const Lane& lane, std::int64_t from);

// Controllers at the loop start `at` that the file does not send again a
// loop later belong before the loop: they were the channel's setting up.
// Marks them, by action; marks none when the file ends before the next loop.
std::vector<bool> played_once(const Lane& lane, std::int64_t at, std::int64_t period, std::int64_t file_end);

// Controllers that the file sends where the loop comes round but not where
// it first began: the end of the loop's last phrase, which the first pass
// did not come from.
std::vector<LaneAction> played_at_seam(const Lane& lane, std::int64_t at, std::int64_t period);

// The lane's actions from `from` to before `to`, moved by `shift` ticks,
// leaving out those `skip` marks.
Segment segment_of(const Lane& lane, std::int64_t from, std::int64_t to, std::int64_t shift = 0,
                   const std::vector<bool>* skip = nullptr);

}  // namespace tambelo
