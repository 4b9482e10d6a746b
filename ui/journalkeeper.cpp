#include "ui/journalkeeper.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSysInfo>

namespace {

constexpr QFile::Permissions kOwnerOnly = QFile::ReadOwner | QFile::WriteOwner;

QString lockPathFor(const QString &journalPath)
{
    return journalPath.chopped(int(qstrlen(".json"))) + QStringLiteral(".lock");
}

// Transcripts of interviews are nobody else's business: the folder is the
// owner's alone, whatever the umask.
bool makePrivateDirectory(const QString &dir)
{
    if (!QFileInfo(dir).isDir()) {
        QDir().mkpath(QFileInfo(dir).absolutePath());
        QDir().mkdir(dir, kOwnerOnly | QFile::ExeOwner);
    }
    return QFileInfo(dir).isDir() && QFile::setPermissions(dir, kOwnerOnly | QFile::ExeOwner);
}

// A name no journal has yet, matching journal-*.json so the search finds it.
QString freeName(const QString &dir, const QString &stem, const QString &suffix)
{
    QString candidate = QDir(dir).filePath(stem + suffix);
    for (int n = 1; QFileInfo::exists(candidate); ++n)
        candidate = QDir(dir).filePath(stem + QStringLiteral("-%1").arg(n) + suffix);
    return candidate;
}

} // namespace

QString journalDirectory()
{
    const QString state = qEnvironmentVariable("XDG_STATE_HOME");
    const QString base = QDir::isAbsolutePath(state) ? state : QDir::homePath() + QStringLiteral("/.local/state");
    return QDir::cleanPath(base + QStringLiteral("/orlenta-le"));
}

QList<OrphanJournal> findOrphanJournals(const QString &dir)
{
    QList<OrphanJournal> found;
    const QDir folder(dir);
    const QStringList names = folder.entryList({QStringLiteral("journal-*.json")}, QDir::Files, QDir::Name);
    for (const QString &name : names) {
        OrphanJournal orphan{folder.filePath(name), {}};
        QLockFile lock(lockPathFor(orphan.path));
        // Only a dead owner makes a lock stale: an old lock of a program that
        // has been running for hours is still held.
        lock.setStaleLockTime(0);
        if (!lock.tryLock(0))
            continue;
        QFile file(orphan.path);
        if (file.open(QIODevice::ReadOnly))
            orphan.decoded = decodeJournal(file.readAll());
        else
            orphan.decoded.error = file.errorString();
        file.close();
        if (!orphan.decoded.ok) {
            const QString aside = freeName(dir, name, QStringLiteral(".corrupt"));
            if (QFile::rename(orphan.path, aside))
                orphan.path = aside;
        }
        found.append(orphan);
    }
    return found;
}

bool removeJournal(const QString &path)
{
    return QFile::remove(path) || !QFileInfo::exists(path);
}

RecordingCheck checkRecording(const RecoveryJournal &journal)
{
    const QFileInfo info(journal.recordingPath);
    if (!info.isFile())
        return RecordingCheck::Missing;
    const bool same = info.size() == journal.recordingSize
        && info.lastModified().toMSecsSinceEpoch() == journal.recordingModified.toMSecsSinceEpoch();
    return same ? RecordingCheck::Unchanged : RecordingCheck::Changed;
}

JournalKeeper::JournalKeeper(const QString &dir, QObject *parent)
    : QObject(parent)
    , dir(dir)
{
    const QString stem = QStringLiteral("journal-%1").arg(QCoreApplication::applicationPid());
    path = QDir(dir).filePath(stem + QStringLiteral(".json"));
    lock = std::make_unique<QLockFile>(lockPathFor(path));
    lock->setStaleLockTime(0);
    timer.setSingleShot(true);
    timer.setInterval(kWriteDelayMs);
    connect(&timer, &QTimer::timeout, this, &JournalKeeper::write);
    // A failure here is reported by the first write, when someone listens.
    takeLock();
}

JournalKeeper::~JournalKeeper()
{
    if (lock->isLocked())
        QFile::remove(path);
}

void JournalKeeper::setSnapshot(std::function<RecoveryJournal()> provider)
{
    snapshot = std::move(provider);
}

void JournalKeeper::markChanged()
{
    if (!timer.isActive())
        timer.start();
}

void JournalKeeper::flush()
{
    if (timer.isActive()) {
        timer.stop();
        write();
    }
}

void JournalKeeper::discard()
{
    timer.stop();
    failing = false;
    if (lock->isLocked())
        QFile::remove(path);
}

QString JournalKeeper::takeLock()
{
    if (lock->isLocked())
        return {};
    if (!makePrivateDirectory(dir))
        return QStringLiteral("Cannot create the folder %1").arg(QDir::toNativeSeparators(dir));
    if (!lock->tryLock(0)) {
        // A lock naming this process that this process does not hold was
        // left by an earlier program that had the same id.
        qint64 pid = 0;
        QString host;
        QString app;
        if (lock->getLockInfo(&pid, &host, &app) && pid == QCoreApplication::applicationPid()
            && host == QSysInfo::machineHostName() && lock->removeStaleLockFile()) {
            lock->tryLock(0);
        }
    }
    if (!lock->isLocked())
        return QStringLiteral("Cannot lock %1").arg(QDir::toNativeSeparators(lockPathFor(path)));
    // Whatever journal carries our name now is an earlier program's: keep it
    // for recovery rather than overwrite it.
    if (QFileInfo::exists(path)) {
        const QString stem = QFileInfo(path).completeBaseName();
        QFile::rename(path, freeName(dir, stem + QStringLiteral("-earlier"), QStringLiteral(".json")));
    }
    return {};
}

void JournalKeeper::write()
{
    if (!snapshot)
        return;
    QString reason = takeLock();
    if (reason.isEmpty()) {
        RecoveryJournal journal = snapshot();
        journal.written = QDateTime::currentDateTimeUtc();
        QSaveFile file(path);
        if (file.open(QIODevice::WriteOnly) && file.setPermissions(kOwnerOnly)
            && file.write(encodeJournal(journal)) >= 0 && file.commit()) {
            failing = false;
            return;
        }
        reason = QStringLiteral("Cannot write %1: %2").arg(QDir::toNativeSeparators(path), file.errorString());
    }
    timer.start();
    if (!failing) {
        failing = true;
        emit writeFailed(reason);
    }
}
