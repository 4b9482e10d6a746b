#pragma once

#include <QByteArray>
#include <QString>

// A whole recording read into memory. Only regular files are read: a FIFO
// or device would block or never end, a directory is never a recording.
struct FileBytes
{
    QByteArray bytes;
    bool ok = false;
};

FileBytes readWholeFile(const QString &path);

class QFileDevice;

// Why a write to `file` failed, for the user. Qt leaves a short write's
// reason as "Unknown error" (a full disk among them); the system's own code,
// taken right after the failed call, says what it was.
QString writeFailureReason(const QFileDevice &file, int systemError);
