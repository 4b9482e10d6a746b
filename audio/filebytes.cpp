#include "audio/filebytes.h"

#include <QFile>
#include <QFileDevice>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <new>

#ifdef Q_OS_LINUX
#include <sys/mman.h>
#endif

namespace {

constexpr qint64 kReadChunk = qint64(64) << 20;
constexpr qint64 kProbeSize = 16 * 1024;

#ifdef Q_OS_LINUX
constexpr quintptr kHugePage = 2 * 1024 * 1024;
#endif

// On a virtual machine the first touch of each 4 KB page from the program
// costs about as much as reading it from the page cache: 2 MB pages cut
// that to a few hundred touches for an hour of audio. Only a hint.
void askForHugePages(char *data, qint64 size)
{
#ifdef Q_OS_LINUX
    const quintptr begin = (quintptr(data) + kHugePage - 1) & ~(kHugePage - 1);
    const quintptr end = (quintptr(data) + quintptr(size)) & ~(kHugePage - 1);
    if (end > begin)
        madvise(reinterpret_cast<void *>(begin), size_t(end - begin), MADV_HUGEPAGE);
#else
    Q_UNUSED(data);
    Q_UNUSED(size);
#endif
}

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
        askForHugePages(result.bytes.data(), size);
        for (;;) {
            qint64 n = 0;
            if (got < size) {
                n = file.read(result.bytes.data() + got, qMin(kReadChunk, size - got));
            } else {
                // Past the size it gave: a kernel file, or one still growing.
                // Read on into a small buffer, so that the usual file keeps an
                // allocation of exactly its size.
                char more[kProbeSize];
                n = file.read(more, kProbeSize);
                if (n > 0) {
                    result.bytes.append(more, n);
                    size = got + n;
                }
            }
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
