// Imports arbitrary bytes as a Standard MIDI File. Beyond the sanitizers'
// checks: a file the importer accepts must give a score that the packer
// accepts too (unless the song is too long for one), since the import
// promises a source folder that packs.
#include "cli/import/midi_file_parser.h"
#include "cli/import/score_fit.h"
#include "cli/import/score_writer.h"
#include "cli/import/song_conversion.h"

#include <span>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    try {
        const tambelo::MidiSong midi = tambelo::parse_midi_file(std::span(data, size));
        tambelo::ImportReport report;
        const tambelo::ImportedSong song = tambelo::convert_song(midi, report);
        tambelo::VoiceNumbers voices;
        const std::string text = tambelo::write_score(song, "fuzz.mid", voices, report);
        // A score that pack would refuse for anything but its length
        // escapes as std::logic_error and stops the run.
        tambelo::check_score_fits(text, song.tempo_base);
    } catch (const tambelo::MidiFileError&) {
    }
    return 0;
}
