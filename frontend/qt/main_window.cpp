#include "frontend/qt/main_window.h"

#include "frontend/qt/mpris/shown_length.h"
#include "frontend/qt/remembered_set.h"
#include "frontend/shown_text/direction_controls.h"
#include "frontend/window_logic/form_layout.h"
#include "frontend/qt/pixels_image.h"
#include "frontend/window_logic/pictures.h"
#include "frontend/window_logic/start_set.h"
#include "tambelo/music_set.h"

#include <QAction>
#include <QBitmap>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QFileDialog>
#include <QFontMetrics>
#include <QLabel>
#include <QLayout>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <utility>

namespace tambelo::frontend {

namespace {

using namespace form_layout;
constexpr int status_text_pixels = 12;
// The label shows about fifty characters and the tooltip the whole line; a
// line beyond this length is cut even there, so that an enormous line cannot
// slow down or flood the screen.
constexpr qsizetype longest_shown_line = 1000;

QPixmap button_pixmap(ButtonPicture picture)
{
    QPixmap pixmap = QPixmap::fromImage(image_of(button_figure(picture)));
    pixmap.setMask(pixmap.createMaskFromColor(Qt::white, Qt::MaskInColor));
    return pixmap;
}

void report_on_screen(const QString& message)
{
    std::fprintf(stderr, "tambelo: %s\n", message.toLocal8Bit().constData());
    QMessageBox::critical(nullptr, "TAMBELO", message);
}

}  // namespace

QString choose_music_set(QWidget* parent)
{
    QFileDialog dialog(parent, open_dialog_title);
    dialog.setNameFilter(open_dialog_filter);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    const QString last = remembered_set();
    if (!last.isEmpty())
        dialog.setDirectory(QFileInfo(last).absolutePath());
    dialog.selectFile(open_dialog_initial_name);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

QString cut_with_ellipsis(const QString& text, qsizetype limit)
{
    if (text.size() <= limit)
        return text;
    qsizetype end = limit - 1;
    if (end > 0 && text[end].isLowSurrogate())
        --end;
    return text.left(end) + QChar(0x2026);
}

MainWindow::MainWindow(PlaybackLibrary& library, const QString& program_folder, Services services,
                       QWidget* parent)
    : QMainWindow(parent),
      services_(std::move(services)),
      form_(library, *this, std::filesystem::path(QFile::encodeName(program_folder).toStdString()))
{
    if (!services_.choose_file)
        services_.choose_file = choose_music_set;
    if (!services_.report_failure)
        services_.report_failure = report_on_screen;
    build_layout();
}

QPushButton* MainWindow::add_button(const char* name, int index, const char* tooltip)
{
    auto* button = new QPushButton(centralWidget());
    button->setObjectName(name);
    button->setGeometry(button_left + index * button_pitch, button_top, button_width,
                        button_height);
    button->setToolTip(tooltip);
    button->setIcon(button_pixmap(static_cast<ButtonPicture>(index)));
    button->setIconSize(QSize(picture_width, picture_height));
    return button;
}

void MainWindow::build_layout()
{
    setObjectName("frmMain");
    setWindowTitle("TAMBELO");
    setWindowIcon(QIcon(QPixmap::fromImage(image_of(program_icon()))));

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

    connect(mnuOpen, &QAction::triggered, this, [this] { forward(&MainForm::mnuOpen_Click); });
    connect(cmdPlay, &QPushButton::clicked, this, [this] { forward(&MainForm::cmdPlay_Click); });
    connect(cmdStop, &QPushButton::clicked, this, [this] { forward(&MainForm::cmdStop_Click); });
    connect(cmdNext, &QPushButton::clicked, this, [this] { forward(&MainForm::cmdNext_Click); });
    connect(cmdPrev, &QPushButton::clicked, this, [this] { forward(&MainForm::cmdPrev_Click); });
    connect(cmdNext10, &QPushButton::clicked, this, [this] { forward(&MainForm::cmdNext10_Click); });
    connect(cmdPrev10, &QPushButton::clicked, this, [this] { forward(&MainForm::cmdPrev10_Click); });

    // The window keeps the size of its client area plus the menu bar.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

void MainWindow::forward(void (MainForm::*handler)())
{
    // The Open dialog runs an event loop of its own, in which bus calls
    // still arrive: commands run one at a time, so those are dropped.
    if (in_command_)
        return;
    in_command_ = true;
    const std::filesystem::path before = form_.score_path();
    const std::int32_t track_before = form_.current_track();
    const bool playing_before = form_.playing();
    (form_.*handler)();
    in_command_ = false;
    if (form_.score_path() != before && !form_.ended_by_failure())
        remember_set(QFile::decodeName(QByteArray::fromStdString(form_.score_path().string())));
    // Play starts the track again from its beginning.
    follow_playback(handler == &MainForm::cmdPlay_Click || form_.score_path() != before ||
                    form_.current_track() != track_before || form_.playing() != playing_before);
    if (media_)
        media_->refresh();
}

bool MainWindow::offer_media_controls()
{
    PlayerControls controls;
    controls.play = [this] { forward(&MainForm::cmdPlay_Click); };
    controls.stop = [this] { forward(&MainForm::cmdStop_Click); };
    controls.next = [this] { forward(&MainForm::cmdNext_Click); };
    controls.previous = [this] { forward(&MainForm::cmdPrev_Click); };
    controls.raise = [this] { raise_window(); };
    controls.open = [this](const QString& path) {
        open_set(path);
        raise_window();
    };
    controls.quit = [this] {
        if (!in_command_)
            close();
    };
    follow_playback(true);
    media_ = new MediaPlayerService(std::move(controls), [this] { return player_state(); }, this);
    if (media_->register_on_session_bus())
        return true;
    delete media_;
    media_ = nullptr;
    return false;
}

void MainWindow::follow_playback(bool restarted)
{
    if (!restarted)
        return;
    track_clock_.start();
    const std::int32_t track = form_.current_track();
    if (form_.score_path() != measured_score_ || track != measured_track_) {
        measured_score_ = form_.score_path();
        measured_track_ = track;
        track_length_us_ = shown_length_us(form_.score_path(), track);
    }
}

void MainWindow::raise_window()
{
    show();
    raise();
    activateWindow();
}

void MainWindow::open_set(const QString& path)
{
    const std::filesystem::path named = std::filesystem::path(QFile::encodeName(path).toStdString());
    const std::filesystem::path score = score_archive_named_by(named);
    if (score.empty()) {
        show_notice("There is no music set at " + path + " (no such file, or a folder without amus.dat).");
        return;
    }
    if (!identify_score_file(score).is_set()) {
        show_notice(path + " " + tambelo::not_a_set_reason + ".");
        return;
    }
    handed_set_ = score;
    forward(&MainForm::mnuOpen_Click);
    handed_set_.reset();
}

void MainWindow::show_notice(const QString& message)
{
    std::fprintf(stderr, "tambelo: %s\n", message.toLocal8Bit().constData());
    auto* box = new QMessageBox(QMessageBox::Warning, "TAMBELO", message, QMessageBox::Ok, this);
    box->setObjectName("notice");
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->show();
}

PlayerState MainWindow::player_state() const
{
    PlayerState state;
    // A request of track 0 asks for silence.
    state.playing = form_.playing() && form_.current_track() > 0 && !form_.ended_by_failure();
    state.track = form_.current_track();
    state.title = QString::fromStdString(with_direction_controls_shown(form_.track_title()));
    state.length_us = track_length_us_;
    if (state.playing && track_clock_.isValid()) {
        state.position_us = track_clock_.elapsed() * 1000;
        if (track_length_us_)
            state.position_us = std::min(state.position_us, *track_length_us_);
    }
    state.album = QString::fromStdString(with_direction_controls_shown(form_.game_title()));
    return state;
}

void MainWindow::set_caption(const std::string& text)
{
    setWindowTitle(QString::fromStdString(text));
}

void MainWindow::set_status(const std::string& text)
{
    const QString line = cut_with_ellipsis(QString::fromStdString(text), longest_shown_line);
    const QFontMetrics metrics(lblStatus->font());
    const int room = lblStatus->contentsRect().width() - 2 * lblStatus->margin();
    const QString shown = metrics.elidedText(line, Qt::ElideRight, room);
    lblStatus->setText(shown);
    QStringList tip;
    if (shown != line)
        tip << line;
    if (!sound_note_.isEmpty())
        tip << sound_note_;
    lblStatus->setToolTip(tip.join('\n'));
}

void MainWindow::set_sound_note(const QString& note)
{
    sound_note_ = note;
    set_status(form_.status());
}

std::filesystem::path MainWindow::ask_for_file()
{
    if (handed_set_)
        return *handed_set_;
    return std::filesystem::path(QFile::encodeName(services_.choose_file(this)).toStdString());
}

void MainWindow::show_error(const std::string& message)
{
    services_.report_failure(QString::fromStdString(message));
    close();
    QCoreApplication::exit(1);
}

void MainWindow::sleep_ms(int milliseconds)
{
    QThread::msleep(static_cast<unsigned long>(milliseconds));
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    form_.Form_Unload();
    event->accept();
}

}  // namespace tambelo::frontend
