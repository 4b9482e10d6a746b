#include "ui/recoveryjournal.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

#include <cmath>
#include <limits>

namespace {

const QString kFormat = QStringLiteral("orlenta-le recovery journal");

struct OpName
{
    JournalEdit::Op op;
    QLatin1String name;
    QLatin1String parameter; // empty: the operation takes none
};

constexpr OpName kOps[] = {
    {JournalEdit::Op::Silence, QLatin1String("silence"), QLatin1String()},
    {JournalEdit::Op::Tone, QLatin1String("tone"), QLatin1String("frequencyHz")},
    {JournalEdit::Op::Normalize, QLatin1String("normalize"), QLatin1String("targetDbfs")},
    {JournalEdit::Op::TrimPeaks, QLatin1String("trimPeaks"), QLatin1String("ratio")},
    {JournalEdit::Op::Undo, QLatin1String("undo"), QLatin1String()},
    {JournalEdit::Op::Redo, QLatin1String("redo"), QLatin1String()},
};

const OpName &opName(JournalEdit::Op op)
{
    for (const OpName &entry : kOps) {
        if (entry.op == op)
            return entry;
    }
    Q_UNREACHABLE();
}

bool hasRegion(JournalEdit::Op op)
{
    return op != JournalEdit::Op::Undo && op != JournalEdit::Op::Redo;
}

QString timeText(const QDateTime &time)
{
    return time.toUTC().toString(Qt::ISODateWithMs);
}

// Reads the fields of one JSON object, naming the object in its complaints.
// The first complaint sticks; later reads then do nothing.
class Fields
{
public:
    Fields(const QJsonObject &object, QString where, QString *error)
        : fields(object)
        , where(std::move(where))
        , error(error)
    {
    }

    bool integer(QLatin1String key, qint64 min, qint64 max, qint64 *out)
    {
        const QJsonValue value = get(key);
        // Integral exactly when no default is needed to answer.
        const qint64 a = value.toInteger(0);
        const qint64 b = value.toInteger(1);
        if (!ok() || value.type() != QJsonValue::Double || a != b)
            return fail(key, QStringLiteral("is not a whole number"));
        if (a < min || a > max)
            return fail(key, QStringLiteral("is out of range"));
        *out = a;
        return true;
    }

    bool integer(QLatin1String key, int min, int max, int *out)
    {
        qint64 wide = 0;
        if (!integer(key, qint64(min), qint64(max), &wide))
            return false;
        *out = int(wide);
        return true;
    }

    bool number(QLatin1String key, double *out)
    {
        const QJsonValue value = get(key);
        if (!ok() || value.type() != QJsonValue::Double || !std::isfinite(value.toDouble()))
            return fail(key, QStringLiteral("is not a number"));
        *out = value.toDouble();
        return true;
    }

    bool text(QLatin1String key, QString *out)
    {
        const QJsonValue value = get(key);
        if (!ok() || value.type() != QJsonValue::String)
            return fail(key, QStringLiteral("is not a text"));
        *out = value.toString();
        return true;
    }

    bool time(QLatin1String key, QDateTime *out)
    {
        QString raw;
        if (!text(key, &raw))
            return false;
        const QDateTime parsed = QDateTime::fromString(raw, Qt::ISODateWithMs);
        if (!parsed.isValid())
            return fail(key, QStringLiteral("is not a date and time"));
        *out = parsed.toUTC();
        return true;
    }

    QJsonObject object(QLatin1String key)
    {
        const QJsonValue value = get(key);
        if (ok() && !value.isObject())
            fail(key, QStringLiteral("is not an object"));
        return value.toObject();
    }

    QJsonArray array(QLatin1String key)
    {
        const QJsonValue value = get(key);
        if (ok() && !value.isArray())
            fail(key, QStringLiteral("is not a list"));
        return value.toArray();
    }

    bool ok() const { return error->isEmpty(); }

    bool fail(QLatin1String key, const QString &what)
    {
        if (ok())
            *error = QStringLiteral("%1\"%2\" %3").arg(where, key, what);
        return false;
    }

private:
    QJsonValue get(QLatin1String key)
    {
        if (!ok())
            return {};
        const QJsonValue value = fields.value(key);
        if (value.isUndefined())
            fail(key, QStringLiteral("is missing"));
        return value;
    }

    QJsonObject fields;
    QString where;
    QString *error;
};

constexpr qint64 kLongMin = std::numeric_limits<qint64>::min();
constexpr qint64 kLongMax = std::numeric_limits<qint64>::max();
constexpr int kIntMax = std::numeric_limits<int>::max();
constexpr qint64 kDayMs = 24LL * 60 * 60 * 1000;

void readEdit(const QJsonValue &value, qsizetype index, QList<JournalEdit> *edits, QString *error)
{
    const QString where = QStringLiteral("edit %1: ").arg(index + 1);
    if (!value.isObject()) {
        *error = where + QStringLiteral("is not an object");
        return;
    }
    Fields fields(value.toObject(), where, error);
    QString name;
    if (!fields.text(QLatin1String("op"), &name))
        return;
    const OpName *entry = nullptr;
    for (const OpName &candidate : kOps) {
        if (name == candidate.name)
            entry = &candidate;
    }
    if (!entry) {
        fields.fail(QLatin1String("op"), QStringLiteral("names no known operation"));
        return;
    }
    JournalEdit edit;
    edit.op = entry->op;
    if (hasRegion(edit.op)) {
        fields.integer(QLatin1String("startMs"), qint64(0), kLongMax, &edit.startMs);
        fields.integer(QLatin1String("endMs"), qint64(0), kLongMax, &edit.endMs);
        fields.integer(QLatin1String("channel"), -1, 1, &edit.channel);
    }
    if (!entry->parameter.isEmpty())
        fields.number(entry->parameter, &edit.parameter);
    if (fields.ok())
        edits->append(edit);
}

void readRow(const QJsonValue &value, qsizetype index, QList<Marker> *rows, QString *error)
{
    const QString where = QStringLiteral("row %1: ").arg(index + 1);
    if (!value.isObject()) {
        *error = where + QStringLiteral("is not an object");
        return;
    }
    Fields fields(value.toObject(), where, error);
    Marker row;
    // The grid holds whatever times an imported transcript carried, negative
    // ones included; refusing them here would lose the whole journal.
    fields.integer(QLatin1String("startMs"), kLongMin, kLongMax, &row.start);
    fields.integer(QLatin1String("endMs"), kLongMin, kLongMax, &row.end);
    fields.integer(QLatin1String("channel"), -1, 1, &row.channel);
    fields.text(QLatin1String("label"), &row.label);
    fields.text(QLatin1String("note"), &row.note);
    if (fields.ok())
        rows->append(row);
}

} // namespace

bool operator==(const RecoveryJournal &a, const RecoveryJournal &b)
{
    const CaseDetails &x = a.details;
    const CaseDetails &y = b.details;
    return a.version == b.version && a.recordingPath == b.recordingPath && a.recordingSize == b.recordingSize
        && a.recordingModified == b.recordingModified && a.edits == b.edits && a.rows == b.rows
        && x.reference == y.reference && x.location == y.location && x.operation == y.operation
        && x.oic == y.oic && x.transcriber == y.transcriber && x.translator == y.translator
        && a.timeSourceIndex == b.timeSourceIndex && a.timeSourceText == b.timeSourceText
        && a.typedStartTimeMs == b.typedStartTimeMs && a.auditNotes == b.auditNotes
        && a.written == b.written;
}

QByteArray encodeJournal(const RecoveryJournal &journal)
{
    QJsonArray edits;
    for (const JournalEdit &edit : journal.edits) {
        const OpName &entry = opName(edit.op);
        QJsonObject object{{QLatin1String("op"), entry.name}};
        if (hasRegion(edit.op)) {
            object.insert(QLatin1String("startMs"), edit.startMs);
            object.insert(QLatin1String("endMs"), edit.endMs);
            object.insert(QLatin1String("channel"), edit.channel);
        }
        if (!entry.parameter.isEmpty())
            object.insert(entry.parameter, edit.parameter);
        edits.append(object);
    }
    QJsonArray rows;
    for (const Marker &row : journal.rows) {
        rows.append(QJsonObject{{QLatin1String("startMs"), row.start},
                                {QLatin1String("endMs"), row.end},
                                {QLatin1String("channel"), row.channel},
                                {QLatin1String("label"), row.label},
                                {QLatin1String("note"), row.note}});
    }
    const CaseDetails &d = journal.details;
    const QJsonObject root{
        {QLatin1String("format"), kFormat},
        {QLatin1String("version"), journal.version},
        {QLatin1String("written"), timeText(journal.written)},
        {QLatin1String("recording"),
         QJsonObject{{QLatin1String("path"), journal.recordingPath},
                     {QLatin1String("size"), journal.recordingSize},
                     {QLatin1String("modified"), timeText(journal.recordingModified)}}},
        {QLatin1String("edits"), edits},
        {QLatin1String("rows"), rows},
        {QLatin1String("caseDetails"),
         QJsonObject{{QLatin1String("reference"), d.reference},
                     {QLatin1String("location"), d.location},
                     {QLatin1String("operation"), d.operation},
                     {QLatin1String("oic"), d.oic},
                     {QLatin1String("transcriber"), d.transcriber},
                     {QLatin1String("translator"), d.translator}}},
        {QLatin1String("timeSource"),
         QJsonObject{{QLatin1String("index"), journal.timeSourceIndex},
                     {QLatin1String("text"), journal.timeSourceText},
                     {QLatin1String("typedStartMs"), journal.typedStartTimeMs}}},
        {QLatin1String("auditNotes"), QJsonArray::fromStringList(journal.auditNotes)},
    };
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

JournalDecode decodeJournal(QByteArrayView bytes)
{
    JournalDecode result;
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(bytes.toByteArray(), &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        result.error = QStringLiteral("not JSON: %1 at byte %2").arg(parseError.errorString()).arg(parseError.offset);
        return result;
    }
    const QJsonObject root = document.object();
    if (!document.isObject() || root.value(QLatin1String("format")).toString() != kFormat) {
        result.error = QStringLiteral("not a recovery journal");
        return result;
    }
    QString &error = result.error;
    RecoveryJournal &journal = result.journal;
    Fields top(root, QString(), &error);
    if (top.integer(QLatin1String("version"), 0, kIntMax, &journal.version)
        && journal.version != RecoveryJournal::kVersion) {
        error = QStringLiteral("journal version %1 is not supported").arg(journal.version);
        return result;
    }
    top.time(QLatin1String("written"), &journal.written);

    Fields recording(top.object(QLatin1String("recording")), QStringLiteral("recording: "), &error);
    recording.text(QLatin1String("path"), &journal.recordingPath);
    recording.integer(QLatin1String("size"), qint64(0), kLongMax, &journal.recordingSize);
    recording.time(QLatin1String("modified"), &journal.recordingModified);

    const QJsonArray edits = top.array(QLatin1String("edits"));
    for (qsizetype i = 0; i < edits.size() && error.isEmpty(); ++i)
        readEdit(edits.at(i), i, &journal.edits, &error);
    const QJsonArray rows = top.array(QLatin1String("rows"));
    for (qsizetype i = 0; i < rows.size() && error.isEmpty(); ++i)
        readRow(rows.at(i), i, &journal.rows, &error);

    Fields details(top.object(QLatin1String("caseDetails")), QStringLiteral("caseDetails: "), &error);
    CaseDetails &d = journal.details;
    details.text(QLatin1String("reference"), &d.reference);
    details.text(QLatin1String("location"), &d.location);
    details.text(QLatin1String("operation"), &d.operation);
    details.text(QLatin1String("oic"), &d.oic);
    details.text(QLatin1String("transcriber"), &d.transcriber);
    details.text(QLatin1String("translator"), &d.translator);

    const QJsonObject sourceObject = top.object(QLatin1String("timeSource"));
    Fields source(sourceObject, QStringLiteral("timeSource: "), &error);
    source.integer(QLatin1String("index"), 0, kIntMax, &journal.timeSourceIndex);
    source.text(QLatin1String("text"), &journal.timeSourceText);
    // Journals from before typed start times have none.
    if (sourceObject.contains(QLatin1String("typedStartMs")))
        source.integer(QLatin1String("typedStartMs"), qint64(-1), kDayMs - 1, &journal.typedStartTimeMs);
    // Nor journals from before audit notes were kept.
    if (root.contains(QLatin1String("auditNotes"))) {
        const QJsonArray notes = top.array(QLatin1String("auditNotes"));
        for (qsizetype i = 0; i < notes.size() && error.isEmpty(); ++i) {
            if (!notes.at(i).isString())
                error = QStringLiteral("audit note %1: is not a text").arg(i + 1);
            journal.auditNotes.append(notes.at(i).toString());
        }
    }

    result.ok = error.isEmpty();
    if (!result.ok)
        result.journal = RecoveryJournal();
    return result;
}

QString recoveryQuestion(const RecoveryJournal &journal)
{
    const qsizetype rows = journal.rows.size();
    const qsizetype edits = journal.edits.size();
    const qsizetype notes = journal.auditNotes.size();
    return QStringLiteral("Recover unsaved work on %1 from %2? (%3 %4, %5 %6%7)")
        .arg(QFileInfo(journal.recordingPath).fileName(),
             journal.written.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")))
        .arg(rows)
        .arg(rows == 1 ? QStringLiteral("row") : QStringLiteral("rows"))
        .arg(edits)
        .arg(edits == 1 ? QStringLiteral("edit") : QStringLiteral("edits"))
        .arg(notes == 0   ? QString()
             : notes == 1 ? QStringLiteral(", 1 audit note")
                          : QStringLiteral(", %1 audit notes").arg(notes));
}
