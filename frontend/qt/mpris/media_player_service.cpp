#include "frontend/qt/mpris/media_player_service.h"

#include "frontend/qt/mpris/mpris_adaptors.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QUrl>
#include <QVariantMap>

#include <utility>

namespace tambelo::frontend {

namespace {

constexpr const char* object_path = "/org/mpris/MediaPlayer2";
constexpr const char* player_interface = "org.mpris.MediaPlayer2.Player";

}  // namespace

bool hand_over_to_running_player(const QString& set_path)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    const QString name = QString("org.mpris.MediaPlayer2.") + MediaPlayerService::player_name;
    if (!bus.isConnected() || !bus.interface()->isServiceRegistered(name).value())
        return false;
    constexpr int answer_ms = 2000;
    if (!set_path.isEmpty()) {
        QDBusMessage open = QDBusMessage::createMethodCall(name, object_path, player_interface, "OpenUri");
        open << QUrl::fromLocalFile(set_path).toString();
        if (bus.call(open, QDBus::Block, answer_ms).type() != QDBusMessage::ReplyMessage)
            return false;
    }
    const QDBusMessage raise = QDBusMessage::createMethodCall(name, object_path, "org.mpris.MediaPlayer2", "Raise");
    return bus.call(raise, QDBus::Block, answer_ms).type() == QDBusMessage::ReplyMessage;
}

MediaPlayerService::MediaPlayerService(PlayerControls controls, std::function<PlayerState()> state,
                                       QObject* parent)
    : QObject(parent), controls_(std::move(controls)), state_(std::move(state))
{
    // Adaptors are children of the object they export.
    new MediaPlayer2Adaptor(this);
    new PlayerAdaptor(this);
}

MediaPlayerService::~MediaPlayerService()
{
    if (!registered_)
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.unregisterService(bus_name_);
    bus.unregisterObject(object_path);
}

bool MediaPlayerService::register_on_session_bus()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    if (!bus.registerObject(object_path, this, QDBusConnection::ExportAdaptors))
        return false;
    // A second window takes a name of its own, as MPRIS players do.
    const QString name = QString("org.mpris.MediaPlayer2.") + player_name;
    const QString instance_name =
        name + ".instance" + QString::number(QCoreApplication::applicationPid());
    if (bus.registerService(name)) {
        bus_name_ = name;
    } else if (bus.registerService(instance_name)) {
        bus_name_ = instance_name;
    } else {
        bus.unregisterObject(object_path);
        return false;
    }
    registered_ = true;
    announced_ = state_();
    return true;
}

void MediaPlayerService::refresh()
{
    if (!registered_)
        return;
    const PlayerState now = state_();
    QVariantMap changed;
    if (now.playing != announced_.playing)
        changed.insert("PlaybackStatus", now.playing ? "Playing" : "Stopped");
    if (now.track != announced_.track || now.title != announced_.title ||
        now.album != announced_.album || now.length_us != announced_.length_us)
        changed.insert("Metadata", track_metadata(now));
    announced_ = now;
    if (changed.isEmpty())
        return;
    QDBusMessage signal = QDBusMessage::createSignal(
        object_path, "org.freedesktop.DBus.Properties", "PropertiesChanged");
    signal << QString(player_interface) << changed << QStringList();
    QDBusConnection::sessionBus().send(signal);
}

}  // namespace tambelo::frontend
