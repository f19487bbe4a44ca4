#include "cli/commands.h"
#include "cli/input_files.h"
#include "cli/music_set_files.h"
#include "cli/safe_text.h"
#include "cli/export/track_list_json.h"

#include <nlohmann/json.hpp>
#include <tambelo/track_messages.h>

#include <memory>

namespace tambelo::cli {
namespace {

struct DumpOptions {
    std::string set_path;
    std::int32_t track = 0;
    std::string voice_path;
};

std::string hex_of(const std::vector<std::uint8_t>& bytes)
{
    static constexpr char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (const std::uint8_t byte : bytes) {
        text.push_back(digits[byte >> 4]);
        text.push_back(digits[byte & 15]);
    }
    return text;
}

nlohmann::ordered_json describe(const PreparedTrack& prepared, std::int32_t track)
{
    nlohmann::ordered_json out;
    out["track"] = track;
    out["compiled"] = prepared.compiled;
    out["tempo"] = prepared.tempo;
    if (prepared.compiled) {
        auto streams = nlohmann::ordered_json::array();
        for (const auto& stream : prepared.streams)
            streams.push_back(hex_of(stream));
        out["streams"] = std::move(streams);
    }
    out["tempo_base"] = prepared.tempo_base;
    auto voices = nlohmann::ordered_json::array();
    for (const PreparedVoice& v : prepared.voices)
        voices.push_back({v.bank, v.program, v.volume, v.reverb, v.chorus, v.key_offset, v.pan});
    out["voices"] = std::move(voices);
    out["drum_map"] = prepared.drum_map;
    return out;
}

void run_dump(const DumpOptions& options)
{
    require_input_file(options.set_path);
    const bool voices_given = !options.voice_path.empty();
    const std::string voice_path = voices_given ? options.voice_path : music_set_files(options.set_path).voice;
    if (voices_given)
        require_input_file(voice_path);
    const bool voices_there = voices_given || input_file_if_present(voice_path);

    // The set's tracks are the entries the window can step to, 1 to count.
    // A number among them whose entry cannot be read (empty, beyond the end
    // of the file) is still a track: the player fails it and holds what is
    // shown below, as `trace` plays it.
    const std::int32_t count = require_music_set(options.set_path);
    if (options.track < 1 || options.track > count) {
        fail("no track " + std::to_string(options.track) + " in " + shown_path(options.set_path) +
             (count == 1 ? " (it holds track 1 only)" : " (it holds tracks 1 to " + std::to_string(count) + ")"));
    }
    if (!voices_there)
        std::cerr << "tambelo-cli: no voice archive at " << shown_path(voice_path) << "; showing the default voices\n";

    std::string why;
    const auto prepared = prepare_track(options.set_path, voice_path, options.track, &why);
    if (!prepared)
        fail(why + ": " + options.set_path);
    const bool compiled = prepared->compiled;
    nlohmann::ordered_json out = describe(*prepared, options.track);

    // The voices the track asks for that the SoundFonts of the embedded
    // synthesizer lack, found by playing it through off line.
    const SynthSoundFonts soundfonts = SynthSoundFonts::embedded();
    std::vector<MissingVoice> fallbacks;
    if (compiled)
        if (auto missing = soundfonts.missing_voices(options.set_path, voice_path, options.track))
            fallbacks = std::move(*missing);
    out["soundfonts"] = soundfont_paths_json(soundfonts);
    out["voice_fallbacks"] = voice_fallbacks_json(fallbacks);
    std::cout << out.dump() << '\n';
    if (!fallbacks.empty()) {
        std::string line = "tambelo-cli: voices that fall back in the synthesizer's SoundFonts:";
        for (std::size_t i = 0; i < fallbacks.size(); ++i)
            line += (i == 0 ? " " : ", ") + fallbacks[i].text;
        std::cerr << line << '\n';
    }
}

}  // namespace

void add_dump_command(CLI::App& app)
{
    auto options = std::make_shared<DumpOptions>();
    auto* command = app.add_subcommand(
        "dump",
        "Print, as one JSON object, what a player holds after preparing a track: whether its score\n"
        "compiled, the tempo, the nine event streams in hex, the tempo base, the 259 voices, the\n"
        "drum map, and the SoundFonts the synthesizer plays with and the voices of the track that\n"
        "they lack (each played as another preset)");
    command->add_option("SET.dat", options->set_path, "The set's score archive")->required();
    command->add_option("TRACK", options->track, "Track number, from 1")->required();
    command->add_option("--voices", options->voice_path,
                        "The set's voice archive (default: SET.dat with its last four characters "
                        "replaced by .mda)");
    command->callback([options] { run_dump(*options); });
}

}  // namespace tambelo::cli
