#include "cli/output_note.h"

namespace tambelo::cli {

std::string output_note(const std::string&, MidiDevice*)
{
    return {};
}

std::string output_sound(MidiDevice*)
{
    return {};
}

bool output_lost(const MidiDevice*)
{
    return false;
}

}  // namespace tambelo::cli
