#pragma once

// Watches the PulseAudio server (PipeWire's too, through its PulseAudio
// service) that the playback library plays its synthesizer's sound into,
// so that the window can say when the sound went away with it. The library
// itself reconnects when the server comes back; it has no way to tell the
// window, so the window keeps an eye on the same server.
//
// Only a server that was there once counts as lost: on a system with no
// PulseAudio server (JACK alone, ALSA) the watch never reports anything.

#include <QObject>
#include <QTimer>

#include <memory>

namespace tambelo::frontend {

class AudioServerWatch : public QObject {
    Q_OBJECT

public:
    explicit AudioServerWatch(QObject* parent = nullptr);
    ~AudioServerWatch() override;

    // True while a server that had answered does not answer.
    bool lost() const { return lost_; }

signals:
    // The server went away (true) or answers again (false).
    void lost_changed(bool lost);

private:
    struct Connection;

    void connect_to_server();
    void on_state(bool ready, bool failed);

    std::unique_ptr<Connection> connection_;
    QTimer retry_;
    bool answered_once_ = false;
    bool lost_ = false;
};

// Whether the library plays through its own synthesizer (and so through
// the audio server), as TAMBELO_MIDI_OUT chooses: unset, "synth" or
// "synth:SOUNDFONT".
bool plays_through_audio_server();

// What the window's tooltip says of the sound: "Playing with SoundFonts
// …" as the library's synthesizer picks them for TAMBELO_MIDI_OUT, empty
// when the sound goes to a MIDI port or nowhere.
QString sound_note();

}  // namespace tambelo::frontend
