#pragma once

// The two MPRIS interfaces of MediaPlayerService as Qt D-Bus adaptors: the
// player's identity (org.mpris.MediaPlayer2) and its transport
// (org.mpris.MediaPlayer2.Player). Property and method names are the
// interfaces' own, hence their capitals.

#include "frontend/qt/mpris/media_player_service.h"

#include <QDBusAbstractAdaptor>
#include <QDBusObjectPath>
#include <QStringList>
#include <QVariantMap>

namespace tambelo::frontend {

// The object path of a track's id in Metadata.
QDBusObjectPath track_id(std::int32_t track);

// The Metadata map for a state.
QVariantMap track_metadata(const PlayerState& state);

class MediaPlayer2Adaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ CanQuit)
    Q_PROPERTY(bool CanRaise READ CanRaise)
    Q_PROPERTY(bool HasTrackList READ HasTrackList)
    Q_PROPERTY(QString Identity READ Identity)
    Q_PROPERTY(QString DesktopEntry READ DesktopEntry)
    Q_PROPERTY(QStringList SupportedUriSchemes READ SupportedUriSchemes)
    Q_PROPERTY(QStringList SupportedMimeTypes READ SupportedMimeTypes)

public:
    explicit MediaPlayer2Adaptor(MediaPlayerService* service);

    bool CanQuit() const { return true; }
    bool CanRaise() const { return true; }
    bool HasTrackList() const { return false; }
    QString Identity() const { return "Tambelo"; }
    QString DesktopEntry() const { return MediaPlayerService::desktop_entry; }
    // OpenUri takes local files: a score archive or a folder holding one.
    QStringList SupportedUriSchemes() const { return {"file"}; }
    QStringList SupportedMimeTypes() const { return {}; }

public slots:
    void Raise();
    void Quit();

private:
    MediaPlayerService* service_;
};

class PlayerAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ PlaybackStatus)
    Q_PROPERTY(double Rate READ Rate)
    Q_PROPERTY(QVariantMap Metadata READ Metadata)
    Q_PROPERTY(double Volume READ Volume)
    Q_PROPERTY(qlonglong Position READ Position)
    Q_PROPERTY(double MinimumRate READ Rate)
    Q_PROPERTY(double MaximumRate READ Rate)
    Q_PROPERTY(bool CanGoNext READ CanControl)
    Q_PROPERTY(bool CanGoPrevious READ CanControl)
    Q_PROPERTY(bool CanPlay READ CanControl)
    Q_PROPERTY(bool CanPause READ CanControl)
    Q_PROPERTY(bool CanSeek READ CanSeek)
    Q_PROPERTY(bool CanControl READ CanControl)

public:
    explicit PlayerAdaptor(MediaPlayerService* service);

    QString PlaybackStatus() const;
    double Rate() const { return 1.0; }
    QVariantMap Metadata() const;
    double Volume() const { return 1.0; }
    qlonglong Position() const { return service_->state().position_us; }
    // The library can only start a track from its beginning.
    bool CanSeek() const { return false; }
    bool CanControl() const { return true; }

public slots:
    void Next();
    void Previous();
    // The library has no pause: pausing stops, and playing starts the track
    // again from its beginning, as the window's stop and play buttons do.
    void Pause();
    void PlayPause();
    void Stop();
    void Play();
    void Seek(qlonglong offset_us);
    void SetPosition(const QDBusObjectPath& track, qlonglong position_us);
    void OpenUri(const QString& uri);

signals:
    void Seeked(qlonglong position_us);

private:
    MediaPlayerService* service_;
};

}  // namespace tambelo::frontend
