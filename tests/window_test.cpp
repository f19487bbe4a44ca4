// What is Qt's in the window program: the layout, the pictures on the
// buttons, clicks reaching the behaviour, a long status line, and quitting
// by a signal. The behaviour itself is tested in main_form_test.cpp.

#include "frontend/qt/main_window.h"
#include "frontend/qt/remembered_set.h"
#include "frontend/window_logic/common.h"
#include "frontend/window_logic/pictures.h"
#include "tests/support/score_archive_bytes.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QSet>
#include <QXmlStreamReader>
#include <QPushButton>
#include <QTemporaryDir>
#include <QMessageBox>
#include <QtTest>

#include <csignal>
#include <memory>

using namespace tambelo::frontend;

namespace {

void write_file(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QStringList read_lines(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = QString::fromUtf8(file.readAll()).split('\n');
    lines.removeLast();
    return lines;
}

// A program folder holding a copy of the library double, optionally a title
// list, and a window started from it.
class Session {
public:
    Session()
    {
        log_path = log_dir_.filePath("calls.log");
        qputenv("TAMBELO_DOUBLE_LOG", log_path.toLocal8Bit());
        QFile::copy(TAMBELO_LIBRARY_DOUBLE, folder(playback_library_file_name().c_str()));
    }
    ~Session() { QDir::setCurrent(QDir::tempPath()); }

    QString folder(const QString& name = {}) const
    {
        return name.isEmpty() ? program_dir_.path() : program_dir_.filePath(name);
    }

    MainWindow& start()
    {
        library_ = std::make_unique<PlaybackLibrary>(
            std::filesystem::path(QFile::encodeName(folder()).toStdString()) /
            playback_library_file_name());
        MainWindow::Services services;
        services.choose_file = [this](QWidget*) { return chosen_file; };
        services.report_failure = [](const QString& message) { QFAIL(qPrintable(message)); };
        window_ = std::make_unique<MainWindow>(*library_, folder(), services);
        [&] { QVERIFY(window_->form().Form_Load()); }();
        return *window_;
    }

    QLabel& status() { return *window_->findChild<QLabel*>("lblStatus"); }

    QString log_path;
    QString chosen_file;

private:
    QTemporaryDir program_dir_;
    QTemporaryDir log_dir_;
    std::unique_ptr<PlaybackLibrary> library_;
    std::unique_ptr<MainWindow> window_;
};

}  // namespace

class WindowTest : public QObject {
    Q_OBJECT

private slots:
    void theLayoutIsFixedWithSixPictureButtonsInARow();
    void clicksReachTheBehaviour();
    void aLongTitleLineIsCutAndShownWholeInTheTooltip();
    void quitSignalsCloseTheWindowAndReleaseTheLibrary();
    void anOpenedSetIsRememberedForTheNextStart();
    void theLargeIconIsSmoothAndTheScalableOneIsAnSvg();
};

void WindowTest::theLayoutIsFixedWithSixPictureButtonsInARow()
{
    Session session;
    MainWindow& window = session.start();
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(window.centralWidget()->size(), QSize(258, 58));
    QCOMPARE(window.minimumSize(), window.maximumSize());

    const char* names[] = {"cmdPrev10", "cmdPrev", "cmdStop", "cmdPlay", "cmdNext", "cmdNext10"};
    const char* tooltips[] = {"prev * 10", "prev", "stop", "play", "next", "next * 10"};
    for (int i = 0; i < 6; ++i) {
        auto* button = window.findChild<QPushButton*>(names[i]);
        QVERIFY2(button, names[i]);
        QCOMPARE(button->geometry(), QRect(8 + 40 * i, 8, 41, 25));
        QCOMPARE(button->toolTip(), QString(tooltips[i]));
        QVERIFY(button->text().isEmpty());
        // White is transparent: the picture's corner shows the button.
        const QImage picture = button->icon().pixmap(QSize(31, 13)).toImage();
        QCOMPARE(picture.size(), QSize(31, 13));
        QCOMPARE(qAlpha(picture.pixel(0, 0)), 0);
    }
    QCOMPARE(window.findChild<QAction*>("mnuOpen")->text(), QString("Open"));
    QCOMPARE(session.status().frameShadow(), QFrame::Sunken);
    QVERIFY(!window.windowIcon().isNull());
}

void WindowTest::clicksReachTheBehaviour()
{
    Session session;
    write_file(session.folder("amus.txt"), "0 Game\r\n1 One\r\n2 Two\r\n");
    MainWindow& window = session.start();
    QCOMPARE(window.windowTitle(), QString("TAMBELO - Game"));
    QTest::mouseClick(window.findChild<QPushButton*>("cmdNext"), Qt::LeftButton);
    QCOMPARE(session.status().text(), QString(" 2 Two"));
    QCOMPARE(read_lines(session.log_path).mid(3), QStringList({"get_next 1", "play_music 2"}));
    QVERIFY(window.close());
    QCOMPARE(read_lines(session.log_path).last(), QString("release"));
}

void WindowTest::aLongTitleLineIsCutAndShownWholeInTheTooltip()
{
    Session session;
    const QByteArray title = "1 " + QByteArray(300, 'x') + " end";
    write_file(session.folder("amus.txt"), title + "\r\n2 Short\r\n");
    MainWindow& window = session.start();
    window.show();
    QLabel& status = session.status();
    QVERIFY(status.text().startsWith(" 1 xxx"));
    QVERIFY(status.text().endsWith(QChar(0x2026)));
    QVERIFY(status.fontMetrics().horizontalAdvance(status.text()) <= status.contentsRect().width());
    QCOMPARE(status.toolTip(), " " + QString::fromLatin1(title));

    QTest::mouseClick(window.findChild<QPushButton*>("cmdNext"), Qt::LeftButton);
    QCOMPARE(status.text(), QString(" 2 Short"));
    QVERIFY(status.toolTip().isEmpty());
    // The note on what plays stays under whatever the line is.
    window.set_sound_note("Playing with \"/sf/GM.sf2\"");
    QCOMPARE(status.toolTip(), QString("Playing with \"/sf/GM.sf2\""));
    QTest::mouseClick(window.findChild<QPushButton*>("cmdPrev"), Qt::LeftButton);
    QCOMPARE(status.toolTip(), " " + QString::fromLatin1(title) + "\nPlaying with \"/sf/GM.sf2\"");

    // An enormous line is cut even in the tooltip.
    QCOMPARE(cut_with_ellipsis(QString(200000, 'x'), 1000).size(), 1000);
    QCOMPARE(cut_with_ellipsis("short", 1000), QString("short"));
}

void WindowTest::quitSignalsCloseTheWindowAndReleaseTheLibrary()
{
    for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
        Session session;
        QVERIFY(QFile::copy(TAMBELO_PROGRAM, session.folder("tambelo")));
        QFile::setPermissions(session.folder("tambelo"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        program.setProcessEnvironment(environment);
        program.start(session.folder("tambelo"), {});
        QVERIFY(program.waitForStarted());
        QTRY_COMPARE_WITH_TIMEOUT(read_lines(session.log_path).size(), 3, 10000);
        ::kill(static_cast<pid_t>(program.processId()), signal_number);
        QVERIFY(program.waitForFinished(10000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        QCOMPARE(read_lines(session.log_path).last(), QString("release"));
    }
}

void WindowTest::anOpenedSetIsRememberedForTheNextStart()
{
    Session session;
    MainWindow& window = session.start();
    QTemporaryDir other;
    session.chosen_file = other.filePath("game.dat");
    // A name with no file behind it changes nothing, so nothing is remembered.
    remember_set("/before.dat");
    window.findChild<QAction*>("mnuOpen")->trigger();
    QCOMPARE(remembered_set(), QString("/before.dat"));

    // Nor is a file that is not a music set: the user is told instead.
    write_file(session.chosen_file, "score");
    window.findChild<QAction*>("mnuOpen")->trigger();
    QCOMPARE(remembered_set(), QString("/before.dat"));
    QTRY_VERIFY(window.findChild<QMessageBox*>("notice") != nullptr);

    write_file(session.chosen_file, QByteArray::fromStdString(tambelo::testing::one_track_score_archive()));
    window.findChild<QAction*>("mnuOpen")->trigger();
    QCOMPARE(remembered_set(), session.chosen_file);
}

void WindowTest::theLargeIconIsSmoothAndTheScalableOneIsAnSvg()
{
    const QString name = "/apps/org.tambelo.Tambelo";
    const QImage large(QString(TAMBELO_ICON_DIR) + "/256x256" + name + ".png");
    QCOMPARE(large.size(), QSize(256, 256));
    // Anti-aliased edges blend the drawing's few colours into many.
    QSet<QRgb> colours;
    for (int y = 0; y < large.height(); ++y)
        for (int x = 0; x < large.width(); ++x)
            colours.insert(large.pixel(x, y));
    QVERIFY2(colours.size() > 16, qPrintable(QString("%1 colours").arg(colours.size())));

    QFile svg(QString(TAMBELO_ICON_DIR) + "/scalable" + name + ".svg");
    QVERIFY(svg.open(QIODevice::ReadOnly));
    QXmlStreamReader reader(&svg);
    QVERIFY(reader.readNextStartElement());
    QCOMPARE(reader.name().toString(), QString("svg"));
    QCOMPARE(reader.attributes().value("viewBox").toString(), QString("0 0 32 32"));
    int shapes = 0;
    while (reader.readNextStartElement()) {
        ++shapes;
        reader.skipCurrentElement();
    }
    QVERIFY2(!reader.hasError(), qPrintable(reader.errorString()));
    QCOMPARE(shapes, static_cast<int>(program_icon_shapes().size()));
}

QTEST_MAIN(WindowTest)
#include "window_test.moc"
