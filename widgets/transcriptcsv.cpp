#include "widgets/transcriptcsv.h"

#include <QStringDecoder>

#include <algorithm>
#include <array>
#include <limits>
#include <optional>

#include "widgets/timetext.h"

namespace {

const QString kHeader = QStringLiteral("Start_Time,End_Time,Label,Note,Channel");
const QString kRecordEnd = QStringLiteral("\r\n");
const QString kSkipPrefix = QStringLiteral("Start_Time");
enum Column { StartField, EndField, LabelField, NoteField, ChannelField, ColumnCount };

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
    return at < text.size() && (text[at] == kLf || text[at] == kCr);
}

// Past the line end at `at`; CRLF is one line end.
qsizetype pastLineEnd(QStringView text, qsizetype at)
{
    return at + (text[at] == kCr && at + 1 < text.size() && text[at + 1] == kLf ? 2 : 1);
}

qsizetype pastLine(QStringView text, qsizetype at)
{
    while (at < text.size() && !lineEndAt(text, at))
        ++at;
    return at < text.size() ? pastLineEnd(text, at) : at;
}

bool hasLineEnd(QStringView text)
{
    return text.contains(kLf) || text.contains(kCr);
}

qsizetype lineEndsIn(QStringView text, qsizetype from, qsizetype to)
{
    qsizetype count = 0;
    for (qsizetype at = from; at < to; ++at) {
        if (text[at] == kLf || (text[at] == kCr && (at + 1 >= text.size() || text[at + 1] != kLf)))
            ++count;
    }
    return count;
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
        const QStringView startText = text.sliced(at, *first - at);
        const QStringView endText = text.sliced(*first + 1, *second - *first - 1);
        // parseTime trims line ends too, which would join a blank line to
        // the record after it.
        if (hasLineEnd(startText) || hasLineEnd(endText))
            return std::nullopt;
        const auto start = parseTimeText(startText);
        const auto end = parseTimeText(endText);
        if (!start || !end)
            return std::nullopt;
        return Opening{*start, *end, *second + 2};
    }

    // A line inside the label or note that opens a record of its own means
    // the closing found belongs to a later record: this one is broken.
    bool startsRecordInside(QStringView middle) const
    {
        const qsizetype begin = middle.data() - text.data();
        const qsizetype end = begin + middle.size();
        for (qsizetype at = begin; at < end; ++at) {
            if (lineEndAt(text, at) && openingAt(pastLineEnd(text, at)))
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
    constexpr QByteArrayView kUtf16Le("\xFF\xFE");
    constexpr QByteArrayView kUtf16Be("\xFE\xFF");
    if (bytes.startsWith(kUtf16Le) || bytes.startsWith(kUtf16Be)) {
        QStringDecoder utf16(bytes.startsWith(kUtf16Le) ? QStringDecoder::Utf16LE : QStringDecoder::Utf16BE,
                             QStringDecoder::Flag::Stateless);
        return utf16.decode(bytes.sliced(2));
    }
    constexpr QByteArrayView kBom("\xEF\xBB\xBF");
    if (bytes.startsWith(kBom))
        bytes = bytes.sliced(kBom.size());
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(bytes);
    return utf8.hasError() ? fromWindows1252(bytes) : text;
}

// Where each column's field is in a record: by position until a header
// names them; -1 for a column the header leaves out.
struct Columns
{
    std::array<qsizetype, ColumnCount> at{StartField, EndField, LabelField, NoteField, ChannelField};
    bool named = false;

    bool inOwnOrder() const { return at == Columns().at; }

    // Read by position, a record must reach the note (the channel defaults).
    // Read by name, missing trailing fields are empty, as some tools leave
    // them out; an empty start time still skips the record.
    qsizetype minimumFields() const { return named ? 1 : NoteField + 1; }

    QStringView field(const QStringList &fields, Column column) const
    {
        const qsizetype index = at[column];
        return index >= 0 && index < fields.size() ? QStringView(fields[index]) : QStringView();
    }
};

// Header names compared without case, spaces or underscores, so that
// "Start Time" and "start_time" both name the start column.
QString headerKey(QStringView name)
{
    QString key = name.trimmed().toString().toLower();
    key.remove(u' ');
    key.remove(u'_');
    return key;
}

// The columns a record names when every field of it is a column name (or
// empty) and no name repeats.
std::optional<Columns> headerColumns(const QStringList &fields)
{
    static const std::array<QString, ColumnCount> kKeys{
        QStringLiteral("starttime"), QStringLiteral("endtime"), QStringLiteral("label"), QStringLiteral("note"),
        QStringLiteral("channel")};
    Columns columns;
    columns.at.fill(-1);
    columns.named = true;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        const QString key = headerKey(fields[i]);
        if (key.isEmpty())
            continue;
        const auto known = std::find(kKeys.begin(), kKeys.end(), key);
        if (known == kKeys.end() || columns.at[known - kKeys.begin()] >= 0)
            return std::nullopt;
        columns.at[known - kKeys.begin()] = i;
    }
    const bool any = std::any_of(columns.at.begin(), columns.at.end(), [](qsizetype at) { return at >= 0; });
    return any ? std::optional<Columns>(columns) : std::nullopt;
}

enum class TimeField { Read, Empty, Unreadable };

struct Time
{
    TimeField state = TimeField::Empty;
    qlonglong ms = 0;
};

Time readTime(QStringView text)
{
    if (text.trimmed().isEmpty())
        return {};
    const auto ms = parseTimeText(text);
    return ms ? Time{TimeField::Read, *ms} : Time{TimeField::Unreadable, 0};
}

// A record as read, before the file as a whole tells whether empty start
// times are allowed.
struct Entry
{
    qsizetype line = 0;
    std::optional<TranscriptCsv::Skip> skip;
    Marker marker;
    Time start;
    Time end;
};

Entry entryFrom(const QStringList &fields, const Columns &columns, qsizetype line)
{
    Entry entry;
    entry.line = line;
    if (std::all_of(fields.begin(), fields.end(), [](const QString &f) { return f.trimmed().isEmpty(); })) {
        entry.skip = TranscriptCsv::Skip::Blank;
        return entry;
    }
    if (fields.size() < columns.minimumFields()) {
        entry.skip = TranscriptCsv::Skip::TooFewFields;
        return entry;
    }
    entry.start = readTime(columns.field(fields, StartField));
    entry.end = readTime(columns.field(fields, EndField));
    entry.marker.label = columns.field(fields, LabelField).toString();
    entry.marker.note = columns.field(fields, NoteField).toString();
    entry.marker.channel = parseChannel(columns.field(fields, ChannelField));
    return entry;
}

// The rows and skipped records, in file order.
TranscriptCsv resolve(const QList<Entry> &entries)
{
    using Skip = TranscriptCsv::Skip;
    const bool timed = std::any_of(entries.begin(), entries.end(), [](const Entry &e) {
        return !e.skip && (e.start.state != TimeField::Empty || e.end.state != TimeField::Empty);
    });
    TranscriptCsv result;
    for (const Entry &e : entries) {
        std::optional<Skip> skip = e.skip;
        if (!skip && e.start.state == TimeField::Unreadable)
            skip = Skip::BadStartTime;
        if (!skip && e.end.state == TimeField::Unreadable)
            skip = Skip::BadEndTime;
        if (!skip && e.start.state == TimeField::Empty && timed)
            skip = Skip::NoStartTime;
        if (skip) {
            result.skipped.append({e.line, *skip});
            continue;
        }
        Marker m = e.marker;
        m.start = e.start.ms;
        m.end = e.end.state == TimeField::Read ? e.end.ms : e.start.ms;
        result.markers.append(m);
    }
    return result;
}

QString reasonText(TranscriptCsv::Skip reason)
{
    switch (reason) {
    case TranscriptCsv::Skip::Header:
        return QStringLiteral("header");
    case TranscriptCsv::Skip::Blank:
        return QStringLiteral("blank");
    case TranscriptCsv::Skip::TooFewFields:
        return QStringLiteral("too few fields");
    case TranscriptCsv::Skip::NoStartTime:
        return QStringLiteral("no start time");
    case TranscriptCsv::Skip::BadStartTime:
        return QStringLiteral("unreadable start time");
    case TranscriptCsv::Skip::BadEndTime:
        return QStringLiteral("unreadable end time");
    }
    return QString();
}

QString counted(qsizetype count, const char *one, const char *many)
{
    return QStringLiteral("%1 %2").arg(count).arg(QLatin1String(count == 1 ? one : many));
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

QList<TranscriptCsv::Skipped> TranscriptCsv::lost() const
{
    QList<Skipped> out;
    for (const Skipped &s : skipped) {
        if (s.reason != Skip::Header && s.reason != Skip::Blank)
            out.append(s);
    }
    return out;
}

TranscriptCsv decodeTranscriptCsv(QByteArrayView bytes)
{
    const QString decoded = decodeText(bytes);
    const QStringView text(decoded);
    OldRecordReader oldReader(text);
    Columns columns;
    QList<Entry> entries;

    qsizetype line = 1;
    qsizetype lineCountedTo = 0;
    for (qsizetype at = 0; at < text.size();) {
        line += lineEndsIn(text, lineCountedTo, at);
        lineCountedTo = at;
        const Entry header{line, TranscriptCsv::Skip::Header, {}, {}, {}};

        if (text.sliced(at).startsWith(kSkipPrefix)) {
            // The whole line goes, whatever quotes it holds; if it names the
            // columns, they are read by those names from here on.
            const Record record = readRecord(text, at, Quotes::WithinLine);
            if (const auto named = headerColumns(record.fields); named && record.strict)
                columns = *named;
            entries.append(header);
            at = pastLine(text, at);
            continue;
        }

        Record record = readRecord(text, at, Quotes::Trusted);
        // Only the first record can be a header: further on, a row whose
        // texts happen to be column names ("Note") must stay a row.
        if (record.strict && entries.isEmpty()) {
            if (const auto named = headerColumns(record.fields)) {
                columns = *named;
                entries.append(header);
                at = record.end;
                continue;
            }
        }
        // The old exporter always wrote the columns in their own order.
        if ((!record.strict || record.fields.size() != ColumnCount) && columns.inOwnOrder()) {
            if (const auto old = oldReader.read(at)) {
                entries.append({line, std::nullopt, old->marker, {TimeField::Read, old->marker.start},
                                {TimeField::Read, old->marker.end}});
                at = old->end;
                continue;
            }
        }
        if (!record.strict)
            record = readRecord(text, at, Quotes::WithinLine);
        at = record.end;
        entries.append(entryFrom(record.fields, columns, line));
    }
    return resolve(entries);
}

QString importSummary(const TranscriptCsv &read, std::optional<qlonglong> recordingEndMs)
{
    constexpr qsizetype kLinesShown = 5;
    QString summary = counted(read.markers.size(), "row", "rows") + QStringLiteral(" read.");
    const QList<TranscriptCsv::Skipped> lost = read.lost();
    if (!lost.isEmpty()) {
        QStringList lines;
        for (const TranscriptCsv::Skipped &s : lost.first(qMin(lost.size(), kLinesShown)))
            lines << QStringLiteral("line %1 (%2)").arg(s.line).arg(reasonText(s.reason));
        summary += QStringLiteral(" Skipped %1: %2").arg(counted(lost.size(), "record", "records"), lines.join(u", "));
        if (lost.size() > kLinesShown)
            summary += QStringLiteral(" and %1 more").arg(lost.size() - kLinesShown);
        summary += u'.';
    }
    if (recordingEndMs) {
        const auto late = std::count_if(read.markers.begin(), read.markers.end(),
                                        [&](const Marker &m) { return m.start > *recordingEndMs; });
        if (late > 0)
            summary += QStringLiteral(" %1 after the end of the recording.")
                           .arg(late == 1 ? QStringLiteral("1 row starts") : QStringLiteral("%1 rows start").arg(late));
    }
    return summary;
}
