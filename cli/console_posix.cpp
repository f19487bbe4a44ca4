#include "cli/console.h"

namespace tambelo::cli {

void prepare_console() {}

}  // namespace tambelo::cli
