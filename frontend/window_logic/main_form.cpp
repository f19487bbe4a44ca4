#include "frontend/window_logic/main_form.h"

#include "frontend/window_logic/path_encoding.h"
#include "frontend/window_logic/window_texts.h"
#include "tambelo/music_set.h"
#include "titles/plain_titles.h"
#include "titles/title_list.h"

#include <optional>
#include <stdexcept>
#include <string>
#include <system_error>
#include <utility>

namespace tambelo::frontend {

namespace {

// Runs one step of File > Open, whose failures are skipped.
template <typename Step>
void skip_on_failure(Step&& step)
{
    try {
        step();
    } catch (const std::runtime_error&) {
    }
}

}  // namespace

MainForm::MainForm(PlaybackLibrary& library, WindowView& view, std::filesystem::path program_folder)
    : library_(library), view_(view), program_folder_(std::move(program_folder))
{
}

template <typename Steps>
void MainForm::run_handler(Steps&& steps)
{
    if (ended_by_failure_ || unloaded_)
        return;
    try {
        steps();
    } catch (const std::runtime_error& failure) {
        end_program(failure.what());
    }
}

void MainForm::end_program(const std::string& message)
{
    ended_by_failure_ = true;
    // Stop the playback thread before the program ends, when the library
    // allows it.
    if (library_.player_alive())
        skip_on_failure([this] { library_.release(); });
    unloaded_ = true;
    view_.show_error(message);
}

void MainForm::make_program_folder_current()
{
    std::error_code error;
    std::filesystem::current_path(program_folder_, error);
    if (error)
        throw std::runtime_error("cannot make the program's folder " + display_text(program_folder_) +
                                 " the current folder (" + error.message() + ")");
}

SetArchivePaths MainForm::library_paths() const
{
    const std::optional<std::string> score = library_path_argument(datPath);
    const std::optional<std::string> voices = library_path_argument(mdaPath);
    // Otherwise the library would be handed "?" for the characters this
    // system's code page lacks and play nothing without a word.
    if (!score || !voices)
        throw std::runtime_error("the music set in " + display_text(datPath.parent_path()) +
                                 " cannot be played: its folder's name has characters this Windows cannot "
                                 "pass to the playback library; move the set to a folder named in plain "
                                 "letters, or rename the folder");
    return {*score, *voices};
}

void MainForm::open_music_set(const SetArchivePaths& paths)
{
    library_.open_file(paths.score.c_str(), paths.voices.c_str());
}

void MainForm::set_start_score_path(std::filesystem::path score_path)
{
    start_score_path_ = std::move(score_path);
}

void MainForm::set_set_paths(const std::filesystem::path& score_path)
{
    const SetFiles files = set_files_of(score_path);
    datPath = files.score;
    mdaPath = files.voices;
    txtPath = files.titles;
}

void MainForm::request_track()
{
    library_.play_music(curTrack);
    playing_ = true;
}

bool MainForm::Form_Load()
{
    run_handler([this] {
        make_program_folder_current();
        library_.initialize();
        if (start_score_path_.empty()) {
            set_set_paths(find_in_any_case(program_folder_, "amus.dat").value_or(program_folder_ / "amus.dat"));
        } else {
            set_set_paths(start_score_path_);
        }
        open_music_set(library_paths());
        LoadTitles(txtPath);
        ShowCaption();
        curTrack = 1;
        request_track();
        ShowStatus();
    });
    return !ended_by_failure_;
}

void MainForm::Form_Unload()
{
    run_handler([this] {
        unloaded_ = true;
        library_.release();
    });
}

void MainForm::LoadTitles(const std::filesystem::path& path) { titles = read_title_list(path); }

void MainForm::ShowCaption()
{
    caption_ = caption_text(titles);
    view_.set_caption(caption_);
}

void MainForm::ShowStatus()
{
    status_ = output_lost_ ? output_lost_status_text() : status_text(titles, curTrack);
    view_.set_status(status_);
}

void MainForm::set_output_lost(bool lost)
{
    run_handler([this, lost] {
        if (output_lost_ == lost)
            return;
        output_lost_ = lost;
        if (curTrack > 0)
            ShowStatus();
    });
}

std::string MainForm::track_title() const { return track_title_of(titles, curTrack); }

std::string MainForm::game_title() const
{
    return without_surrounding_blanks(game_title_of(titles).value_or(std::string()));
}

void MainForm::mnuOpen_Click()
{
    run_handler([this] {
        const std::filesystem::path chosen = view_.ask_for_file();
        // The dialog may have left another folder current.
        skip_on_failure([this] { make_program_folder_current(); });
        if (chosen.empty() || !ordinary_file_exists(chosen))
            return;
        // Not opened, so not remembered either: the set playing goes on.
        if (!identify_score_file(chosen).is_set()) {
            view_.show_notice(display_text(chosen.filename()) + " " + not_a_set_reason + ".");
            return;
        }
        set_set_paths(chosen);
        const SetArchivePaths paths = library_paths();
        skip_on_failure([this] {
            library_.stop_music();
            playing_ = false;
        });
        view_.sleep_ms(switch_pause_ms);
        skip_on_failure([this, &paths] { open_music_set(paths); });
        LoadTitles(txtPath);
        ShowCaption();
        curTrack = 1;
        skip_on_failure([this] { request_track(); });
        ShowStatus();
    });
}

void MainForm::cmdPlay_Click()
{
    run_handler([this] {
        request_track();
        ShowStatus();
    });
}

void MainForm::cmdStop_Click()
{
    run_handler([this] {
        library_.stop_music();
        playing_ = false;
    });
}

void MainForm::cmdNext_Click()
{
    run_handler([this] {
        curTrack = library_.get_next(curTrack);
        request_track();
        ShowStatus();
    });
}

void MainForm::cmdPrev_Click()
{
    run_handler([this] {
        curTrack = library_.get_prev(curTrack);
        request_track();
        ShowStatus();
    });
}

void MainForm::cmdNext10_Click()
{
    run_handler([this] {
        for (int i = 0; i < 10; ++i)
            curTrack = library_.get_next(curTrack);
        request_track();
        ShowStatus();
    });
}

void MainForm::cmdPrev10_Click()
{
    run_handler([this] {
        for (int i = 0; i < 10; ++i)
            curTrack = library_.get_prev(curTrack);
        request_track();
        ShowStatus();
    });
}

}  // namespace tambelo::frontend
