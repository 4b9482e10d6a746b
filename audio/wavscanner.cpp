#include "audio/wavscanner.h"

#include "audio/pcmlayout.h"
#include "audio/riff.h"

#include <QTime>

#include <limits>
#include <optional>

namespace {

using namespace riff;

constexpr qint64 kMinimumFileSize = 12;

constexpr qint64 kFactFramesSize = 4;

// "bext" fields, from the start of the chunk body. Chunks declared too short
// to reach past the time reference are not Broadcast Wave extensions.
constexpr qint64 kBextMinimumSize = 346;
constexpr qint64 kDescriptionOffset = 0;
constexpr qint64 kDescriptionSize = 256;
constexpr qint64 kOriginationDateOffset = 320;
constexpr qint64 kOriginationDateSize = 10;
constexpr qint64 kOriginationTimeOffset = 330;
constexpr qint64 kOriginationTimeSize = 8;

// A fixed-size text field. A chunk cut short by the end of the file gives a
// shorter or empty field.
QString textField(QByteArrayView body, qint64 offset, qint64 size)
{
    if (offset >= body.size())
        return QString();
    return riff::text(body.sliced(offset, qMin(size, body.size() - offset)));
}

QString formatName(quint16 tag)
{
    switch (tag) {
    case kTagPcm:
        return QStringLiteral("PCM");
    case 0x0002:
        return QStringLiteral("MS ADPCM");
    case kTagFloat:
        return QStringLiteral("IEEE Float");
    case kTagALaw:
        return QStringLiteral("A-law");
    case kTagMuLaw:
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

// Formats whose data is whole frames of block-align bytes.
bool framed(const FmtFields &fmt)
{
    const quint16 code = fmt.codingTag();
    return code == kTagPcm || code == kTagFloat || code == kTagALaw || code == kTagMuLaw;
}

QString audioSection(const FmtFields &fmt)
{
    QString format = formatName(fmt.tag);
    if (fmt.tag == kTagExtensible) {
        const bool named = fmt.subFormat && *fmt.subFormat != kTagExtensible;
        format = named ? QStringLiteral("Extensible (%1)").arg(formatName(*fmt.subFormat))
                       : QStringLiteral("Extensible");
    }
    return QStringLiteral("=== Audio Track ===\nFormat: ") + format + QStringLiteral("\nChannels: ")
        + QString::number(fmt.channels) + QStringLiteral("\nSample Rate: ") + QString::number(fmt.rate)
        + QStringLiteral(" Hz\nBit Depth: ") + QString::number(fmt.bits) + QStringLiteral(" bits\n\n");
}

// Seconds of audio in `dataBytes`: whole frames for framed formats, the
// "fact" frame count or else the byte rate for compressed ones. -1 when the
// header gives nothing to count with.
double durationSeconds(const FmtFields &fmt, qint64 dataBytes, qint64 factFrames)
{
    if (fmt.rate == 0)
        return -1;
    if (framed(fmt)) {
        // Rates past what an int holds are no real recording's; the report still shows a number.
        const int rate = int(qMin<quint32>(fmt.rate, std::numeric_limits<int>::max()));
        return fmt.blockAlign ? PcmLayout{rate, fmt.channels, fmt.blockAlign}.secondsIn(dataBytes) : -1;
    }
    if (factFrames >= 0)
        return double(factFrames) / fmt.rate;
    return fmt.byteRate ? double(dataBytes) / fmt.byteRate : -1;
}

} // namespace

ScanResult scanWavMetadata(QByteArrayView data, const QString &fileName)
{
    ScanResult result;
    if (data.size() < kMinimumFileSize)
        return result;

    result.hasReport = true;
    QString &report = result.report;
    report = QStringLiteral("=== General ===\nFilename: ") + fileName + QStringLiteral("\nSize: ")
        + QString::number(data.size()) + QStringLiteral(" bytes\nContainer: Wave\n\n");

    QString timeText;
    // One audio section, for the format the samples are played by: the last
    // "fmt " before the first "data", as the reader takes it.
    std::optional<FmtFields> fmt;
    qsizetype audioAt = 0; // where in the report the audio section goes
    bool pastData = false;
    double seconds = -1;
    qint64 factFrames = -1;
    ChunkWalker chunks(data);
    while (const auto chunk = chunks.next()) {
        const ByteCursor body(chunk->body);
        if (chunk->id == "fmt " && !pastData) {
            if (const auto fields = readFmt(chunk->body)) {
                fmt = *fields;
                audioAt = report.size();
            }
        } else if (chunk->id == "fact" && body.has(0, kFactFramesSize)) {
            factFrames = *body.u32At(0);
        } else if (chunk->id == "data" && !pastData) {
            pastData = true;
            if (fmt)
                seconds = durationSeconds(*fmt, chunk->body.size(), factFrames);
        } else if (chunk->id == "bext" && chunk->declaredSize >= kBextMinimumSize) {
            const QString description = textField(chunk->body, kDescriptionOffset, kDescriptionSize).trimmed();
            const QString date = textField(chunk->body, kOriginationDateOffset, kOriginationDateSize);
            timeText = textField(chunk->body, kOriginationTimeOffset, kOriginationTimeSize);
            report += QStringLiteral("=== Broadcast Wave (BEXT) ===\nDescription: ") + description
                + QStringLiteral("\nOrig. Date: ") + date + QStringLiteral("\nOrig. Time: ") + timeText
                + QStringLiteral("\n\n");
        }
    }

    if (fmt) {
        QString section = audioSection(*fmt);
        if (seconds >= 0)
            section.insert(section.size() - 1, QStringLiteral("Duration: %1 s\n").arg(seconds, 0, 'f', 3));
        report.insert(audioAt, section);
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
