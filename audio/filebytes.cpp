#include "audio/filebytes.h"

#include <QFile>
#include <QFileDevice>
#include <QFileInfo>

#include <cstring>
#include <new>

namespace {

constexpr qint64 kReadChunk = qint64(64) << 20;

} // namespace

FileBytes readWholeFile(const QString &path)
{
    FileBytes result;
    const QFileInfo info(path);
    if (!info.isFile())
        return result;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return result;

    const qint64 size = file.size();
    try {
        result.bytes = QByteArray(size, Qt::Uninitialized);
    } catch (const std::bad_alloc &) {
        return result;
    }

    qint64 got = 0;
    while (got < size) {
        const qint64 n = file.read(result.bytes.data() + got, qMin(kReadChunk, size - got));
        if (n < 0)
            return FileBytes();
        if (n == 0)
            break; // the file shrank since its size was taken
        got += n;
    }
    result.bytes.truncate(got);
    result.ok = true;
    return result;
}

QString writeFailureReason(const QFileDevice &file, int systemError)
{
    const QString qtReason = file.errorString();
    if (systemError != 0 && (qtReason.isEmpty() || qtReason == QLatin1String("Unknown error")))
        return QString::fromLocal8Bit(std::strerror(systemError));
    return qtReason;
}
