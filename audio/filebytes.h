#pragma once

#include <QByteArray>
#include <QString>

// A whole file read into memory. Only regular files are read: a FIFO or
// device would block or never end, a directory is never a recording. A file
// that says it is shorter than it is (the kernel's own files say 0 or 4096)
// is read to its end all the same.
struct FileBytes
{
    QByteArray bytes;
    bool ok = false;
    QString error; // the system's reason when not ok
};

FileBytes readWholeFile(const QString &path);

class QFileDevice;

// Why a write to `file` failed, for the user. Qt leaves a short write's
// reason as "Unknown error" (a full disk among them); the system's own code,
// taken right after the failed call, says what it was.
QString writeFailureReason(const QFileDevice &file, int systemError);
