#include "widgets/transcriptcsv.h"

#include <QStringDecoder>

#include <limits>
#include <optional>

#include "widgets/timetext.h"

namespace {

const QString kHeader = QStringLiteral("Start_Time,End_Time,Label,Note,Channel");
const QString kRecordEnd = QStringLiteral("\r\n");
const QString kSkipPrefix = QStringLiteral("Start_Time");
constexpr qsizetype kColumns = 5;
constexpr qsizetype kMinimumColumns = 4;
enum Column { StartField, EndField, LabelField, NoteField, ChannelField };

constexpr QChar kQuote = u'"';
constexpr QChar kComma = u',';
constexpr QChar kLf = u'\n';
constexpr QChar kCr = u'\r';

QString quoted(const QString &text)
{
    QString doubled = text;
    doubled.replace(kQuote, QStringLiteral("\"\""));
    return kQuote + doubled + kQuote;
}

std::optional<quint64> digitsValue(QStringView digits)
{
    if (digits.isEmpty())
        return std::nullopt;
    quint64 value = 0;
    for (const QChar c : digits) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        const quint64 digit = c.unicode() - u'0';
        if (value > (std::numeric_limits<quint64>::max() - digit) / 10)
            return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

// The inverse of formatTime over the whole qlonglong range.
std::optional<qlonglong> parseTime(QStringView text)
{
    text = text.trimmed();
    const bool negative = text.startsWith(u'-');
    if (negative)
        text = text.sliced(1);
    // h+:mm:ss.zzz
    constexpr qsizetype kTailLength = 10; // ":mm:ss.zzz"
    if (text.size() <= kTailLength)
        return std::nullopt;
    const QStringView tail = text.last(kTailLength);
    if (tail[0] != u':' || tail[3] != u':' || tail[6] != u'.')
        return std::nullopt;
    const auto hours = digitsValue(text.first(text.size() - kTailLength));
    const auto minutes = digitsValue(tail.sliced(1, 2));
    const auto seconds = digitsValue(tail.sliced(4, 2));
    const auto millis = digitsValue(tail.sliced(7, 3));
    if (!hours || !minutes || !seconds || !millis || *minutes >= 60 || *seconds >= 60)
        return std::nullopt;

    constexpr quint64 kHourMs = 3600000;
    const quint64 limit = negative ? quint64(std::numeric_limits<qlonglong>::max()) + 1
                                   : quint64(std::numeric_limits<qlonglong>::max());
    const quint64 rest = *minutes * 60000 + *seconds * 1000 + *millis;
    if (*hours > (limit - rest) / kHourMs)
        return std::nullopt;
    const quint64 magnitude = *hours * kHourMs + rest;
    // Two's complement wrap gives LLONG_MIN for a magnitude of 2^63.
    return negative ? qlonglong(quint64(0) - magnitude) : qlonglong(magnitude);
}

int parseChannel(QStringView text)
{
    text = text.trimmed();
    if (text == u"0")
        return 0;
    if (text == u"1")
        return 1;
    return -1;
}

// One record. `strict` is false when its quotes break RFC 4180: a quote
// inside a quoted field that is neither doubled nor followed by a comma or a
// line end, a quote inside an unquoted field, or a quote never closed.
struct Record
{
    QStringList fields;
    qsizetype end = 0;  // just past the record's line end
    bool strict = true;
};

bool lineEndAt(QStringView text, qsizetype at)
{
    return at < text.size()
        && (text[at] == kLf || (text[at] == kCr && at + 1 < text.size() && text[at + 1] == kLf));
}

qsizetype pastLineEnd(QStringView text, qsizetype at)
{
    return at + (text[at] == kCr ? 2 : 1);
}

bool fieldEndsAt(QStringView text, qsizetype at)
{
    return at >= text.size() || text[at] == kComma || lineEndAt(text, at);
}

enum class Quotes {
    // RFC 4180: quoted fields may span lines. Reading stops at the first
    // broken quote, so a bad record costs no more than the text up to it.
    Trusted,
    // For records whose quotes are broken: stray quotes are text and every
    // field ends with its line, so one stray quote cannot swallow the rest.
    WithinLine,
};

Record readRecord(QStringView text, qsizetype at, Quotes quotes)
{
    Record record;
    const bool withinLine = quotes == Quotes::WithinLine;
    const qsizetype size = text.size();
    for (;;) {
        QString field;
        if (at < size && text[at] == kQuote) {
            ++at;
            bool closed = false;
            while (at < size && !(withinLine && lineEndAt(text, at))) {
                if (text[at] != kQuote) {
                    field += text[at++];
                } else if (at + 1 < size && text[at + 1] == kQuote) {
                    field += kQuote;
                    at += 2;
                } else if (fieldEndsAt(text, at + 1)) {
                    ++at;
                    closed = true;
                    break;
                } else {
                    record.strict = false;
                    if (!withinLine)
                        return record;
                    field += text[at++];
                }
            }
            if (!closed) {
                record.strict = false;
                if (!withinLine)
                    return record;
            }
        } else {
            const qsizetype begin = at;
            while (!fieldEndsAt(text, at))
                ++at;
            const QStringView raw = text.sliced(begin, at - begin);
            if (raw.contains(kQuote)) {
                record.strict = false;
                if (!withinLine)
                    return record;
            }
            field = raw.toString();
        }
        record.fields.append(field);

        if (at >= size) {
            record.end = size;
            return record;
        }
        if (text[at] != kComma) {
            record.end = pastLineEnd(text, at);
            return record;
        }
        ++at;
    }
}

// The old exporter's record: time,time,"label","note",channel with nothing
// escaped. It ends at the first '",' + channel + line end after its
// opening, which also finds records whose quotes mislead the RFC reader.
struct OldRecord
{
    Marker marker;
    qsizetype end = 0;
};

class OldRecordReader
{
public:
    explicit OldRecordReader(QStringView text)
        : text(text)
    {
    }

    std::optional<OldRecord> read(qsizetype at)
    {
        const auto opening = openingAt(at);
        if (!opening)
            return std::nullopt;
        const auto closing = closingAfter(opening->labelBegin);
        if (!closing)
            return std::nullopt;
        const QStringView middle = text.sliced(opening->labelBegin, closing->quote - opening->labelBegin);
        const qsizetype split = middle.indexOf(u"\",\"");
        if (split < 0 || startsRecordInside(middle))
            return std::nullopt;

        OldRecord record;
        record.marker.start = opening->start;
        record.marker.end = opening->end;
        record.marker.label = middle.first(split).toString();
        record.marker.note = middle.sliced(split + 3).toString();
        record.marker.channel = closing->channel;
        record.end = closing->end;
        return record;
    }

private:
    struct Opening
    {
        qlonglong start = 0;
        qlonglong end = 0;
        qsizetype labelBegin = 0; // past the label's opening quote
    };

    struct Closing
    {
        qsizetype quote = 0; // the quote that closes the note
        int channel = -1;
        qsizetype end = 0; // past the line end
    };

    // A time text is short ("-" and 13 hour digits reach the end of the
    // qlonglong range), so the search for its comma is bounded.
    static constexpr qsizetype kLongestTime = 32;

    std::optional<qsizetype> commaNear(qsizetype from) const
    {
        const qsizetype stop = qMin(text.size(), from + kLongestTime);
        for (qsizetype at = from; at < stop; ++at) {
            if (text[at] == kComma)
                return at;
        }
        return std::nullopt;
    }

    // time,time," at `at`.
    std::optional<Opening> openingAt(qsizetype at) const
    {
        const auto first = commaNear(at);
        if (!first)
            return std::nullopt;
        const auto second = commaNear(*first + 1);
        if (!second || *second + 1 >= text.size() || text[*second + 1] != kQuote)
            return std::nullopt;
        const auto start = parseTime(text.sliced(at, *first - at));
        const auto end = parseTime(text.sliced(*first + 1, *second - *first - 1));
        if (!start || !end)
            return std::nullopt;
        return Opening{*start, *end, *second + 2};
    }

    // A line inside the label or note that opens a record of its own means
    // the closing found belongs to a later record: this one is broken.
    bool startsRecordInside(QStringView middle) const
    {
        const qsizetype offset = middle.data() - text.data();
        for (qsizetype lf = middle.indexOf(kLf); lf >= 0; lf = middle.indexOf(kLf, lf + 1)) {
            if (openingAt(offset + lf + 1))
                return true;
        }
        return false;
    }

    // The earliest closing at or after `from`. Records are read front to
    // back, so a closing found once serves every later start before it and
    // the text is scanned about once in all.
    std::optional<Closing> closingAfter(qsizetype from)
    {
        if (from >= scannedFrom && (!cached || cached->quote >= from))
            return cached;
        scannedFrom = from;
        cached.reset();
        for (qsizetype at = text.indexOf(u"\",", from); at >= 0; at = text.indexOf(u"\",", at + 1)) {
            if (const auto closing = closingAt(at)) {
                cached = closing;
                break;
            }
        }
        return cached;
    }

    std::optional<Closing> closingAt(qsizetype quote) const
    {
        const qsizetype channelBegin = quote + 2;
        qsizetype channelEnd = channelBegin;
        while (channelEnd < text.size() && channelEnd - channelBegin < 2
               && (text[channelEnd] == u'-' || text[channelEnd] == u'0' || text[channelEnd] == u'1'))
            ++channelEnd;
        const QStringView channel = text.sliced(channelBegin, channelEnd - channelBegin);
        if (channel != u"0" && channel != u"1" && channel != u"-1")
            return std::nullopt;
        if (channelEnd < text.size() && !lineEndAt(text, channelEnd))
            return std::nullopt;
        return Closing{quote, parseChannel(channel),
                       channelEnd < text.size() ? pastLineEnd(text, channelEnd) : channelEnd};
    }

    QStringView text;
    qsizetype scannedFrom = std::numeric_limits<qsizetype>::max();
    std::optional<Closing> cached;
};

// Windows-1252, the code page spreadsheets on Western Windows save CSV in:
// Latin-1 except for 0x80-0x9F, where it has curly quotes, dashes and the euro.
QString fromWindows1252(QByteArrayView bytes)
{
    static constexpr char16_t kHigh[32] = {
        u'\u20AC', u'\u0081', u'\u201A', u'\u0192', u'\u201E', u'\u2026', u'\u2020', u'\u2021',
        u'\u02C6', u'\u2030', u'\u0160', u'\u2039', u'\u0152', u'\u008D', u'\u017D', u'\u008F',
        u'\u0090', u'\u2018', u'\u2019', u'\u201C', u'\u201D', u'\u2022', u'\u2013', u'\u2014',
        u'\u02DC', u'\u2122', u'\u0161', u'\u203A', u'\u0153', u'\u009D', u'\u017E', u'\u0178'};
    QString text = QString::fromLatin1(bytes);
    for (QChar &c : text) {
        if (c.unicode() >= 0x80 && c.unicode() <= 0x9F)
            c = QChar(kHigh[c.unicode() - 0x80]);
    }
    return text;
}

QString decodeText(QByteArrayView bytes)
{
    constexpr QByteArrayView kBom("\xEF\xBB\xBF");
    if (bytes.startsWith(kBom))
        bytes = bytes.sliced(kBom.size());
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(bytes);
    return utf8.hasError() ? fromWindows1252(bytes) : text;
}

} // namespace

QByteArray encodeTranscriptCsv(const QList<Marker> &markers)
{
    QString text = kHeader + kRecordEnd;
    for (const Marker &m : markers) {
        text += formatTime(m.start) + kComma + formatTime(m.end) + kComma + quoted(m.label) + kComma
            + quoted(m.note) + kComma + QString::number(m.channel) + kRecordEnd;
    }
    return text.toUtf8();
}

TranscriptCsv decodeTranscriptCsv(QByteArrayView bytes)
{
    TranscriptCsv result;
    const QString decoded = decodeText(bytes);
    const QStringView text(decoded);
    OldRecordReader oldReader(text);

    qsizetype line = 1;
    qsizetype lineCountedTo = 0;
    for (qsizetype at = 0; at < text.size();) {
        line += text.sliced(lineCountedTo, at - lineCountedTo).count(kLf);
        lineCountedTo = at;

        if (text.sliced(at).startsWith(kSkipPrefix)) {
            // The whole line goes, whatever quotes it holds.
            result.skipped.append({line, TranscriptCsv::Skip::Header});
            const qsizetype lf = text.indexOf(kLf, at);
            at = lf < 0 ? text.size() : lf + 1;
            continue;
        }

        Record record = readRecord(text, at, Quotes::Trusted);
        if (!record.strict || record.fields.size() != kColumns) {
            if (const auto old = oldReader.read(at)) {
                result.markers.append(old->marker);
                at = old->end;
                continue;
            }
            if (!record.strict)
                record = readRecord(text, at, Quotes::WithinLine);
        }
        at = record.end;

        const QStringList &fields = record.fields;
        if (fields.size() < kMinimumColumns) {
            result.skipped.append({line, TranscriptCsv::Skip::TooFewFields});
            continue;
        }
        Marker m;
        m.start = parseTime(fields[StartField]).value_or(0);
        m.end = parseTime(fields[EndField]).value_or(0);
        m.label = fields[LabelField];
        m.note = fields[NoteField];
        m.channel = fields.size() > ChannelField ? parseChannel(fields[ChannelField]) : -1;
        result.markers.append(m);
    }
    return result;
}
