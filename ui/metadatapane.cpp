#include "ui/metadatapane.h"

#include "widgets/timetext.h"

#include <utility>

namespace {

constexpr qlonglong kDayMs = 24LL * 60 * 60 * 1000;
const QString kSeparator = QStringLiteral(" | ");

// Milliseconds since midnight for any count of ms, negative ones included.
qlonglong withinDay(qlonglong ms)
{
    return (ms % kDayMs + kDayMs) % kDayMs;
}

} // namespace

QString packCaseComment(const CaseDetails &details)
{
    QString comment;
    if (!details.location.isEmpty())
        comment += QStringLiteral("Loc: ") + details.location + kSeparator;
    if (!details.operation.isEmpty())
        comment += QStringLiteral("Op: ") + details.operation + kSeparator;
    if (!details.oic.isEmpty())
        comment += QStringLiteral("OIC: ") + details.oic + kSeparator;
    if (!details.translator.isEmpty())
        comment += QStringLiteral("Trans: ") + details.translator;
    return comment;
}

QMap<QString, QString> caseDetailsTags(const CaseDetails &details)
{
    QMap<QString, QString> tags{{QStringLiteral("Title"), details.reference},
                                {QStringLiteral("Engineer"), details.transcriber}};
    const QString comment = packCaseComment(details);
    if (!comment.isEmpty())
        tags.insert(QStringLiteral("Comment"), comment);
    return tags;
}

CommentFields unpackCaseComment(const QString &comment)
{
    CommentFields fields;
    const std::pair<QString, QString CommentFields::*> prefixes[] = {
        {QStringLiteral("Loc:"), &CommentFields::location},
        {QStringLiteral("Op:"), &CommentFields::operation},
        {QStringLiteral("OIC:"), &CommentFields::oic},
        {QStringLiteral("Trans:"), &CommentFields::translator},
    };
    for (const QString &rawPiece : comment.split(QLatin1Char('|'))) {
        const QString piece = rawPiece.trimmed();
        for (const auto &[prefix, field] : prefixes) {
            if (piece.startsWith(prefix)) {
                fields.*field = piece.mid(prefix.size()).trimmed();
                break;
            }
        }
    }
    return fields;
}

MetadataDisplay metadataDisplay(const QMap<QString, QString> &meta, qlonglong startTimeOfDayMs)
{
    MetadataDisplay display;
    for (auto it = meta.cbegin(); it != meta.cend(); ++it) {
        QString value = it.value();
        // Carried as ms since midnight; the reader wants the time of day.
        bool isNumber = false;
        const qlonglong ms = value.toLongLong(&isNumber);
        if (it.key() == QLatin1String("BWF_StartTime") && isNumber)
            value = formatTime(withinDay(ms));
        display.paneLines << it.key() + QStringLiteral(": ") + value;
    }

    display.timeSources << QStringLiteral("Track Timing");
    if (startTimeOfDayMs >= 1) {
        display.timeSources << QStringLiteral("Real Time");
        display.timeSourceIndex = kRealTimeSourceIndex;
    }

    const auto carried = [&meta](const QString &key) {
        const QString value = meta.value(key);
        return value.isEmpty() ? std::nullopt : std::optional<QString>(value);
    };
    display.reference = carried(QStringLiteral("Title"));
    display.transcriber = carried(QStringLiteral("Engineer"));
    const QString comment = meta.value(QStringLiteral("Comment"));
    if (!comment.isEmpty())
        display.commentFields = unpackCaseComment(comment);
    return display;
}

QString clockText(qlonglong positionMs, bool realTime, qlonglong startTimeOfDayMs)
{
    if (!realTime)
        return formatTime(positionMs);
    // Each term is reduced first so that no sum of two large values overflows.
    return formatTime(withinDay(withinDay(startTimeOfDayMs) + withinDay(positionMs)));
}

qlonglong positionAtTimeOfDay(qlonglong timeOfDayMs, qlonglong startTimeOfDayMs)
{
    return withinDay(withinDay(timeOfDayMs) - withinDay(startTimeOfDayMs));
}
