#include "frontend/qt/mpris/mpris_adaptors.h"

#include <QUrl>

namespace tambelo::frontend {

namespace {

void run(const std::function<void()>& command)
{
    if (command)
        command();
}

}  // namespace

QDBusObjectPath track_id(std::int32_t track)
{
    // Track 0 is no track; object paths take no minus sign.
    if (track <= 0)
        return QDBusObjectPath("/org/mpris/MediaPlayer2/TrackList/NoTrack");
    return QDBusObjectPath(QString("/org/tambelo/track/%1").arg(track));
}

QVariantMap track_metadata(const PlayerState& state)
{
    QVariantMap metadata;
    metadata.insert("mpris:trackid", QVariant::fromValue(track_id(state.track)));
    metadata.insert("xesam:trackNumber", static_cast<int>(state.track));
    metadata.insert("xesam:title", state.title);
    if (state.length_us)
        metadata.insert("mpris:length", static_cast<qlonglong>(*state.length_us));
    if (!state.album.isEmpty())
        metadata.insert("xesam:album", state.album);
    return metadata;
}

MediaPlayer2Adaptor::MediaPlayer2Adaptor(MediaPlayerService* service)
    : QDBusAbstractAdaptor(service), service_(service)
{
}

void MediaPlayer2Adaptor::Raise() { run(service_->controls().raise); }

void MediaPlayer2Adaptor::Quit() { run(service_->controls().quit); }

PlayerAdaptor::PlayerAdaptor(MediaPlayerService* service)
    : QDBusAbstractAdaptor(service), service_(service)
{
}

QString PlayerAdaptor::PlaybackStatus() const
{
    return service_->state().playing ? "Playing" : "Stopped";
}

QVariantMap PlayerAdaptor::Metadata() const { return track_metadata(service_->state()); }

void PlayerAdaptor::Next() { run(service_->controls().next); }

void PlayerAdaptor::Previous() { run(service_->controls().previous); }

void PlayerAdaptor::Pause()
{
    if (service_->state().playing)
        run(service_->controls().stop);
}

void PlayerAdaptor::PlayPause()
{
    run(service_->state().playing ? service_->controls().stop : service_->controls().play);
}

void PlayerAdaptor::Stop() { run(service_->controls().stop); }

void PlayerAdaptor::Play() { run(service_->controls().play); }

void PlayerAdaptor::Seek(qlonglong) {}

void PlayerAdaptor::SetPosition(const QDBusObjectPath&, qlonglong) {}

void PlayerAdaptor::OpenUri(const QString& uri)
{
    const QUrl url(uri);
    if (url.isLocalFile() && service_->controls().open)
        service_->controls().open(url.toLocalFile());
}

}  // namespace tambelo::frontend
