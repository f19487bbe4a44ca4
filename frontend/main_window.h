#pragma once

// frmMain, the program's one window: six picture buttons that step through,
// play and stop the tracks of a music set, a status line with the current
// track's title line, a caption with the game's title, and File > Open to
// switch to another music set. It keeps the current track number itself and
// turns each command into calls of the playback library.

#include "frontend/common.h"

#include <QMainWindow>
#include <QString>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class QAction;
class QLabel;
class QMenu;
class QPushButton;

namespace tambelo::frontend {

// What the window needs from its surroundings; tests supply their own.
struct WindowServices {
    // The folder that holds the program, and the music set played at start.
    QString program_folder;
    // Shows the open-file dialog; returns the chosen file's full path, or an
    // empty string when the user cancels.
    std::function<QString(QWidget* parent)> choose_file;
    // Tells the user, in one line, why the program has to end.
    std::function<void(const QString& message)> report_failure;
    // Pauses the user-interface thread between stopping the old music set
    // and handing over the new one.
    std::function<void(int milliseconds)> pause_ms;
};

class MainWindow : public QMainWindow {
public:
    MainWindow(PlaybackLibrary& library, WindowServices services, QWidget* parent = nullptr);

    // Start-up, before the window is first shown: plays track 1 of the music
    // set in the program's folder. Returns false when the program must end
    // (the reason has been reported).
    bool Form_Load();

    // True once a failure has ended the program; it then exits with status 1.
    bool ended_by_failure() const { return ended_by_failure_; }

    std::int32_t current_track() const { return curTrack; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void build_layout();
    QPushButton* add_button(const char* name, int index, const char* tooltip);

    void Form_Unload();
    void LoadTitles(const QString& path);
    void ShowCaption();
    void ShowStatus();

    void mnuOpen_Click();
    void cmdPlay_Click();
    void cmdStop_Click();
    void cmdNext_Click();
    void cmdPrev_Click();
    void cmdNext10_Click();
    void cmdPrev10_Click();

    // Runs a handler; a failure it does not handle ends the program.
    void run_handler(void (MainWindow::*handler)());
    void end_program(const QString& message);
    void make_program_folder_current();
    void open_music_set();

    PlaybackLibrary& library_;
    WindowServices services_;
    bool unloaded_ = false;
    bool ended_by_failure_ = false;

    std::int32_t curTrack = 0;
    QString datPath;
    QString mdaPath;
    QString txtPath;
    std::vector<std::string> titles;

    QPushButton* cmdPrev10 = nullptr;
    QPushButton* cmdPrev = nullptr;
    QPushButton* cmdStop = nullptr;
    QPushButton* cmdPlay = nullptr;
    QPushButton* cmdNext = nullptr;
    QPushButton* cmdNext10 = nullptr;
    QLabel* lblStatus = nullptr;
    QMenu* mnuFile = nullptr;
    QAction* mnuOpen = nullptr;
};

// `text` without its last `count` characters (a character outside the
// Basic Multilingual Plane counts once); empty when it has no more.
QString without_last_characters(const QString& text, int count);

// The real open-file dialog for a score archive.
QString choose_music_set(QWidget* parent);

}  // namespace tambelo::frontend
