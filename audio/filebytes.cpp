#include "audio/filebytes.h"

#include <QFile>
#include <QFileDevice>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <new>

namespace {

constexpr qint64 kReadChunk = qint64(64) << 20;
constexpr qint64 kSmallGrowth = 64 * 1024;

} // namespace

FileBytes readWholeFile(const QString &path)
{
    FileBytes result;
    const QFileInfo info(path);
    if (!info.exists()) {
        result.error = QString::fromLocal8Bit(std::strerror(ENOENT));
        return result;
    }
    if (!info.isFile()) {
        result.error = QStringLiteral("Not a regular file");
        return result;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        result.error = file.errorString();
        return result;
    }

    qint64 size = file.size();
    qint64 got = 0;
    try {
        result.bytes = QByteArray(size, Qt::Uninitialized);
        for (;;) {
            if (got == size) {
                // Past the size it gave: a kernel file, or one still growing.
                size += kSmallGrowth;
                result.bytes.resize(size);
            }
            const qint64 n = file.read(result.bytes.data() + got, qMin(kReadChunk, size - got));
            if (n < 0) {
                result.error = file.errorString();
                result.bytes.clear();
                return result;
            }
            if (n == 0)
                break;
            got += n;
        }
    } catch (const std::bad_alloc &) {
        result.error = QString::fromLocal8Bit(std::strerror(ENOMEM));
        result.bytes.clear();
        return result;
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
