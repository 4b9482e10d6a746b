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
constexpr quint16 kFormatFloat = 3;
constexpr quint16 kFormatALaw = 6;
constexpr quint16 kFormatMuLaw = 7;
constexpr quint16 kFormatExtensible = 0xFFFE;
// The extension's sub-format code, from the chunk's start; it is the first
// two bytes of a GUID whose other bytes name the standard family.
constexpr qint64 kFmtExtensibleSize = 40;
constexpr qint64 kFmtSubFormatOffset = kChunkHeaderSize + 24;

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

QString formatName(quint16 tag)
{
    switch (tag) {
    case kFormatPcm:
        return QStringLiteral("PCM");
    case 0x0002:
        return QStringLiteral("MS ADPCM");
    case kFormatFloat:
        return QStringLiteral("IEEE Float");
    case kFormatALaw:
        return QStringLiteral("A-law");
    case kFormatMuLaw:
        return QStringLiteral("\u00b5-law");
    case 0x0011:
        return QStringLiteral("IMA ADPCM");
    case 0x0031:
        return QStringLiteral("GSM 6.10");
    case 0x0055:
        return QStringLiteral("MPEG Layer III");
    default:
        return QStringLiteral("Other (format tag 0x%1)").arg(tag, 4, 16, QLatin1Char('0'));
    }
}

// The fields of a "fmt " chunk that its report and the duration need.
struct FmtFields
{
    quint16 tag = 0;
    quint16 subFormat = 0; // extensible files only; 0 when the extension is missing
    quint32 rate = 0;
    quint32 byteRate = 0;
    quint16 blockAlign = 0;

    // Formats whose data is whole frames of block-align bytes.
    bool framed() const
    {
        const quint16 code = tag == kFormatExtensible ? subFormat : tag;
        return code == kFormatPcm || code == kFormatFloat || code == kFormatALaw || code == kFormatMuLaw;
    }
};

QString audioSection(const ByteCursor &bytes, qint64 chunk, FmtFields &fields)
{
    // The caller has checked that the 16 field bytes lie within the data.
    fields.tag = *bytes.u16At(chunk + kFmtTagOffset);
    const quint16 channels = *bytes.u16At(chunk + kFmtChannelsOffset);
    fields.rate = *bytes.u32At(chunk + kFmtRateOffset);
    fields.byteRate = *bytes.u32At(chunk + kFmtByteRateOffset);
    fields.blockAlign = *bytes.u16At(chunk + kFmtBlockAlignOffset);
    const quint16 bits = *bytes.u16At(chunk + kFmtBitsOffset);
    QString format = formatName(fields.tag);
    if (fields.tag == kFormatExtensible) {
        const bool extended = *bytes.u32At(chunk + kChunkSizeOffset) >= kFmtExtensibleSize;
        fields.subFormat = extended ? bytes.u16At(chunk + kFmtSubFormatOffset).value_or(0) : 0;
        format = fields.subFormat ? QStringLiteral("Extensible (%1)").arg(formatName(fields.subFormat))
                                  : QStringLiteral("Extensible");
    }
    return QStringLiteral("=== Audio Track ===\nFormat: ") + format + QStringLiteral("\nChannels: ")
        + QString::number(channels) + QStringLiteral("\nSample Rate: ") + QString::number(fields.rate)
        + QStringLiteral(" Hz\nBit Depth: ") + QString::number(bits) + QStringLiteral(" bits\n\n");
}

// Seconds of audio in `dataBytes`: whole frames for framed formats, the
// "fact" frame count or else the byte rate for compressed ones. -1 when the
// header gives nothing to count with.
double durationSeconds(const FmtFields &fmt, qint64 dataBytes, qint64 factFrames)
{
    if (fmt.rate == 0)
        return -1;
    if (fmt.framed())
        return fmt.blockAlign ? double(dataBytes / fmt.blockAlign) / fmt.rate : -1;
    if (factFrames >= 0)
        return double(factFrames) / fmt.rate;
    return fmt.byteRate ? double(dataBytes) / fmt.byteRate : -1;
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
    FmtFields fmt;
    qsizetype durationAt = -1; // where the last audio section's duration line goes
    qint64 factFrames = -1;
    qint64 pos = kFirstChunk;
    while (pos < size - kChunkHeaderSize) {
        // The loop bound keeps the whole chunk header within the data.
        const QByteArrayView id = bytes.viewAt(pos + kChunkIdOffset, kChunkIdSize);
        const quint32 chunkSize = *bytes.u32At(pos + kChunkSizeOffset);
        const qint64 dataStart = pos + kChunkHeaderSize;

        if (id == "fmt " && chunkSize >= kFmtMinimumSize && bytes.has(dataStart, kFmtMinimumSize)) {
            report += audioSection(bytes, pos, fmt);
            durationAt = report.size() - 1;
        } else if (id == "fact" && chunkSize >= 4 && bytes.has(dataStart, 4)) {
            factFrames = *bytes.u32At(dataStart);
        } else if (id == "data" && durationAt >= 0) {
            // A data chunk cut short by the end of the file plays only what is there.
            const double seconds = durationSeconds(fmt, qMin<qint64>(chunkSize, size - dataStart), factFrames);
            if (seconds >= 0)
                report.insert(durationAt, QStringLiteral("Duration: %1 s\n").arg(seconds, 0, 'f', 3));
            durationAt = -1;
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
