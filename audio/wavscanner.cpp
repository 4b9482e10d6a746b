#include "audio/wavscanner.h"

#include "audio/bytecursor.h"
#include "audio/riff.h"

#include <QTime>

namespace {

using namespace riff;

constexpr qint64 kMinimumFileSize = 12;

// Chunk header, from the chunk's start.
constexpr qint64 kChunkIdOffset = 0;

// "fmt " fields, from the chunk's start.
constexpr qint64 kFmtMinimumSize = 16;
constexpr quint16 kFormatPcm = 1;

// "bext" fields, from the start of the chunk data. Chunks too short to reach
// past the time reference are not Broadcast Wave extensions.
constexpr qint64 kBextMinimumSize = 346;
constexpr qint64 kDescriptionOffset = 0;
constexpr qint64 kDescriptionSize = 256;
constexpr qint64 kOriginationDateOffset = 320;
constexpr qint64 kOriginationDateSize = 10;
constexpr qint64 kOriginationTimeOffset = 330;
constexpr qint64 kOriginationTimeSize = 8;

// A fixed-size text field: Latin-1 up to the first NUL. A chunk cut short by
// the end of the file gives a shorter or empty field.
QString textField(QByteArrayView chunkData, qint64 offset, qint64 size)
{
    if (offset >= chunkData.size())
        return QString();
    QByteArrayView field = chunkData.sliced(offset, qMin(size, chunkData.size() - offset));
    const qsizetype nul = field.indexOf('\0');
    if (nul >= 0)
        field = field.first(nul);
    return QString::fromLatin1(field);
}

QString audioSection(const ByteCursor &bytes, qint64 chunk)
{
    // The caller has checked that the 16 field bytes lie within the data.
    const quint16 tag = *bytes.u16At(chunk + kFmtTagOffset);
    const quint16 channels = *bytes.u16At(chunk + kFmtChannelsOffset);
    const quint32 rate = *bytes.u32At(chunk + kFmtRateOffset);
    const quint16 bits = *bytes.u16At(chunk + kFmtBitsOffset);
    return QStringLiteral("=== Audio Track ===\nFormat: ")
        + (tag == kFormatPcm ? QStringLiteral("PCM") : QStringLiteral("Other")) + QStringLiteral("\nChannels: ")
        + QString::number(channels) + QStringLiteral("\nSample Rate: ") + QString::number(rate)
        + QStringLiteral(" Hz\nBit Depth: ") + QString::number(bits) + QStringLiteral(" bits\n\n");
}

} // namespace

ScanResult scanWavMetadata(QByteArrayView data, const QString &fileName)
{
    ScanResult result;
    const ByteCursor bytes(data);
    const qint64 size = bytes.size();
    if (size < kMinimumFileSize)
        return result;

    result.hasReport = true;
    QString &report = result.report;
    report = QStringLiteral("=== General ===\nFilename: ") + fileName + QStringLiteral("\nSize: ")
        + QString::number(size) + QStringLiteral(" bytes\nContainer: Wave\n\n");

    QString timeText;
    qint64 pos = kFirstChunk;
    while (pos < size - kChunkHeaderSize) {
        // The loop bound keeps the whole chunk header within the data.
        const QByteArrayView id = bytes.viewAt(pos + kChunkIdOffset, kChunkIdSize);
        const quint32 chunkSize = *bytes.u32At(pos + kChunkSizeOffset);
        const qint64 dataStart = pos + kChunkHeaderSize;

        if (id == "fmt " && chunkSize >= kFmtMinimumSize && bytes.has(dataStart, kFmtMinimumSize)) {
            report += audioSection(bytes, pos);
        } else if (id == "bext" && chunkSize >= kBextMinimumSize) {
            const QByteArrayView chunkData = bytes.viewAt(dataStart, qMin<qint64>(chunkSize, size - dataStart));
            const QString description =
                textField(chunkData, kDescriptionOffset, kDescriptionSize).trimmed();
            const QString date = textField(chunkData, kOriginationDateOffset, kOriginationDateSize);
            timeText = textField(chunkData, kOriginationTimeOffset, kOriginationTimeSize);
            report += QStringLiteral("=== Broadcast Wave (BEXT) ===\nDescription: ") + description
                + QStringLiteral("\nOrig. Date: ") + date + QStringLiteral("\nOrig. Time: ") + timeText
                + QStringLiteral("\n\n");
        }

        // Odd-sized chunks are followed by a pad byte. A huge size simply
        // moves past the end and ends the walk.
        pos = dataStart + chunkSize + (chunkSize % 2);
    }

    if (timeText.isEmpty()) {
        result.start = ScanResult::StartTime::Clear;
    } else {
        const QTime time = QTime::fromString(timeText, QStringLiteral("HH:mm:ss"));
        if (time.isValid()) {
            result.start = ScanResult::StartTime::Set;
            result.startTimeOfDayMs = time.msecsSinceStartOfDay();
        }
    }
    return result;
}
