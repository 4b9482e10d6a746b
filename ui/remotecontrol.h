#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>

// The window's transport on the session bus, as org.orlenta.OrlentaLE at
// /org/orlenta/OrlentaLE. Calls arrive as requests the window carries out
// with its own slots; the window reports its state back through setState.
class RemoteControl : public QObject
{
    Q_OBJECT
    Q_PROPERTY(qlonglong Position READ position)
    Q_PROPERTY(bool Playing READ playing)
    Q_PROPERTY(QString File READ file)

public:
    enum class Command { PlayPause, Play, Pause, Stop, Rewind, Forward, Bookmark, Raise };
    Q_ENUM(Command)

    static QString serviceName() { return QStringLiteral("org.orlenta.OrlentaLE"); }
    static QString objectPath() { return QStringLiteral("/org/orlenta/OrlentaLE"); }

    explicit RemoteControl(QObject *parent = nullptr);

    // Takes the name on the session bus; false with the bus's reason when
    // another program holds it or there is no bus.
    bool registerService(QString *problem);

    qlonglong position() const { return heardMs; }
    bool playing() const { return isPlaying; }
    QString file() const { return openFile; }

    // Announces what changed. During play the position moves ~30 times a
    // second; it is announced twice a second then, and at once on a jump.
    void setState(qlonglong positionMs, bool nowPlaying, const QString &path);

    // The interface's methods, called by its adaptor.
    void PlayPause() { emit commandRequested(Command::PlayPause); }
    void Play() { emit commandRequested(Command::Play); }
    void Pause() { emit commandRequested(Command::Pause); }
    void Stop() { emit commandRequested(Command::Stop); }
    void Rewind() { emit commandRequested(Command::Rewind); }
    void Forward() { emit commandRequested(Command::Forward); }
    void Bookmark() { emit commandRequested(Command::Bookmark); }
    void Raise() { emit commandRequested(Command::Raise); }
    void GoTo(qlonglong ms) { emit goToRequested(ms); }
    void Open(const QString &path) { emit openRequested(path); }

signals:
    void commandRequested(RemoteControl::Command command);
    void goToRequested(qlonglong ms);
    void openRequested(const QString &path);

private:
    qlonglong heardMs = 0;
    bool isPlaying = false;
    QString openFile;
    qlonglong announcedMs = 0;
    QElapsedTimer sinceAnnounced;
};
