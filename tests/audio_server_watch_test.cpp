// The window's watch on the audio server, against a private PulseAudio
// server killed and started again: the loss is reported once, the return
// once, and a system that never had a server reports nothing.

#include "frontend/qt/audio_server_watch.h"

#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

using tambelo::frontend::AudioServerWatch;

namespace {

// Starts (or restarts) the private server in `dir` and points this
// process's PulseAudio clients at it.
bool start_server(const QString& dir)
{
    if (QProcess::execute(TAMBELO_PRIVATE_AUDIO_SERVER, {"start", "pulseaudio", dir}) != 0)
        return false;
    QFile env(dir + "/env");
    if (!env.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray& line : env.readAll().split('\n')) {
        const qsizetype equals = line.indexOf('=');
        if (equals > 0)
            qputenv(line.left(equals).constData(), line.mid(equals + 1));
    }
    return true;
}

void kill_server(const QString& dir)
{
    QFile pids(dir + "/pids");
    QVERIFY(pids.open(QIODevice::ReadOnly));
    const pid_t server = static_cast<pid_t>(pids.readLine().trimmed().toLong());
    QVERIFY(server > 0);
    QCOMPARE(::kill(server, SIGKILL), 0);
}

}  // namespace

class AudioServerWatchTest : public QObject {
    Q_OBJECT

private slots:
    void aServerThatIsKilledAndComesBackIsToldOnceEachWay()
    {
        QTemporaryDir dir;
        QVERIFY(start_server(dir.path()));
        AudioServerWatch watch;
        QSignalSpy changes(&watch, &AudioServerWatch::lost_changed);
        // Let it answer first: only a server that was there can be lost.
        QTest::qWait(500);
        QVERIFY(changes.isEmpty());

        kill_server(dir.path());
        QVERIFY(changes.wait(3000));
        QCOMPARE(changes.takeFirst().at(0).toBool(), true);
        QVERIFY(watch.lost());
        // Asking again every second while it is away tells nothing new.
        QTest::qWait(2500);
        QVERIFY(changes.isEmpty());

        QVERIFY(start_server(dir.path()));
        QVERIFY(changes.wait(3000));
        QCOMPARE(changes.takeFirst().at(0).toBool(), false);
        QVERIFY(!watch.lost());
        QProcess::execute(TAMBELO_PRIVATE_AUDIO_SERVER, {"stop", dir.path()});
    }

    void noServerEverIsNoLoss()
    {
        QTemporaryDir dir;
        qputenv("PULSE_SERVER", QFile::encodeName("unix:" + dir.filePath("no-server")));
        AudioServerWatch watch;
        QSignalSpy changes(&watch, &AudioServerWatch::lost_changed);
        QTest::qWait(1500);
        QVERIFY(changes.isEmpty());
        QVERIFY(!watch.lost());
    }
};

QTEST_GUILESS_MAIN(AudioServerWatchTest)
#include "audio_server_watch_test.moc"
