// tambelo: the window program. Plays the music set that lies beside it and
// switches to others with File > Open; the music itself comes from the
// playback library in the same folder.

#include "frontend/common.h"
#include "frontend/main_window.h"

#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QThread>

#include <cstdio>
#include <filesystem>

namespace {

// An installed program has no library beside it and loads the installed one
// by its SONAME.
#ifdef TAMBELO_LIBRARY_SONAME
constexpr const char* installed_library_name = TAMBELO_LIBRARY_SONAME;
#else
constexpr const char* installed_library_name = "";
#endif

void show_failure(const QString& message)
{
    std::fprintf(stderr, "tambelo: %s\n", message.toLocal8Bit().constData());
    QMessageBox::critical(nullptr, "TAMBELO", message);
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    const QString folder = QCoreApplication::applicationDirPath();

    using namespace tambelo::frontend;
    PlaybackLibrary library(std::filesystem::path(QFile::encodeName(folder).toStdString()) /
                                playback_library_file_name(),
                            installed_library_name);
    WindowServices services;
    services.program_folder = folder;
    services.choose_file = choose_music_set;
    services.report_failure = show_failure;
    services.pause_ms = [](int milliseconds) { QThread::msleep(static_cast<unsigned long>(milliseconds)); };

    MainWindow window(library, services);
    if (!window.Form_Load())
        return 1;
    window.show();
    const int status = application.exec();
    return window.ended_by_failure() ? 1 : status;
}
