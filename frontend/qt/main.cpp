// tambelo: the window program. Plays the music set that lies beside it and
// switches to others with File > Open; the music itself comes from the
// playback library in the same folder.

#include "frontend/qt/main_window.h"
#include "frontend/qt/quit_signals.h"
#include "frontend/window_logic/common.h"

#include <QApplication>
#include <QFile>

#include <filesystem>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    const QString folder = QCoreApplication::applicationDirPath();

    using namespace tambelo::frontend;
    // Installed, no library lies beside the program: the installed one is
    // loaded by its SONAME.
#ifdef TAMBELO_LIBRARY_SONAME
    const char* installed_name = TAMBELO_LIBRARY_SONAME;
#else
    const char* installed_name = "";
#endif
    PlaybackLibrary library(std::filesystem::path(QFile::encodeName(folder).toStdString()) /
                                playback_library_file_name(),
                            installed_name);
    MainWindow window(library, folder);
    // Before start-up, so that a signal arriving while the library starts
    // still closes the window (once the event loop runs) and releases it.
    close_on_quit_signals(window);
    if (!window.form().Form_Load())
        return 1;
    window.show();
    const int status = application.exec();
    return window.form().ended_by_failure() ? 1 : status;
}
