// The window program's commands, run against a stand-in for the playback
// library that records every call, loaded through the program's own binding.

#include "frontend/button_pictures.h"
#include "frontend/common.h"
#include "frontend/main_window.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdlib>
#include <memory>

using namespace tambelo::frontend;

namespace {

void write_file(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// A program folder holding a copy of a library double, optionally a title
// list, and a window started from it.
class Session {
public:
    explicit Session(const char* double_path = TAMBELO_LIBRARY_DOUBLE, bool with_library = true)
    {
        log_path_ = log_dir_.filePath("calls.log");
        qputenv("TAMBELO_DOUBLE_LOG", log_path_.toLocal8Bit());
        if (with_library)
            QFile::copy(double_path, folder(playback_library_file_name().c_str()));
    }
    ~Session() { QDir::setCurrent(QDir::tempPath()); }

    QString folder(const QString& name = {}) const
    {
        return name.isEmpty() ? program_dir_.path() : program_dir_.filePath(name);
    }

    bool start()
    {
        library_ = std::make_unique<PlaybackLibrary>(
            std::filesystem::path(QFile::encodeName(folder()).toStdString()) /
            playback_library_file_name());
        WindowServices services;
        services.program_folder = folder();
        services.choose_file = [this](QWidget*) {
            // The dialog may leave another folder current.
            QDir::setCurrent(QDir::rootPath());
            return chosen_file;
        };
        services.report_failure = [this](const QString& message) { failures << message; };
        services.pause_ms = [this](int ms) { record(QString("pause %1").arg(ms)); };
        window_ = std::make_unique<MainWindow>(*library_, services);
        const bool started = window_->Form_Load();
        start_call_count_ = calls().size();
        return started;
    }

    MainWindow& window() { return *window_; }
    QString status() { return window_->findChild<QLabel*>("lblStatus")->text(); }
    void click(const char* button)
    {
        QTest::mouseClick(window_->findChild<QPushButton*>(button), Qt::LeftButton);
    }
    void open(const QString& name)
    {
        chosen_file = name;
        window_->findChild<QAction*>("mnuOpen")->trigger();
    }

    QStringList calls() const
    {
        QFile file(log_path_);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        QStringList lines = QString::fromUtf8(file.readAll()).split('\n');
        lines.removeLast();
        return lines;
    }
    // The calls made after start-up, in order.
    QStringList calls_after_start() const { return calls().mid(start_call_count_); }

    QString chosen_file;
    QStringList failures;

private:
    // Puts a step of the window's own into the library's call log.
    void record(const QString& line) const
    {
        QFile file(log_path_);
        if (file.open(QIODevice::Append))
            file.write(line.toUtf8() + '\n');
    }

    QTemporaryDir program_dir_;
    QTemporaryDir log_dir_;
    QString log_path_;
    qsizetype start_call_count_ = 0;
    std::unique_ptr<PlaybackLibrary> library_;
    std::unique_ptr<MainWindow> window_;
};

}  // namespace

class WindowTest : public QObject {
    Q_OBJECT

private slots:
    void startUpPlaysTrackOneOfTheSetBesideTheProgram();
    void startUpWithoutTitleListShowsTheNoTitleTexts();
    void startUpWithAnUnreadableTitleListStillOpens();
    void next10StepsTenTimesAndRequestsOnce();
    void nextAtTheLastTrackRequestsItAgain();
    void prevAtTrackOneStaysAtOne();
    void stopLeavesTheStatusLineAndPlayRestarts();
    void openCutsFourCharactersWhateverTheNameEndsWith();
    void openASetWithoutTitleListDropsTheOldTitles();
    void cancellingOrChoosingNoFileChangesNothing();
    void closingTheWindowOnlyReleases();
    void aMissingLibraryIsReportedByName();
    void aMissingExportEndsTheProgramAtItsFirstUse();
    void cuttingCharactersKeepsSurrogatePairsWhole();
    void buttonPicturesAreBlackFiguresWithWhiteTransparent();
    void theWindowKeepsItsSizeAndAnEnormousTitleLineIsCut();
};

void WindowTest::startUpPlaysTrackOneOfTheSetBesideTheProgram()
{
    Session session;
    write_file(session.folder("amus.txt"), "0 Game\r\n1 Opening\r\n2 Battle\r\n");
    QVERIFY(session.start());
    QCOMPARE(session.calls(),
             QStringList({"initialize",
                          "open_file " + session.folder("amus.dat") + " " + session.folder("amus.mda"),
                          "play_music 1"}));
    QCOMPARE(session.window().windowTitle(), QString("TAMBELO - Game"));
    QCOMPARE(session.status(), QString(" 1 Opening"));
    QCOMPARE(QDir::currentPath(), QDir(session.folder()).canonicalPath());
}

void WindowTest::startUpWithoutTitleListShowsTheNoTitleTexts()
{
    Session session;
    QVERIFY(session.start());
    QCOMPARE(session.window().windowTitle(), QString("TAMBELO"));
    QCOMPARE(session.status(), QString(" 1 NO TITLE"));
}

void WindowTest::startUpWithAnUnreadableTitleListStillOpens()
{
    Session session;
    // An ordinary file whose reading fails with an I/O error.
    QVERIFY(QFile::link("/proc/self/mem", session.folder("amus.txt")));
    QVERIFY(session.start());
    QCOMPARE(session.window().windowTitle(), QString("TAMBELO"));
    QCOMPARE(session.status(), QString(" 1 NO TITLE"));
    QCOMPARE(session.calls().last(), QString("play_music 1"));
}

void WindowTest::next10StepsTenTimesAndRequestsOnce()
{
    Session session;
    write_file(session.folder("amus.txt"), "11 Eleventh\r\n");
    QVERIFY(session.start());
    session.click("cmdNext10");
    QStringList expected;
    for (int track = 1; track <= 10; ++track)
        expected << QString("get_next %1").arg(track);
    expected << "play_music 11";
    QCOMPARE(session.calls_after_start(), expected);
    QCOMPARE(session.window().current_track(), 11);
    QCOMPARE(session.status(), QString(" 11 Eleventh"));
}

void WindowTest::nextAtTheLastTrackRequestsItAgain()
{
    qputenv("TAMBELO_DOUBLE_TRACKS", "2");
    Session session;
    QVERIFY(session.start());
    session.click("cmdNext");
    session.click("cmdNext");
    qunsetenv("TAMBELO_DOUBLE_TRACKS");
    QCOMPARE(session.calls_after_start(),
             QStringList({"get_next 1", "play_music 2", "get_next 2", "play_music 2"}));
    QCOMPARE(session.status(), QString(" 2 NO TITLE"));
}

void WindowTest::prevAtTrackOneStaysAtOne()
{
    Session session;
    QVERIFY(session.start());
    session.click("cmdPrev");
    QCOMPARE(session.calls_after_start(), QStringList({"get_prev 1", "play_music 1"}));
    session.click("cmdPrev10");
    QCOMPARE(session.calls_after_start().size(), 2 + 10 + 1);
    QCOMPARE(session.calls_after_start().last(), QString("play_music 1"));
    QCOMPARE(session.window().current_track(), 1);

    session.click("cmdNext10");
    session.click("cmdPrev");
    QCOMPARE(session.window().current_track(), 10);
    QCOMPARE(session.calls_after_start().last(), QString("play_music 10"));
}

void WindowTest::stopLeavesTheStatusLineAndPlayRestarts()
{
    Session session;
    write_file(session.folder("amus.txt"), "1 Opening\r\n2 Battle\r\n");
    QVERIFY(session.start());
    session.click("cmdNext");
    QCOMPARE(session.status(), QString(" 2 Battle"));
    // A stop does not touch the label at all, so a mark left in it stays.
    session.window().findChild<QLabel*>("lblStatus")->setText("mark");
    session.click("cmdStop");
    QCOMPARE(session.calls_after_start(), QStringList({"get_next 1", "play_music 2", "stop_music"}));
    QCOMPARE(session.status(), QString("mark"));
    session.click("cmdPlay");
    QCOMPARE(session.calls_after_start().last(), QString("play_music 2"));
    QCOMPARE(session.status(), QString(" 2 Battle"));
}

void WindowTest::openCutsFourCharactersWhateverTheNameEndsWith()
{
    Session session;
    write_file(session.folder("amus.txt"), "0 First game\r\n");
    QVERIFY(session.start());
    session.click("cmdNext");

    QTemporaryDir other;
    const QString chosen = other.filePath("\xE6\x9B\xB2 music.bin");  // a Japanese name
    write_file(chosen, "score");
    write_file(other.filePath("\xE6\x9B\xB2 music.txt"), "0 Second game\r\n1 Prologue\r\n");
    session.open(chosen);

    const QString stem = other.filePath("\xE6\x9B\xB2 music");
    QCOMPARE(session.calls_after_start().mid(2),
             QStringList({"stop_music", "pause 100", "open_file " + chosen + " " + stem + ".mda",
                          "play_music 1"}));
    QCOMPARE(session.window().windowTitle(), QString("TAMBELO - Second game"));
    QCOMPARE(session.status(), QString(" 1 Prologue"));
    QCOMPARE(session.window().current_track(), 1);
    QCOMPARE(QDir::currentPath(), QDir(session.folder()).canonicalPath());
}

void WindowTest::openASetWithoutTitleListDropsTheOldTitles()
{
    Session session;
    write_file(session.folder("amus.txt"), "0 First game\r\n1 Opening\r\n");
    QVERIFY(session.start());
    QTemporaryDir other;
    write_file(other.filePath("amus.dat"), "score");
    session.open(other.filePath("amus.dat"));
    QCOMPARE(session.window().windowTitle(), QString("TAMBELO"));
    QCOMPARE(session.status(), QString(" 1 NO TITLE"));
}

void WindowTest::cancellingOrChoosingNoFileChangesNothing()
{
    Session session;
    write_file(session.folder("amus.txt"), "0 Game\r\n1 Opening\r\n2 Battle\r\n");
    QVERIFY(session.start());
    session.click("cmdNext");
    const QStringList before = session.calls();

    QTemporaryDir other;
    QDir(other.path()).mkdir("folder.dat");
    for (const QString& name : {QString(), other.filePath("missing.dat"), other.filePath("folder.dat")}) {
        session.open(name);
        QCOMPARE(session.calls(), before);
        QCOMPARE(session.window().windowTitle(), QString("TAMBELO - Game"));
        QCOMPARE(session.status(), QString(" 2 Battle"));
        QCOMPARE(session.window().current_track(), 2);
        QCOMPARE(QDir::currentPath(), QDir(session.folder()).canonicalPath());
    }
}

void WindowTest::closingTheWindowOnlyReleases()
{
    Session session;
    QVERIFY(session.start());
    session.window().show();
    session.click("cmdNext");
    const qsizetype before = session.calls().size();
    QVERIFY(session.window().close());
    QCOMPARE(session.calls().mid(before), QStringList({"release"}));
    QVERIFY(!session.window().ended_by_failure());
}

void WindowTest::aMissingLibraryIsReportedByName()
{
    Session session(TAMBELO_LIBRARY_DOUBLE, false);
    QVERIFY(!session.start());
    QCOMPARE(session.failures.size(), 1);
    QVERIFY2(session.failures.first().contains(session.folder(playback_library_file_name().c_str())),
             qPrintable(session.failures.first()));
    QVERIFY(session.calls().isEmpty());
}

void WindowTest::aMissingExportEndsTheProgramAtItsFirstUse()
{
    Session session(TAMBELO_LIBRARY_DOUBLE_WITHOUT_GET_NEXT);
    QVERIFY(session.start());
    session.click("cmdPrev");
    QVERIFY(session.failures.isEmpty());

    session.click("cmdNext");
    QCOMPARE(session.failures.size(), 1);
    QVERIFY2(session.failures.first().contains("get_next"), qPrintable(session.failures.first()));
    QVERIFY(session.window().ended_by_failure());
    // The playback thread is stopped before the program ends, and nothing
    // runs after that.
    QCOMPARE(session.calls_after_start(), QStringList({"get_prev 1", "play_music 1", "release"}));
    session.click("cmdPlay");
    QCOMPARE(session.calls_after_start().size(), 3);
}

void WindowTest::cuttingCharactersKeepsSurrogatePairsWhole()
{
    QCOMPARE(without_last_characters("set.dat", 4), QString("set"));
    QCOMPARE(without_last_characters("ab.d\xF0\x9F\x8E\xB5", 4), QString("a"));
    QCOMPARE(without_last_characters("a\xF0\x9F\x8E\xB5.dat", 4), QString("a\xF0\x9F\x8E\xB5"));
    QCOMPARE(without_last_characters("abc", 4), QString());
}

void WindowTest::buttonPicturesAreBlackFiguresWithWhiteTransparent()
{
    for (int i = 0; i < 6; ++i) {
        const auto picture = static_cast<ButtonPicture>(i);
        const QImage image = button_picture(picture).toImage().convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(image.size(), QSize(picture_width, picture_height));
        const QImage figure = button_figure(picture);
        int black = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const bool is_black = figure.pixel(x, y) == qRgb(0, 0, 0);
                black += is_black ? 1 : 0;
                QCOMPARE(qAlpha(image.pixel(x, y)), is_black ? 255 : 0);
            }
        }
        QVERIFY2(black > 20, qPrintable(QString("picture %1 is nearly empty").arg(i)));
    }
    // The step buttons point both ways from the middle of the row.
    QCOMPARE(button_figure(ButtonPicture::next), button_figure(ButtonPicture::prev).mirrored(true, false));
    QCOMPARE(button_figure(ButtonPicture::play), button_figure(ButtonPicture::play).mirrored(false, true));
}

void WindowTest::theWindowKeepsItsSizeAndAnEnormousTitleLineIsCut()
{
    Session session;
    write_file(session.folder("amus.txt"), "1 " + QByteArray(200000, 'x'));
    QVERIFY(session.start());
    session.window().show();
    QVERIFY(QTest::qWaitForWindowExposed(&session.window()));
    QCOMPARE(session.window().centralWidget()->size(), QSize(258, 58));
    QCOMPARE(session.window().minimumSize(), session.window().maximumSize());
    QVERIFY(session.status().startsWith(" 1 xxx"));
    QVERIFY(session.status().size() <= 1000);
}

QTEST_MAIN(WindowTest)
#include "window_test.moc"
