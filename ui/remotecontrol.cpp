#include "ui/remotecontrol.h"

#include "orlentaleadaptor.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>

namespace {

constexpr qint64 kPlayingAnnounceMs = 500;
// Further than play itself moves between two announcements: a seek.
constexpr qlonglong kJumpMs = 1000;

} // namespace

RemoteControl::RemoteControl(QObject *parent)
    : QObject(parent)
{
    new OrlentaLEAdaptor(this);
    sinceAnnounced.start();
}

bool RemoteControl::registerService(QString *problem)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        *problem = bus.lastError().message();
        return false;
    }
    if (!bus.registerObject(objectPath(), this)) {
        *problem = QStringLiteral("the object path is taken");
        return false;
    }
    // Not queued: a second program holding the name is the one to talk to.
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply = bus.interface()->registerService(
        serviceName(), QDBusConnectionInterface::DontQueueService, QDBusConnectionInterface::DontAllowReplacement);
    if (!reply.isValid() || reply.value() != QDBusConnectionInterface::ServiceRegistered) {
        bus.unregisterObject(objectPath());
        *problem = reply.isValid() ? QStringLiteral("another program holds %1").arg(serviceName())
                                   : reply.error().message();
        return false;
    }
    return true;
}

void RemoteControl::setState(qlonglong positionMs, bool nowPlaying, const QString &path)
{
    QVariantMap changed;
    if (nowPlaying != isPlaying)
        changed.insert(QStringLiteral("Playing"), nowPlaying);
    if (path != openFile)
        changed.insert(QStringLiteral("File"), path);
    const qlonglong moved = positionMs - announcedMs;
    const bool jumped = moved < 0 || moved > kJumpMs + sinceAnnounced.elapsed();
    if (positionMs != announcedMs
        && (!changed.isEmpty() || !nowPlaying || jumped || sinceAnnounced.elapsed() >= kPlayingAnnounceMs))
        changed.insert(QStringLiteral("Position"), positionMs);
    heardMs = positionMs;
    isPlaying = nowPlaying;
    openFile = path;
    if (changed.isEmpty())
        return;
    if (changed.contains(QStringLiteral("Position"))) {
        announcedMs = positionMs;
        sinceAnnounced.restart();
    }
    QDBusMessage signal = QDBusMessage::createSignal(objectPath(), QStringLiteral("org.freedesktop.DBus.Properties"),
                                                     QStringLiteral("PropertiesChanged"));
    signal << serviceName() << changed << QStringList();
    QDBusConnection::sessionBus().send(signal);
}
