#include "frontend/main_window.h"

#include "frontend/button_pictures.h"
#include "frontend/titles/title_list.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLayout>
#include <QMenuBar>
#include <QPushButton>

#include <filesystem>
#include <stdexcept>
#include <utility>

namespace tambelo::frontend {

namespace {

// The client area and its controls, in logical pixels (96 dpi).
constexpr int client_width = 258;
constexpr int client_height = 58;
constexpr int button_left = 8;
constexpr int button_pitch = 40;
constexpr int button_top = 8;
constexpr int button_width = 41;
constexpr int button_height = 25;
constexpr int status_top = 40;
constexpr int status_width = 257;
constexpr int status_height = 17;
constexpr int status_text_pixels = 12;
// The label shows about fifty characters; longer texts are cut far beyond
// that, so that an enormous line cannot slow down or garble the label.
constexpr qsizetype status_shown_characters = 1000;

// The pause between stopping the old music set and opening the new one,
// so that the playback thread has silenced the device first.
constexpr int switch_pause_ms = 100;

std::filesystem::path to_file_system_path(const QString& path)
{
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

// Runs one step of a command whose failures are skipped.
template <typename Step>
void skip_on_failure(Step&& step)
{
    try {
        step();
    } catch (const std::runtime_error&) {
    }
}

}  // namespace

QString without_last_characters(const QString& text, int count)
{
    qsizetype end = text.size();
    for (int i = 0; i < count && end > 0; ++i) {
        --end;
        if (end > 0 && text[end].isLowSurrogate() && text[end - 1].isHighSurrogate())
            --end;
    }
    return text.left(end);
}

QString choose_music_set(QWidget* parent)
{
    QFileDialog dialog(parent, "Open AliceSoft MAKO Data");
    dialog.setNameFilter("AliceSoft MAKO Data (*.dat)");
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.selectFile("*.dat");
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

MainWindow::MainWindow(PlaybackLibrary& library, WindowServices services, QWidget* parent)
    : QMainWindow(parent), library_(library), services_(std::move(services))
{
    build_layout();
}

QPushButton* MainWindow::add_button(const char* name, int index, const char* tooltip)
{
    auto* button = new QPushButton(centralWidget());
    button->setObjectName(name);
    button->setGeometry(button_left + index * button_pitch, button_top, button_width,
                        button_height);
    button->setToolTip(tooltip);
    button->setIcon(button_picture(static_cast<ButtonPicture>(index)));
    button->setIconSize(QSize(picture_width, picture_height));
    return button;
}

void MainWindow::build_layout()
{
    setObjectName("frmMain");
    setWindowTitle("TAMBELO");
    setWindowIcon(program_icon());

    auto* client = new QWidget(this);
    client->setFixedSize(client_width, client_height);
    setCentralWidget(client);

    // Created in tab order.
    cmdPrev10 = add_button("cmdPrev10", 0, "prev * 10");
    cmdPrev = add_button("cmdPrev", 1, "prev");
    cmdStop = add_button("cmdStop", 2, "stop");
    cmdPlay = add_button("cmdPlay", 3, "play");
    cmdNext = add_button("cmdNext", 4, "next");
    cmdNext10 = add_button("cmdNext10", 5, "next * 10");

    lblStatus = new QLabel(client);
    lblStatus->setObjectName("lblStatus");
    lblStatus->setGeometry(0, status_top, status_width, status_height);
    lblStatus->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    // One line of text has to fit the label's 15 pixels inside its frame.
    QFont status_font = lblStatus->font();
    status_font.setPixelSize(status_text_pixels);
    lblStatus->setFont(status_font);
    // Titles come from a file: never read them as markup.
    lblStatus->setTextFormat(Qt::PlainText);
    lblStatus->setWordWrap(false);

    mnuFile = menuBar()->addMenu("File");
    mnuFile->setObjectName("mnuFile");
    mnuOpen = mnuFile->addAction("Open");
    mnuOpen->setObjectName("mnuOpen");

    connect(mnuOpen, &QAction::triggered, this, [this] { run_handler(&MainWindow::mnuOpen_Click); });
    connect(cmdPlay, &QPushButton::clicked, this, [this] { run_handler(&MainWindow::cmdPlay_Click); });
    connect(cmdStop, &QPushButton::clicked, this, [this] { run_handler(&MainWindow::cmdStop_Click); });
    connect(cmdNext, &QPushButton::clicked, this, [this] { run_handler(&MainWindow::cmdNext_Click); });
    connect(cmdPrev, &QPushButton::clicked, this, [this] { run_handler(&MainWindow::cmdPrev_Click); });
    connect(cmdNext10, &QPushButton::clicked, this,
            [this] { run_handler(&MainWindow::cmdNext10_Click); });
    connect(cmdPrev10, &QPushButton::clicked, this,
            [this] { run_handler(&MainWindow::cmdPrev10_Click); });

    // The window keeps the size of its client area plus the menu bar.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

void MainWindow::make_program_folder_current()
{
    if (!QDir::setCurrent(services_.program_folder))
        throw std::runtime_error("cannot make the program's folder " +
                                 services_.program_folder.toStdString() + " the current folder");
}

void MainWindow::open_music_set()
{
    library_.open_file(QFile::encodeName(datPath).constData(),
                       QFile::encodeName(mdaPath).constData());
}

bool MainWindow::Form_Load()
{
    try {
        make_program_folder_current();
        library_.initialize();
        const QDir folder(services_.program_folder);
        datPath = folder.filePath("amus.dat");
        mdaPath = folder.filePath("amus.mda");
        txtPath = folder.filePath("amus.txt");
        open_music_set();
        LoadTitles(txtPath);
        ShowCaption();
        curTrack = 1;
        library_.play_music(1);
        ShowStatus();
    } catch (const std::runtime_error& failure) {
        end_program(QString::fromStdString(failure.what()));
        return false;
    }
    return true;
}

void MainWindow::Form_Unload()
{
    unloaded_ = true;
    library_.release();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (!unloaded_) {
        try {
            Form_Unload();
        } catch (const std::runtime_error& failure) {
            end_program(QString::fromStdString(failure.what()));
        }
    }
    event->accept();
}

void MainWindow::run_handler(void (MainWindow::*handler)())
{
    if (ended_by_failure_)
        return;
    try {
        (this->*handler)();
    } catch (const std::runtime_error& failure) {
        end_program(QString::fromStdString(failure.what()));
    }
}

void MainWindow::end_program(const QString& message)
{
    ended_by_failure_ = true;
    unloaded_ = true;
    if (services_.report_failure)
        services_.report_failure(message);
    // Stop the playback thread before the process ends, when the library
    // allows it.
    if (library_.player_alive())
        skip_on_failure([this] { library_.release(); });
    close();
    QCoreApplication::exit(1);
}

void MainWindow::LoadTitles(const QString& path)
{
    titles = read_title_list(to_file_system_path(path));
}

void MainWindow::ShowCaption()
{
    setWindowTitle(QString::fromStdString(caption_text(titles)));
}

void MainWindow::ShowStatus()
{
    const QString text =
        QString::fromStdString(status_text(titles, curTrack)).left(status_shown_characters);
    // A title list whose lines end with line feeds alone is one long line
    // holding them: show its first part at the top rather than the middle.
    lblStatus->setAlignment(Qt::AlignLeft | (text.contains('\n') ? Qt::AlignTop : Qt::AlignVCenter));
    lblStatus->setText(text);
}

void MainWindow::mnuOpen_Click()
{
    const QString chosen = services_.choose_file ? services_.choose_file(this) : QString();
    skip_on_failure([this] { make_program_folder_current(); });
    if (chosen.isEmpty())
        return;
    if (!ordinary_file_exists(to_file_system_path(chosen)))
        return;
    datPath = chosen;
    // Four characters go whatever the name ends with.
    mdaPath = without_last_characters(datPath, 4) + ".mda";
    txtPath = without_last_characters(datPath, 4) + ".txt";
    skip_on_failure([this] { library_.stop_music(); });
    if (services_.pause_ms)
        services_.pause_ms(switch_pause_ms);
    skip_on_failure([this] { open_music_set(); });
    LoadTitles(txtPath);
    ShowCaption();
    curTrack = 1;
    skip_on_failure([this] { library_.play_music(curTrack); });
    ShowStatus();
}

void MainWindow::cmdPlay_Click()
{
    library_.play_music(curTrack);
    ShowStatus();
}

void MainWindow::cmdStop_Click() { library_.stop_music(); }

void MainWindow::cmdNext_Click()
{
    curTrack = library_.get_next(curTrack);
    library_.play_music(curTrack);
    ShowStatus();
}

void MainWindow::cmdPrev_Click()
{
    curTrack = library_.get_prev(curTrack);
    library_.play_music(curTrack);
    ShowStatus();
}

void MainWindow::cmdNext10_Click()
{
    for (int i = 0; i < 10; ++i)
        curTrack = library_.get_next(curTrack);
    library_.play_music(curTrack);
    ShowStatus();
}

void MainWindow::cmdPrev10_Click()
{
    for (int i = 0; i < 10; ++i)
        curTrack = library_.get_prev(curTrack);
    library_.play_music(curTrack);
    ShowStatus();
}

}  // namespace tambelo::frontend
