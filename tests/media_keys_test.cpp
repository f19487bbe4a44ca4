// The window on the session bus as a media player (MPRIS), run under
// dbus-run-session against the recording stand-in library: bus calls act
// through the buttons' own handlers, and the bus hears what the window shows.

#include "frontend/qt/main_window.h"
#include "frontend/window_logic/common.h"

#include <QAction>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QFile>
#include <QJsonArray>
#include <QMessageBox>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

using namespace tambelo::frontend;

namespace {

constexpr const char* service = "org.mpris.MediaPlayer2.tambelo";
constexpr const char* path = "/org/mpris/MediaPlayer2";
constexpr const char* player = "org.mpris.MediaPlayer2.Player";

QStringList read_lines(const QString& file_path)
{
    QFile file(file_path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = QString::fromUtf8(file.readAll()).split('\n');
    lines.removeLast();
    return lines;
}

// Track `track` of the set as `tambelo-cli list --json` describes it.
QJsonObject listed_track(const QString& score_path, int track)
{
    QProcess cli;
    cli.start(TAMBELO_CLI, {"list", score_path, "--json"});
    if (!cli.waitForFinished(60000) || cli.exitCode() != 0)
        return {};
    for (const QJsonValue entry : QJsonDocument::fromJson(cli.readAllStandardOutput())["tracks"].toArray())
        if (entry["number"].toInt() == track)
            return entry.toObject();
    return {};
}

}  // namespace

class MediaKeysTest : public QObject {
    Q_OBJECT

public slots:
    void propertiesChanged(const QString& interface, const QVariantMap& changed, const QStringList&)
    {
        if (interface == player)
            announced.append(changed);
    }

private slots:
    void busCallsActAsTheButtonsAndTheMetadataFollows();
    void busCallsWaitForNoDialog();
    void aSecondStartHandsItsSetToTheRunningWindow();

private:
    // A second connection, as another program on the bus would call.
    QDBusMessage call(const QString& interface, const QString& method, const QVariantList& arguments = {})
    {
        QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
        message.setArguments(arguments);
        QDBusPendingCall pending = client.asyncCall(message);
        // The window answers on this thread: let its event loop run.
        [&] { QTRY_VERIFY(pending.isFinished()); }();
        return pending.reply();
    }
    QVariant property(const QString& name)
    {
        const QDBusMessage reply =
            call("org.freedesktop.DBus.Properties", "Get", {QString(player), name});
        return reply.arguments().value(0).value<QDBusVariant>().variant();
    }
    QVariantMap metadata()
    {
        return qdbus_cast<QVariantMap>(property("Metadata").value<QDBusArgument>());
    }

    QDBusConnection client = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "client");
    QList<QVariantMap> announced;
};

void MediaKeysTest::busCallsActAsTheButtonsAndTheMetadataFollows()
{
    QTemporaryDir folder;
    const QString log_path = folder.filePath("calls.log");
    qputenv("TAMBELO_DOUBLE_LOG", log_path.toLocal8Bit());
    QVERIFY(QFile::copy(TAMBELO_LIBRARY_DOUBLE, folder.filePath(playback_library_file_name().c_str())));
    QFile titles(folder.filePath("amus.txt"));
    QVERIFY(titles.open(QIODevice::WriteOnly));
    titles.write("0 Game\xe2\x80\xae\r\n1 One\r\n2 Two\r\n");
    titles.close();
    // The sample set's scores and voices, so that the window can measure its tracks.
    for (const char* name : {"amus.dat", "amus.mda"})
        QVERIFY(QFile::copy(QString(TAMBELO_SAMPLE_SET_DIR) + "/" + name, folder.filePath(name)));

    PlaybackLibrary library(std::filesystem::path(QFile::encodeName(folder.path()).toStdString()) /
                            playback_library_file_name());
    MainWindow window(library, folder.path());
    QVERIFY(window.form().Form_Load());
    QVERIFY(window.offer_media_controls());
    QVERIFY(client.isConnected());
    QVERIFY(client.connect(service, path, "org.freedesktop.DBus.Properties", "PropertiesChanged", this,
                           SLOT(propertiesChanged(QString, QVariantMap, QStringList))));
    QCOMPARE(metadata().value("xesam:title").toString(), QString("One"));
    const qsizetype started = read_lines(log_path).size();

    // The position runs while the track plays.
    const qlonglong first_position = property("Position").toLongLong();
    QTest::qWait(200);
    QVERIFY2(property("Position").toLongLong() >= first_position + 150000,
             qPrintable(QString("Position %1 after 200 ms").arg(property("Position").toLongLong())));

    // Next makes exactly the next button's calls.
    QCOMPARE(call(player, "Next").type(), QDBusMessage::ReplyMessage);
    QCOMPARE(read_lines(log_path).mid(started), QStringList({"get_next 1", "play_music 2"}));
    const QVariantMap now = metadata();
    QCOMPARE(now.value("xesam:title").toString(), QString("Two"));
    // The length as the command-line tool measures it: intro and two loops.
    const QJsonObject listed = listed_track(folder.filePath("amus.dat"), 2);
    QVERIFY(listed.value("loops").toBool());
    const double expected_us =
        1000.0 * (listed.value("intro_ms").toDouble() + 2.0 * listed.value("loop_ms").toDouble());
    QVERIFY2(std::abs(now.value("mpris:length").toDouble() - expected_us) <= 1000.0,
             qPrintable(QString("mpris:length %1, expected %2").arg(now.value("mpris:length").toLongLong())
                            .arg(expected_us)));
    // A direction override in a title is spelt out, not obeyed, as the window
    // shows it.
    QCOMPARE(now.value("xesam:album").toString(), QString("Game<U+202E>"));
    QCOMPARE(now.value("xesam:trackNumber").toInt(), 2);
    QCOMPARE(now.value("mpris:trackid").value<QDBusObjectPath>().path(), QString("/org/tambelo/track/2"));
    QTRY_VERIFY(!announced.isEmpty());
    const QVariantMap changed =
        qdbus_cast<QVariantMap>(announced.last().value("Metadata").value<QDBusArgument>());
    QCOMPARE(changed.value("xesam:trackNumber").toInt(), 2);

    // Stop and play-pause are the stop and play buttons; nothing seeks.
    call(player, "Stop");
    QCOMPARE(property("PlaybackStatus").toString(), QString("Stopped"));
    call(player, "PlayPause");
    QCOMPARE(read_lines(log_path).mid(started + 2), QStringList({"stop_music", "play_music 2"}));
    QCOMPARE(property("PlaybackStatus").toString(), QString("Playing"));
    QCOMPARE(property("CanSeek").toBool(), false);

    call("org.mpris.MediaPlayer2", "Quit");
    QTRY_VERIFY(!window.isVisible());
    QCOMPARE(read_lines(log_path).last(), QString("release"));
}

void MediaKeysTest::busCallsWaitForNoDialog()
{
    QTemporaryDir folder;
    const QString log_path = folder.filePath("calls.log");
    qputenv("TAMBELO_DOUBLE_LOG", log_path.toLocal8Bit());
    QVERIFY(QFile::copy(TAMBELO_LIBRARY_DOUBLE, folder.filePath(playback_library_file_name().c_str())));
    PlaybackLibrary library(std::filesystem::path(QFile::encodeName(folder.path()).toStdString()) /
                            playback_library_file_name());
    MainWindow::Services services;
    // While the Open dialog is up, a media key is pressed; then the user
    // cancels.
    services.choose_file = [this](QWidget*) {
        call(player, "Next");
        return QString();
    };
    MainWindow window(library, folder.path(), services);
    QVERIFY(window.form().Form_Load());
    QVERIFY(window.offer_media_controls());
    const qsizetype started = read_lines(log_path).size();
    window.findChild<QAction*>("mnuOpen")->trigger();
    QCOMPARE(read_lines(log_path).mid(started), QStringList());
    QCOMPARE(window.form().current_track(), 1);
    window.close();
}

void MediaKeysTest::aSecondStartHandsItsSetToTheRunningWindow()
{
    QTemporaryDir folder, other;
    qputenv("TAMBELO_DOUBLE_LOG", folder.filePath("calls.log").toLocal8Bit());
    QVERIFY(QFile::copy(TAMBELO_LIBRARY_DOUBLE, folder.filePath(playback_library_file_name().c_str())));
    for (const char* name : {"amus.dat", "amus.mda"})
        QVERIFY(QFile::copy(QString(TAMBELO_SAMPLE_SET_DIR) + "/" + name, other.filePath(name)));
    PlaybackLibrary library(std::filesystem::path(QFile::encodeName(folder.path()).toStdString()) /
                            playback_library_file_name());
    MainWindow window(library, folder.path());
    QVERIFY(window.form().Form_Load());
    QVERIFY(window.offer_media_controls());

    // The second program ends at once, its set opened by the running window;
    // a path that holds no set is shown to the user there and changes nothing.
    auto start_again = [](const QStringList& arguments) {
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        environment.insert("TAMBELO_MIDI_OUT", "none");
        program.setProcessEnvironment(environment);
        program.start(TAMBELO_PROGRAM, arguments);
        // The running window answers on this thread: let its event loop run.
        QTRY_COMPARE_WITH_TIMEOUT(program.state(), QProcess::NotRunning, 20000);
        QCOMPARE(program.exitCode(), 0);
    };
    start_again({other.path()});
    QCOMPARE(window.form().score_path(),
             std::filesystem::path(QFile::encodeName(other.filePath("amus.dat")).toStdString()));
    start_again({other.filePath("missing.dat")});
    QCOMPARE(window.form().score_path(),
             std::filesystem::path(QFile::encodeName(other.filePath("amus.dat")).toStdString()));
    auto* notice = window.findChild<QMessageBox*>("notice");
    QVERIFY(notice != nullptr && notice->isVisible());
    QVERIFY(notice->text().contains("missing.dat"));
    QCOMPARE(notice->windowModality(), Qt::NonModal);
    start_again({});
    window.close();
}

QTEST_MAIN(MediaKeysTest)
#include "media_keys_test.moc"
