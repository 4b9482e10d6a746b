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
