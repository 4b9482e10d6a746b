#include "audio/wavwriter.h"

#include "audio/pcmlayout.h"

#include "audio/filebytes.h"
#include "audio/riff.h"

#include <QSaveFile>
#include <QTime>
#include <QtEndian>

#include <cerrno>
#include <limits>
#include <utility>

#ifdef Q_OS_LINUX
#include <fcntl.h>
#endif

namespace {

using namespace riff;

constexpr qint64 kMaxU32 = std::numeric_limits<quint32>::max();
constexpr int kMaxChannels = std::numeric_limits<quint16>::max() / 2; // block align is a 16-bit field
constexpr qint64 kHeaderSize = 44; // "RIFF" chunk header, "WAVE", the "fmt " chunk, the "data" chunk header
constexpr qint64 kFormTypeSize = 4; // "WAVE" after the RIFF size
constexpr quint32 kFmtBodySize = 16;
constexpr quint16 kFormatPcm = 1;
constexpr quint16 kBitsPerSample = 16;
constexpr int kBytesPerSample = kBitsPerSample / 8;
constexpr char kSoftware[] = "Orlenta LE";
constexpr qint64 kWriteChunk = 8 * 1024 * 1024;

// Broadcast Wave extension, version 1: fields from the start of the chunk data.
constexpr qint64 kBextBodySize = 602; // up to the coding history, which stays empty
constexpr qint64 kBextOriginatorOffset = 256;
constexpr qint64 kBextOriginatorSize = 32;
constexpr qint64 kBextTimeOffset = 330;
constexpr qint64 kBextTimeReferenceOffset = 338;
constexpr qint64 kBextVersionOffset = 346;
constexpr quint16 kBextVersion = 1;
constexpr qlonglong kDayMs = 24LL * 60 * 60 * 1000;

void appendU16(QByteArray &out, quint16 value)
{
    char bytes[2];
    qToLittleEndian(value, bytes);
    out.append(bytes, sizeof bytes);
}

void appendU32(QByteArray &out, quint32 value)
{
    char bytes[4];
    qToLittleEndian(value, bytes);
    out.append(bytes, sizeof bytes);
}

// An INFO sub-chunk: the text, a terminating zero and a pad byte to keep
// the size even, all counted in the size.
void appendInfo(QByteArray &body, const char *id, const QString &value)
{
    QByteArray text = value.toUtf8();
    text.append('\0');
    if (text.size() % 2)
        text.append('\0');
    body.append(id, kChunkIdSize);
    appendU32(body, quint32(text.size()));
    body.append(text);
}

bool writeAll(QSaveFile &file, const char *data, qint64 length)
{
    return file.write(data, length) == length;
}

// Sends a written stretch on to the disk at once, so that the flush the
// commit waits for overlaps the writing instead of following it.
void startWriteback([[maybe_unused]] QSaveFile &file, [[maybe_unused]] qint64 offset,
                    [[maybe_unused]] qint64 length)
{
#ifdef Q_OS_LINUX
    ::sync_file_range(file.handle(), offset, length, SYNC_FILE_RANGE_WRITE);
#endif
}

// The samples straight from the store, in stretches, without a copy.
bool writeSamples(QSaveFile &file, const QByteArray &store, qint64 fileOffset)
{
    for (qint64 at = 0; at < store.size(); at += kWriteChunk) {
        const qint64 length = qMin(kWriteChunk, store.size() - at);
        if (!writeAll(file, store.constData() + at, length))
            return false;
        startWriteback(file, fileOffset + at, length);
    }
    return true;
}

WavSaveResult failure(const QString &reason)
{
    return {false, reason};
}

} // namespace

WavHeader wavHeader(qint64 dataBytes, qint64 listChunkBytes, int sampleRate, int channels, const QByteArray &bext)
{
    const qint64 byteRate = PcmLayout{sampleRate, channels, channels * int(kBytesPerSample)}.bytesOf(sampleRate);
    if (channels < 1 || channels > kMaxChannels || sampleRate < 1 || byteRate > kMaxU32)
        return {{}, QStringLiteral("A WAV file cannot hold %1 channels at %2 Hz.").arg(channels).arg(sampleRate)};

    // Readers take a data size of 0 to mean "up to the end of the file", and
    // would play the tags that follow as sound.
    if (dataBytes < 1)
        return {{}, QStringLiteral("There is no audio to save.")};

    const qint64 dataPad = dataBytes % 2;
    const qint64 riffSize = kFormTypeSize + kChunkHeaderSize + kFmtBodySize + kChunkHeaderSize + dataBytes + dataPad
        + listChunkBytes + bext.size();
    if (dataBytes > kMaxU32 || riffSize > kMaxU32)
        return {{}, QStringLiteral("The recording is too long for a WAV file, which holds at most 4 GiB.")};

    QByteArray out;
    out.reserve(kHeaderSize + bext.size());
    out.append("RIFF");
    appendU32(out, quint32(riffSize));
    out.append("WAVE");
    out.append("fmt ");
    appendU32(out, kFmtBodySize);
    appendU16(out, kFormatPcm);
    appendU16(out, quint16(channels));
    appendU32(out, quint32(sampleRate));
    appendU32(out, quint32(byteRate));
    appendU16(out, quint16(channels * kBytesPerSample));
    appendU16(out, kBitsPerSample);
    out.append(bext);
    out.append("data");
    appendU32(out, quint32(dataBytes));
    return {out, {}};
}

QByteArray bextChunk(qlonglong startTimeOfDayMs, int sampleRate)
{
    const qlonglong ms = (startTimeOfDayMs % kDayMs + kDayMs) % kDayMs;
    QByteArray body(kBextBodySize, '\0');
    const QByteArray originator = QByteArray(kSoftware).left(kBextOriginatorSize);
    body.replace(kBextOriginatorOffset, originator.size(), originator);
    const QByteArray time = QTime::fromMSecsSinceStartOfDay(int(ms)).toString(QStringLiteral("HH:mm:ss")).toLatin1();
    body.replace(kBextTimeOffset, time.size(), time);
    // Rounded to the nearest sample; at most a day of samples, which
    // the low and high 32-bit halves hold for any rate.
    const quint64 samples = (quint64(ms) * quint64(qMax(sampleRate, 0)) + 500) / 1000;
    qToLittleEndian(samples, body.data() + kBextTimeReferenceOffset);
    qToLittleEndian(kBextVersion, body.data() + kBextVersionOffset);

    QByteArray chunk("bext");
    appendU32(chunk, quint32(body.size()));
    chunk.append(body);
    return chunk;
}

QByteArray infoListChunk(const QMap<QString, QString> &tags)
{
    if (tags.isEmpty())
        return {};
    QByteArray body("INFO");
    const std::pair<const char *, QString> fields[] = {{"INAM", QStringLiteral("Title")},
                                                       {"IENG", QStringLiteral("Engineer")},
                                                       {"ICMT", QStringLiteral("Comment")}};
    for (const auto &[id, key] : fields) {
        const QString value = tags.value(key);
        if (!value.isEmpty())
            appendInfo(body, id, value);
    }
    appendInfo(body, "ISFT", QString::fromLatin1(kSoftware));

    // Every sub-chunk has an even size, so the body does too and the LIST
    // chunk needs no pad byte.
    QByteArray chunk("LIST");
    appendU32(chunk, quint32(body.size()));
    chunk.append(body);
    return chunk;
}

WavSaveResult saveWav(const QString &path, const QByteArray &store, int sampleRate, int channels,
                      const QMap<QString, QString> &tags, std::optional<qlonglong> startTimeOfDayMs)
{
    const QByteArray list = infoListChunk(tags);
    const QByteArray bext = startTimeOfDayMs ? bextChunk(*startTimeOfDayMs, sampleRate) : QByteArray();
    const WavHeader header = wavHeader(store.size(), list.size(), sampleRate, channels, bext);
    if (header.bytes.isEmpty())
        return failure(header.refusal);

    // Written next to the target and renamed over it on commit: a full disk or
    // a vanished folder must not cost the user the file that was there.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return failure(file.errorString());
    const char pad = '\0';
    const bool written = writeAll(file, header.bytes.constData(), header.bytes.size())
        && writeSamples(file, store, header.bytes.size()) && (store.size() % 2 == 0 || writeAll(file, &pad, 1))
        && writeAll(file, list.constData(), list.size())
        // commit() does not report a failed flush of what is still buffered,
        // and would put a file without its tail in place of the old one.
        && file.flush();
    if (!written) {
        const QString reason = writeFailureReason(file, errno);
        file.cancelWriting();
        return failure(reason);
    }
    if (!file.commit())
        return failure(writeFailureReason(file, errno));
    return {true, {}};
}
