#pragma once

// The music set the user opened last, kept in the user's settings
// (~/.config/tambelo/tambelo.conf), so that an installed window plays it
// again at start and its Open dialog starts in its folder.

#include <QString>

namespace tambelo::frontend {

// The score archive opened last; empty when none is remembered.
QString remembered_set();

// Remembers `score_path`, made absolute.
void remember_set(const QString& score_path);

}  // namespace tambelo::frontend
