#include "audio/oggscanner.h"

#include "audio/bytecursor.h"

#include <QByteArray>
#include <QDate>
#include <QTime>

#include <optional>
#include <utility>

namespace {

// Page header, from the capture pattern.
constexpr char kCapturePattern[] = "OggS";
constexpr qint64 kPageHeaderSize = 27;
constexpr qint64 kHeaderTypeOffset = 5;
constexpr qint64 kSerialOffset = 14;
constexpr qint64 kSegmentCountOffset = 26;
constexpr quint8 kContinuedPacketFlag = 0x01;
constexpr quint8 kLacingContinues = 255; // a packet goes on while its lacing values are 255

// A header packet is told apart by its first bytes: the Vorbis packet type
// and name, or the 8-byte Opus signature.
constexpr qint64 kSignatureSize = 8;
constexpr char kVorbisName[] = "vorbis";
constexpr qint64 kVorbisNameOffset = 1;
constexpr char kVorbisIdentificationType = 1;
constexpr char kVorbisCommentType = 3;
constexpr char kOpusHeadSignature[] = "OpusHead";
constexpr char kOpusTagsSignature[] = "OpusTags";

// Vorbis identification fields, from the packet start.
constexpr qint64 kVorbisChannelsOffset = 11;
constexpr qint64 kVorbisRateOffset = 12;
constexpr qint64 kVorbisNominalBitRateOffset = 20;
constexpr qint64 kVorbisIdentificationSize = 24; // as far as the fields read here

// Opus identification fields, from the packet start.
constexpr qint64 kOpusChannelsOffset = 9;
constexpr qint64 kOpusInputRateOffset = 12;
constexpr qint64 kOpusHeadMinimumSize = 19;

// The comment list (vendor, count, entries) follows the packet type and name.
constexpr qint64 kVorbisCommentListOffset = 7;
constexpr qint64 kOpusCommentListOffset = 8;

struct Page
{
    bool continued = false; // the first packet goes on from an earlier page
    quint32 serial = 0;
    qint64 segmentTable = 0;
    qint64 segmentCount = 0;
    qint64 bodyStart = 0;
    qint64 bodyLength = 0;
    qint64 end() const { return bodyStart + bodyLength; }
};

// The first page at or after `from`; bytes before it are skipped. Empty when
// there is none, or when its header, segment table or body runs past the end.
std::optional<Page> pageFrom(QByteArrayView data, qint64 from)
{
    const qsizetype capture = data.indexOf(QByteArrayView(kCapturePattern), from);
    const ByteCursor bytes(data);
    if (capture < 0 || !bytes.has(capture, kPageHeaderSize))
        return std::nullopt;

    Page page;
    page.continued = *bytes.u8At(capture + kHeaderTypeOffset) & kContinuedPacketFlag;
    page.serial = *bytes.u32At(capture + kSerialOffset);
    page.segmentTable = capture + kPageHeaderSize;
    page.segmentCount = *bytes.u8At(capture + kSegmentCountOffset);
    if (!bytes.has(page.segmentTable, page.segmentCount))
        return std::nullopt;
    page.bodyStart = page.segmentTable + page.segmentCount;
    for (qint64 i = 0; i < page.segmentCount; ++i)
        page.bodyLength += *bytes.u8At(page.segmentTable + i);
    if (!bytes.has(page.bodyStart, page.bodyLength))
        return std::nullopt;
    return page;
}

// The part of the page's first packet that lies on this page.
struct PacketPart
{
    qint64 length = 0;
    bool ends = false; // false: the packet goes on on the stream's next page
};

PacketPart firstPacketPart(QByteArrayView data, const Page &page)
{
    PacketPart part;
    for (qint64 i = 0; i < page.segmentCount && !part.ends; ++i) {
        const auto lacing = quint8(data[page.segmentTable + i]);
        part.length += lacing;
        part.ends = lacing < kLacingContinues;
    }
    return part;
}

// The packet that starts on `first`, followed onto the later pages of the
// same stream while it goes on. A stream that ends or breaks off early leaves
// the packet short; the comment reader then stops at the first entry that
// does not fit.
QByteArray wholePacket(QByteArrayView data, const Page &first, PacketPart part)
{
    QByteArray packet = data.sliced(first.bodyStart, part.length).toByteArray();
    qint64 pos = first.end();
    while (!part.ends) {
        const std::optional<Page> page = pageFrom(data, pos);
        if (!page)
            break;
        pos = page->end();
        if (page->serial != first.serial)
            continue; // another stream's page, interleaved
        if (!page->continued)
            break;
        part = firstPacketPart(data, *page);
        packet.append(data.sliced(page->bodyStart, part.length));
    }
    return packet;
}

enum class Header { None, VorbisIdentification, VorbisComment, OpusHead, OpusTags };

Header headerKind(QByteArrayView packet)
{
    if (packet.size() < kSignatureSize)
        return Header::None;
    if (packet.sliced(kVorbisNameOffset, qsizetype(sizeof kVorbisName) - 1) == kVorbisName) {
        if (packet[0] == kVorbisIdentificationType)
            return Header::VorbisIdentification;
        if (packet[0] == kVorbisCommentType)
            return Header::VorbisComment;
        return Header::None;
    }
    const QByteArrayView signature = packet.first(kSignatureSize);
    if (signature == kOpusHeadSignature)
        return Header::OpusHead;
    if (signature == kOpusTagsSignature)
        return Header::OpusTags;
    return Header::None;
}

std::optional<QString> vorbisTrack(QByteArrayView packet)
{
    const ByteCursor bytes(packet);
    if (!bytes.has(0, kVorbisIdentificationSize))
        return std::nullopt;
    const quint8 channels = *bytes.u8At(kVorbisChannelsOffset);
    const quint32 rate = *bytes.u32At(kVorbisRateOffset);
    const qint32 nominalBitRate = *bytes.i32At(kVorbisNominalBitRateOffset);
    QString section = QStringLiteral("\n=== Audio Track (Vorbis) ===\nFormat: Vorbis\nChannels: ")
        + QString::number(channels) + QStringLiteral("\nSample Rate: ") + QString::number(rate)
        + QStringLiteral(" Hz\n");
    if (nominalBitRate > 0)
        section += QStringLiteral("Bit Rate (Nominal): ") + QString::number(nominalBitRate / 1000)
            + QStringLiteral(" kb/s\n");
    return section;
}

// Opus always decodes at 48 kHz; the header keeps the rate the recording was
// made at, with 0 meaning it was not given.
std::optional<QString> opusTrack(QByteArrayView packet)
{
    const ByteCursor bytes(packet);
    if (!bytes.has(0, kOpusHeadMinimumSize))
        return std::nullopt;
    const quint8 channels = *bytes.u8At(kOpusChannelsOffset);
    const quint32 inputRate = *bytes.u32At(kOpusInputRateOffset);
    QString section = QStringLiteral("\n=== Audio Track (Opus) ===\nFormat: Opus\nChannels: ")
        + QString::number(channels) + QStringLiteral("\n");
    if (inputRate > 0)
        section += QStringLiteral("Input Sample Rate: ") + QString::number(inputRate) + QStringLiteral(" Hz\n");
    return section;
}

bool isDateKey(const QString &key)
{
    return key == QLatin1String("DATE") || key == QLatin1String("RECORDED DATE")
        || key == QLatin1String("CREATION_TIME");
}

// Appends one "KEY : value" line per entry and takes the value of the last
// date entry. Entries without "=" are skipped; the first entry (or vendor
// string, or count) that runs past the packet ends the list.
void readComments(QByteArrayView packet, qint64 listStart, QString &report, QString &dateText)
{
    ByteCursor bytes(packet);
    if (!bytes.seek(listStart))
        return;
    const std::optional<quint32> vendorLength = bytes.readU32();
    if (!vendorLength || !bytes.skip(*vendorLength))
        return;
    const std::optional<quint32> count = bytes.readU32();
    if (!count)
        return;
    for (quint32 i = 0; i < *count; ++i) {
        const std::optional<quint32> length = bytes.readU32();
        const std::optional<QByteArrayView> entry = length ? bytes.readBytes(*length) : std::nullopt;
        if (!entry)
            return;
        const QString text = QString::fromUtf8(*entry);
        const qsizetype equals = text.indexOf(QLatin1Char('='));
        if (equals < 0)
            continue;
        const QString key = text.left(equals).toUpper();
        const QString value = text.mid(equals + 1);
        report += key + QStringLiteral(" : ") + value + QLatin1Char('\n');
        if (isDateKey(key))
            dateText = value;
    }
}

// A date entry "yyyy-MM-dd HH:mm:ss", with "/" for "-" and "T" for " "
// allowed. The date and time are taken as written, with no time zone, so a
// time that the local clock skips at a daylight-saving change still counts.
std::optional<std::pair<QDate, QTime>> parseDate(QString text)
{
    text.replace(QLatin1Char('/'), QLatin1Char('-')).replace(QLatin1Char('T'), QLatin1Char(' '));
    const qsizetype space = text.indexOf(QLatin1Char(' '));
    if (space < 0)
        return std::nullopt;
    const QDate date = QDate::fromString(text.left(space), QStringLiteral("yyyy-MM-dd"));
    const QTime time = QTime::fromString(text.mid(space + 1), QStringLiteral("HH:mm:ss"));
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    return std::make_pair(date, time);
}

// Qt's text date form of a local date and time ("Thu Mar 4 10:20:30 2021"),
// built from the parts so that no time zone can shift or refuse it.
QString textDate(QDate date, QTime time)
{
    QString text = date.toString(Qt::TextDate);
    text.insert(text.lastIndexOf(QLatin1Char(' ')), QLatin1Char(' ') + time.toString(Qt::TextDate));
    return text;
}

} // namespace

ScanResult scanOggMetadata(QByteArrayView data, const QString &fileName)
{
    ScanResult result;
    result.hasReport = true;
    QString &report = result.report;
    const qint64 size = data.size();
    report = QStringLiteral("=== General ===\nFilename: ") + fileName + QStringLiteral("\nSize: ")
        + QString::number(size) + QStringLiteral(" bytes\nContainer: Ogg\n");

    QString dateText;
    if (size > kPageHeaderSize) {
        bool trackSeen = false;
        bool commentsSeen = false;
        qint64 pos = 0;
        // Only the first packet of each page can start a header. Once the
        // first track and the first comment header are read, nothing later
        // changes the report.
        do {
            const std::optional<Page> page = pageFrom(data, pos);
            if (!page)
                break;
            const PacketPart part = firstPacketPart(data, *page);
            const QByteArrayView onPage = data.sliced(page->bodyStart, part.length);
            const Header kind = headerKind(onPage);

            if (!trackSeen && (kind == Header::VorbisIdentification || kind == Header::OpusHead)) {
                const std::optional<QString> track =
                    kind == Header::VorbisIdentification ? vorbisTrack(onPage) : opusTrack(onPage);
                if (track) {
                    report += *track;
                    trackSeen = true;
                }
            } else if (!commentsSeen && (kind == Header::VorbisComment || kind == Header::OpusTags)) {
                commentsSeen = true;
                const bool vorbis = kind == Header::VorbisComment;
                report += vorbis ? QStringLiteral("\n=== Metadata (Vorbis Comments) ===\n")
                                 : QStringLiteral("\n=== Metadata (Opus Tags) ===\n");
                readComments(wholePacket(data, *page, part),
                             vorbis ? kVorbisCommentListOffset : kOpusCommentListOffset, report, dateText);
            }
            pos = page->end();
        } while (pos < size - kPageHeaderSize && !(trackSeen && commentsSeen));
    }

    if (dateText.isEmpty()) {
        result.start = ScanResult::StartTime::Clear;
    } else if (const auto parsed = parseDate(dateText)) {
        result.start = ScanResult::StartTime::Set;
        result.startTimeOfDayMs = parsed->second.msecsSinceStartOfDay();
        report += QStringLiteral("\n[System] Parsed Start Time: ") + textDate(parsed->first, parsed->second)
            + QLatin1Char('\n');
    }
    return result;
}
