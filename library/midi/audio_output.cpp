#include "library/midi/audio_output.h"

#include "library/midi/process_thread_affinity.h"
#include "library/midi/pulse_stream_output.h"
#include "library/midi/sound_system.h"

#include <algorithm>
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

// How much sound each of the driver's writes carries. The sound is rendered
// ahead into the ring, so a period only sets how soon a stop is heard.
void set_period(fluid_settings_t* settings)
{
    constexpr int period_frames = 256;
    fluid_settings_setint(settings, "audio.period-size", period_frames);
}

// What a driver's thread plays from: the ring, and for a JACK client the
// keeping of that thread beside the server's driver.
struct RingPlayback {
    FrameRing& ring;
    std::unique_ptr<ProcessThreadAffinity> affinity;
};

// FluidSynth's driver asks for `frames` frames in two planes: the ring's
// sound, and silence where the ring has run dry.
int play_ring(void* data, int frames, int, float**, int outputs, float** out)
{
    if (outputs < 2)
        return FLUID_FAILED;
    auto& playback = *static_cast<RingPlayback*>(data);
    if (playback.affinity)
        playback.affinity->follow();
    FrameRing& ring = playback.ring;
    constexpr int piece = 256;
    float interleaved[piece * 2];
    int done = 0;
    while (done < frames) {
        const int wanted = std::min(piece, frames - done);
        const int got = static_cast<int>(ring.read(interleaved, static_cast<std::size_t>(wanted)));
        for (int i = 0; i < got; ++i) {
            out[0][done + i] = interleaved[2 * i];
            out[1][done + i] = interleaved[2 * i + 1];
        }
        std::fill(out[0] + done + got, out[0] + done + wanted, 0.0f);
        std::fill(out[1] + done + got, out[1] + done + wanted, 0.0f);
        done += wanted;
        if (got < wanted) {
            std::fill(out[0] + done, out[0] + frames, 0.0f);
            std::fill(out[1] + done, out[1] + frames, 0.0f);
            break;
        }
    }
    return FLUID_OK;
}

// One of FluidSynth's drivers, running.
class FluidDriverOutput final : public AudioOutput {
public:
    FluidDriverOutput(FrameRing& ring, bool jack_client) : playback_{ring, nullptr}
    {
        if (jack_client)
            playback_.affinity = std::make_unique<ProcessThreadAffinity>();
    }

    bool start(fluid_settings_t* settings)
    {
        driver_.reset(new_fluid_audio_driver2(settings, play_ring, &playback_));
        return driver_ != nullptr;
    }

private:
    RingPlayback playback_;
    FluidAudioDriverPtr driver_;  // last: its thread stops before what it plays from goes
};

}  // namespace

AudioOutputPtr open_audio_output(GsSynth& synth, FrameRing& ring, std::string* why)
{
    silence_sound_libraries();
    if (AudioOutputPtr output = open_pulse_stream_output(synth.sample_rate, ring))
        return output;
    fluid_settings_t* settings = synth.settings.get();
    fluid_settings_setstr(settings, "audio.pulseaudio.media-role", "music");
    // A JACK client's ports start unconnected; a player should be heard.
    fluid_settings_setint(settings, "audio.jack.autoconnect", 1);
    // Named as on every other server, not after the synthesizer library, so
    // that a patchbay shows which program is playing.
    fluid_settings_setstr(settings, "audio.jack.id", "tambelo");

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
        auto output = std::make_unique<FluidDriverOutput>(ring, server_rate > 0.0);
        if (output->start(settings)) {
            // JACK runs at its own rate and FluidSynth's driver sets the synth
            // to it; what renders and times the sound must count at that rate.
            if (server_rate > 0.0)
                synth.sample_rate = server_rate;
            return output;
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
