#pragma once

// frmMain drawn with Qt: six picture buttons, the status label, File > Open.
// It only draws and forwards clicks; the behaviour is MainForm's, which this
// window serves as its WindowView.

#include "frontend/qt/mpris/media_player_service.h"
#include "frontend/window_logic/main_form.h"
#include "frontend/window_logic/window_view.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <QString>

#include <functional>
#include <optional>
#include <memory>

class QAction;
class QLabel;
class QMenu;
class QPushButton;

namespace tambelo::frontend {

class MainWindow : public QMainWindow, public WindowView {
public:
    // The dialog and the error report are replaceable for tests; by default
    // they are the real open-file dialog and a message box.
    struct Services {
        std::function<QString(QWidget* parent)> choose_file;
        std::function<void(const QString& message)> report_failure;
    };

    MainWindow(PlaybackLibrary& library, const QString& program_folder, Services services = {},
               QWidget* parent = nullptr);

    MainForm& form() { return form_; }

    // After start-up: offers the window on the session bus for media keys
    // (MPRIS), when there is a bus. Returns whether it is offered.
    bool offer_media_controls();

    // Opens the set at `path` (a score archive or a folder holding one) as
    // File > Open would; a path that holds no set is reported with
    // show_notice and changes nothing.
    void open_set(const QString& path);

    // Tells the user something in a message box that does not block: the
    // window goes on (and plays) while it is up.
    void show_notice(const QString& message);
    // A line on what makes the sound (the SoundFonts that play), shown in
    // the status line's tooltip under the title; empty for none.
    void set_sound_note(const QString& note);

    void set_caption(const std::string& text) override;
    void set_status(const std::string& text) override;
    std::filesystem::path ask_for_file() override;
    void show_error(const std::string& message) override;
    void show_notice(const std::string& message) override { show_notice(QString::fromStdString(message)); }
    void sleep_ms(int milliseconds) override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void build_layout();
    QPushButton* add_button(const char* name, int index, const char* tooltip);
    void forward(void (MainForm::*handler)());
    PlayerState player_state() const;
    void raise_window();
    // After a command: when it (re)started a track, its clock starts again
    // and its length is measured.
    void follow_playback(bool restarted);

    Services services_;
    MainForm form_;
    MediaPlayerService* media_ = nullptr;
    bool in_command_ = false;
    // The set open_set() hands to File > Open in place of the dialog.
    std::optional<std::filesystem::path> handed_set_;
    // The track playing: since when, and how long it is shown as lasting.
    QElapsedTimer track_clock_;
    std::optional<std::int64_t> track_length_us_;
    std::filesystem::path measured_score_;
    std::int32_t measured_track_ = 0;

    QPushButton* cmdPrev10 = nullptr;
    QPushButton* cmdPrev = nullptr;
    QPushButton* cmdStop = nullptr;
    QPushButton* cmdPlay = nullptr;
    QPushButton* cmdNext = nullptr;
    QPushButton* cmdNext10 = nullptr;
    QLabel* lblStatus = nullptr;
    QString sound_note_;
    QMenu* mnuFile = nullptr;
    QAction* mnuOpen = nullptr;
};

// The real open-file dialog for a score archive, starting in the folder of
// the set opened last.
QString choose_music_set(QWidget* parent);

// The first `limit` characters of `text`, ending in "…" when it was longer.
QString cut_with_ellipsis(const QString& text, qsizetype limit);

}  // namespace tambelo::frontend
