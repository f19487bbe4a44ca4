// tambelo: the window program. Plays a music set and switches to others with
// File > Open: the set beside the program (a portable folder), else the set
// named on the command line, the set opened last or the installed sample
// set. The music itself comes from the playback library beside the program
// or, installed, found by its SONAME.

#include "frontend/qt/audio_server_watch.h"
#include "frontend/qt/main_window.h"
#include "frontend/qt/quit_signals.h"
#include "frontend/qt/remembered_set.h"
#include "frontend/window_logic/common.h"
#include "frontend/window_logic/start_set.h"

#include <QApplication>
#include <QDir>
#include <QFile>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>

namespace {

#ifdef TAMBELO_LIBRARY_SONAME
constexpr const char* installed_library_name = TAMBELO_LIBRARY_SONAME;
#else
constexpr const char* installed_library_name = "";
#endif
// The installed sample set, relative to the program's folder.
#ifdef TAMBELO_INSTALLED_SAMPLES
constexpr const char* installed_samples = TAMBELO_INSTALLED_SAMPLES;
#else
constexpr const char* installed_samples = "";
#endif

// A note on stderr when TAMBELO_MIDI_OUT names a SoundFont (synth:PATH) that
// is no SoundFont file: the library passes it over quietly for the system's,
// and the person who chose it should hear why it does not sound. Only the
// file's header can be told here; the library loads the file itself.
void note_unusable_soundfont()
{
    const char* chosen = std::getenv("TAMBELO_MIDI_OUT");
    if (!chosen || std::strncmp(chosen, "synth:", 6) != 0 || chosen[6] == '\0')
        return;
    const char* path = chosen + 6;
    char header[12] = {};
    std::FILE* file = std::fopen(path, "rb");
    const bool read = file && std::fread(header, 1, sizeof header, file) == sizeof header;
    if (file)
        std::fclose(file);
    if (!file)
        std::fprintf(stderr, "tambelo: SoundFont %s cannot be opened; playing with the system's\n", path);
    else if (!read || std::memcmp(header, "RIFF", 4) != 0 || std::memcmp(header + 8, "sfbk", 4) != 0)
        std::fprintf(stderr, "tambelo: %s is not a SoundFont; playing with the system's\n", path);
}

constexpr const char* usage =
    "usage: tambelo [SET]\n"
    "Plays track 1 of a music set in a small window: the set beside the program,\n"
    "else SET (a score archive such as amus.dat, or a folder holding one), else the\n"
    "set opened last, else the installed sample set.\n"
    "  -h, --help     show this help and exit\n"
    "  -v, --version  show the version and exit\n";

std::filesystem::path to_path(const QString& text)
{
    return std::filesystem::path(QFile::encodeName(text).toStdString());
}

QString to_text(const std::filesystem::path& path)
{
    return QFile::decodeName(QByteArray::fromStdString(path.string()));
}

}  // namespace

int main(int argc, char** argv)
{
    using namespace tambelo::frontend;
    // Answered before the window system is touched, so they work anywhere.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "--help") == 0) {
            std::fputs(usage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "-v") == 0 || std::strcmp(argv[i], "--version") == 0) {
            std::printf("tambelo %s\n", TAMBELO_VERSION);
            return 0;
        }
    }

    QApplication application(argc, argv);
    // Ties the window to its desktop entry, so that docks and task bars show
    // the entry's name and icon for it.
    QGuiApplication::setDesktopFileName(MediaPlayerService::desktop_entry);
    const QString folder = QCoreApplication::applicationDirPath();
    // Qt has taken its own options out; what is left is the set, if any.
    const QStringList arguments = QCoreApplication::arguments().mid(1);
    if (arguments.size() > 1) {
        std::fputs(usage, stderr);
        return 2;
    }
    // One window plays at a time: a second start hands its set to the
    // window already running (or only raises it) and ends.
    if (hand_over_to_running_player(arguments.isEmpty() ? QString()
                                                        : QDir::current().absoluteFilePath(arguments.first())))
        return 0;

    StartSetPlaces places;
    places.program_folder = to_path(folder);
    if (!arguments.isEmpty())
        places.command_line = to_path(QDir::current().absoluteFilePath(arguments.first()));
    places.last_opened = to_path(remembered_set());
    if (*installed_samples != '\0')
        places.installed_samples = to_path(QDir(folder).absoluteFilePath(installed_samples));
    const std::filesystem::path start = start_score_archive(places);
    const std::string unusable_path = unusable_start_path_message(places, start);
    if (!places.command_line.empty() && start == score_archive_named_by(places.command_line))
        remember_set(to_text(start));

    note_unusable_soundfont();

    PlaybackLibrary library(places.program_folder / playback_library_file_name(),
                            installed_library_name);
    MainWindow window(library, folder);
    window.form().set_start_score_path(start);
    // Before start-up, so that a signal arriving while the library starts
    // still closes the window (once the event loop runs) and releases it.
    close_on_quit_signals(window);
    if (!window.form().Form_Load())
        return 1;
    window.offer_media_controls();
    window.set_sound_note(sound_note());
    window.show();
    std::unique_ptr<AudioServerWatch> server_watch;
    if (plays_through_audio_server()) {
        server_watch = std::make_unique<AudioServerWatch>();
        QObject::connect(server_watch.get(), &AudioServerWatch::lost_changed,
                         [&window](bool lost) { window.form().set_output_lost(lost); });
    }
    // Shown over the playing window, not before it.
    if (!unusable_path.empty())
        window.show_notice(QString::fromStdString(unusable_path));
    const int status = application.exec();
    return window.form().ended_by_failure() ? 1 : status;
}
