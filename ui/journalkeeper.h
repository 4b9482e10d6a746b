#pragma once

#include <QList>
#include <QLockFile>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>

#include "ui/recoveryjournal.h"

// $XDG_STATE_HOME/orlenta-le, or ~/.local/state/orlenta-le when that is
// unset, empty or not an absolute path.
QString journalDirectory();

// A journal left behind by a program that no longer runs.
struct OrphanJournal
{
    QString path;
    JournalDecode decoded; // !decoded.ok: the file was set aside as <name>.corrupt
};

// The journals in dir whose lock no running program holds. One that cannot be
// read or decoded is renamed to <name>.corrupt, so it is reported this once;
// its entry gives that new path.
QList<OrphanJournal> findOrphanJournals(const QString &dir);

// Deletes an orphan journal; true when it is gone.
bool removeJournal(const QString &path);

// Whether the recording a journal names is still the one its edits were
// made on: the same size and modification time (QFileInfo::lastModified()
// in UTC, to the ms).
enum class RecordingCheck { Unchanged, Missing, Changed };
RecordingCheck checkRecording(const RecoveryJournal &journal);

// Keeps this program's journal, journal-<pid>.json in dir, guarded by
// journal-<pid>.lock so that no other program takes it for an orphan.
//
// After markChanged() the journal is written from the snapshot at most
// kWriteDelayMs later; later changes do not postpone that write, so steady
// typing still lands on disk every kWriteDelayMs. Writes are atomic, so a
// crash during one leaves the previous journal. A failed write is retried
// after the same delay and reported once until a write succeeds again.
//
// Construct it before calling findOrphanJournals: a journal under this same
// process id left by an earlier program (process ids are reused, often after
// a restart) is then renamed out of the way, for the search to find.
class JournalKeeper : public QObject
{
    Q_OBJECT

public:
    static constexpr int kWriteDelayMs = 2000;

    explicit JournalKeeper(const QString &dir = journalDirectory(), QObject *parent = nullptr);
    // A clean exit: the journal and the lock go.
    ~JournalKeeper() override;

    // Called when a write is due; the time written is filled in here.
    void setSnapshot(std::function<RecoveryJournal()> snapshot);
    void markChanged();
    // Writes a pending change now rather than when its delay ends.
    void flush();
    // The work was saved or deliberately dropped: nothing to recover.
    void discard();

    QString journalPath() const { return path; }

signals:
    void writeFailed(const QString &reason);

private:
    QString takeLock();
    void write();

    QString dir;
    QString path;
    std::unique_ptr<QLockFile> lock;
    std::function<RecoveryJournal()> snapshot;
    QTimer timer;
    bool failing = false;
};
