#include "frontend/window_logic/main_form.h"

#include "frontend/window_logic/path_encoding.h"
#include "frontend/window_logic/window_texts.h"
#include "titles/plain_titles.h"
#include "titles/title_list.h"

#include <optional>
#include <stdexcept>
#include <string>
#include <system_error>
#include <type_traits>
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

// True for the code units that continue a character begun before them: a
// UTF-8 continuation byte, or the low half of a UTF-16 surrogate pair.
template <typename Char>
bool continues_character(const std::basic_string<Char>& text, std::size_t i)
{
    const auto unit = static_cast<std::make_unsigned_t<Char>>(text[i]);
    if constexpr (sizeof(Char) == 1)
        return (unit & 0xC0) == 0x80;
    else
        return unit >= 0xDC00 && unit <= 0xDFFF && i > 0 &&
               static_cast<std::make_unsigned_t<Char>>(text[i - 1]) >= 0xD800 &&
               static_cast<std::make_unsigned_t<Char>>(text[i - 1]) <= 0xDBFF;
}

}  // namespace

std::filesystem::path without_last_characters(const std::filesystem::path& path, int count)
{
    const std::filesystem::path::string_type& text = path.native();
    std::size_t end = text.size();
    for (int i = 0; i < count && end > 0; ++i) {
        --end;
        while (end > 0 && continues_character(text, end))
            --end;
    }
    return std::filesystem::path(text.substr(0, end));
}

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
    datPath = score_path;
    // Four characters go whatever the name ends with.
    mdaPath = without_last_characters(datPath, 4);
    mdaPath += ".mda";
    txtPath = without_last_characters(datPath, 4);
    txtPath += ".txt";
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
            datPath = program_folder_ / "amus.dat";
            mdaPath = program_folder_ / "amus.mda";
            txtPath = program_folder_ / "amus.txt";
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
    status_ = status_text(titles, curTrack);
    view_.set_status(status_);
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
