#include "library/midi/audio_output.h"

#include "library/midi/pulse_stream_output.h"
#include "library/midi/sound_system.h"

#include <string>
#include <vector>

namespace tambelo {
namespace {

bool driver_available(fluid_settings_t* settings, const std::string& name)
{
    struct Search {
        const std::string* name;
        bool found;
    } search{&name, false};
    fluid_settings_foreach_option(settings, "audio.driver", &search,
                                  [](void* data, const char*, const char* option) {
                                      auto* s = static_cast<Search*>(data);
                                      if (*s->name == option)
                                          s->found = true;
                                  });
    return search.found;
}

// How much sound each of the driver's writes carries: 64 frames for every
// driver. Larger writes (about 21 ms, once tried through the PulseAudio
// driver) made the timing worse: PipeWire's PulseAudio side went from 0.7 ms
// to about 3 ms at the 99th percentile, and the direct path got coarser by a
// write.
void set_period(fluid_settings_t* settings)
{
    constexpr int period_frames = 64;
    fluid_settings_setint(settings, "audio.period-size", period_frames);
}

// One of FluidSynth's drivers, running.
class FluidDriverOutput final : public AudioOutput {
public:
    explicit FluidDriverOutput(FluidAudioDriverPtr driver) : driver_(std::move(driver)) {}

private:
    FluidAudioDriverPtr driver_;
};

}  // namespace

AudioOutputPtr open_audio_output(GsSynth& synth, std::string* why, fluid_audio_func_t render,
                                 void* render_data)
{
    silence_sound_libraries();
    if (AudioOutputPtr output = open_pulse_stream_output(synth.sample_rate, render, render_data))
        return output;
    fluid_settings_t* settings = synth.settings.get();
    fluid_settings_setstr(settings, "audio.pulseaudio.media-role", "music");
    // A JACK client's ports start unconnected; a player should be heard.
    fluid_settings_setint(settings, "audio.jack.autoconnect", 1);

    std::vector<std::string> tried;
    for (const char* driver : {"pipewire", "pulseaudio", "jack", "alsa", "oss"}) {
        if (!driver_available(settings, driver))
            continue;
        // FluidSynth's JACK driver would start a server of its own when none
        // runs; a player must only join one the user started.
        double server_rate = 0.0;
        if (std::string(driver) == "jack") {
            server_rate = jack_server_sample_rate();
            if (server_rate <= 0.0)
                continue;
        }
        tried.emplace_back(driver);
        fluid_settings_setstr(settings, "audio.driver", driver);
        set_period(settings);
        FluidAudioDriverPtr output(render ? new_fluid_audio_driver2(settings, render, render_data)
                                          : new_fluid_audio_driver(settings, synth.synth.get()));
        if (output) {
            // JACK runs at its own rate and FluidSynth's driver sets the synth
            // to it; what renders and times the sound must count at that rate.
            if (server_rate > 0.0)
                synth.sample_rate = server_rate;
            return std::make_unique<FluidDriverOutput>(std::move(output));
        }
    }
    if (why) {
        std::string names;
        for (const std::string& name : tried)
            names += (names.empty() ? "" : ", ") + name;
        *why = "no audio output could be opened" +
               (names.empty() ? std::string() : " (tried " + names + ")");
    }
    return nullptr;
}

}  // namespace tambelo
