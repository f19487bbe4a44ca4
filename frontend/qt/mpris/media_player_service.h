#pragma once

// The window on the session bus as an MPRIS media player
// (org.mpris.MediaPlayer2.tambelo), so that media keys and the desktop's
// media controls drive it. Every command goes to the window's own handlers,
// so a bus call makes exactly the library calls of the matching button.
// Without a session bus, or with the name taken, it stays silently absent.
// Lives on the user-interface thread, like the window.

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>

namespace tambelo::frontend {

// The window's commands, as the bus may call them.
struct PlayerControls {
    std::function<void()> play;
    std::function<void()> stop;
    std::function<void()> next;
    std::function<void()> previous;
    std::function<void()> raise;
    std::function<void()> quit;
    // Opens the set at a local path (a score archive or a folder holding one).
    std::function<void(const QString& path)> open;
};

// What the window shows: the bus reports it.
struct PlayerState {
    bool playing = false;
    std::int32_t track = 0;
    // The track's title without its number ("Track N" when the title list
    // gives none), and the game's title (empty when the list names none).
    QString title;
    QString album;
    // How long the track is shown as lasting (none when unknown), and how
    // far it has played: microseconds since it started, up to that length.
    std::optional<std::int64_t> length_us;
    std::int64_t position_us = 0;
};

// When a window already plays on the session bus: hands it `set_path` to
// open (none: nothing), raises it and returns true, so that a second start
// opens no second window. False when there is no bus, no such window, or it
// does not answer within two seconds.
bool hand_over_to_running_player(const QString& set_path);

class MediaPlayerService : public QObject {
    Q_OBJECT

public:
    // The bus name's last part; the full name is org.mpris.MediaPlayer2.<this>.
    static constexpr const char* player_name = "tambelo";
    // The desktop entry's name without ".desktop".
    static constexpr const char* desktop_entry = "org.tambelo.Tambelo";

    MediaPlayerService(PlayerControls controls, std::function<PlayerState()> state,
                       QObject* parent = nullptr);
    ~MediaPlayerService() override;

    // Offers the player on the session bus. False, quietly, when there is no
    // session bus or the name is taken by another instance.
    bool register_on_session_bus();
    bool registered() const { return registered_; }

    // Call after every change the window shows: announces the properties
    // that changed since the last announcement with PropertiesChanged.
    void refresh();

    // Read by the adaptors.
    const PlayerControls& controls() const { return controls_; }
    PlayerState state() const { return state_(); }

private:
    PlayerControls controls_;
    std::function<PlayerState()> state_;
    PlayerState announced_;
    QString bus_name_;
    bool registered_ = false;
};

}  // namespace tambelo::frontend
