#include "frontend/qt/audio_server_watch.h"

#include <tambelo/render.h>

#include <pulse/context.h>
#include <pulse/thread-mainloop.h>

#include <cstdlib>
#include <cstring>

namespace tambelo::frontend {

namespace {

// How often a lost server is asked for again, and how soon the first try
// after start-up or a loss is made.
constexpr int retry_ms = 1000;

}  // namespace

// One try at the server: a context on a mainloop thread of its own. Its
// state reaches the watch on the window's thread.
struct AudioServerWatch::Connection {
    explicit Connection(AudioServerWatch* owner) : watch(owner) {}

    ~Connection()
    {
        if (!loop)
            return;
        pa_threaded_mainloop_stop(loop);
        if (context) {
            pa_context_set_state_callback(context, nullptr, nullptr);
            pa_context_disconnect(context);
            pa_context_unref(context);
        }
        pa_threaded_mainloop_free(loop);
    }

    bool start()
    {
        loop = pa_threaded_mainloop_new();
        if (!loop)
            return false;
        context = pa_context_new(pa_threaded_mainloop_get_api(loop), "tambelo-watch");
        if (!context)
            return false;
        pa_context_set_state_callback(context, &Connection::state_changed, this);
        // Never start a server: the watch only looks at the one there is.
        if (pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
            return false;
        return pa_threaded_mainloop_start(loop) >= 0;
    }

    static void state_changed(pa_context* context, void* data)
    {
        auto* self = static_cast<Connection*>(data);
        const pa_context_state_t state = pa_context_get_state(context);
        const bool ready = state == PA_CONTEXT_READY;
        const bool failed = state == PA_CONTEXT_FAILED || state == PA_CONTEXT_TERMINATED;
        if (!ready && !failed)
            return;
        AudioServerWatch* watch = self->watch;
        QMetaObject::invokeMethod(watch, [watch, ready, failed] { watch->on_state(ready, failed); },
                                  Qt::QueuedConnection);
    }

    AudioServerWatch* watch;
    pa_threaded_mainloop* loop = nullptr;
    pa_context* context = nullptr;
};

AudioServerWatch::AudioServerWatch(QObject* parent) : QObject(parent)
{
    retry_.setSingleShot(true);
    retry_.setInterval(retry_ms);
    connect(&retry_, &QTimer::timeout, this, &AudioServerWatch::connect_to_server);
    connect_to_server();
}

AudioServerWatch::~AudioServerWatch() = default;

void AudioServerWatch::connect_to_server()
{
    connection_.reset();
    auto connection = std::make_unique<Connection>(this);
    if (!connection->start()) {
        retry_.start();
        return;
    }
    connection_ = std::move(connection);
}

void AudioServerWatch::on_state(bool ready, bool failed)
{
    if (ready) {
        answered_once_ = true;
        if (lost_) {
            lost_ = false;
            emit lost_changed(false);
        }
        return;
    }
    if (!failed)
        return;
    // A state queued by a connection already dropped comes here too; the
    // next try answers for itself.
    if (answered_once_ && !lost_) {
        lost_ = true;
        emit lost_changed(true);
    }
    if (!retry_.isActive())
        retry_.start();
}

bool plays_through_audio_server()
{
    const char* chosen = std::getenv("TAMBELO_MIDI_OUT");
    return !chosen || !*chosen || std::strcmp(chosen, "synth") == 0 || std::strncmp(chosen, "synth:", 6) == 0;
}

QString sound_note()
{
    if (!plays_through_audio_server())
        return {};
    const char* chosen = std::getenv("TAMBELO_MIDI_OUT");
    const char* soundfont = chosen && std::strncmp(chosen, "synth:", 6) == 0 ? chosen + 6 : nullptr;
    const QString played = QString::fromUtf8(tambelo_played_soundfonts(soundfont));
    return played.isEmpty() ? QStringLiteral("No SoundFont found: the synthesizer is silent")
                            : QStringLiteral("Playing with ") + played;
}

}  // namespace tambelo::frontend
