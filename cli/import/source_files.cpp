#include "cli/import/source_files.h"

#include "cli/authoring/set_packer.h"
#include "cli/import/song_import.h"
#include "cli/safe_text.h"

#include <set>

namespace tambelo {
namespace {

std::string voice_fields(const VoiceRecord& voice)
{
    std::string fields;
    if (voice.bank >= 128)
        fields = "kit = " + std::to_string(255 - voice.bank);
    else
        fields = "bank = " + std::to_string(voice.bank) + ", program = " + std::to_string(voice.program);
    fields += ", volume = " + std::to_string(voice.volume) + ", reverb = " + std::to_string(voice.reverb) +
              ", chorus = " + std::to_string(voice.chorus) + ", pan = " + std::to_string(voice.pan);
    if (voice.bank < 128 && voice.key_offset != 64)
        fields += ", key_offset = " + std::to_string(voice.key_offset - 64);
    return fields;
}

// A TOML basic string holding `text` made printable on one line.
std::string toml_string(const std::string& text)
{
    std::string quoted = "\"";
    for (char c : printable_text(text)) {
        if (c == '"' || c == '\\')
            quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

// A title that the title list reads back as this track's: one the player
// would take a number from gets a word in front.
std::string track_title(const std::string& title)
{
    std::string shown = printable_text(title);
    if (shown.find_first_not_of(' ') == std::string::npos)
        shown = "Imported song";
    if (!title_problem(1, shown).empty())
        shown = "Song " + shown;
    return shown;
}

}  // namespace

std::string write_voice_set(const ImportedSong& song, const VoiceNumbers& voices)
{
    std::string text = "# Voices of the imported song: bank and program as the file selected them.\n";
    text += "tempo_base = " + std::to_string(song.tempo_base) + "\n";
    text += "\n[start]  # the voices channels 3, 4 and 5 begin with\n";
    for (int j = 0; j < 3; ++j)
        text += std::to_string(3 + j) + " = { " + voice_fields(song.start_voices[static_cast<std::size_t>(j)]) + " }\n";
    const auto& numbered = voices.voices();
    if (!numbered.empty())
        text += "\n[voice]\n";
    for (std::size_t k = 0; k < numbered.size(); ++k)
        text += std::to_string(k + 1) + " = { " + voice_fields(numbered[k]) + " }\n";
    std::set<int> drum_notes;
    for (const Lane& lane : song.lanes)
        if (lane.drums)
            for (const LaneAction& action : lane.actions)
                if (action.kind == LaneAction::Kind::note && action.pitch >= 12)
                    drum_notes.insert(action.pitch);
    if (!drum_notes.empty())
        text += "\n[drums.0]  # each drum note plays itself\n";
    for (int note : drum_notes)
        text += std::to_string(note) + " = " + std::to_string(note) + "\n";
    return text;
}

std::string write_set_file(const std::string& set_title, const std::string& title)
{
    return "title = " + toml_string(printable_text(set_title)) + "\n\n[[track]]\ntitle = " +
           toml_string(track_title(title)) + "\nscore = \"" + imported_score_name + "\"\nvoices = \"" +
           imported_voices_name + "\"\n";
}

}  // namespace tambelo
