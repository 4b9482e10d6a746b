#include "widgets/timetext.h"

#include <limits>

namespace {

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

// "ss" or "ss.f…": seconds below 60 and a fraction of 1 to 9 digits, in ms
// rounded to the nearest (so up to 60 000).
std::optional<quint64> secondsMs(QStringView text, bool needFraction)
{
    const qsizetype dot = text.indexOf(u'.');
    const QStringView whole = dot < 0 ? text : text.first(dot);
    const QStringView fraction = dot < 0 ? QStringView() : text.sliced(dot + 1);
    if (whole.size() != 2 || (dot < 0 && needFraction) || (dot >= 0 && (fraction.isEmpty() || fraction.size() > 9)))
        return std::nullopt;
    const auto seconds = digitsValue(whole);
    if (!seconds || *seconds >= 60)
        return std::nullopt;
    if (fraction.isEmpty())
        return *seconds * 1000;
    const auto digits = digitsValue(fraction);
    if (!digits)
        return std::nullopt;
    quint64 scale = 1;
    for (qsizetype i = 0; i < fraction.size(); ++i)
        scale *= 10;
    return *seconds * 1000 + (*digits * 1000 + scale / 2) / scale;
}

} // namespace

QString formatTime(qlonglong ms)
{
    // Work on the magnitude in unsigned arithmetic: negating LLONG_MIN as a
    // signed value would overflow.
    const bool negative = ms < 0;
    const quint64 magnitude = negative ? quint64(0) - quint64(ms) : quint64(ms);

    const quint64 hours = magnitude / 3600000;
    const quint64 minutes = magnitude % 3600000 / 60000;
    const quint64 seconds = magnitude % 60000 / 1000;
    const quint64 millis = magnitude % 1000;

    const QLatin1Char zero('0');
    const QString text = QStringLiteral("%1:%2:%3.%4")
                             .arg(hours, 2, 10, zero)
                             .arg(minutes, 2, 10, zero)
                             .arg(seconds, 2, 10, zero)
                             .arg(millis, 3, 10, zero);
    return negative ? QLatin1Char('-') + text : text;
}

std::optional<qlonglong> parseTimeText(QStringView text)
{
    text = text.trimmed();
    const bool negative = text.startsWith(u'-');
    if (negative)
        text = text.sliced(1);
    const qsizetype lastColon = text.lastIndexOf(u':');
    if (lastColon < 0)
        return std::nullopt;
    const qsizetype firstColon = text.indexOf(u':');
    // Without hours a fraction is required: "1:02" could be an hour and two
    // minutes as well as a minute and two seconds.
    const bool hasHours = firstColon != lastColon;
    const auto rest = secondsMs(text.sliced(lastColon + 1), !hasHours);
    if (!rest)
        return std::nullopt;
    quint64 leadUnit = 60000;
    quint64 restMs = *rest;
    if (hasHours) {
        const QStringView minuteText = text.sliced(firstColon + 1, lastColon - firstColon - 1);
        const auto minutes = digitsValue(minuteText);
        if (minuteText.size() != 2 || !minutes || *minutes >= 60)
            return std::nullopt;
        restMs += *minutes * 60000;
        leadUnit = 3600000;
    }
    const auto lead = digitsValue(text.first(firstColon));
    if (!lead)
        return std::nullopt;

    const quint64 limit = negative ? quint64(std::numeric_limits<qlonglong>::max()) + 1
                                   : quint64(std::numeric_limits<qlonglong>::max());
    if (*lead > (limit - restMs) / leadUnit)
        return std::nullopt;
    const quint64 magnitude = *lead * leadUnit + restMs;
    // Two's complement wrap gives LLONG_MIN for a magnitude of 2^63.
    return negative ? qlonglong(quint64(0) - magnitude) : qlonglong(magnitude);
}


std::optional<qlonglong> parseGoToTime(QStringView text)
{
    text = text.trimmed();
    if (text.isEmpty() || text.startsWith(u'-'))
        return std::nullopt;
    if (const auto full = parseTimeText(text))
        return full;
    const qsizetype colon = text.indexOf(u':');
    if (colon < 0) {
        // Seconds: digits with an optional fraction of up to three digits.
        const qsizetype dot = text.indexOf(u'.');
        const auto whole = digitsValue(dot < 0 ? text : text.first(dot));
        const QStringView fraction = dot < 0 ? QStringView() : text.sliced(dot + 1);
        if (!whole || *whole > quint64(std::numeric_limits<qlonglong>::max() / 1000 - 1) || fraction.size() > 3
            || (dot >= 0 && !digitsValue(fraction)))
            return std::nullopt;
        quint64 ms = fraction.isEmpty() ? 0 : *digitsValue(fraction);
        for (qsizetype i = fraction.size(); i < 3; ++i)
            ms *= 10;
        return qlonglong(*whole * 1000 + ms);
    }
    if (text.indexOf(u':', colon + 1) >= 0)
        return std::nullopt;
    // "m:ss" without a fraction: parseTimeText refuses it as ambiguous, but
    // here a dialog asks for minutes and seconds.
    const auto minutes = digitsValue(text.first(colon));
    const auto seconds = secondsMs(text.sliced(colon + 1), false);
    if (!minutes || !seconds || *minutes > quint64(std::numeric_limits<qlonglong>::max() / 60000 - 1))
        return std::nullopt;
    return qlonglong(*minutes * 60000 + *seconds);
}
