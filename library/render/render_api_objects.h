#pragma once

// What the C interface's sets hold, and the helpers its calls share: every
// build has these (the Windows one, without the synthesizer, too). Private
// to libtambelo-render.

#include "tambelo/render.h"

#include "library/render/render_set.h"
#include "library/render/render_settings.h"
#include "library/render/rendering_length.h"

#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <string>

struct tambelo_set {
    // Shared with the tracks opened from it, which may outlive its close.
    std::shared_ptr<const tambelo::RenderSet> set;
    // The track information handed out, whose texts live until the set closes.
    mutable std::map<int, std::unique_ptr<tambelo::TrackInfo>> infos;
    mutable std::map<int, std::unique_ptr<tambelo_track_info>> c_infos;  // handed out by tambelo_set_track
    mutable std::mutex infos_lock;
};

namespace tambelo::c_api {

// Keeps `message` as this thread's last message (valid until its next
// call) and returns it.
const char* fail(std::string message);

// Runs `body`, which returns NULL or a message, turning anything it throws
// into a message.
template <typename Body>
const char* guarded(Body&& body)
{
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return "out of memory";
    } catch (const std::exception& error) {
        return fail(error.what());
    } catch (...) {
        return "unexpected failure";
    }
}

// A caller's settings, checked, in the renderer's terms.
struct ChosenSettings {
    RenderSettings render;
    int sample_rate = 44100;
    std::string soundfont;
};

// NULL with `chosen` filled, or why the settings (NULL: the defaults) are refused.
const char* choose_settings(const tambelo_render_settings* settings, ChosenSettings& chosen);

const char* no_such_track(const tambelo_set& set, int number);

// The set's information on track `number` (1 to the count), made once.
const TrackInfo& kept_info(const tambelo_set& set, int number);

// The C view of the information, whose texts point into `read`.
tambelo_track_info c_info(const TrackInfo& read);

// The layout of the rendering of a playable track, or why it cannot be
// rendered with these settings (among them: longer than the bound).
const char* plan_of(const tambelo_set& set, int number, const ChosenSettings& chosen, RenderingPlan& plan);

}  // namespace tambelo::c_api
