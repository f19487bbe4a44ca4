#pragma once

// frmMain's behaviour, free of any window toolkit: start-up and shut-down,
// the seven commands, and the caption and status line made from the title
// list. It keeps the current track number itself, turns each command into
// calls of the playback library, and tells its WindowView what to show.
// Every public function runs on the user-interface thread, one at a time.
//
// The public handlers never throw. A failure that the behaviour does not
// skip (the library or one of its exports missing, the program's folder
// unusable) goes to WindowView::show_error once; from then on every handler
// does nothing.

#include "frontend/window_logic/common.h"
#include "frontend/window_logic/window_view.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tambelo::frontend {

// The pause between stopping the old music set and opening a new one, so
// that the playback thread has silenced the device first.
inline constexpr int switch_pause_ms = 100;

// A set's score and voice archive paths as the library's open_file takes
// them.
struct SetArchivePaths {
    std::string score;
    std::string voices;
};

class MainForm {
public:
    // `program_folder`: the folder holding the program, whose music set
    // (amus.dat, amus.mda, amus.txt) plays at start-up.
    MainForm(PlaybackLibrary& library, WindowView& view, std::filesystem::path program_folder);

    // Start-up, before the window is first shown: makes the program's
    // folder current, starts the library and plays track 1 of the set
    // there. Returns false when the program must end (the view was told).
    bool Form_Load();

    // The score archive that Form_Load plays instead of the one in the
    // program's folder (see start_set.h); its voice archive and title list
    // are the files of the same name with ".mda" and ".txt", as for Open.
    void set_start_score_path(std::filesystem::path score_path);

    // Shut-down: releases the library, which silences the device. Runs at
    // most once, and not at all after a failure ended the program.
    void Form_Unload();

    void mnuOpen_Click();
    void cmdPlay_Click();
    void cmdStop_Click();
    void cmdNext_Click();
    void cmdPrev_Click();
    void cmdNext10_Click();
    void cmdPrev10_Click();

    // The audio output the library plays into went away (true) or is back
    // (false): while it is away the status line says so instead of the
    // title, since the music plays on unheard.
    void set_output_lost(bool lost);

    std::int32_t current_track() const { return curTrack; }
    // True when the last request to the library was a track, not a stop.
    bool playing() const { return playing_; }
    // The texts last given to the view.
    const std::string& caption() const { return caption_; }
    const std::string& status() const { return status_; }
    // The titles as plain data, for whatever lays them out itself (the
    // desktop's media controls): the current track's title without its
    // number ("Track N" when the title list gives none) and the game's title
    // (empty when the list names none).
    std::string track_title() const;
    std::string game_title() const;
    // The score archive of the music set in use.
    const std::filesystem::path& score_path() const { return datPath; }
    const std::filesystem::path& voice_path() const { return mdaPath; }
    // True once a failure has ended the program: it exits with status 1.
    bool ended_by_failure() const { return ended_by_failure_; }

private:
    template <typename Steps>
    void run_handler(Steps&& steps);
    void end_program(const std::string& message);
    void make_program_folder_current();
    // Throws when this system cannot hand the library the set's paths.
    SetArchivePaths library_paths() const;
    void open_music_set(const SetArchivePaths& paths);
    void request_track();
    void set_set_paths(const std::filesystem::path& score_path);

    void LoadTitles(const std::filesystem::path& path);
    void ShowCaption();
    void ShowStatus();

    PlaybackLibrary& library_;
    WindowView& view_;
    std::filesystem::path program_folder_;
    bool unloaded_ = false;
    bool ended_by_failure_ = false;
    bool playing_ = false;
    bool output_lost_ = false;
    std::filesystem::path start_score_path_;
    std::string caption_;
    std::string status_;

    std::int32_t curTrack = 0;
    std::filesystem::path datPath;
    std::filesystem::path mdaPath;
    std::filesystem::path txtPath;
    std::vector<std::string> titles;
};

}  // namespace tambelo::frontend
