#pragma once

#include <string>

namespace tambelo::testing {

// The smallest file that is a score archive: a table of one page naming one
// track of one page (which does not compile). For tests of hosts that only
// need a file that is a music set.
inline std::string one_track_score_archive()
{
    std::string bytes(512, '\0');
    bytes[0] = 2;  // the first page after the table
    bytes[2] = 2;  // track 1 starts there ...
    bytes[4] = 3;  // ... and ends before page 3
    return bytes;
}

}  // namespace tambelo::testing
